import QtQuick
import QtTest
import MediaControls
import VeloranDeckTranslation
import VeloranDeckSystemBridge
import VeloranDeckHIDHotplug
import VeloranTestSupport

TestCase {
    id: testCase
    name: "FirmwareCheck"
    width: 1000
    height: 600
    when: windowShown

    readonly property string firmwarePath: "/tarvo/pc/getFirmware"
    readonly property var t40Info: ({ name: "Veloran T40", sn: "T40SN", version: "V1.05", dpid: 0x000D, pid: 28, vid: 1 })
    readonly property var r7Info: ({ name: "Veloran R7", sn: "R7SN", version: "V2.12", dpid: 0x9829, pid: 28, vid: 1 })
    readonly property string fileUrl: "https://files.veloran.invalid/fw/t40_v106.bin"
    property var published: []
    property double readyAt: 0

    function onFirmware(topic, url) {
        published.push([url, HIDHotplugManager.callsTo("stopAndDisconnectDevice").length])
    }

    function initTestCase() {
        MessageBus.subscribe(MessageBus.messageTypes.UPDATE_FIRMWARE, onFirmware)
    }

    function init() {
        unplug()
        MessageDialogMgr.closeAllDialogs()
        MessageDialogMgr.setParent(testCase)
        MessageDialogMgr.controlPageActive = false
        MessageDialogMgr.appUpdateResolved = false
        MessageDialogMgr.appUpdateCheckStarted = false
        MessageDialogMgr.appUpdateStat = 0
        TestServer.reset()
        HIDHotplugManager.reset()
        TranslationManager.setLanguage("zh_CN")
        TestServer.route("POST", "/tarvo/pc/update/software", 200, { code: 0, data: { upgradeFlag: 0 } })
        TestServer.route("POST", "/tarvo/pc/save/connect", 200, { code: 0 })
        published = []
    }

    function plug(info) {
        HIDHotplugManager.deviceInfo = info
        HIDHotplugManager.deviceConnected(info, true)
        readyAt = Date.now()
        verify(HIDDeviceMgr.deviceReady)
    }

    function unplug() {
        HIDHotplugManager.deviceConnected(HIDDeviceMgr.deviceInfo, false)
    }

    function answer(reply) {
        TestServer.route("POST", firmwarePath, 200, reply)
    }

    function firmwarePrompts() {
        return MessageDialogMgr.openDialogs.filter(function(entry) { return entry.kind === "firmware" })
    }

    function test_automatic_check_waits_for_all_four_data() {
        return [
            { tag: "device last", steps: ["page", "resolved", "ready"] },
            { tag: "device first", steps: ["ready", "page", "resolved"] },
            { tag: "page last", steps: ["resolved", "ready", "page"] }
        ]
    }

    function test_automatic_check_waits_for_all_four(data) {
        answer({ code: 0, data: { isUpgrade: "0" } })
        for (let i = 0; i < data.steps.length; ++i) {
            const step = data.steps[i]
            if (step === "page") {
                MessageDialogMgr.controlPageActive = true
                MessageDialogMgr.checkFirmwareIfReady()
            } else if (step === "resolved") {
                MessageDialogMgr.startupAppUpdateCheck()
                tryVerify(function() { return MessageDialogMgr.appUpdateResolved }, 5000)
            } else {
                plug(t40Info)
            }
            wait(300)
        }
        tryVerify(function() { return TestServer.requestCount(firmwarePath) > 0 }, 5000)
        const seenAt = Date.now()
        verify(seenAt - readyAt >= 1400, "asked " + (seenAt - readyAt) + " ms after ready")
        verify(MessageDialogMgr.firmwareCheckedThisSession)
        MessageDialogMgr.checkFirmwareIfReady()
        wait(1700)
        compare(TestServer.requestCount(firmwarePath), 1)
        compare(MessageDialogMgr.firmwareUpdateStat, 0)
        compare(HIDDeviceMgr.hasNewFirmware, false)
    }

    function test_new_firmware_is_offered_data() {
        return [
            { tag: "T40", info: t40Info, language: "zh_CN", text: "Veloran T40 有新固件可升级，是否升级设备？", stops: 0 },
            { tag: "T40 in English", info: t40Info, language: "en_US",
              text: "New firmware is available for Veloran T40. Upgrade the device?", stops: 0 },
            { tag: "R7", info: r7Info, language: "zh_CN", text: "Veloran R7 有新固件可升级，是否升级设备？", stops: 1 }
        ]
    }

    function test_new_firmware_is_offered(data) {
        TranslationManager.setLanguage(data.language)
        answer({ code: 0, data: { isUpgrade: 1, newVersion: { filePath: fileUrl } } })
        plug(data.info)
        verify(MessageDialogMgr.checkFirmwareUpdate({ showDialog: true }))
        compare(MessageDialogMgr.firmwareUpdateStat, 1)
        compare(MessageDialogMgr.checkFirmwareUpdate({ showDialog: true }), false)
        tryCompare(MessageDialogMgr, "firmwareUpdateStat", 3, 5000)
        verify(HIDDeviceMgr.hasNewFirmware)
        compare(MessageDialogMgr.firmwareDownloadUrl, fileUrl)
        compare(firmwarePrompts().length, 1)
        const dialog = firmwarePrompts()[0].dialog
        compare(dialog.title, data.text)
        tryVerify(function() { return dialog.opened }, 2000)
        mouseClick(findChild(dialog.contentItem, "confirmButton"))
        compare(published, [[fileUrl, data.stops]])
        compare(HIDHotplugManager.callsTo("stopAndDisconnectDevice").length, data.stops)
    }

    function test_failed_checks_leave_state_zero_data() {
        return [
            { tag: "empty filePath", reply: { code: 0, data: { isUpgrade: "1", newVersion: { filePath: "" } } }, call: "error" },
            { tag: "code 1", reply: { code: 1 }, call: "error" },
            { tag: "data null", reply: { code: 0, data: null }, call: "noUpdate" },
            { tag: "newVersion a text", reply: { code: 0, data: { isUpgrade: "1", newVersion: "x" } }, call: "error" },
            { tag: "up to date", reply: { code: 0, data: { isUpgrade: "0" } }, call: "noUpdate" },
            { tag: "isUpgrade a list", reply: { code: 0, data: { isUpgrade: [1], newVersion: { filePath: "https://x/f.bin" } } },
              call: "error" },
            { tag: "isUpgrade yes", reply: { code: 0, data: { isUpgrade: "yes", newVersion: { filePath: "https://x/f.bin" } } },
              call: "error" },
            { tag: "code empty text", reply: { code: "", data: { isUpgrade: "1", newVersion: { filePath: "https://x/f.bin" } } },
              call: "error" },
            { tag: "code false", reply: { code: false, data: { isUpgrade: "1", newVersion: { filePath: "https://x/f.bin" } } },
              call: "error" },
            { tag: "filePath a number", reply: { code: 0, data: { isUpgrade: true, newVersion: { filePath: 7 } } },
              call: "error" }
        ]
    }

    function test_failed_checks_leave_state_zero(data) {
        answer(data.reply)
        plug(t40Info)
        const calls = []
        verify(MessageDialogMgr.checkFirmwareUpdate({ onError: function() { calls.push("error") },
                                                      onNoUpdate: function() { calls.push("noUpdate") } }))
        tryCompare(MessageDialogMgr, "firmwareUpdateRunning", false, 5000)
        compare(calls, [data.call])
        compare(MessageDialogMgr.firmwareUpdateStat, 0)
        compare(HIDDeviceMgr.hasNewFirmware, false)
        compare(MessageDialogMgr.openDialogs.length, 0)
        compare(MessageDialogMgr.firmwareDownloadUrl, "")
    }

    function test_unplugging_drops_firmware_prompts_and_the_next_connection_checks_again() {
        answer({ code: 0, data: { isUpgrade: "1", newVersion: { filePath: fileUrl } } })
        plug(t40Info)
        MessageDialogMgr.controlPageActive = true
        MessageDialogMgr.appUpdateResolved = true
        tryVerify(function() { return firmwarePrompts().length === 1 }, 5000)
        compare(MessageDialogMgr.showCustomDialogNew("app waiting", null, null, "", "", "app"), null)

        unplug()
        compare(MessageDialogMgr.firmwareUpdateStat, 0)
        compare(MessageDialogMgr.firmwareDownloadUrl, "")
        compare(MessageDialogMgr.firmwareCheckedThisSession, false)
        compare(HIDDeviceMgr.hasNewFirmware, false)
        tryVerify(function() { return MessageDialogMgr.openDialogs.length === 1
                                      && MessageDialogMgr.openDialogs[0].kind === "app" }, 2000)
        compare(MessageDialogMgr.openDialogs[0].dialog.title, "app waiting")

        plug(t40Info)
        tryVerify(function() { return TestServer.requestCount(firmwarePath) === 2 }, 5000)
        tryCompare(MessageDialogMgr, "firmwareUpdateStat", 3, 5000)
        compare(MessageDialogMgr.dialogQueue.length, 1)     // waits behind the app prompt
    }

    // A reply for a device that has gone meanwhile changes nothing.
    function test_reply_after_unplug_is_ignored() {
        TestServer.route("POST", firmwarePath, 200, { code: 0, data: { isUpgrade: "1", newVersion: { filePath: fileUrl } } },
                         { delayMs: 300 })
        plug(t40Info)
        verify(MessageDialogMgr.checkFirmwareUpdate({ showDialog: true }))
        unplug()
        wait(600)
        compare(TestServer.requestCount(firmwarePath), 1)
        compare(MessageDialogMgr.firmwareUpdateStat, 0)
        compare(HIDDeviceMgr.hasNewFirmware, false)
        compare(MessageDialogMgr.openDialogs.length + MessageDialogMgr.dialogQueue.length, 0)
    }

    // The device name takes the place of "Veloran" in every language.
    function test_every_language_keeps_the_name_to_replace() {
        const languages = TranslationManager.getAvailableLanguages()
        compare(languages.length, 9)
        for (let i = 0; i < languages.length; ++i) {
            TranslationManager.setLanguage(languages[i])
            const text = qsTranslate("MessageDialogMgr", "Veloran 有新固件可升级，是否升级设备？")
            verify(text.indexOf("Veloran") >= 0, languages[i] + ": " + text)
            if (languages[i] !== "zh_CN")
                verify(text !== "Veloran 有新固件可升级，是否升级设备？", languages[i] + " untranslated")
        }
    }
}
