import QtQuick
import QtTest
import MediaControls
import VeloranDeckHIDHotplug

// The two facades refer to each other; whichever is named first, an R7 that
// the device manager already knows sets the ranges and defaults. Nothing in
// this file names a facade before the test does.
TestCase {
    name: "FacadeOrderConfigFirst"

    function test_r7_known_before_the_facades_exist() {
        HIDHotplugManager.deviceInfo = { name: "Veloran R7", sn: "R7SN", version: "V2.12", dpid: 0x9829, pid: 28, vid: 1 }
        verify(ConfigMgr.auto_gain_max !== undefined)
        compare(ConfigMgr.getValue("device_dB"), 22)
        compare(ConfigMgr.auto_gain_max, 30)
        compare(HIDDeviceMgr.deviceDPID, String(0x9829))
    }
}
