import QtQuick
import QtTest
import MediaControls
import VeloranDeckSettings
import VeloranDeckSystemBridge
import VeloranTestSupport
import "updateServer.js" as UpdateServer

// Application checks that end without an installer.
TestCase {
    id: testCase
    name: "AppUpdateFailures"
    width: 1000
    height: 600
    when: windowShown

    property var calls: []

    function init() {
        TestServer.reset()
        SystemBridge.reset()
        MessageDialogMgr.setParent(testCase)
        MessageDialogMgr.appUpdateStat = 0
        ConfigMgr.setValue("auto_install", false)
        ConfigMgr.setValue("auto_install_path", "/kept/old.exe")
        calls = []
    }

    function options() {
        function note(name) { return function() { testCase.calls.push(name) } }
        return { onNoUpdate: note("noUpdate"), onError: note("error"), onDownloading: note("downloading"),
                 onDownloaded: note("downloaded"), onCancelled: note("cancelled") }
    }

    function test_check_ends_without_installer_data() {
        const downloadError = /^升级包下载网络错误:/
        const badReply = /^应用更新检查的回复无效:/
        const update = { upgradeFlag: 1, upgradeDate: { fileUrl: TestServer.url(UpdateServer.installerPath), version: "2.0" } }
        return [
            { tag: "installer 404", installer: [404, "{}"], state: 2, calls: ["downloading", "error"], log: downloadError },
            { tag: "dropped after 64 KiB", installer: [200, UpdateServer.installerBody(), { dropAfterBytes: 65536 }],
              state: 2, calls: ["downloading", "error"], log: downloadError },
            // Plain http is fetched only from the configured server's host.
            { tag: "installer over http elsewhere", fileUrl: "http://127.0.0.2:" + TestServer.url("").split(":")[2]
                  + "/files/app_setup.exe", state: 2, calls: ["downloading", "error"], log: downloadError },
            { tag: "installer on a closed port", closedPort: true, state: 2, calls: ["downloading", "error"],
              log: downloadError },
            { tag: "empty fileUrl", fileUrl: "", state: 2, calls: ["error"] },
            { tag: "no update", reply: { code: 0, data: { upgradeFlag: 0 } }, state: 0, calls: ["noUpdate"] },
            { tag: "update as text", reply: { code: "0", data: { upgradeFlag: "1", upgradeDate: { fileUrl: "" } } },
              state: 2, calls: ["error"] },
            { tag: "check refused", replyOptions: { closeAbruptly: true }, state: 2, calls: ["error"] },
            { tag: "data null", reply: { code: 0, data: null }, state: 0, calls: ["noUpdate"] },
            { tag: "data a text", reply: { code: 0, data: "upgrade" }, state: 2, calls: ["error"], log: badReply },
            { tag: "upgradeDate null", reply: { code: 0, data: { upgradeFlag: 1, upgradeDate: null } },
              state: 2, calls: ["error"] },
            { tag: "not JSON", reply: "<html>busy</html>", state: 2, calls: ["error"], log: badReply },
            // Only the number 0 or the text "0" is success; only true, 1 or
            // "1" is a flag that is set; texts must be texts.
            { tag: "code empty text", reply: { code: "", data: update }, state: 2, calls: ["error"], log: badReply },
            { tag: "code a blank", reply: { code: " ", data: update }, state: 2, calls: ["error"], log: badReply },
            { tag: "code a list", reply: { code: [], data: update }, state: 2, calls: ["error"], log: badReply },
            { tag: "code false", reply: { code: false, data: update }, state: 2, calls: ["error"], log: badReply },
            { tag: "code missing", reply: { data: update }, state: 2, calls: ["error"], log: badReply },
            { tag: "code refused", reply: { code: 401, data: update }, state: 0, calls: ["noUpdate"] },
            { tag: "upgradeFlag a list", reply: { code: 0, data: { upgradeFlag: [1], upgradeDate: update.upgradeDate } },
              state: 2, calls: ["error"], log: badReply },
            { tag: "upgradeFlag a text", reply: { code: 0, data: { upgradeFlag: "yes", upgradeDate: update.upgradeDate } },
              state: 2, calls: ["error"], log: badReply },
            { tag: "fileUrl a list", reply: { code: 0, data: { upgradeFlag: true, upgradeDate: { fileUrl: [1] } } },
              state: 2, calls: ["error"], log: badReply },
            { tag: "version too long", reply: { code: 0, data: { upgradeFlag: true, upgradeDate: {
                  fileUrl: update.upgradeDate.fileUrl, version: "9".repeat(257) } } },
              state: 2, calls: ["error"], log: badReply }
        ]
    }

    function test_check_ends_without_installer(data) {
        if (data.reply !== undefined || data.replyOptions)
            TestServer.route("POST", UpdateServer.checkPath, 200, data.reply !== undefined ? data.reply : { code: 0 },
                             data.replyOptions)
        else
            UpdateServer.offerUpdate(TestServer, data.closedPort ? TestServer.closedPortUrl() + "/app_setup.exe"
                                                                 : data.fileUrl)
        if (data.installer)
            TestServer.route("GET", UpdateServer.installerPath, data.installer[0], data.installer[1], data.installer[2])
        if (data.log)
            ignoreWarning(data.log)

        MessageDialogMgr.checkAppUpdate(options())
        tryVerify(function() { return !MessageDialogMgr.appUpdateRunning }, 5000)
        wait(100)
        compare(MessageDialogMgr.appUpdateStat, data.state)
        compare(calls, data.calls)
        compare(MessageDialogMgr.downloadedFilePath, "")
        compare(ConfigMgr.getValue("auto_install_path"), "/kept/old.exe")
        compare(MessageDialogMgr.openDialogs.length + MessageDialogMgr.dialogQueue.length, 0)
        compare(TestServer.requestCount(UpdateServer.installerPath), data.installer ? 1 : 0)

        // Nothing stays marked as running: the next check asks again.
        const before = TestServer.requestCount(UpdateServer.checkPath)
        if (data.log)
            ignoreWarning(data.log)
        MessageDialogMgr.checkAppUpdate({})
        tryVerify(function() { return TestServer.requestCount(UpdateServer.checkPath) === before + 1 }, 5000)
        tryVerify(function() { return !MessageDialogMgr.appUpdateRunning }, 5000)
    }
}
