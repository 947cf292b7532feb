import QtQuick
import QtTest
import MediaControls
import VeloranDeck
import VeloranTestSupport

// The device and monitor strips against the emulated base of the run's
// model: a drag sets the microphone gain, a change on the device moves the
// monitor slider.
TestCase {
    id: testCase
    name: "MixerStripsEmulated"
    width: 400
    height: 600
    when: windowShown
    visible: true

    Component {
        id: stripComponent
        AudioController {
            height: 500
        }
    }

    function yFor(slider, value) {
        const handle = findChild(slider, "handle")
        const position = (value - slider.from) / (slider.to - slider.from)
        return slider.topPadding + (1 - position) * (slider.availableHeight - handle.height) + handle.height / 2
    }

    function test_device_and_monitor_strips() {
        tryCompare(HIDDeviceMgr, "deviceReady", true, 10000)
        const device = createTemporaryObject(stripComponent, testCase, { showType: 2, bundleIdentifier: "device" })
        const monitor = createTemporaryObject(stripComponent, testCase,
                                              { x: 140, showType: 1, bundleIdentifier: "listen" })
        // The connection's reads have settled the sliders.
        tryVerify(function() { return ConfigMgr.getValue("auto_gain") === EmulatedDevice.attribute(5)[0] }, 5000)
        wait(300)
        const slider = findChild(device, "slider")
        const x = slider.width / 2
        mousePress(slider, x, yFor(slider, slider.value))
        mouseMove(slider, x, yFor(slider, 12))
        mouseRelease(slider, x, yFor(slider, 12))
        tryVerify(function() { return EmulatedDevice.attribute(5)[0] === 12 }, 2000)
        compare(EmulatedDevice.attribute(5), [12])

        verify(EmulatedDevice.changeAttribute(6, [9]))
        tryCompare(findChild(monitor, "slider"), "value", 9, 2000)
    }
}
