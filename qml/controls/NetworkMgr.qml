pragma Singleton
import QtQuick
import VeloranDeckNetwork
import VeloranDeckSystemBridge
import "ServerReply.js" as ServerReply

// The interface's client of the maker's app server: one operation per
// server call over the native HTTP client, callbacks kept by request id,
// and the addresses of the web pages the windows open.
QtObject {
    id: networkMgr

    readonly property bool isOnline: NetworkManager.isOnline

    readonly property string base_url: (function() {
        const override = NetworkManager.serverUrlOverride()
        const url = override.length > 0 ? override : "https://api.veloran.invalid"
        return url.replace(/\/+$/, "")
    })()
    readonly property string pageHost: "https://www.veloran.invalid"
    readonly property string privacyHost: "http://privacy.veloran.invalid/"
    readonly property string help_url: pageHost + "/supportDetail?type=2"
    readonly property string help_url_en: pageHost + "/support/video"
    readonly property string custome_url: "https://chat.veloran.invalid/chatIndex?plugId=2071&pageTitle=Veloran%20Deck"
        + "&language=zh-cn&isRobot=1&robotOpen=1&_INVITE_USER_KEY=5c3e9a1f-27b4-4d8e-b6a0-9f14c2d7e853"
    readonly property string privacy_url_zh: privacyHost + "privacy-policy.html"
    readonly property string privacy_url_en: privacyHost + "privacy-policy_en.html"
    readonly property string privacy_url_it: privacyHost + "Deck-IT.html"
    readonly property string privacy_url_tw: privacyHost + "Deck-privacy-policy-TW.html"
    readonly property string privacy_url_ru: privacyHost + "Deck-privacy-policy-RU.html"
    readonly property string privacy_url_jp: privacyHost + "Deck-privacy-policy-JP.html"
    readonly property string privacy_url_fr: privacyHost + "Deck-privacy-policy-FR.html"
    readonly property string privacy_url_de: privacyHost + "Deck-privacy-policy-DE.html"
    readonly property string privacy_url_es: privacyHost + "Deck-privacy-policy-ES.html"
    readonly property string default_url: pageHost + "/downloadDetail?type=4&keyword="
    readonly property string default_url_en: pageHost + "/support/download"

    property var callbackMap: ({})

    // Callbacks run on a later turn of the event loop, each in its own
    // closure (Qt.callLater would merge repeated calls of one function).
    property var deferredCalls: []
    property Timer deferTimer: Timer {
        interval: 0
        onTriggered: {
            const calls = networkMgr.deferredCalls
            networkMgr.deferredCalls = []
            for (let i = 0; i < calls.length; ++i)
                calls[i]()
        }
    }

    signal requestProgress(int requestId, int bytesReceived, int bytesTotal)
    signal uploadProgress(int requestId, int bytesSent, int bytesTotal)
    signal fileUploaded(int requestId, string response)
    signal fileDownloaded(int requestId, string filePath)

    Component.onCompleted: {
        console.log("NetworkManager QML wrapper initialized")
        NetworkManager.requestCompleted.connect(onRequestCompleted)
        NetworkManager.requestError.connect(onRequestError)
        NetworkManager.downloadProgress.connect(onDownloadProgress)
        NetworkManager.requestProgress.connect(requestProgress)
        NetworkManager.uploadProgress.connect(uploadProgress)
        NetworkManager.fileUploaded.connect(fileUploaded)
        NetworkManager.fileDownloaded.connect(fileDownloaded)
        NetworkManager.setDefaultHeaders({
            "User-Agent": "VeloranDeck/" + Qt.application.version,
            "Accept": "application/json",
            "Content-Type": "application/json",
            "token": "token",
            "accessKey": ConfigMgr.getValue("accessKey")
        })
        NetworkManager.setTimeout(10000)
        NetworkManager.setRetryCount(3)
    }

    function defer(call) {
        deferredCalls.push(call)
        deferTimer.start()
    }

    function onRequestCompleted(requestId, success, response) {
        const entry = callbackMap[requestId]
        if (entry === undefined)
            return
        delete callbackMap[requestId]
        if (typeof entry.success === "function")
            defer(function() { entry.success(success, response) })
    }

    function onRequestError(requestId, errorCode, errorString) {
        const entry = callbackMap[requestId]
        if (entry === undefined)
            return
        delete callbackMap[requestId]
        if (typeof entry.error === "function")
            defer(function() { entry.error(errorCode, errorString) })
    }

    function onDownloadProgress(requestId, bytesReceived, bytesTotal) {
        const entry = callbackMap[requestId]
        if (entry !== undefined && typeof entry.progress === "function")
            entry.progress(bytesReceived, bytesTotal)
    }

    function keep(requestId, success, error, progress) {
        const entry = {}
        if (typeof success === "function")
            entry.success = success
        if (typeof error === "function")
            entry.error = error
        if (typeof progress === "function")
            entry.progress = progress
        callbackMap[requestId] = entry
    }

    function parseUrl(url) {
        const text = String(url)
        return text.startsWith("http") ? text : base_url + text
    }

    function get(url, success, error) {
        keep(NetworkManager.get(parseUrl(url), {}), success, error)
    }

    function post(url, data, success, error) {
        keep(NetworkManager.post(parseUrl(url), data || {}, {}), success, error)
    }

    function postDataList(url, data, success, error) {
        keep(NetworkManager.postDataList(parseUrl(url), data || {}, {}), success, error)
    }

    function put(url, data, success, error) {
        keep(NetworkManager.put(parseUrl(url), data || {}, {}), success, error)
    }

    function deleteResource(url, success, error) {
        keep(NetworkManager.deleteResource(parseUrl(url), {}), success, error)
    }

    function requestWithMethod(method, url, data, headers, timeoutMs) {
        return NetworkManager.requestWithMethod(method, parseUrl(url), data || {}, headers || {},
                                                timeoutMs !== undefined ? timeoutMs : 30000)
    }

    function uploadFile(url, filePath, headers) {
        return NetworkManager.uploadFile(parseUrl(url), filePath, headers || {})
    }

    function checkNetworkStatus() { NetworkManager.checkNetworkStatus() }
    function startNetworkMonitoring(intervalMs) {
        NetworkManager.startNetworkMonitoring(intervalMs !== undefined ? intervalMs : 5000)
    }
    function stopNetworkMonitoring() { NetworkManager.stopNetworkMonitoring() }
    function isNetworkAvailable() { return isOnline }
    function getNetworkInfo() { return { "isOnline": isOnline } }
    function setDefaultHeaders(headers) { NetworkManager.setDefaultHeaders(headers || {}) }
    function setTimeout(timeoutMs) { NetworkManager.setTimeout(timeoutMs !== undefined ? timeoutMs : 30000) }
    function setRetryCount(count) { NetworkManager.setRetryCount(count !== undefined ? count : 3) }

    function now() {
        return Qt.formatDateTime(new Date(), "yyyy-MM-dd HH:mm:ss")
    }

    function sharing() {
        return ConfigMgr.getValue("share_data") != false
    }

    function logReply(what, success, response) {
        console.log(what, success, ServerReply.logText(response))
    }

    function getTrackId(callback) {
        const trackId = ConfigMgr.getValue("trackId")
        if (trackId !== null && trackId !== undefined && trackId !== "trackId") {
            if (typeof callback === "function")
                callback()
            return
        }
        get("/tarvo/pc/get/trackId", function(success, response) {
            trackIdReply(success, response, callback)
        }, function(errorCode, errorString) {
            console.log("get trackId error:", errorCode, errorString)
        })
    }

    // Keeps the id only from a reply of the expected shape.
    function trackIdReply(success, response, callback) {
        const id = ServerReply.status(success, response) === "ok"
            ? ServerReply.text(response.data, ServerReply.maxIdLength) : null
        if (id === null || id.length === 0) {
            logReply("get trackId refused:", success, response)
            return false
        }
        ConfigMgr.setValue("trackId", id)
        if (typeof callback === "function")
            callback()
        return true
    }

    function checkUpdateApp(success, error) {
        post("/tarvo/pc/update/software", {
            clientType: Qt.platform.os === "windows" ? "1" : "2",
            currentVersion: Qt.application.version,
            softwareName: "VeloranDeck"
        }, success, error)
    }

    function checkUpdateFirmware(success, error) {
        post("/tarvo/pc/getFirmware", {
            firmwareVersion: HIDDeviceMgr.getDeviceVersion(),
            productPid: HIDDeviceMgr.getDevicePID(),
            productSn: HIDDeviceMgr.getDeviceSN(),
            productVid: HIDDeviceMgr.getDeviceVID()
        }, success, error)
    }

    function startApp() {
        if (!sharing())
            return
        const info = SystemBridge.getSystemInfo()
        post("/tarvo/pc/track", {
            trackId: ConfigMgr.getValue("trackId"),
            startTime: now(),
            softwareVersion: Qt.application.version,
            system: info.platform,
            osVersion: info.kernelVersion
        }, function(success, response) { logReply("startApp:", success, response) })
    }

    function connectDevice() {
        if (!sharing())
            return
        post("/tarvo/pc/save/connect", {
            trackId: ConfigMgr.getValue("trackId"),
            connectTime: now(),
            productSn: HIDDeviceMgr.getDeviceSN(),
            productName: HIDDeviceMgr.getDeviceName()
        }, function(success, response) { logReply("connectDevice:", success, response) })
    }

    // error is optional: usage tracking needs to know when an upload ended
    // without a reply.
    function disconnectDevice(list, callback, error) {
        postDataList("/tarvo/pc/save/connectTime", list, function(success, response) {
            logReply("disconnectDevice:", success, response)
            if (typeof callback === "function")
                callback(success, response)
        }, error)
    }

    function trackData(list, callback, error) {
        postDataList("/tarvo/pc/save/operation", list, function(success, response) {
            logReply("trackData:", success, response)
            if (typeof callback === "function")
                callback(success, response)
        }, error)
    }

    // The local name takes from the server's address only a short extension
    // of letters and digits; query and fragment never reach the file name.
    function downloadExtension(url) {
        const path = String(url === undefined || url === null ? "" : url).split(/[?#]/)[0]
        const name = path.substring(path.lastIndexOf("/") + 1)
        const dot = name.lastIndexOf(".")
        const extension = dot >= 0 ? name.substring(dot) : ""
        return /^\.[A-Za-z0-9]{1,8}$/.test(extension) ? extension : ""
    }

    // Downloads go to the user's own cache folder. kind "installer" allows
    // an installer's size; anything else is a firmware image.
    function downloadFile(url, success, progress, error, kind) {
        const folder = downloadFolder()
        if (!folder) {
            console.warn("NetworkMgr.downloadFile: 获取下载目录失败")
            if (typeof error === "function")
                error(false, { "error": "No download folder available" }, "")
            return ""
        }
        const installer = kind === "installer"
        const targetPath = folder + "/" + (installer ? "update_install_" : "firmware_") + Date.now()
            + downloadExtension(url)
        keep(NetworkManager.downloadFile(parseUrl(url), targetPath, {},
                                         installer ? NetworkManager.installerMaxBytes : NetworkManager.firmwareMaxBytes),
             success, error, progress)
        return targetPath
    }

    function downloadFolder() { return NetworkManager.downloadFolder() }
    function isDownloadedFile(path) { return NetworkManager.isInDownloadFolder(String(path)) }
    function cleanDownloads(keepPaths) { NetworkManager.cleanDownloads(keepPaths) }
}
