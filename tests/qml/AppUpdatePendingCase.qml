import QtQuick
import QtTest
import MediaControls
import VeloranDeckSettings
import VeloranDeckSystemBridge
import VeloranTestSupport

// A fresh start with an installer waiting from the previous run. The check
// runs once per run, so each outcome of the launch is a file of its own.
TestCase {
    id: testCase
    width: 1000
    height: 600
    when: windowShown

    // Whether the system starts the installer.
    required property bool launches

    function test_pending_installer_at_start() {
        // The waiting installer, left by a download of the previous run.
        TestServer.route("GET", "/files/app_setup.exe", 200, "installer", { contentType: "application/octet-stream" })
        let downloaded = false
        const installer = NetworkMgr.downloadFile("/files/app_setup.exe", function() { downloaded = true })
        tryVerify(function() { return downloaded }, 5000)
        const check = new XMLHttpRequest()
        check.open("GET", "file://" + installer, false)
        check.send()
        compare(check.responseText, "installer")
        TestServer.reset()
        ConfigMgr.setValue("auto_install", true)
        ConfigMgr.setValue("auto_install_path", installer)
        SystemBridge.installFileResult = launches
        TestServer.route("POST", "/tarvo/pc/update/software", 200, { code: 0, data: { upgradeFlag: 0 } })

        MessageDialogMgr.startupAppUpdateCheck()
        compare(SystemBridge.callsTo("installFile"), [[installer]])
        compare(SettingsManager.getValue("auto_install_path"), "")
        compare(TestServer.requests().length, 0)
        if (launches) {
            compare(MessageDialogMgr.appUpdateStat, 0)
            compare(MessageDialogMgr.appUpdateRunning, false)
            wait(200)
            compare(TestServer.requests().length, 0)
            compare(MessageDialogMgr.appUpdateResolved, false)
        } else {
            tryCompare(MessageDialogMgr, "appUpdateResolved", true, 5000)
            compare(TestServer.requestCount("/tarvo/pc/update/software"), 1)
            compare(MessageDialogMgr.appUpdateStat, 0)
        }
        // Once per run.
        MessageDialogMgr.startupAppUpdateCheck()
        compare(SystemBridge.callsTo("installFile").length, 1)
    }
}
