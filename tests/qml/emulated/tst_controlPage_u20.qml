import QtQuick
import MediaControls
import VeloranDeckSystemBridge
import VeloranTestSupport

// The U20's tabs; with "关闭RGB灯" on and a base that echoes every write,
// the display going off and on leaves the RGB light off, on the base and in
// the store.
ControlPageCase {
    function test_control_page() {
        const page = enter(function() { EmulatedDevice.setEchoWrites(true) })
        checkTabsAndMonitorVolume(page)
        mouseClick(named(page, "tabButton2"))
        const rgb = named(page, "closeRgbSwitch")
        rgb.toggle()
        rgb.clicked()
        tryVerify(function() { return EmulatedDevice.attribute(26)[0] === 1 }, 3000)
        const lights = named(page, "closeLightingSwitch")
        lights.toggle()
        lights.clicked()
        compare(SystemBridge.callsTo("startPowerEventMonitor").length, 1)
        // The queued write's echo has come back.
        wait(500)
        compare(ConfigMgr.getValue("color_bg_other_close_rgb"), true)

        const before = EmulatedDevice.receivedCount(30)
        SystemBridge.screenPowerStateChanged(false)
        tryVerify(function() { return EmulatedDevice.receivedCount(30) === before + 1 }, 3000)
        wait(300)
        SystemBridge.screenPowerStateChanged(true)
        tryVerify(function() { return EmulatedDevice.receivedCount(30) === before + 2 }, 3000)
        wait(300)
        compare(EmulatedDevice.attribute(26), [1])
        compare(ConfigMgr.getValue("color_bg_other_close_rgb"), true)
    }
}
