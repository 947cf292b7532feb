import QtQuick
import QtTest
import MediaControls
import VeloranDeck
import VeloranTestSupport

// The T40's pull road: its success, a refusal then Retry, a device lost early
// (installed again once back) or late (the watchdog), a missing file and an
// answer of unknown size.
UpgradeCase {
    Connections {
        id: barWatch
        target: null
        property var early: []
        property var late: []
        // Values the bar took while the download still ran, and after it.
        function onValueChanged() {
            if (LogSpy.count("升级包下载成功:") === 0)
                early.push(target.value)
            else
                late.push(target.value)
        }
    }

    function test_pull_road() {
        const file = serveFirmware("/fw/t40.bin", { contentType: "application/octet-stream", chunkBytes: 8192,
                                                    chunkPauseMs: 20 })
        requestUpgrade("/fw/t40.bin")
        expectSucceeded()
        compare(EmulatedDevice.receivedCount(0x8006) > imageBytes / 1024, true)
        const stored = ConfigMgr.getValue(ConfigMgr.keys.upgradeFirmwareFilePath)
        verify(sameBytes(readFile(stored), file))
        verify(sameBytes(EmulatedDevice.firmwareImage(), file.slice(32)))
        leaveWith("btn2")
    }

    function test_refused_then_retried() {
        verify(EmulatedDevice.setUpgradeFault("refuse", 1))
        serveFirmware("/fw/low.bin")
        requestUpgrade("/fw/low.bin")
        // At once, long before the watchdog.
        expectFailed("升级失败", 5000)
        verify(EmulatedDevice.setUpgradeFault("none"))
        clickWhenLaidOut("btn3")
        expectSucceeded()
        compare(TestServer.requestCount("/fw/low.bin"), 2)
        leaveWith("btn2")
    }

    function test_replugged_early() {
        verify(EmulatedDevice.setUpgradeFault("powerLoss", 1))
        serveFirmware("/fw/replug.bin")
        requestUpgrade("/fw/replug.bin")
        tryVerify(function() { return LogSpy.count("[Upgrade] 升级过程中设备断开") === 1 }, 15000)
        compare(child("progressBar").visible, true)
        EmulatedDevice.plug()
        tryVerify(function() { return LogSpy.count("[Upgrade] 设备重连，自动重新触发升级:") === 1 }, 15000)
        expectSucceeded()
        leaveWith("btn2")
    }

    function test_lost_late_then_the_watchdog() {
        findChild(page, "upgradeTimeoutTimer").interval = 3000
        verify(EmulatedDevice.setUpgradeFault("powerLoss", 6))
        serveFirmware("/fw/late.bin")
        requestUpgrade("/fw/late.bin")
        tryVerify(function() { return LogSpy.count("[Upgrade] 升级过程中设备断开") === 1 }, 15000)
        verify(child("progressBar").value >= 0.05)
        compare(view(), ["升级中", true, false, false, false])
        expectFailed("升级失败", 6000)
        compare(LogSpy.count("[Upgrade] 升级超时未收到任何进度回调，判定升级失败"), 1)
        compare(LogSpy.count("[Upgrade] 设备重连，自动重新触发升级:"), 0)
        EmulatedDevice.plug()
        leaveWith("btn1")
    }

    function test_missing_file() {
        const requests = EmulatedDevice.receivedCount(0x8006)
        requestUpgrade("/fw/missing.bin")
        expectFailed("失败", 10000)
        wait(500)
        compare(EmulatedDevice.receivedCount(0x8006), requests)
        compare(LogSpy.count("升级包下载失败:"), 1)
        leaveWith("btn1")
    }

    function test_unknown_size() {
        serveFirmware("/fw/nolength.bin", { contentType: "application/octet-stream", omitLength: true,
                                            chunkBytes: 4096, chunkPauseMs: 40 })
        barWatch.early = []
        barWatch.late = []
        barWatch.target = child("progressBar")
        requestUpgrade("/fw/nolength.bin")
        tryVerify(function() { return LogSpy.count("升级包下载成功:") === 1 }, 10000)
        // Only the transfer's last report, once the size is known, may fill it.
        verify(barWatch.early.length === 0 || JSON.stringify(barWatch.early) === "[1]", JSON.stringify(barWatch.early))
        expectSucceeded()
        barWatch.target = null
        // A full bar empties when the device's installation begins, before
        // any of its reports (which may come at once).
        if (barWatch.early.length > 0)
            compare(barWatch.late[0], 0)
        leaveWith("btn2")
    }
}
