import QtQuick
import QtTest
import MediaControls
import VeloranDeckSettings
import VeloranDeckHIDHotplug

TestCase {
    id: testCase
    name: "ConfigMgr"

    property var configMessages: []
    function onConfigMessage(topic, data) { configMessages.push(data) }

    readonly property var r7Info: ({ name: "Veloran R7", sn: "R7SN", version: "V2.12", dpid: 0x9829, pid: 28, vid: 1 })

    function initTestCase() {
        MessageBus.subscribe(MessageBus.messageTypes.UPDATE_CONFIG_MESSAGE, onConfigMessage)
    }

    // Every case starts from empty stores of the common scope, no device.
    function init() {
        SettingsManager.setDeviceScope("")
        SettingsManager.clear()
        HIDHotplugManager.reset()
        HIDDeviceMgr.deviceInfo = {}
        HIDDeviceMgr.deviceReady = false
        ConfigMgr.loadAllSettings()
        configMessages = []
    }

    function test_first_start_reads_the_defaults_data() {
        return [
            { tag: "share_data", key: "share_data", value: true },
            { tag: "auto_install", key: "auto_install", value: true },
            { tag: "listen", key: "listen", value: "listen" },
            { tag: "general_rate", key: "general_rate", value: "48" },
            { tag: "device_dB", key: "device_dB", value: 3 },
            { tag: "device_compressor_value", key: "device_compressor_value", value: -45 },
            { tag: "trackId", key: "trackId", value: "trackId" },
            { tag: "static gradient", key: "color_bg_static_illusory_color", value: ["#FDE725", "#27FFDE", "#FDE725"] },
            { tag: "wave gradient", key: "color_bg_wave_color", value: ["#B5F701", "#9101FF", "#00FF00"] },
            { tag: "equaliser presets", key: "device_equalizer_values", length: 7 },
            { tag: "R7 monitor volume", key: "device_dB", value: 22, r7: true }
        ]
    }

    function test_first_start_reads_the_defaults(data) {
        if (data.r7)
            HIDHotplugManager.deviceConnected(r7Info, true)
        const value = ConfigMgr.getValue(data.key)
        if (data.length !== undefined) {
            compare(value.length, data.length)
            compare(JSON.parse(value[0]).name, "原声")
            compare(ConfigMgr.getValue("device_equalizer_current"), value[0])
        } else {
            compare(value, data.value)
        }
        compare(Object.keys(ConfigMgr.keys).length, 53)
        compare(ConfigMgr.keys.device_dB, "device_dB")
    }

    // What an INI store gives back after a restart: text for everything.
    function test_stored_text_takes_the_type_of_the_default_data() {
        return [
            { tag: "bool", key: "device_mute", stored: "false", expected: false },
            { tag: "bool true", key: "auto_gain_on", stored: "true", expected: true },
            { tag: "int", key: "device_mic_ratio", stored: "13", expected: 13 },
            { tag: "real", key: "color_bg_other_brightness", stored: "0.3", expected: 0.3 },
            { tag: "not a number", key: "device_mic_ratio", stored: "abc", expected: 13,
              warning: "配置值不是数字,使用默认值: device_mic_ratio abc -> 13" },
            { tag: "empty number", key: "auto_gain", stored: "", expected: 15,
              warning: "配置值不是数字,使用默认值: auto_gain  -> 15" },
            { tag: "text stays text", key: "general_rate", stored: "96", expected: "96" },
            { tag: "one-element list", key: "color_bg_bln_cyc_color", stored: "#123456", expected: ["#123456"] }
        ]
    }

    function test_stored_text_takes_the_type_of_the_default(data) {
        SettingsManager.setValue(data.key, data.stored)
        if (data.warning)
            ignoreWarning(data.warning)
        ConfigMgr.loadAllSettings()
        const value = ConfigMgr.getValue(data.key)
        compare(value, data.expected)
        compare(typeof value, typeof data.expected)
        if (Array.isArray(data.expected))
            verify(Array.isArray(value))
    }

    function test_dynamic_keys_cache_what_they_return() {
        SettingsManager.setValue("device_mix", "true")
        compare(ConfigMgr.getValue("device_mix"), true)           // no default: text "true" is a bool
        compare(ConfigMgr.getValue("Player_monitor", false), false)
        SettingsManager.setValue("Player_dB", "0.5")
        compare(ConfigMgr.getValue("Player_dB", ConfigMgr.defaults.auto_app), 0.5)
        // The caller's default is cached with the value it produced.
        compare(ConfigMgr.getValue("Other_dB", 0.3), 0.3)
        compare(ConfigMgr.getValue("Other_dB", 0.9), 0.3)
        ConfigMgr.setValue("Other_dB", 0.7)
        compare(ConfigMgr.getValue("Other_dB", 0.9), 0.7)
        compare(Number(SettingsManager.getValue("Other_dB")), 0.7)
        ConfigMgr.loadAllSettings()
        compare(ConfigMgr.getValue("Other_dB", 0.9), 0.7)
    }

    function test_device_scope() {
        ConfigMgr.setDeviceScope("")
        compare(configMessages, [])
        ConfigMgr.setValue("auto_gain", 4)
        ConfigMgr.setDeviceScope("t40")
        compare(SettingsManager.deviceScope(), "t40")
        compare(configMessages, ["t40"])
        compare(ConfigMgr.getValue("auto_gain"), 15)       // the model's own store
        ConfigMgr.setValue("auto_gain", 9)
        ConfigMgr.setDeviceScope("t40")
        compare(configMessages, ["t40"])
        ConfigMgr.setDeviceScope("")
        compare(ConfigMgr.getValue("auto_gain"), 4)
        compare(configMessages, ["t40", ""])
    }

    function test_device_reset_keeps_strips_and_consents() {
        ConfigMgr.setStringList("appList", ['{"name":"Player"}'])
        ConfigMgr.setValue("listen", "mix")
        ConfigMgr.setValue("share_data", false)
        ConfigMgr.setValue("auto_install", false)
        ConfigMgr.setValue("trackId", "abc123")
        ConfigMgr.setValue("auto_gain", 4)
        ConfigMgr.setValue("device_mix", true)
        ConfigMgr.setValue("device_monitor", true)
        ConfigMgr.setValue("Player_mix", true)
        ConfigMgr.addStringList("device_equalizer_values", '{"name":"mine"}')

        ConfigMgr.resetDeviceToDefaults()
        compare(configMessages, [])
        compare(ConfigMgr.getStringList("appList"), ['{"name":"Player"}'])
        compare(ConfigMgr.getValue("listen"), "mix")
        compare(ConfigMgr.getValue("share_data"), false)
        compare(ConfigMgr.getValue("auto_install"), false)
        compare(ConfigMgr.getValue("trackId"), "trackId")
        compare(ConfigMgr.getValue("auto_gain"), 15)
        compare(ConfigMgr.getValue("device_mix"), false)
        compare(ConfigMgr.getValue("device_monitor"), false)
        compare(ConfigMgr.getValue("Player_mix"), true)
        compare(ConfigMgr.getStringListLength("device_equalizer_values"), 7)
    }

    function test_list_operations() {
        const key = "appList"
        ConfigMgr.setStringList(key, ["a", "b", "c"])
        ConfigMgr.removeStringList(key, "zz")
        compare(SettingsManager.getStringList(key), ["a", "b", "c"])
        ConfigMgr.replaceStringListIndex(key, -1, "x")
        compare(SettingsManager.getStringList(key), ["a", "b", "c"])
        ConfigMgr.removeStringListIndex(key, -1)
        compare(SettingsManager.getStringList(key), ["a", "b", "c"])
        ConfigMgr.replaceStringListIndex(key, 1, "B")
        ConfigMgr.addStringList(key, "d")
        ConfigMgr.removeStringList(key, "a")
        ConfigMgr.removeStringListIndex(key, 0)
        compare(SettingsManager.getStringList(key), ["c", "d"])
        compare(ConfigMgr.getStringListIndex(key, "d"), 1)
        verify(ConfigMgr.containsStringList(key, "c"))
        ConfigMgr.clearStringList(key)
        compare(ConfigMgr.getStringListLength(key), 0)
        compare(SettingsManager.getStringList(key), [])
    }

    function test_removed_custom_gradient_reads_undefined_until_written() {
        const key = "color_bg_wave_color_"
        ConfigMgr.setStringList(key, ["#010101", "#020202", "#030303"])
        ConfigMgr.removeValue(key)
        compare(ConfigMgr.getStringList(key, []), undefined)
        compare(SettingsManager.contains(key), false)
        ConfigMgr.loadAllSettings()                   // as after a restart
        compare(ConfigMgr.getStringList(key, []), [])
        // Removing a listed key restores a copy of its default.
        ConfigMgr.removeValue("color_bg_wave_color")
        ConfigMgr.addStringList("color_bg_wave_color", "#FFFFFF")
        compare(ConfigMgr.defaults.color_bg_wave_color.length, 3)
    }

    function test_rgbToHex_data() {
        return [
            { tag: "upper case", rgb: [255, 140, 0], hex: "#FF8C00" },
            { tag: "rounded", rgb: [15.4, 15.5, 0.49], hex: "#0F1000" },
            { tag: "clamped", rgb: [-3, 300, 128], hex: "#00FF80" },
            { tag: "not a number", rgb: [NaN, "x", 1], hex: "#000001" }
        ]
    }

    function test_rgbToHex(data) {
        compare(ConfigMgr.rgbToHex(data.rgb[0], data.rgb[1], data.rgb[2]), data.hex)
    }

    function test_model_ranges_follow_the_device() {
        compare([ConfigMgr.auto_gain_min, ConfigMgr.auto_gain_max, ConfigMgr.auto_gain_count], [0, 18, 18])
        compare([ConfigMgr.auto_device_min, ConfigMgr.auto_device_max, ConfigMgr.auto_device_count], [0, 13, 13])
        HIDHotplugManager.deviceConnected(r7Info, true)
        compare([ConfigMgr.auto_gain_min, ConfigMgr.auto_gain_max, ConfigMgr.auto_gain_count], [1, 30, 29])
        compare([ConfigMgr.auto_device_min, ConfigMgr.auto_device_max, ConfigMgr.auto_device_count], [1, 30, 29])
        compare([ConfigMgr.auto_app_min, ConfigMgr.auto_app_max], [0, 1])
    }
}
