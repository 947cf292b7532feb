import QtQuick
import QtTest
import MediaControls
import VeloranDeck
import VeloranDeckSettings
import VeloranDeckSystemBridge
import VeloranDeckHIDHotplug
import VeloranDeckTracker
import VeloranDeckTranslation
import VeloranTestSupport

// The general tab on a fake R7 and T40: the hotkey rows, the sample rate
// that only a user's choice writes, the firmware card, the indicator switch
// and the re-read after a factory reset.
TestCase {
    id: testCase
    name: "GeneralTab"
    width: 450
    height: 800
    when: windowShown
    visible: true

    readonly property var models: ({
        R7: { name: "Veloran R7", sn: "R7SN", version: "V2.12", dpid: 0x9829, pid: 28, vid: 1 },
        T40: { name: "Veloran T40", sn: "T40SN", version: "V1.05", dpid: 0x000D, pid: 28, vid: 1 }
    })
    readonly property string firmwarePath: "/tarvo/pc/getFirmware"
    readonly property string fileUrl: "https://files.veloran.invalid/fw/r7_v213.bin"
    property var firmwareTopics: []

    Component {
        id: tabComponent
        GeneralTab {
            width: 410
            height: 700
        }
    }

    function onFirmware(topic, url) { firmwareTopics.push(url) }

    // The device's loss of readiness clears the address, as on a real
    // disconnect: the page must have read it before.
    function onFakeCalls() {
        const calls = HIDHotplugManager.calls
        if (calls.length > 0 && calls[calls.length - 1].method === "stopAndDisconnectDevice")
            MessageDialogMgr.firmwareDownloadUrl = ""
    }

    function initTestCase() {
        MessageBus.subscribe(MessageBus.messageTypes.UPDATE_FIRMWARE, onFirmware)
        HIDHotplugManager.callsChanged.connect(onFakeCalls)
    }

    function cleanupTestCase() {
        MessageBus.unsubscribe(MessageBus.messageTypes.UPDATE_FIRMWARE, onFirmware)
        HIDHotplugManager.callsChanged.disconnect(onFakeCalls)
    }

    function init() {
        // A check of the last test's tab must have been answered before the
        // disconnect forgets it, or it lands in this test.
        tryCompare(MessageDialogMgr, "firmwareUpdateRunning", false, 5000)
        TranslationManager.setLanguage("zh_CN")
        HIDHotplugManager.deviceConnected(HIDDeviceMgr.deviceInfo, false)
        SystemBridge.reset()
        TestServer.reset()
        SettingsManager.setDeviceScope("")
        SettingsManager.clear()
        HIDDeviceMgr.messageCache = {}
        ConfigMgr.loadAllSettings()
        MessageDialogMgr.appUpdateResolved = false
        MessageDialogMgr.controlPageActive = false
        MessageDialogMgr.firmwareUpdateStat = 0
        MessageDialogMgr.firmwareDownloadUrl = ""
        firmwareTopics = []
    }

    // Connects the model, stores the settings, scripts the endpoint's rate,
    // builds the tab and forgets what the set-up recorded.
    function tab(model, settings, endpointRate) {
        const info = models[model]
        HIDHotplugManager.deviceInfo = info
        HIDHotplugManager.deviceConnected(info, true)
        for (const key in (settings || {}))
            ConfigMgr.setValue(key, settings[key])
        SystemBridge.setResult("GetDeviceCurrentRateKHz", endpointRate || "")
        const created = createTemporaryObject(tabComponent, testCase)
        verify(created)
        waitForRendering(created)
        HIDDeviceMgr.drainQueue()
        HIDHotplugManager.reset()
        clearEvents()
        return created
    }

    function named(item, name) {
        const found = findChild(item, name)
        verify(found, name)
        return found
    }

    function clearEvents() {
        while (DataTrackerManager.countEvents() > 0)
            DataTrackerManager.deleteByIds(DataTrackerManager.queryEvents(0).map(function(e) { return e.id }))
    }

    // Usage events of the page, oldest first, as [item, type, value].
    function events() {
        return DataTrackerManager.queryEvents(0).filter(function(e) {
            return e.featureModule === "通用" && e.source === "software"
        }).sort(function(a, b) { return a.id - b.id }).map(function(e) {
            return [e.featureItem, e.eventType, e.eventValue]
        })
    }

    function sent(id) {
        HIDDeviceMgr.drainQueue()
        return HIDHotplugManager.callsTo("messageSend").filter(function(c) { return c[0] === id })
                .map(function(c) { return c[1] })
    }

    function test_hotkey_rows() {
        const t = tab("R7", { general_hotkey_type: 2, general_hotkey_value_key: "F5",
                              general_hotkey_value_url: "https://a.b" })
        compare([0, 1, 2, 3, 4].map(function(i) { return named(t, "hotkeyButton" + i).checked }),
                [false, false, true, false, false])
        const keyField = named(t, "keyField")
        const urlField = named(t, "urlField")
        // A stored key without "+" is what the capture itself stores.
        compare([keyField.text, urlField.text], ["F5", "https://a.b"])

        keyField.forceActiveFocus()
        const presses = [
            [Qt.Key_Backspace, Qt.NoModifier, "Backspace"],
            [Qt.Key_Escape, Qt.NoModifier, "Esc"],
            [Qt.Key_Tab, Qt.NoModifier, "Tab"],
            [Qt.Key_S, Qt.ControlModifier | Qt.ShiftModifier, "Ctrl+Shift+S"],
            [Qt.Key_Control, Qt.ControlModifier, "Ctrl"]
        ]
        for (let i = 0; i < presses.length; ++i) {
            keyPress(presses[i][0], presses[i][1])
            keyRelease(presses[i][0], presses[i][1])
            compare([keyField.text, ConfigMgr.getValue("general_hotkey_value_key"), keyField.activeFocus],
                    [presses[i][2], presses[i][2], true])
        }

        // Texts that came from no key press: never stored.
        const pasted = [["Ctrl+X", "Ctrl+X"], ["abc", ""], ["中", ""], ["Ctrl+中", ""]]
        for (let i = 0; i < pasted.length; ++i) {
            keyField.text = pasted[i][0]
            compare([keyField.text, ConfigMgr.getValue("general_hotkey_value_key")], [pasted[i][1], "Ctrl"])
        }

        const urls = [[" https://x y.z ", "https://xy.z", "https://xy.z"], ["htt", "htt", "https://xy.z"],
                      ["example.com", "http://example.com", "http://example.com"], ["", "", ""]]
        for (let i = 0; i < urls.length; ++i) {
            urlField.text = urls[i][0]
            compare([urlField.text, ConfigMgr.getValue("general_hotkey_value_url")], [urls[i][1], urls[i][2]])
        }

        compare(events(), [])
        mouseClick(named(t, "hotkeyButton4"), 8, 16)
        compare(ConfigMgr.getValue("general_hotkey_type"), 4)
        compare(events(), [["热键", "旋钮按键", "4"]])
        compare(HIDHotplugManager.calls, [])
    }

    // Each label beside an editor ends before the editor starts, however
    // long its language writes it.
    function test_hotkey_labels_clear_editors_data() {
        return ["de_DE", "en_US", "es_ES", "fr_FR", "it_IT", "ja_JP", "ru_RU", "zh_CN", "zh_TW"].map(
            function(language) { return { tag: language, language: language } })
    }

    function test_hotkey_labels_clear_editors(data) {
        TranslationManager.setLanguage(data.language)
        const t = tab("R7")
        const editors = ["appBox", "urlField", "keyField"]
        for (let i = 0; i < editors.length; ++i) {
            const label = named(t, "hotkeyLabel" + i)
            const editor = named(t, editors[i])
            const labelEnd = label.mapToItem(null, label.contentWidth, 0).x
            const editorStart = editor.mapToItem(null, 0, 0).x
            verify(label.contentWidth > 0 && labelEnd + 8 <= editorStart,
                   label.text + " ends at " + labelEnd + ", its editor starts at " + editorStart)
            verify(editor.width >= 160, editors[i] + " is " + editor.width + " wide")
        }
    }

    function test_sample_rate_data() {
        return [
            { tag: "endpoint at 16 kHz", endpoint: "16", shown: -1, choose: Qt.Key_Down, chosen: "44.1", hz: 44100 },
            { tag: "no endpoint: the stored rate", endpoint: "", shown: 3, choose: Qt.Key_Up, chosen: "88.2", hz: 88200 },
            { tag: "endpoint at 192 kHz", endpoint: "192", shown: 5, choose: Qt.Key_Up, chosen: "176.4", hz: 176400 }
        ]
    }

    function test_sample_rate(data) {
        const t = tab("R7", { general_rate: "96" }, data.endpoint)
        const box = named(t, "rateBox")
        compare(box.currentIndex, data.shown)
        // Refreshes after a connection write nothing.
        HIDHotplugManager.deviceConnected(models.R7, true)
        wait(700)
        compare(box.currentIndex, data.shown)
        compare(SystemBridge.callsTo("SetDeviceSampleRateAsync"), [])
        compare(ConfigMgr.getValue("general_rate"), "96")

        box.forceActiveFocus()
        keyClick(data.choose)
        compare(SystemBridge.callsTo("SetDeviceSampleRateAsync"), [["Veloran R7", data.hz]])
        compare(ConfigMgr.getValue("general_rate"), data.chosen)
        compare(events(), [["通用", "采样率", data.chosen + " kHz"]])

        // The result of a write shows the endpoint's rate half a second on.
        SystemBridge.setResult("GetDeviceCurrentRateKHz", "48")
        const before = box.currentIndex
        const emitted = Date.now()
        SystemBridge.deviceSampleRateChanged("Veloran R7", 48000, false)
        wait(250)
        if (Date.now() - emitted < 500)
            compare(box.currentIndex, before)
        tryCompare(box, "currentIndex", 1, 2000)
        compare(SystemBridge.callsTo("SetDeviceSampleRateAsync").length, 1)
        compare(events().length, 1)
    }

    function test_firmware_card() {
        TestServer.route("POST", firmwarePath, 200, { code: 0, data: { isUpgrade: "1", newVersion: { filePath: fileUrl } } })
        HIDHotplugManager.deviceInfo = models.R7
        HIDHotplugManager.deviceConnected(models.R7, true)
        verify(HIDDeviceMgr.deviceReady)
        const t = createTemporaryObject(tabComponent, testCase)
        // Not during the creation: the control page's check may come first.
        compare(MessageDialogMgr.firmwareUpdateRunning, false)
        tryCompare(MessageDialogMgr, "firmwareUpdateStat", 3, 5000)
        compare(TestServer.requestCount(firmwarePath), 1)
        const button = named(t, "firmwareButton")
        compare([button.text, named(t, "firmwareText").text, named(t, "firmwareVersion").text],
                ["立即更新", "有固件可升级", "V2.12"])
        HIDHotplugManager.reset()
        mouseClick(button)
        compare(HIDHotplugManager.callsTo("stopAndDisconnectDevice").length, 1)
        compare(firmwareTopics, [fileUrl])

        MessageDialogMgr.firmwareUpdateStat = 1
        compare([button.text, button.enabled], ["检查更新", false])
        MessageDialogMgr.firmwareUpdateStat = 0
        compare(named(t, "firmwareText").text, "Veloran R7 当前已是最新版本")
        MessageDialogMgr.firmwareUpdateRunning = false
        mouseClick(button)
        tryVerify(function() { return TestServer.requestCount(firmwarePath) === 2 }, 5000)
    }

    function test_cards_by_model_data() {
        return [
            { tag: "R7", model: "R7", shown: [true, true, false], bar: true },
            { tag: "T40", model: "T40", shown: [false, false, true], bar: false }
        ]
    }

    function test_cards_by_model(data) {
        const t = tab(data.model)
        compare(["hotkeyCard", "rateCard", "indicatorCard"].map(function(n) { return named(t, n).visible }), data.shown)
        // Both pages are taller than this: only the R7's shows its bar.
        t.height = 150
        tryCompare(named(t, "scrollBar"), "visible", data.bar)
    }

    function test_indicator() {
        const t = tab("T40")
        const indicator = named(t, "indicatorSwitch")
        HIDHotplugManager.messageReceived(26, [1])
        verify(indicator.checked)
        compare(sent(26), [])
        compare(events(), [])
        mouseClick(indicator)
        compare(sent(26), [[0]])
        compare(ConfigMgr.getValue("color_bg_other_lighting"), false)
        compare(events(), [["通用", "指示灯", "false"]])
    }

    function test_reset_rereads() {
        const t = tab("R7", { general_hotkey_type: 3, general_hotkey_value_key: "Ctrl+K",
                              general_hotkey_value_url: "http://a.b", general_rate: "96" })
        mouseClick(named(t, "resetArea"))
        compare(events(), [["通用", "恢复出厂", "1"]])
        const window = named(t, "resetWindow")
        tryCompare(window, "opacity", 1)
        clearEvents()
        mouseClick(findChild(window.contentItem, "confirmButton"))
        compare([0, 1, 2, 3, 4].map(function(i) { return named(t, "hotkeyButton" + i).checked }),
                [true, false, false, false, false])
        compare([named(t, "urlField").text, named(t, "keyField").text, named(t, "rateBox").currentIndex], ["", "", 1])
        window.close()
        tryVerify(function() { return findChild(t, "resetWindow") === null }, 2000)
        compare(HIDHotplugManager.callsTo("messageSend"), [])
        compare(SystemBridge.callsTo("SetDeviceSampleRateAsync"), [])
        compare(events(), [])
    }
}
