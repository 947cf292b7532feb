import QtQuick
import MediaControls
import VeloranTestSupport

// The R7's tabs, and its automatic-gain measurement from the topic to the
// result: the base reports its live level while it measures and then the
// gain it settled on, which the window shows.
ControlPageCase {
    function test_control_page() {
        const page = enter()
        checkTabsAndMonitorVolume(page)
        MessageBus.publishUpdateAutoGain(true)
        const window = page.autoGainWindow
        verify(window)
        tryVerify(function() { return EmulatedDevice.attribute(3)[0] === 1 }, 3000)
        const level = named(window.contentItem, "gain_view")
        tryVerify(function() { return level.level > 0 && level.level < 1 }, 3000)
        tryCompare(window, "measurementDone", true, 15000)
        const result = named(window.contentItem, "resultText")
        tryCompare(window, "autoGainCompleted", true, 3000)
        const gain = EmulatedDevice.attribute(5)[0]
        compare(result.text, "设置成功\n增益为 " + Math.floor((gain - 1) * 99 / 29 + 1 + 0.5) + "%")
        compare(EmulatedDevice.attribute(3), [0])

        // A new run from the device's side, then a cancel.
        MessageBus.publishUpdateAutoGain(1)
        const cancel = named(window.contentItem, "cancelButton")
        compare(window.autoGainCompleted, false)
        verify(cancel.visible)
        const writes = function() { return EmulatedDevice.receivedCount(30) + EmulatedDevice.receivedCount(32) }
        const before = writes()
        mouseClick(cancel)
        tryVerify(function() { return writes() > before }, 3000)
        compare(EmulatedDevice.attribute(3), [0])
    }
}
