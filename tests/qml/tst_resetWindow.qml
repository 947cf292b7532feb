import QtQuick
import QtTest
import MediaControls
import VeloranDeck
import VeloranDeckSettings
import VeloranDeckHIDHotplug
import VeloranDeckTranslation

// The factory-reset window on a fake R7 and T40, with a reset of 300 ms:
// what is reset and sent at the confirmation, what is read back after the
// duration, and what a close on the way prevents.
TestCase {
    id: testCase
    name: "ResetWindow"
    width: 600
    height: 400
    when: windowShown
    visible: true

    readonly property var models: ({
        R7: { name: "Veloran R7", sn: "R7SN", version: "V2.12", dpid: 0x9829, pid: 28, vid: 1 },
        T40: { name: "Veloran T40", sn: "T40SN", version: "V1.05", dpid: 0x000D, pid: 28, vid: 1 }
    })
    readonly property int duration: 300
    // Each UPDATE_CONFIG_MESSAGE: [value, stored hotkey type, progress, ms since the confirmation].
    property var configTopics: []
    property var window: null
    property double confirmedAt: 0

    function onConfig(topic, data) {
        configTopics.push([data, ConfigMgr.getValue("general_hotkey_type"), window ? window.progressValue : -1,
                           Date.now() - confirmedAt])
    }

    function initTestCase() {
        MessageBus.subscribe(MessageBus.messageTypes.UPDATE_CONFIG_MESSAGE, onConfig)
    }

    function cleanupTestCase() {
        MessageBus.unsubscribe(MessageBus.messageTypes.UPDATE_CONFIG_MESSAGE, onConfig)
    }

    function init() {
        TranslationManager.setLanguage("zh_CN")
        SettingsManager.clear()
        ConfigMgr.loadAllSettings()
        HIDDeviceMgr.messageCache = {}
    }

    // A window of the model with a non-default setting stored, as the page
    // opens it; nothing recorded yet.
    function open(model) {
        HIDHotplugManager.deviceInfo = models[model]
        HIDHotplugManager.deviceConnected(models[model], true)
        ConfigMgr.setValue("general_hotkey_type", 3)
        HIDDeviceMgr.drainQueue()
        HIDHotplugManager.reset()
        configTopics = []
        window = TvConfig.createWindow("ResetWindow.qml", testCase)
        verify(window)
        window.resetDuration = duration
        tryCompare(window, "opacity", 1)
        return window
    }

    function button(name) {
        const found = findChild(window.contentItem, name)
        verify(found, name)
        return found
    }

    function shown() {
        return ["question", "progress", "successView", "cancelButton", "confirmButton", "doneButton"]
                .filter(function(name) { return button(name).visible })
    }

    function gone() {
        tryVerify(function() { return findChild(testCase, "resetWindow") === null }, 2000)
        window = null
    }

    function test_cancel() {
        open("R7")
        compare(shown(), ["question", "cancelButton", "confirmButton"])
        compare([window.width, window.height, window.minimumWidth, window.maximumHeight], [500, 300, 500, 300])
        mouseClick(button("cancelButton"))
        gone()
        HIDDeviceMgr.drainQueue()
        compare(HIDHotplugManager.calls, [])
        compare(configTopics, [])
        compare(ConfigMgr.getValue("general_hotkey_type"), 3)
        // A new window asks anew.
        open("R7")
        compare(shown(), ["question", "cancelButton", "confirmButton"])
        window.close()
        gone()
    }

    function test_reset_data() {
        return [
            { tag: "R7", model: "R7", priMessages: [[0x8004, [1]]], attribute27: [] },
            { tag: "T40", model: "T40", priMessages: [], attribute27: [[27, [1]]] }
        ]
    }

    function test_reset(data) {
        open(data.model)
        confirmedAt = Date.now()
        mouseClick(button("confirmButton"))
        compare(shown(), ["progress"])
        compare(configTopics.map(function(t) { return t.slice(0, 3) }), [[true, 0, 0]])
        compare(HIDHotplugManager.callsTo("sendPriMessage"), data.priMessages)
        HIDDeviceMgr.drainQueue()
        compare(HIDHotplugManager.callsTo("messageSend"), data.attribute27)
        compare(HIDHotplugManager.callsTo("messageGet"), [])

        tryCompare(configTopics, "length", 2, 3000)
        verify(configTopics[1][3] >= duration, "read back after " + configTopics[1][3] + " ms")
        compare(configTopics[1].slice(0, 3), [true, 0, 1])
        compare(HIDHotplugManager.callsTo("messageGet").map(function(c) { return c[0] }),
                [1, 2, 3, 4, 5, 6, 7, 24, 23, 26, 3])
        compare(shown(), ["successView", "doneButton"])
        mouseClick(button("doneButton"))
        gone()
    }

    function test_close_during_the_reset() {
        open("T40")
        mouseClick(button("confirmButton"))
        wait(duration / 3)
        window.close()
        gone()
        wait(duration * 2)
        compare(configTopics.length, 1)
        compare(HIDHotplugManager.callsTo("messageGet"), [])
        HIDDeviceMgr.drainQueue()
        compare(HIDHotplugManager.callsTo("messageSend"), [[27, [1]]])
    }
}
