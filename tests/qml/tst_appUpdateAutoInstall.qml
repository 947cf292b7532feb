import QtQuick
import QtTest
import MediaControls
import VeloranDeckSettings
import VeloranDeckSystemBridge
import VeloranTestSupport
import "updateServer.js" as UpdateServer

// auto_install on: the downloaded installer waits for the next start.
TestCase {
    id: testCase
    name: "AppUpdateAutoInstall"
    width: 1000
    height: 600
    when: windowShown

    function test_downloaded_installer_is_kept_for_the_next_start() {
        MessageDialogMgr.setParent(testCase)
        UpdateServer.offerUpdate(TestServer)
        UpdateServer.serveInstaller(TestServer)
        const calls = []
        MessageDialogMgr.checkAppUpdate({ onCancelled: function() { calls.push("cancelled") },
                                          onDownloaded: function() { calls.push("downloaded") } })
        tryCompare(MessageDialogMgr, "appUpdateStat", 3, 5000)
        compare(calls, ["downloaded", "cancelled"])
        compare(ConfigMgr.getValue("auto_install_path"), MessageDialogMgr.downloadedFilePath)
        compare(SettingsManager.getValue("auto_install_path"), MessageDialogMgr.downloadedFilePath)
        compare(MessageDialogMgr.openDialogs.length, 0)
        compare(MessageDialogMgr.dialogQueue.length, 0)
        compare(SystemBridge.callsTo("installFile"), [])
        compare(MessageDialogMgr.appUpdateRunning, false)
    }
}
