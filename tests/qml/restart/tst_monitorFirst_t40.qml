import QtQuick
import QtTest
import MediaControls
import VeloranDeck
import VeloranTestSupport

// First process on the emulated T40: the ratio is dragged and released at
// 5; the second process, on the fakes, must show 5.
TestCase {
    id: testCase
    name: "MonitorRestartFirst"
    width: 500
    height: 400
    when: windowShown
    visible: true

    // The base's message id of an attribute read.
    readonly property int attributeGet: 31

    Component {
        id: tabComponent
        MonitorTab {
            width: 450
            height: 300
        }
    }

    function handleX(slider, value) {
        const handle = findChild(slider, "handle")
        const position = (value - slider.from) / (slider.to - slider.from)
        return slider.leftPadding + position * (slider.availableWidth - handle.width) + handle.width / 2
    }

    function test_store() {
        tryCompare(HIDDeviceMgr, "deviceReady", true, 10000)
        // The connection's reads are answered before the base's own change.
        tryVerify(function() { return EmulatedDevice.receivedCount(attributeGet) >= HIDDeviceMgr.queriedAttributes.length }, 5000)
        verify(EmulatedDevice.changeAttribute(7, [9]))
        tryVerify(function() { return ConfigMgr.getValue("device_mic_ratio") === 9 }, 5000)
        const tab = createTemporaryObject(tabComponent, testCase)
        waitForRendering(tab)
        const slider = findChild(tab, "micListenRatioSlider")
        const from = slider.value
        const y = slider.height / 2
        mousePress(slider, handleX(slider, from), y)
        mouseMove(slider, handleX(slider, (from + 5) / 2), y)
        mouseMove(slider, handleX(slider, 5), y)
        mouseRelease(slider, handleX(slider, 5), y)
        compare(ConfigMgr.getValue("device_mic_ratio"), 5)
        tryVerify(function() { return EmulatedDevice.attribute(7)[0] === 5 }, 3000)
        wait(300)
        compare(ConfigMgr.getValue("device_mic_ratio"), 5)
    }
}
