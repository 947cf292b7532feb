import QtQuick
import QtTest
import MediaControls
import VeloranDeck
import VeloranDeckHIDHotplug
import VeloranDeckTranslation
import VeloranTestSupport

// Firmware upgrades end to end: the root window over the real device manager
// and the emulated base of the run's model, the firmware file downloaded from
// the local test server. Each test takes the publisher's steps (scan stopped,
// then the request) and reads the outcome off the upgrade screen.
TestCase {
    id: testCase
    name: "UpgradeEmulated"
    when: windowShown
    width: 1300
    height: 800
    visible: true

    readonly property int imageBytes: 64 * 1024
    readonly property int upgradeMs: 60000
    property int nextVersion: 10
    property var window: null
    property var page: null

    Component {
        id: mainComponent
        Main {}
    }

    function initTestCase() {
        LogSpy.start()
        TranslationManager.setLanguage("zh_CN")
        TestServer.route("POST", "/tarvo/pc/save/connect", 200, { code: 0 })
        ConfigMgr.setValue("share_data", false)
    }

    function init() {
        EmulatedDevice.setUpgradeFault("none")
        EmulatedDevice.plug()
        LogSpy.clear()
        window = createTemporaryObject(mainComponent, testCase)
        page = findChild(window.contentItem, "stackView").currentItem
        // The new page hears the device only when it connects afresh.
        if (HIDDeviceMgr.deviceReady) {
            HIDHotplugManager.stopAndDisconnectDevice()
            HIDHotplugManager.startAndConnectDevice()
        }
        tryCompare(HIDDeviceMgr, "deviceReady", true, 15000)
        tryCompare(child("title"), "text", HIDDeviceMgr.isR7() ? "Veloran R7" : "Veloran T40", 15000)
    }

    function child(name) { return findChild(page, name) }

    // A newer image than any before, served at path; its bytes.
    function serveFirmware(path, options) {
        const file = EmulatedDevice.firmwareFile(nextVersion++, 0, imageBytes)
        compare(file.byteLength, imageBytes)
        TestServer.route("GET", path, 200, file, options || { contentType: "application/octet-stream" })
        return file
    }

    function requestUpgrade(path) {
        HIDDeviceMgr.stopAndDisconnectDevice()
        MessageBus.publishUpdateFirmware(TestServer.url(path))
        compare(child("upgradeView").visible, true)
    }

    // The screen's view: its text and which of Cancel, OK and Retry show.
    function view() {
        return [child("resetText").text, child("progressBar").visible,
                child("btn1").visible && child("upgradeMessageView").visible,
                child("btn2").visible && child("upgradeMessageView").visible,
                child("btn3").visible && child("upgradeMessageView").visible]
    }

    function expectSucceeded() {
        tryVerify(function() { return child("resetText").text !== "升级中" }, upgradeMs)
        compare(view(), ["升级成功", false, false, true, false])
    }

    function expectFailed(text, withinMs) {
        tryVerify(function() { return child("resetText").text !== "升级中" }, withinMs)
        compare(view(), [text, false, true, false, true])
    }

    function bytesOf(buffer) { return Array.from(new Uint8Array(buffer)) }

    function readFile(path) {
        const request = new XMLHttpRequest()
        request.open("GET", "file://" + path, false)
        request.responseType = "arraybuffer"
        request.send()
        return request.response
    }

    function sameBytes(a, b) {
        if (!a || !b || a.byteLength !== b.byteLength)
            return false
        const x = new Uint8Array(a)
        const y = new Uint8Array(b)
        for (let i = 0; i < x.length; ++i) {
            if (x[i] !== y[i])
                return false
        }
        return true
    }

    // A result row just shown is laid out before it is clicked.
    function clickWhenLaidOut(button) {
        waitForItemPolished(child(button).parent)
        waitForRendering(child(button))
        mouseClick(child(button))
    }

    // OK (or Cancel) leads back home, where the device shows again.
    function leaveWith(button) {
        clickWhenLaidOut(button)
        compare(child("homeView").visible, true)
        tryCompare(child("title"), "text", HIDDeviceMgr.isR7() ? "Veloran R7" : "Veloran T40", 15000)
    }
}
