import QtQuick
import QtTest
import MediaControls
import VeloranDeck
import VeloranTestSupport

// The R7's boot-loader road: its success, after which OK brings the R7 back
// home, and power lost while the image is written.
UpgradeCase {
    function test_boot_loader_road() {
        const file = serveFirmware("/fw/r7.bin")
        requestUpgrade("/fw/r7.bin")
        expectSucceeded()
        verify(sameBytes(EmulatedDevice.firmwareImage(), file))
        verify(sameBytes(readFile(ConfigMgr.getValue(ConfigMgr.keys.upgradeFirmwareFilePath)), file))
        // The scan stays stopped until OK resumes it.
        wait(3000)
        compare(child("upgradeTitle").text, "连接你的 Veloran 设备")
        leaveWith("btn2")
    }

    function test_power_lost_while_writing() {
        verify(EmulatedDevice.setUpgradeFault("powerLoss", 9))
        serveFirmware("/fw/r7-lost.bin")
        requestUpgrade("/fw/r7-lost.bin")
        expectFailed("升级失败", 30000)
    }
}
