import QtQuick
import QtTest
import MediaControls
import VeloranDeck
import VeloranDeckSettings
import VeloranDeckHIDHotplug

// The static, breathing and wave pages on a fake R7 and U20: the payloads
// they send and their reload after a reset.
LightingPageCase {
    id: testCase
    name: "LightingSubPages"

    Component { id: staticPage; LightingSub1 { width: 600 } }
    Component { id: breathingPage; LightingSub2 { width: 600 } }
    Component { id: wavePage; LightingSub3 { width: 600 } }

    function colorAt(payload, index) {
        return TvConfig.rgbToHex([payload[index * 4 + 2], payload[index * 4 + 1], payload[index * 4]])
    }

    function test_static_data() {
        return [{ tag: "R7", info: r7Info, leds: 30 }, { tag: "U20", info: u20Info, leds: 12 }]
    }

    function test_static(data) {
        connect(data.info)
        const page = createTemporaryObject(staticPage, testCase)
        findChild(page, "type0").clicked()
        const solid = sent(10)[0]
        compare(solid.length, data.leds * 4)
        for (let i = 0; i < data.leds; ++i)
            compare(solid.slice(i * 4, i * 4 + 4), [0x00, 0x8C, 0xFF, 0x00])
        HIDHotplugManager.reset()
        findChild(page, "mutableColor").choosePreset(0)
        const gradient = sent(10)[0]
        compare(gradient.length, data.leds * 4)
        const middle = Math.floor((data.leds - 1) / 2)
        compare([colorAt(gradient, 0), colorAt(gradient, middle), colorAt(gradient, data.leds - 1)],
                ["#fde725", "#27ffde", "#fde725"])
    }

    function test_breathing() {
        connect(r7Info)
        const page = createTemporaryObject(breathingPage, testCase)
        compare(findChild(page, "typeSelect2").selectIndex, 1)
        findChild(page, "type0").clicked()
        compare(sent(11), [[0x00, 0x8C, 0xFF, 0x00].concat(new Array(24).fill(0))])
        const cycle = findChild(page, "mutableColor")
        HIDHotplugManager.reset()
        cycle.colorsChanged(Array.from(ConfigMgr.defaults.color_bg_bln_cyc_color))
        compare(sent(11), [])
        cycle.removeColor(6)
        cycle.removeColor(5)
        cycle.addColor("#0000FF")
        const payloads = sent(11)
        compare(payloads.length, 1)
        compare(colorAt(payloads[0], 5), "#0000ff")
        compare(payloads[0].slice(24), [0, 0, 0, 0])
        compare(ConfigMgr.getStringList("color_bg_bln_cyc_color").length, 6)
    }

    function test_wave_data() {
        return [{ tag: "R7", info: r7Info, otherBytes: 120 }, { tag: "U20", info: u20Info, otherBytes: 48 }]
    }

    function test_wave(data) {
        connect(data.info)
        const page = createTemporaryObject(wavePage, testCase)
        const select = findChild(page, "colorSelect")
        select.choosePreset(0)
        compare(sent(12), [TvConfig.hexToRgb("#20E020").concat(TvConfig.hexToRgb("#64FA01"))
                           .concat(ConfigMgr.color_wave_send_colors.slice(2).reduce(function(a, c) {
                               return a.concat(TvConfig.hexToRgb(c)) }, []))])
        HIDHotplugManager.reset()
        select.choosePreset(1)
        compare(sent(12)[0].length, data.otherBytes)
        compare(findChild(page, "typeSelect3").selectIndex, 1)
        findChild(page, "direction0").clicked()
        compare(sent(22), [[1]])
        compare(ConfigMgr.getValue("color_bg_wave_dir_index"), 0)
    }

    function test_reset_reload() {
        connect(r7Info)
        const pages = [staticPage, breathingPage, wavePage].map(function(c) {
            return createTemporaryObject(c, testCase)
        })
        findChild(pages[1], "type0").clicked()
        findChild(pages[1], "mutableColor").removeColor(0)
        sent(11)
        ConfigMgr.setStringList("color_bg_static_illusory_color_", ["#111111", "#222222", "#333333"])
        ConfigMgr.setStringList("color_bg_wave_color_", ["#111111", "#222222", "#333333"])
        ConfigMgr.resetDeviceToDefaults()
        HIDHotplugManager.reset()
        MessageBus.publishUpdateConfigMessage(true)
        compare(findChild(pages[1], "typeSelect2").selectIndex, 1)
        compare(Array.from(findChild(pages[1], "mutableColor").colorList), ConfigMgr.defaults.color_bg_bln_cyc_color)
        compare(SettingsManager.getStringList("color_bg_static_illusory_color_", []), [])
        compare(SettingsManager.getStringList("color_bg_wave_color_", []), [])
        wait(150)
        compare(HIDHotplugManager.callsTo("messageSend"), [])
    }
}
