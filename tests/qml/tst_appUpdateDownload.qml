import QtQuick
import QtTest
import MediaControls
import VeloranDeckSettings
import VeloranDeckSystemBridge
import VeloranDeckTranslation
import VeloranTestSupport
import "updateServer.js" as UpdateServer

// auto_install off: the installer is downloaded and offered in an "app" prompt.
TestCase {
    id: testCase
    name: "AppUpdateDownload"
    width: 1000
    height: 600
    when: windowShown

    property var states: []
    property var calls: []

    Connections {
        target: MessageDialogMgr
        function onAppUpdateStatChanged() { testCase.states.push(MessageDialogMgr.appUpdateStat) }
    }

    function options() {
        function note(name) { return function() { testCase.calls.push(name) } }
        return { onNoUpdate: note("noUpdate"), onError: note("error"), onDownloading: note("downloading"),
                 onDownloaded: note("downloaded"), onCancelled: note("cancelled") }
    }

    function test_download_then_prompt_then_install() {
        TranslationManager.setLanguage("zh_CN")
        MessageDialogMgr.setParent(testCase)
        ConfigMgr.setValue("auto_install", false)
        ConfigMgr.setValue("auto_install_path", "/somewhere/old.exe")
        SystemBridge.installFileResult = true
        UpdateServer.offerUpdate(TestServer)
        UpdateServer.serveInstaller(TestServer)

        MessageDialogMgr.checkAppUpdate(options())
        tryCompare(MessageDialogMgr, "appUpdateStat", 3, 5000)
        compare(states, [1, 4, 3])
        compare(calls, ["downloading", "downloaded"])
        compare(MessageDialogMgr.newVersionInfo, "1.3.0")
        const path = MessageDialogMgr.downloadedFilePath
        verify(path.startsWith(NetworkMgr.downloadFolder() + "/"), path)
        verify(path.endsWith(".exe"), path)
        compare(UpdateServer.readFile(path), UpdateServer.installerBody())

        compare(MessageDialogMgr.openDialogs.length, 1)
        const dialog = MessageDialogMgr.openDialogs[0].dialog
        compare(MessageDialogMgr.openDialogs[0].kind, "app")
        compare(dialog.title, "有新版本可升级，是否重启并升级软件？")
        verify(MessageDialogMgr.appUpdateRunning)
        tryVerify(function() { return dialog.opened }, 2000)
        mouseClick(findChild(dialog.contentItem, "confirmButton"))
        compare(SystemBridge.callsTo("installFile"), [[path]])
        compare(ConfigMgr.getValue("auto_install_path"), "")
        compare(SettingsManager.getValue("auto_install_path"), "")
        compare(MessageDialogMgr.appUpdateRunning, false)
        tryVerify(function() { return MessageDialogMgr.openDialogs.length === 0 }, 2000)

        // Already downloaded in this run: offered again without a request.
        MessageDialogMgr.appInstalling = false
        MessageDialogMgr.checkAppUpdate(options())
        compare(TestServer.requestCount(UpdateServer.checkPath), 1)
        compare(TestServer.requestCount(UpdateServer.installerPath), 1)
        compare(MessageDialogMgr.openDialogs.length, 1)
        const again = MessageDialogMgr.openDialogs[0].dialog
        tryVerify(function() { return again.opened }, 2000)
        mouseClick(findChild(again.contentItem, "cancelButton"))
        compare(calls, ["downloading", "downloaded", "cancelled"])
        compare(MessageDialogMgr.appUpdateRunning, false)
    }
}
