import QtQuick
import QtTest
import MediaControls
import VeloranDeck
import VeloranTestSupport

// The R7's phantom-power switch reaches the emulated base.
MicrophoneTabCase {
    name: "MicrophoneTabEmulatedR7"

    function test_phantom_power() {
        tryCompare(HIDDeviceMgr, "deviceReady", true, 10000)
        verify(HIDDeviceMgr.isR7())
        tryVerify(function() { return ConfigMgr.getValue("device_phantom") === (EmulatedDevice.attribute(2)[0] === 1) }, 5000)
        wait(300)
        verify(EmulatedDevice.changeAttribute(2, [0]))
        tryCompare(ConfigMgr, "modelIsR7", true)
        const tab = shownTab()
        const power = findChild(tab, "powerSwitch")
        tryCompare(power, "checked", false, 2000)
        mouseClick(power)
        tryVerify(function() { return EmulatedDevice.attribute(2)[0] === 1 }, 2000)
        compare(ConfigMgr.getValue("device_phantom"), true)
    }
}
