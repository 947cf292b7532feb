import QtQuick
import MediaControls
import VeloranTestSupport

// The R7's tabs, and its automatic-gain measurement from the topic to the
// result, with its level from the base.
ControlPageCase {
    function test_control_page() {
        const page = enter()
        checkTabsAndMonitorVolume(page)
        MessageBus.publishUpdateAutoGain(true)
        const window = page.autoGainWindow
        verify(window)
        tryVerify(function() { return EmulatedDevice.attribute(3)[0] === 1 }, 3000)
        verify(EmulatedDevice.sendAutoGainLevel(15))
        tryCompare(named(window.contentItem, "gain_view"), "level", 0.5, 3000)
        tryCompare(window, "measurementDone", true, 15000)
        verify(EmulatedDevice.changeAttribute(5, [15]))
        tryCompare(named(window.contentItem, "resultText"), "text", "设置成功\n增益为 49%", 3000)

        MessageBus.publishUpdateAutoGain(1)
        const cancel = named(window.contentItem, "cancelButton")
        verify(cancel.visible)
        mouseClick(cancel)
        tryVerify(function() { return EmulatedDevice.attribute(3)[0] === 0 }, 3000)
        compare(EmulatedDevice.attribute(3), [0])
    }
}
