import QtQuick
import MediaControls
import VeloranDeck
import VeloranTestSupport

// First process on the emulated T40: the ratio is dragged and released at
// 5; the second process, on the fakes, must show 5.
RestartCase {
    name: "MonitorRestartFirst"
    width: 500
    height: 400

    page: Component {
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
        waitForDevice()
        // The connection's reads are answered before the base's own change.
        waitForConnectionReads()
        verify(EmulatedDevice.changeAttribute(7, [9]))
        tryVerify(function() { return ConfigMgr.getValue("device_mic_ratio") === 9 }, 5000)
        const tab = openPage()
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
