import QtQuick
import QtTest
import MediaControls
import VeloranDeck
import VeloranDeckSettings
import VeloranDeckHIDHotplug
import VeloranDeckTranslation

// The lighting tab on a fake R7 and U20: what each control sends and
// stores, the effect echo, and the reload after a reset.
LightingPageCase {
    id: testCase
    name: "LightingTab"

    property var screenStates: []

    Component {
        id: tabComponent
        LightingTab {
            width: 700
            height: 800
        }
    }

    function onScreen(topic, data) { screenStates.push(data) }

    function makeTab(info) {
        connect(info)
        return createTemporaryObject(tabComponent, testCase)
    }

    function init() {
        screenStates = []
        MessageBus.subscribe(MessageBus.messageTypes.SCREEN_POWER_STATE_CHANGED, onScreen)
    }
    function cleanup() {
        MessageBus.unsubscribe(MessageBus.messageTypes.SCREEN_POWER_STATE_CHANGED, onScreen)
        TranslationManager.setLanguage("zh_CN")
    }

    // In every language the effect buttons stay inside the card, at least
    // 80 px wide, and the colour type buttons at least 65 px; every label
    // keeps a margin inside its button, with no binding loop on the way.
    function test_buttons_fit_their_texts_data() {
        return ["zh_CN", "en_US", "de_DE", "es_ES", "fr_FR", "it_IT", "ja_JP", "ru_RU", "zh_TW"]
            .map(function(code) { return { tag: code, code: code } })
    }

    function test_buttons_fit_their_texts(data) {
        failOnWarning(/Binding loop/)
        TranslationManager.setLanguage(data.code)
        const tab = makeTab(r7Info)
        tab.width = 410
        const card = findChild(tab, "backgroundCard")
        const groups = [
            { row: findChild(tab, "typeSelect"), prefix: "effect", count: 4, least: 80 },
            { row: findChild(findChild(tab, "staticPage"), "typeSelect2"), prefix: "type", count: 2, least: 65 },
            { row: findChild(findChild(tab, "breathingPage"), "typeSelect2"), prefix: "type", count: 2, least: 65 }
        ]
        waitForRendering(tab)
        for (const group of groups) {
            for (let i = 0; i < group.count; ++i) {
                const button = findChild(group.row, group.prefix + i)
                const label = findChild(button, "label")
                const where = data.code + " " + group.prefix + i + " \"" + label.text + "\""
                verify(button.width >= group.least, where + " is " + button.width + " wide")
                verify(label.implicitWidth + 10 <= button.width, where + " fills its button")
                const left = button.mapToItem(card, 0, 0).x
                verify(left >= 20 && left + button.width <= card.width - 20, where + " leaves the card's inside")
            }
        }
    }

    function test_effects_and_their_echo() {
        const tab = makeTab(r7Info)
        const select = findChild(tab, "typeSelect")
        const pages = ["staticPage", "breathingPage", "wavePage"].map(function(n) { return findChild(tab, n) })
        findChild(tab, "effect3").clicked()
        compare(sent(14), [[0]])
        findChild(tab, "effect2").clicked()
        compare(sent(14), [[0], [3]])
        compare([select.selectIndex, select.isClickedIndex, ConfigMgr.getValue("color_bg_effect")], [2, 2, 2])
        MessageBus.publish(MessageBus.messageTypes.BACKGROUND_LIGHT_MODE, 0)
        MessageBus.publish(MessageBus.messageTypes.BACKGROUND_LIGHT_MODE, 3)
        compare([select.selectIndex, select.isClickedIndex], [2, 0])
        MessageBus.publish(MessageBus.messageTypes.BACKGROUND_LIGHT_MODE, 0)
        compare(select.selectIndex, 3)
        compare(pages.map(function(p) { return p.visible }), [false, false, false])
        MessageBus.publish(MessageBus.messageTypes.BACKGROUND_LIGHT_MODE, 2)
        compare(select.selectIndex, 1)
        verify(pages[1].visible)
        compare(ConfigMgr.getValue("color_bg_effect"), 2)

        // A click whose echo never comes stops waiting.
        findChild(tab, "effect0").clicked()
        wait(1600)
        MessageBus.publish(MessageBus.messageTypes.BACKGROUND_LIGHT_MODE, 2)
        compare(select.selectIndex, 1)
    }

    function test_knob_colours_and_brightness() {
        const tab = makeTab(r7Info)
        const gain = findChild(tab, "gainColorSelect")
        gain.colorChanged(ConfigMgr.getValue("color_bg_knob_gain_color"))
        compare(sent(16), [])
        gain.reset()
        compare(sent(16), [[0x00, 0xFF, 0x00, 0x00]])
        compare(ConfigMgr.getValue("color_bg_knob_gain_color"), "#00ff00")
        ConfigMgr.setValue("color_bg_knob_mute_color", "#123456")
        findChild(tab, "muteColorSelect").colorChanged("#FF0000")
        compare(sent(21), [[0x00, 0x00, 0xFF, 0x00]])

        const slider = findChild(tab, "brightnessSlider")
        const values = [[0.01, 1], [1.0, 100], [0.57, 57]]
        for (let i = 0; i < values.length; ++i) {
            slider.value = values[i][0]
            slider.moved()
            compare(sent(19).slice(-1), [[values[i][1]]])
        }
        compare(ConfigMgr.getValue("color_bg_other_brightness"), 0.57)

        const lights = findChild(tab, "closeLightingSwitch")
        lights.toggle()
        lights.clicked()
        compare(screenStates, [true])
        compare(ConfigMgr.getValue("color_bg_other_close_lighting"), true)
        compare(HIDHotplugManager.callsTo("messageSend").filter(function(c) { return c[0] === 26 }), [])
    }

    function test_rgb_switch_data() {
        return [{ tag: "U20", info: u20Info, shown: true }, { tag: "R7", info: r7Info, shown: false }]
    }

    function test_rgb_switch(data) {
        const tab = makeTab(data.info)
        const box = findChild(tab, "closeRgbSwitch")
        compare(box.visible, data.shown)
        if (data.shown) {
            box.toggle()
            box.clicked()
            compare(sent(26), [[1]])
            compare(ConfigMgr.getValue("color_bg_other_close_rgb"), true)
        }
        MessageBus.publish(MessageBus.messageTypes.UPDATE_OTHER_LIGHT_OFF, 0)
        verify(!box.checked)
        MessageBus.publish(MessageBus.messageTypes.UPDATE_OTHER_LIGHT_OFF, 1)
        verify(box.checked)
    }

    function test_input_colours_data() {
        return [
            { tag: "R7 preset 0", info: r7Info, preset: 0, bytes: 120 },
            { tag: "U20 preset 0", info: u20Info, preset: 0, bytes: 24 },
            { tag: "U20 preset 1", info: u20Info, preset: 1, bytes: 24 }
        ]
    }

    function test_input_colours(data) {
        const tab = makeTab(data.info)
        const selector = findChild(tab, "inputIllusoryColor")
        selector.choosePreset(data.preset)
        const payload = sent(13)[0]
        compare(payload.length, data.bytes)
        const stops = ConfigMgr.color_illusory_color_list2[data.preset]
        if (data.preset === 1)
            compare(payload.slice(8, 12), TvConfig.hexToRgb(stops[1]))
        compare(payload.slice(0, 4), TvConfig.hexToRgb(stops[0]))
        compare(ConfigMgr.getValue("color_bg_input_illusory_color_index"), data.preset)
    }

    function test_reload_data() {
        return [{ tag: "reset", value: true, kept: false }, { tag: "microphone preset", value: "audio_enhancement", kept: true }]
    }

    function test_reload(data) {
        const tab = makeTab(r7Info)
        const selector = findChild(tab, "inputIllusoryColor")
        const custom = ["#111111", "#222222", "#333333"]
        ConfigMgr.setStringList("color_bg_input_illusory_color_", custom)
        MessageBus.publishUpdateConfigMessage(data.value)
        const stored = ConfigMgr.getStringList("color_bg_input_illusory_color_", [])
        compare(stored ? stored.length : 0, data.kept ? 3 : 0)
        HIDHotplugManager.reset()
        selector.chooseCustom()
        compare(Array.from(selector.selectedGradient), data.kept ? custom : ConfigMgr.color_illusory_color_list2[0])
    }
}
