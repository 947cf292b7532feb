pragma Singleton
import QtQuick
import VeloranDeckSystemBridge
import "ServerReply.js" as ServerReply

// Prompts one at a time in the main window, and the two update checks: the
// application check once after start-up (download, then install now or at
// the next start) and the firmware check once per device connection.
QtObject {
    id: messageDialogMgr

    property var parentWindow: null
    property var openDialogs: []
    property var dialogQueue: []
    property bool dialogShowing: false
    property int appUpdateStat: 0
    property string newVersionInfo: ""
    property string downloadedFilePath: ""
    property bool appUpdateRunning: false
    property bool appUpdateResolved: false
    property bool appUpdateCheckStarted: false
    property bool appInstalling: false
    property int firmwareUpdateStat: 0
    property bool firmwareUpdateRunning: false
    property string firmwareDownloadUrl: ""
    property bool firmwareCheckedThisSession: false
    property bool controlPageActive: false
    property var currentDialog: null

    // Counts device connections, so that a firmware reply that arrives after
    // its device went away changes nothing.
    property int connectionSerial: 0

    signal confirmed()
    signal cancelled()

    property Component dialogComponent: Component { MessageDialog {} }

    // Leaves the device time to report its version before the check.
    property Timer firmwareCheckTimer: Timer {
        interval: 1500
        repeat: false
        onTriggered: messageDialogMgr.checkFirmwareIfReady()
    }

    property Connections deviceWatch: Connections {
        target: HIDDeviceMgr
        function onDeviceReadyChanged() { messageDialogMgr.onDeviceReadyChanged() }
    }

    function setParent(parent) {
        parentWindow = parent
    }

    // A window hosts dialogs on its content item.
    function hostItem() {
        if (!parentWindow)
            return null
        return parentWindow.contentItem !== undefined ? parentWindow.contentItem : parentWindow
    }

    function createDialog() {
        if (dialogComponent.status !== Component.Ready) {
            console.warn("Failed to load MessageDialog component:", dialogComponent.errorString())
            return null
        }
        const host = hostItem()
        const dialog = host ? dialogComponent.createObject(host) : null
        if (!dialog)
            console.warn("Failed to create dialog object")
        return dialog
    }

    function isFirmwarePending() {
        return dialogQueue.some(function(request) { return request.kind === "firmware" })
            || openDialogs.some(function(entry) { return entry.kind === "firmware" })
    }

    function showCustomDialogNew(msg, success, error, confirmText, cancelText, kind) {
        const requestKind = kind ? kind : "generic"
        if (requestKind === "firmware" && isFirmwarePending()) {
            console.log("[Dialog] 已有固件弹窗，跳过重复入队")
            return null
        }
        dialogQueue.push({ msg: msg, success: success, error: error, confirmText: confirmText,
                           cancelText: cancelText, kind: requestKind })
        return showNext()
    }

    function showNext() {
        // A request whose dialog cannot be made is dropped and the next one
        // tried at once, so that none waits behind it.
        while (!dialogShowing && dialogQueue.length > 0) {
            const request = dialogQueue.shift()
            const dialog = createDialog()
            if (!dialog)
                continue
            dialogShowing = true
            dialog.title = request.msg
            if (typeof request.success === "function")
                dialog.confirmed.connect(request.success)
            if (typeof request.error === "function")
                dialog.cancelled.connect(request.error)
            if (request.confirmText)
                dialog.confirmText = request.confirmText
            if (request.cancelText)
                dialog.cancelText = request.cancelText
            const entry = { dialog: dialog, kind: request.kind }
            openDialogs.push(entry)
            dialog.closed.connect(function() { onDialogClosed(entry) })
            dialog.open()
            return dialog
        }
        return null
    }

    function onDialogClosed(entry) {
        const at = openDialogs.indexOf(entry)
        if (at < 0)
            return                      // already forgotten by closeAllDialogs
        openDialogs.splice(at, 1)
        dialogShowing = false
        showNext()
    }

    function closeDialogsByKind(kind) {
        dialogQueue = dialogQueue.filter(function(request) { return request.kind !== kind })
        const shown = openDialogs.filter(function(entry) { return entry.kind === kind })
        for (let i = 0; i < shown.length; ++i)
            shown[i].dialog.close()
    }

    function closeAllDialogs() {
        dialogQueue = []
        const shown = openDialogs
        openDialogs = []
        dialogShowing = false
        for (let i = 0; i < shown.length; ++i)
            shown[i].dialog.close()
    }

    function showCustomDialog(msg) {
        if (!currentDialog) {
            const host = hostItem()
            currentDialog = host ? dialogComponent.createObject(host) : null
            if (!currentDialog) {
                console.warn("Failed to create dialog object")
                return
            }
            currentDialog.confirmed.connect(confirmed)
            currentDialog.cancelled.connect(cancelled)
        }
        currentDialog.showCustomDialog(msg)
    }

    function installAppPackage(path) {
        if (appInstalling)
            return false
        appInstalling = true
        // Cleared first, so that the same package is not offered again.
        ConfigMgr.setValue("auto_install_path", "")
        if (!NetworkMgr.isDownloadedFile(path)) {
            console.warn("升级包不在下载目录中, 不会启动:", path)
            appInstalling = false
            return false
        }
        const launched = SystemBridge.installFile(path)
        if (!launched)
            appInstalling = false
        return launched
    }

    function nonEmptyText(value) {
        return typeof value === "string" && value.length > 0
    }

    function callOption(options, name) {
        if (typeof options[name] === "function")
            options[name]()
    }

    function appPromptText() {
        return qsTr("有新版本可升级，是否重启并升级软件？")
    }

    function offerInstall(path, options) {
        showCustomDialogNew(appPromptText(), function() {
            installAppPackage(path)
            appUpdateRunning = false
        }, function() {
            console.log("用户选择稍后安装")
            appUpdateRunning = false
            callOption(options, "onCancelled")
        }, "", "", "app")
    }

    function checkAppUpdate(options) {
        const opts = options || {}
        const showDialog = opts.showDialog !== undefined ? opts.showDialog : true
        if (appUpdateRunning)
            return
        appUpdateRunning = true

        if (appUpdateStat === 3 && downloadedFilePath) {
            if (ConfigMgr.getValue("auto_install") === true) {
                ConfigMgr.setValue("auto_install_path", downloadedFilePath)
                appUpdateRunning = false
                callOption(opts, "onCancelled")
            } else if (showDialog) {
                offerInstall(downloadedFilePath, opts)
            } else {
                appUpdateRunning = false
            }
            return
        }

        appUpdateStat = 1
        const pending = ConfigMgr.getValue("auto_install_path")
        if (opts.consumePendingInstall === true && ConfigMgr.getValue("auto_install") === true && nonEmptyText(pending)) {
            if (installAppPackage(pending)) {
                appUpdateRunning = false
                appUpdateStat = 0
                return
            }
            // A package that cannot be launched must not hold up the checks
            // of this run: ask the server as if there had been none.
            console.warn("待安装的升级包无法启动, 继续检查更新:", pending)
        }

        NetworkMgr.checkUpdateApp(function(success, response) {
            appUpdateReply(success, response, opts, showDialog)
        }, function(errorCode, errorString) {
            appUpdateStat = 2
            appUpdateRunning = false
            callOption(opts, "onError")
        })
    }

    // A reply of another shape than the server's is an error, never an
    // update: nothing is downloaded for it.
    function appUpdateReply(success, response, opts, showDialog) {
        function fail() {
            console.warn("应用更新检查的回复无效:", ServerReply.logText(response))
            appUpdateStat = 2
            appUpdateRunning = false
            callOption(opts, "onError")
        }
        function noUpdate() {
            appUpdateStat = 0
            appUpdateRunning = false
            callOption(opts, "onNoUpdate")
        }
        const status = ServerReply.status(success, response)
        if (status === "malformed")
            return fail()
        if (status === "refused")
            return noUpdate()
        const data = ServerReply.member(response.data)
        const wanted = data !== null ? ServerReply.flag(data.upgradeFlag) : null
        if (wanted === null)
            return fail()
        if (!wanted)
            return noUpdate()
        const upgrade = ServerReply.member(data.upgradeDate)
        const address = upgrade !== null ? ServerReply.text(upgrade.fileUrl, ServerReply.maxAddressLength) : null
        const version = upgrade !== null && upgrade.version !== undefined && upgrade.version !== null
            ? ServerReply.text(upgrade.version, ServerReply.maxIdLength) : ""
        if (!address || version === null)
            return fail()
        newVersionInfo = version
        downloadInstaller(address, showDialog, opts)
    }

    function downloadInstaller(url, showDialog, options) {
        appUpdateStat = 4
        callOption(options, "onDownloading")
        let targetPath = ""
        targetPath = NetworkMgr.downloadFile(url, function(success, response) {
            if (!success) {
                appUpdateStat = 2
                appUpdateRunning = false
                console.warn("升级包下载失败:", ServerReply.logText(response))
                callOption(options, "onError")
                return
            }
            appUpdateStat = 3
            downloadedFilePath = targetPath
            callOption(options, "onDownloaded")
            if (ConfigMgr.getValue("auto_install") === true) {
                ConfigMgr.setValue("auto_install_path", targetPath)
                appUpdateRunning = false
                callOption(options, "onCancelled")
            } else if (!showDialog) {
                appUpdateRunning = false
                callOption(options, "onCancelled")
            } else {
                offerInstall(targetPath, options)
            }
        }, null, function(errorCode, errorString) {
            appUpdateStat = 2
            appUpdateRunning = false
            console.warn("升级包下载网络错误:", errorCode, ServerReply.logText(errorString))
            callOption(options, "onError")
        }, "installer")
    }

    function startupAppUpdateCheck() {
        if (appUpdateCheckStarted)
            return
        appUpdateCheckStarted = true
        // An installer is started only from the download folder; older
        // downloads than the waiting one are of no more use.
        const pending = ConfigMgr.getValue("auto_install_path")
        if (nonEmptyText(pending) && !NetworkMgr.isDownloadedFile(pending)) {
            console.warn("待安装的升级包不在下载目录中, 已清除:", pending)
            ConfigMgr.setValue("auto_install_path", "")
        }
        NetworkMgr.cleanDownloads([ConfigMgr.getValue("auto_install_path"),
                                   ConfigMgr.getValue("upgradeFirmwareFilePath")])
        function resolve() {
            appUpdateResolved = true
            checkFirmwareIfReady()
        }
        checkAppUpdate({ showDialog: true, consumePendingInstall: true,
                         onNoUpdate: resolve, onError: resolve, onCancelled: resolve })
    }

    // While the readiness delay runs, its expiry calls the gate again: a
    // device is asked about only after it had time to report its version.
    function checkFirmwareIfReady() {
        if (!appUpdateResolved || !controlPageActive || firmwareCheckedThisSession || !HIDDeviceMgr.deviceReady
                || firmwareCheckTimer.running)
            return
        if (checkFirmwareUpdate({ showDialog: true }))
            firmwareCheckedThisSession = true
    }

    function onDeviceReadyChanged() {
        if (HIDDeviceMgr.deviceReady) {
            firmwareCheckTimer.restart()
            return
        }
        ++connectionSerial
        firmwareCheckTimer.stop()
        firmwareCheckedThisSession = false
        firmwareUpdateStat = 0
        firmwareUpdateRunning = false
        firmwareDownloadUrl = ""
        closeDialogsByKind("firmware")
    }

    function firmwarePromptText() {
        const text = qsTr("Veloran 有新固件可升级，是否升级设备？")
        const name = HIDDeviceMgr.getDeviceName()
        return name ? text.replace("Veloran", function() { return name }) : text
    }

    function checkFirmwareUpdate(options) {
        const opts = options || {}
        const showDialog = opts.showDialog === true
        if (firmwareUpdateRunning)
            return false
        if (!HIDDeviceMgr.deviceReady) {
            callOption(opts, "onError")
            return false
        }
        firmwareUpdateRunning = true
        firmwareUpdateStat = 1
        const serial = connectionSerial
        NetworkMgr.checkUpdateFirmware(function(success, response) {
            if (serial === connectionSerial)
                firmwareReply(success, response, opts, showDialog)
        }, function(errorCode, errorString) {
            if (serial !== connectionSerial)
                return
            endFirmwareCheck(opts, "onError")
        })
        return true
    }

    function endFirmwareCheck(opts, callbackName) {
        firmwareUpdateStat = 0
        firmwareUpdateRunning = false
        callOption(opts, callbackName)
    }

    // As for the application: only a reply of the server's shape can offer
    // firmware.
    function firmwareReply(success, response, opts, showDialog) {
        if (ServerReply.status(success, response) !== "ok") {
            console.warn("固件更新检查的回复无效:", ServerReply.logText(response))
            endFirmwareCheck(opts, "onError")
            return
        }
        const data = ServerReply.member(response.data)
        const wanted = data !== null ? ServerReply.flag(data.isUpgrade) : null
        if (wanted === null) {
            console.warn("固件更新检查的回复无效:", ServerReply.logText(response))
            endFirmwareCheck(opts, "onError")
            return
        }
        if (!wanted) {
            HIDDeviceMgr.hasNewFirmware = false
            endFirmwareCheck(opts, "onNoUpdate")
            return
        }
        const newVersion = ServerReply.member(data.newVersion)
        const address = newVersion !== null ? ServerReply.text(newVersion.filePath, ServerReply.maxAddressLength) : null
        if (!address) {
            endFirmwareCheck(opts, "onError")
            return
        }
        HIDDeviceMgr.hasNewFirmware = true
        firmwareDownloadUrl = address
        firmwareUpdateStat = 3
        firmwareUpdateRunning = false
        if (showDialog) {
            showCustomDialogNew(firmwarePromptText(), function() {
                HIDDeviceMgr.stopAndDisconnectDevice()
                MessageBus.publishUpdateFirmware(address)
            }, function() {
                console.log("用户选择稍后固件升级")
            }, "", "", "firmware")
        }
    }
}
