import QtQuick
import QtTest
import MediaControls
import VeloranDeck
import VeloranDeckSettings
import VeloranDeckSystemBridge
import VeloranDeckHIDHotplug
import VeloranDeckTranslation

// The microphone tab on the fakes (T40, U20, R7): presets and their echo
// guard, tooltips, the software compressor, the R7's rows and the
// equaliser row.
TestCase {
    id: testCase
    name: "MicrophoneTab"
    width: 520
    height: 900
    when: windowShown
    visible: true

    readonly property var models: ({
        R7: { name: "Veloran R7", sn: "R7SN", version: "V2.12", dpid: 0x9829, pid: 28, vid: 1 },
        T40: { name: "Veloran T40", sn: "T40SN", version: "V1.05", dpid: 0x000D, pid: 28, vid: 1 },
        U20: { name: "Veloran U20", sn: "U20SN", version: "V1.02", dpid: 0x000E, pid: 28, vid: 1 }
    })
    property var configTopics: []

    Component {
        id: tabComponent
        MicrophoneTab {
            width: 500
            height: 900
        }
    }

    function onConfigTopic(type, data) { configTopics.push(data) }

    function initTestCase() {
        MessageBus.subscribe(MessageBus.messageTypes.UPDATE_CONFIG_MESSAGE, onConfigTopic)
    }

    function cleanupTestCase() {
        MessageBus.unsubscribe(MessageBus.messageTypes.UPDATE_CONFIG_MESSAGE, onConfigTopic)
    }

    function init() {
        TranslationManager.setLanguage("zh_CN")
        SystemBridge.reset()
        SettingsManager.setDeviceScope("")
        SettingsManager.clear()
        HIDDeviceMgr.messageCache = {}
        ConfigMgr.loadAllSettings()
        configTopics = []
    }

    function cleanup() {
        TranslationManager.setLanguage("zh_CN")
    }

    // Connects the model, stores the given settings, then builds the tab.
    function tab(model, settings) {
        const info = models[model]
        HIDHotplugManager.deviceInfo = info
        HIDHotplugManager.deviceConnected(info, true)
        for (const key in (settings || {}))
            ConfigMgr.setValue(key, settings[key])
        const created = createTemporaryObject(tabComponent, testCase)
        verify(created)
        waitForRendering(created)
        HIDDeviceMgr.drainQueue()
        HIDHotplugManager.reset()
        SystemBridge.reset()
        return created
    }

    function named(item, name) {
        const found = findChild(item, name)
        verify(found, name)
        return found
    }

    function sent() {
        HIDDeviceMgr.drainQueue()
        return JSON.stringify(HIDHotplugManager.callsTo("messageSend"))
    }

    function stored(key) {
        return String(ConfigMgr.getValue(key))
    }

    function handleX(slider, value) {
        const handle = findChild(slider, "handle")
        const position = (value - slider.from) / (slider.to - slider.from)
        return slider.leftPadding + position * (slider.availableWidth - handle.width) + handle.width / 2
    }

    function test_podcast_data() {
        return [{ tag: "T40", model: "T40" }, { tag: "U20", model: "U20" }]
    }

    function test_podcast(data) {
        const t = tab(data.model)
        mouseClick(named(t, "preset1"))
        // One drain, lowest attribute first.
        compare(sent(), "[[23,[1]],[24,[2]],[25,[251]]]")
        const expected = { audio_enhancement_index: "1", ai_jianzao: "true", ai_jianzao_type: "1",
                           device_boom: "true", device_boom_value: "-5", device_compressor: "true",
                           device_compressor_value: "-10", device_equalizer: "true",
                           device_equalizer_current_index: "1",
                           device_equalizer_current: ConfigMgr.defaults.device_equalizer_values[1] }
        for (const key in expected)
            compare(stored(key), expected[key], key)
        compare(named(t, "equalizerName").text, "人声增强")
        compare(SystemBridge.callsTo("updateMonitorDevice").length, 2)
        compare(configTopics, ["audio_enhancement"])
        compare(named(t, "selectRowType").selectIndex, 1)
        compare(named(t, "fanbaoYinSlider").value, -5)
        compare(named(t, "yasuoQiSlider").value, -10)
        compare(named(t, "noiseSelect2").selectIndex, 1)
    }

    // Timer bounds come from the measured clock, so that a loaded machine
    // cannot turn a late wake-up into a failure: the guard never ends before
    // 1500 ms after the last preset, and an echo follows the guard's state.
    function test_echo_guard_data() {
        return [
            { tag: "echo at 1000 ms keeps the preset", presets: [2], delay: 1000, selected: 2 },
            { tag: "echo at 1600 ms selects Custom", presets: [2], delay: 1600, selected: 4 },
            { tag: "a second preset extends the guard", presets: [2, 3], delay: 1000, selected: 3 }
        ]
    }

    function test_echo_guard(data) {
        const t = tab("T40")
        const row = named(t, "selectRowType")
        let last = 0
        for (let i = 0; i < data.presets.length; ++i) {
            if (i > 0)
                wait(1000)
            mouseClick(named(t, "preset" + data.presets[i]))
            last = Date.now()
        }
        wait(data.delay)
        if (data.delay > 1500)
            tryCompare(row, "applyingPreset", false, 5000)
        const elapsed = Date.now() - last
        const guarded = row.applyingPreset
        if (elapsed < 1500)
            verify(guarded, "guard ended after " + elapsed + " ms")
        ConfigMgr.setValue("ai_jianzao", true)
        MessageBus.publishAIJianzaoState(2)
        compare(row.selectIndex, guarded ? data.presets[data.presets.length - 1] : 4)
        if (elapsed < 1400)
            compare(row.selectIndex, data.selected)
        else if (data.delay > 1500)
            compare(row.selectIndex, 4)
        compare(stored("audio_enhancement_index"), String(row.selectIndex))
        compare(named(t, "noiseSelect2").selectIndex, 1)
        compare(stored("ai_jianzao_type"), "1")
        tryCompare(row, "applyingPreset", false, 5000)
        // A coarse timer may fire up to 5 % early; the interval itself is read below.
        verify(Date.now() - last >= 1400, "guard ended after " + (Date.now() - last) + " ms")
        compare(named(t, "applyPresetTimer").interval, 1500)
    }

    // The answers to the device reads of a connection or a reset keep the
    // stored preset however late they come; a report nobody asked for is a
    // change made on the device and selects Custom.
    function test_read_answers_keep_the_preset_data() {
        return [
            { tag: "connection's answer", reset: false, reports: [[24, [2]]], selected: 1 },
            { tag: "reset's answer after the guard", reset: true, reports: [[24, [0]]], selected: 1 },
            { tag: "a change after the answer", reset: false, reports: [[24, [2]], [24, [1]]], selected: 4 },
            { tag: "other answers first", reset: false, reports: [[1, [0]], [23, [0]], [24, [1]]], selected: 1 }
        ]
    }

    function test_read_answers_keep_the_preset(data) {
        HIDDeviceMgr.deviceReady = false
        HIDHotplugManager.deviceConnected(models.T40, false)
        const t = tab("T40", { audio_enhancement_index: 1 })
        const row = named(t, "selectRowType")
        compare(row.selectIndex, 1)
        if (data.reset) {
            // Every read of the connection answered, then a reset reads again.
            for (const id of HIDDeviceMgr.queriedAttributes)
                HIDHotplugManager.messageReceived(id, [0])
            HIDDeviceMgr.syncDeviceInfo()
            MessageBus.publishUpdateConfigMessage(true)
            tryCompare(row, "applyingPreset", false, 5000)
        }
        for (const report of data.reports)
            HIDHotplugManager.messageReceived(report[0], report[1])
        compare(row.selectIndex, data.selected)
    }

    function test_custom_changes_and_sends_nothing() {
        const t = tab("U20", { device_boom: true, device_boom_value: -12 })
        mouseClick(named(t, "preset4"))
        compare(sent(), "[]")
        compare(stored("audio_enhancement_index"), "4")
        compare(named(t, "fanbaoYinSlider").value, -12)
        compare(named(t, "fanbaoYinSwitch").checked, true)
        compare(SystemBridge.callsTo("updateMonitorDevice").length, 2)
        compare(configTopics, ["audio_enhancement"])
    }

    function test_acoustic_keeps_the_stored_strength() {
        const t = tab("T40", { ai_jianzao: true, ai_jianzao_type: 1 })
        compare(named(t, "noiseSelect2").selectIndex, 1)
        mouseClick(named(t, "preset0"))
        compare(sent(), "[[23,[0]],[24,[0]]]")
        compare(named(t, "noiseSelect2").selectIndex, 0)
        compare(stored("ai_jianzao_type"), "1")
        compare(stored("device_equalizer"), "false")
        HIDHotplugManager.reset()
        mouseClick(named(t, "aiNoiseSwitch"))
        compare(sent(), "[[24,[1]]]")
        compare(stored("audio_enhancement_index"), "4")
        // The device's echo of weak stores the type.
        HIDHotplugManager.messageReceived(24, [1])
        compare(stored("ai_jianzao_type"), "0")
    }

    function test_tooltips_data() {
        return [
            { tag: "R7 15", model: "R7", value: 15, text: "49%" },
            { tag: "R7 low", model: "R7", value: 1, text: "1%" },
            { tag: "R7 high", model: "R7", value: 30, text: "100%" },
            { tag: "T40 9", model: "T40", value: 9, text: "51%" },
            { tag: "T40 15", model: "T40", value: 15, text: "84%" },
            { tag: "T40 low", model: "T40", value: 0, text: "1%" },
            { tag: "U20 high", model: "U20", value: 18, text: "100%" },
            { tag: "U20 low", model: "U20", value: 0, text: "1%" }
        ]
    }

    function test_tooltips(data) {
        const slider = named(tab(data.model), "autoGainSlider")
        slider.value = data.value
        compare(slider.value, data.value)
        compare(slider.bubbleText(), data.text)
    }

    function test_anti_pop_default_below_range() {
        const t = tab("T40", { device_boom: true })
        const slider = named(t, "fanbaoYinSlider")
        compare(slider.value, -40)
        compare(slider.bubbleText(), "-40dB")
        mousePress(slider, handleX(slider, -40), slider.height / 2)
        mouseRelease(slider, handleX(slider, -40), slider.height / 2)
        compare(stored("device_boom_value"), "-40")
    }

    function test_compressor_is_applied_after_it_is_stored() {
        const t = tab("U20", { device_compressor: true, device_compressor_value: -45 })
        const slider = named(t, "yasuoQiSlider")
        const y = slider.height / 2
        mousePress(slider, handleX(slider, -45), y)
        mouseMove(slider, handleX(slider, -30), y)
        compare(stored("audio_enhancement_index"), "4")
        compare(SystemBridge.callsTo("updateMonitorDevice").length, 0)
        mouseRelease(slider, handleX(slider, -30), y)
        const calls = SystemBridge.callsTo("updateMonitorDevice")
        compare(calls.length, 1)
        compare(String(calls[0][2]), "true")
        compare(Number(calls[0][3]), slider.value)
        verify(slider.value > -45)
        wait(150)
        compare(sent(), "[]")
    }

    function test_r7_rows() {
        const t = tab("R7", { device_boom: false })
        const hidden = ["selectRowType", "aiNoiseSwitch", "fanbaoYinSwitch", "yasuoQiSwitch", "autoGainSwitch"]
        for (let i = 0; i < hidden.length; ++i)
            verify(!named(t, hidden[i]).visible, hidden[i])
        const shown = ["antiNoiseSwitch", "equalizerRow", "startDetectButton", "powerSwitch"]
        for (let i = 0; i < shown.length; ++i)
            verify(named(t, shown[i]).visible, shown[i])
        compare(named(t, "inputCard").height, 220)

        HIDHotplugManager.messageReceived(23, [1])
        compare(stored("device_boom"), "true")
        compare(named(t, "antiNoiseSwitch").checked, false)

        let autoGain = []
        const listener = function(type, data) { autoGain.push(data) }
        MessageBus.subscribe(MessageBus.messageTypes.UPDATE_AUTO_GAIN, listener)
        mouseClick(named(t, "startDetectButton"))
        MessageBus.unsubscribe(MessageBus.messageTypes.UPDATE_AUTO_GAIN, listener)
        compare(autoGain, [true])
        compare(sent(), "[]")

        mouseClick(named(t, "powerSwitch"))
        compare(sent(), "[[2,[1]]]")
        compare(stored("device_phantom"), "true")
    }

    function test_equalizer_row() {
        const custom = JSON.stringify({ name: "自定义", type: 0, value: [0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0], img: "icons/zdy.svg" })
        const t = tab("T40", { device_equalizer: true, device_equalizer_current_index: 8,
                               device_equalizer_current: custom })
        const row = named(t, "equalizerName")
        compare(row.text, "自定义 2")
        TranslationManager.setLanguage("en_US")
        compare(row.text, "Custom 2")
        ConfigMgr.setValue("device_equalizer_current", "{not json")
        MessageBus.publishUpdateDeviceEqualizerCurrent(8)
        compare(row.text, "Custom 2")
        ConfigMgr.setValue("device_equalizer", false)
        MessageBus.publishUpdateDeviceEqualizerCurrentChangeByType(false)
        compare(row.text, "Off")

        mouseClick(named(t, "equalizerRow"))
        verify(t.equalizerWindow.visible)
        t.equalizerWindow.visible = false
    }
}
