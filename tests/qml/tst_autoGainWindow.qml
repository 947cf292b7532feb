import QtQuick
import QtTest
import MediaControls
import VeloranDeck
import VeloranDeckSettings
import VeloranDeckHIDHotplug
import VeloranDeckTranslation
import VeloranTestSupport

// The automatic-gain window on the fakes with a one-second countdown: the
// countdown text, which gain report is the result, the level bar, what each
// way of closing sends, a measurement the device restarts, and a level
// message after the window has gone.
TestCase {
    id: testCase
    name: "AutoGainWindow"
    when: windowShown

    readonly property var models: ({
        R7: { name: "Veloran R7", sn: "R7SN", version: "V2.12", dpid: 0x9829, pid: 28, vid: 1 },
        T40: { name: "Veloran T40", sn: "T40SN", version: "V1.05", dpid: 0x000D, pid: 28, vid: 1 }
    })
    property int destroyedWindows: 0

    Component {
        id: windowComponent
        AutoGainWindow {
            countdownDuration: 1000
            Component.onDestruction: ++testCase.destroyedWindows
        }
    }

    function initTestCase() {
        LogSpy.start()
    }

    function init() {
        TranslationManager.setLanguage("zh_CN")
        SettingsManager.setDeviceScope("")
        SettingsManager.clear()
        HIDDeviceMgr.deviceReady = false
        HIDDeviceMgr.messageCache = {}
        ConfigMgr.loadAllSettings()
        destroyedWindows = 0
    }

    function connect(model) {
        const info = models[model]
        HIDHotplugManager.deviceInfo = info
        HIDHotplugManager.deviceConnected(info, true)
        HIDDeviceMgr.drainQueue()
        HIDHotplugManager.reset()
    }

    property string firstCountdownText: ""

    // Created as the control page does: made visible at once.
    function opened(model) {
        connect(model || "R7")
        const window = windowComponent.createObject(null)
        verify(window)
        firstCountdownText = countdownText(window)
        window.visible = true
        tryCompare(window, "opacity", 1)
        return window
    }

    function named(window, name) {
        const found = findChild(window.contentItem, name)
        verify(found, name)
        return found
    }

    function sent() {
        HIDDeviceMgr.drainQueue()
        return JSON.stringify(HIDHotplugManager.callsTo("messageSend"))
    }

    function countdownText(window) {
        return named(window, "resetProgress").subText.text
    }

    function report(gain) {
        ConfigMgr.setValue("auto_gain", gain)
        MessageBus.publishUpdateMicGainLevel(gain)
    }

    function waitForEnd(window) {
        tryCompare(window, "measurementDone", true, 3000)
        compare(countdownText(window), "使用正常的音量讲话\n倒计时 0s")
    }

    function closedAndGone() {
        tryCompare(testCase, "destroyedWindows", 1, 2000)
    }

    function test_countdown_and_result() {
        const window = opened()
        compare(sent(), "[[3,[1]]]")
        HIDHotplugManager.reset()
        compare([window.width, window.height, window.title], [500, 300, "自动增益"])
        compare(firstCountdownText, "使用正常的音量讲话\n倒计时 10s")
        const seen = [10]
        report(9)
        tryVerify(function() {
            const seconds = Number(countdownText(window).match(/(\d+)s$/)[1])
            if (seconds !== seen[seen.length - 1])
                seen.push(seconds)
            return window.measurementDone
        }, 3000)
        compare(seen[seen.length - 1], 0)
        verify(seen.every(function(s, i) { return i === 0 || s < seen[i - 1] }), JSON.stringify(seen))
        // The report during the countdown was the knob, not the result.
        verify(!window.autoGainCompleted)
        verify(named(window, "cancelButton").visible)

        report(15)
        compare(named(window, "resultText").text, "设置成功\n增益为 49%")
        verify(named(window, "resultView").visible)
        verify(!named(window, "gain_view").visible && !named(window, "resetProgress").visible)
        verify(named(window, "okButton").visible && !named(window, "cancelButton").visible)
        report(20)
        compare(named(window, "resultText").text, "设置成功\n增益为 49%")

        // The device begins again by itself: nothing is sent.
        MessageBus.publishUpdateAutoGain(1)
        verify(!window.autoGainCompleted && !window.measurementDone)
        verify(named(window, "resetProgress").visible && named(window, "cancelButton").visible)
        compare(countdownText(window), "使用正常的音量讲话\n倒计时 10s")
        waitForEnd(window)
        report(2)
        compare(named(window, "resultText").text, "设置成功\n增益为 4%")
        compare(sent(), "[]")

        MessageBus.publishUpdateAutoGain(0)
        closedAndGone()
        compare(sent(), "[]")
    }

    function test_percentages_data() {
        return [
            { tag: "R7 1", model: "R7", gains: [1, 2, 15, 29, 30], shown: ["1%", "4%", "49%", "97%", "100%"] },
            { tag: "T40", model: "T40", gains: [0, 1, 3, 9, 18], shown: ["1%", "7%", "18%", "51%", "100%"] }
        ]
    }

    function test_percentages(data) {
        const window = opened(data.model)
        for (let i = 0; i < data.gains.length; ++i) {
            MessageBus.publishUpdateAutoGain(1)
            waitForEnd(window)
            report(data.gains[i])
            compare(named(window, "resultText").text, "设置成功\n增益为 " + data.shown[i])
        }
        window.close()
        closedAndGone()
    }

    function test_level_bar() {
        const window = opened()
        const bar = named(window, "gain_view")
        HIDHotplugManager.priMsgCallback(0x8002, 15)
        compare(bar.level, 0.5)
        verify(!bar.clipping)
        HIDHotplugManager.priMsgCallback(0x8003, 30)
        compare(bar.level, 0.5)
        HIDHotplugManager.priMsgCallback(0x8002, 30)
        compare(bar.level, 1)
        verify(bar.clipping)
        HIDHotplugManager.priMsgCallback(0x8002, 0)
        compare(bar.level, 0)

        window.close()
        closedAndGone()
        const before = LogSpy.messages.length
        HIDHotplugManager.priMsgCallback(0x8002, 15)
        compare(LogSpy.messages.slice(before), [])
    }

    function test_closing_data() {
        return [
            { tag: "cancel", button: "cancelButton", sends: "[[3,[0]]]" },
            { tag: "ok", button: "okButton", result: true, sends: "[]" },
            { tag: "title bar", button: "closeButton", sends: "[]" }
        ]
    }

    function test_closing(data) {
        const window = opened()
        compare(sent(), "[[3,[1]]]")
        HIDHotplugManager.reset()
        if (data.result) {
            waitForEnd(window)
            report(15)
        }
        mouseClick(named(window, data.button))
        compare(named(window, "closeTimer").running, true)
        compare(sent(), data.sends)
        closedAndGone()
    }
}
