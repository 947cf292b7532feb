import QtQuick
import QtTest
import MediaControls
import VeloranDeck
import VeloranTestSupport

// The general tab against the emulated base of the run's model: the
// indicator light and its device echo (T40), and a factory reset from the
// tab that the base carries out before it is read back.
TestCase {
    id: testCase
    name: "GeneralEmulated"
    width: 450
    height: 800
    when: windowShown
    visible: true

    readonly property int resetDuration: 300

    Component {
        id: tabComponent
        GeneralTab {
            width: 410
            height: 800
        }
    }

    function ready() {
        tryCompare(HIDDeviceMgr, "deviceReady", true, 10000)
        // The queries of the connection have been answered.
        tryVerify(function() { return EmulatedDevice.receivedCount(31) >= HIDDeviceMgr.queriedAttributes.length }, 5000)
        wait(300)
        const tab = createTemporaryObject(tabComponent, testCase)
        waitForRendering(tab)
        return tab
    }

    function test_indicator() {
        const tab = ready()
        if (!HIDDeviceMgr.isT40())
            skip("the indicator card is the T40's")
        const indicator = findChild(tab, "indicatorSwitch")
        verify(indicator.visible)
        mouseClick(indicator)
        tryVerify(function() { return EmulatedDevice.attribute(26)[0] === 1 }, 3000)
        compare(ConfigMgr.getValue("color_bg_other_lighting"), true)
        wait(300)
        const writes = EmulatedDevice.receivedCount(30)
        verify(EmulatedDevice.changeAttribute(26, [0]))
        tryCompare(indicator, "checked", false, 3000)
        wait(300)
        compare(EmulatedDevice.receivedCount(30), writes)
        compare(ConfigMgr.getValue("color_bg_other_lighting"), false)
    }

    function test_factory_reset() {
        const tab = ready()
        verify(EmulatedDevice.changeAttribute(5, [9]))
        tryCompare(ConfigMgr.config, "auto_gain", 9, 3000)
        mouseClick(findChild(tab, "resetArea"))
        const window = findChild(tab, "resetWindow")
        verify(window)
        window.resetDuration = resetDuration
        tryCompare(window, "opacity", 1)
        const reads = EmulatedDevice.receivedCount(31)
        const privateResets = EmulatedDevice.receivedCount(0x8004)
        const confirmed = Date.now()
        mouseClick(findChild(window.contentItem, "confirmButton"))
        tryVerify(function() { return JSON.stringify(EmulatedDevice.attribute(5)) === "[15]" }, 3000)
        compare(EmulatedDevice.receivedCount(0x8004) - privateResets, HIDDeviceMgr.isR7() ? 1 : 0)
        tryVerify(function() { return EmulatedDevice.receivedCount(31) === reads + 11 }, 5000)
        verify(Date.now() - confirmed >= resetDuration)
        tryCompare(ConfigMgr.config, "auto_gain", 15, 3000)
        mouseClick(findChild(window.contentItem, "doneButton"))
        tryVerify(function() { return findChild(tab, "resetWindow") === null }, 2000)
    }
}
