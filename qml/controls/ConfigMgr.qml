pragma Singleton
import QtQuick
import VeloranDeckSettings

// The interface's one way to persistent settings: key names and defaults,
// a cache of every value read or written, conversion of what the INI
// stores give back as text, whole-list operations and the per-model scope.
Item {
    id: configMgr

    readonly property var keys: (function() {
        const names = {}
        for (let i = 0; i < keyNames.length; ++i)
            names[keyNames[i]] = keyNames[i]
        return Object.freeze(names)
    })()

    // The key table in its order; every key has a default below.
    readonly property var keyNames: [
        "appList", "listen", "share_data", "auto_install", "auto_install_path",
        "color_picker_preset_colors", "auto_gain", "auto_gain_on", "color_bg_other_lighting",
        "device_mute", "device_phantom", "device_boom", "device_boom_value", "device_equalizer",
        "device_equalizer_current", "device_equalizer_current_index", "device_equalizer_values",
        "device_mic_ratio", "device_dB", "color_bg_effect", "color_bg_static_type",
        "color_bg_static_single_color", "color_bg_static_illusory_color_index",
        "color_bg_static_illusory_color", "color_bg_bln_type", "color_bg_bln_single_color",
        "color_bg_bln_cyc_color", "color_bg_wave_type", "color_bg_wave_color",
        "color_bg_wave_dir_index", "color_bg_input_illusory_color_index",
        "color_bg_input_illusory_color", "color_bg_input_illusory_dir_index",
        "color_bg_knob_gain_color", "color_bg_knob_volume_color", "color_bg_knob_mic_ratio_color",
        "color_bg_knob_mute_color", "color_bg_other_brightness", "color_bg_other_close_lighting",
        "color_bg_other_close_rgb", "audio_enhancement_index", "ai_jianzao", "ai_jianzao_type",
        "device_compressor", "device_compressor_value", "general_hotkey_type",
        "general_hotkey_value_app", "general_hotkey_value_url", "general_hotkey_value_key",
        "general_rate", "accessKey", "trackId", "upgradeFirmwareFilePath"
    ]

    // Kept by a device reset: the mixer's strips and the user's consents.
    readonly property var keptAtDeviceReset: ["appList", "listen", "share_data", "auto_install"]

    readonly property var equalizerPresets: [
        { name: "原声", type: 0, value: [2, 1, 0, 0, 0, 0, 0, 1, 2, 1, 0, 0], img: "icons/gbz.svg" },
        { name: "人声增强", type: 0, value: [4, 2, 0, 0, -2, 0, 4, 2, 0, -3, -2, 1], img: "icons/rs.svg" },
        { name: "低切75Hz", type: 1, value: [-3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0], img: "icons/dq.svg" },
        { name: "低切150Hz", type: 2, value: [-6, -3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0], img: "icons/dq.svg" },
        { name: "平坦", type: 0, value: [0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0], img: "icons/pt.svg" },
        { name: "中频增强", type: 0, value: [0, 0, 1, 2, 3, 3, 2, 1, 1, 0, 0, 0], img: "icons/zp.svg" },
        { name: "低中频增强", type: 0, value: [-1, 0, 4, 2, 0, 0, 0, 1, 1, 0, 0, 0], img: "icons/dzp.svg" }
    ].map(function(preset) { return JSON.stringify(preset) })

    // Every gradient list's second and third presets are the same.
    readonly property var sharedIllusoryGradients: [
        ["#5D36FA", "#E720F9", "#5D36FA"], ["#E02903", "#FDE725", "#E02903"]
    ]
    readonly property var color_illusory_color_list: [["#FDE725", "#27FFDE", "#FDE725"]].concat(sharedIllusoryGradients)
    readonly property var color_illusory_color_list2: [["#00FF00", "#FF9900", "#FF0000"]].concat(sharedIllusoryGradients)
    readonly property var color_illusory_color_list3: [["#B5F701", "#9101FF", "#00FF00"]].concat(sharedIllusoryGradients)
    readonly property var color_wave_send_colors: [
        "#20E020", "#64FA01", "#B5F701", "#D46D01", "#D7445D", "#D744B6",
        "#9101FF", "#3662FF", "#20B6E0", "#00FFC4", "#00FF65", "#00FF00"
    ]
    readonly property var rate_list: ["44.1", "48", "88.2", "96", "176.4", "192"]

    // Model ranges follow the connected device.
    readonly property bool modelIsR7: HIDDeviceMgr.isR7()
    readonly property real auto_gain_min: modelIsR7 ? 1 : 0
    readonly property real auto_gain_max: modelIsR7 ? 30 : 18
    readonly property real auto_gain_count: auto_gain_max - auto_gain_min
    readonly property real auto_device_min: modelIsR7 ? 1 : 0
    readonly property real auto_device_max: modelIsR7 ? 30 : 13
    readonly property real auto_device_count: auto_device_max - auto_device_min
    readonly property real auto_app_min: 0
    readonly property real auto_app_max: 1

    readonly property var defaults: Object.freeze({
        appList: [],
        listen: "listen",
        share_data: true,
        auto_install: true,
        auto_install_path: "",
        color_picker_preset_colors: ["#FF0000", "#FF7F00", "#FBFC00", "#00FC00", "#00FCFD", "#0000FF", "#FF00FF", "#FFFFFF"],
        auto_gain: 15,
        auto_gain_on: false,
        color_bg_other_lighting: false,
        device_mute: false,
        device_phantom: false,
        device_boom: false,
        device_boom_value: -45,
        device_equalizer: false,
        device_equalizer_current: equalizerPresets[0],
        device_equalizer_current_index: 0,
        device_equalizer_values: equalizerPresets,
        device_mic_ratio: 13,
        device_dB: modelIsR7 ? 22 : 3,
        color_bg_effect: 2,
        color_bg_static_type: 0,
        color_bg_static_single_color: "#FF8C00",
        color_bg_static_illusory_color_index: 0,
        color_bg_static_illusory_color: color_illusory_color_list[0],
        color_bg_bln_type: 1,
        color_bg_bln_single_color: "#FF8C00",
        color_bg_bln_cyc_color: ["#FF0000", "#FF7F00", "#FFFF00", "#00FF00", "#00FFFF", "#0000FF", "#8000FF"],
        color_bg_wave_type: 0,
        color_bg_wave_color: color_illusory_color_list3[0],
        color_bg_wave_dir_index: 1,
        color_bg_input_illusory_color_index: 0,
        color_bg_input_illusory_color: color_illusory_color_list2[0],
        color_bg_input_illusory_dir_index: 1,
        color_bg_knob_gain_color: "#00FF00",
        color_bg_knob_volume_color: "#FFFF00",
        color_bg_knob_mic_ratio_color: "#0000FF",
        color_bg_knob_mute_color: "#FF0000",
        color_bg_other_brightness: 0.5,
        color_bg_other_close_lighting: false,
        color_bg_other_close_rgb: false,
        audio_enhancement_index: 0,
        ai_jianzao: false,
        ai_jianzao_type: 0,
        device_compressor: false,
        device_compressor_value: -45,
        general_hotkey_type: 0,
        general_hotkey_value_app: "",
        general_hotkey_value_url: "",
        general_hotkey_value_key: "",
        general_rate: "48",
        accessKey: "accessKey",
        trackId: "trackId",
        upgradeFirmwareFilePath: "",
        auto_app: 0.3
    })

    property var config: ({})

    Component.onCompleted: initialize()

    function rgbToHex(r, g, b) {
        function component(value) {
            let n = Math.round(Number(value))
            if (!(n >= 0))
                n = 0
            n = Math.min(n, 255)
            return (n < 16 ? "0" : "") + n.toString(16).toUpperCase()
        }
        return "#" + component(r) + component(g) + component(b)
    }

    function initialize() {
        console.log("初始化配置管理器")
        loadAllSettings()
    }

    function loadAllSettings() {
        const loaded = {}
        for (let i = 0; i < keyNames.length; ++i) {
            const key = keyNames[i]
            const fallback = defaults[key]
            if (Array.isArray(fallback))
                loaded[key] = toArray(SettingsManager.getStringList(key, fallback))
            else
                loaded[key] = convert(key, SettingsManager.getValue(key, fallback), fallback)
        }
        config = loaded
    }

    // INI stores give booleans and numbers back as text after a restart, so
    // what is read takes the type of its default.
    function convert(key, value, fallback) {
        if (typeof fallback === "boolean")
            return value === true || value === "true"
        if (typeof fallback === "number") {
            if (typeof value === "number" && isFinite(value))
                return value
            const text = typeof value === "string" ? value.trim() : ""
            const number = text.length > 0 ? Number(text) : NaN
            if (!isFinite(number)) {
                console.warn("配置值不是数字,使用默认值:", key, String(value).substring(0, 64), "->", fallback)
                return fallback
            }
            return number
        }
        // A hand-edited file may hold a list or a group where a text belongs.
        if (typeof fallback === "string") {
            if (typeof value === "string")
                return value
            if (typeof value === "number" || typeof value === "boolean")
                return String(value)
            console.warn("配置值不是文本,使用默认值:", key, "->", fallback)
            return fallback
        }
        if (fallback === undefined && (value === "true" || value === "false"))
            return value === "true"
        return value
    }

    // Lists come from C++ as sequences, or as one text when a single element
    // was stored; the cache keeps plain script arrays.
    function toArray(list) {
        if (list === undefined || list === null)
            return []
        if (typeof list === "string")
            return [list]
        const result = []
        for (let i = 0; i < list.length; ++i)
            result.push(list[i])
        return result
    }

    function isCached(key) {
        return Object.prototype.hasOwnProperty.call(config, key)
    }

    function getValue(key, defaultValue) {
        if (isCached(key))
            return config[key]
        const fallback = defaultValue !== undefined ? defaultValue : defaults[key]
        const value = convert(key, SettingsManager.getValue(key, fallback), fallback)
        config[key] = value
        return value
    }

    function setValue(key, value) {
        config[key] = value
        console.log("设置配置:", key, JSON.stringify(value))
        SettingsManager.setValue(key, value)
    }

    function removeValue(key) {
        const fallback = defaults[key]
        config[key] = Array.isArray(fallback) ? fallback.slice() : fallback
        SettingsManager.removeValue(key)
    }

    function setColor(key, color) {
        config[key] = color
        console.log("设置颜色配置:", key, color)
        SettingsManager.setColor(key, color)
    }

    function getColor(key, defaultColor) {
        if (isCached(key))
            return config[key]
        const fallback = defaultColor !== undefined ? defaultColor : defaults[key]
        const color = SettingsManager.getColor(key, fallback !== undefined ? fallback : "")
        config[key] = color
        return color
    }

    function getStringList(key, defaultList) {
        if (isCached(key))
            return config[key]
        const fallback = defaultList !== undefined ? defaultList
                       : defaults[key] !== undefined ? defaults[key] : []
        const list = toArray(SettingsManager.getStringList(key, fallback))
        config[key] = list
        return list
    }

    function setStringList(key, list) {
        const copy = toArray(list)
        config[key] = copy
        console.log("设置字符串列表配置:", key, JSON.stringify(copy))
        SettingsManager.setStringList(key, copy)
    }

    function cachedList(key) {
        const list = config[key]
        return Array.isArray(list) ? list : null
    }

    function writeList(key) {
        const list = cachedList(key)
        if (list !== null)
            SettingsManager.setStringList(key, list)
    }

    function addStringList(key, value) {
        const list = cachedList(key)
        if (list === null) {
            console.warn("列表配置未缓存:", key)
            return
        }
        list.push(value)
        writeList(key)
    }

    function removeStringList(key, value) {
        const list = cachedList(key)
        if (list === null)
            return
        const at = list.indexOf(value)
        if (at >= 0)
            list.splice(at, 1)
        writeList(key)
    }

    // An index outside the list changes nothing (splice would count a
    // negative one from the end).
    function removeStringListIndex(key, index) {
        const list = cachedList(key)
        if (list === null)
            return
        if (index >= 0 && index < list.length)
            list.splice(index, 1)
        writeList(key)
    }

    function replaceStringListIndex(key, index, value) {
        const list = cachedList(key)
        if (list === null)
            return
        if (index >= 0 && index < list.length)
            list[index] = value
        writeList(key)
    }

    function clearStringList(key) {
        config[key] = []
        SettingsManager.setStringList(key, [])
    }

    function containsStringList(key, value) {
        const list = cachedList(key)
        return list !== null && list.indexOf(value) >= 0
    }

    function getStringListIndex(key, value) {
        const list = cachedList(key)
        return list === null ? -1 : list.indexOf(value)
    }

    function getStringListLength(key) {
        const list = cachedList(key)
        return list === null ? 0 : list.length
    }

    function writeDefault(key) {
        const value = defaults[key]
        if (Array.isArray(value))
            SettingsManager.setStringList(key, value)
        else
            SettingsManager.setValue(key, value)
    }

    function saveAll() {
        console.log("保存所有配置")
        for (const key in config) {
            const value = config[key]
            console.log("保存配置:", key, JSON.stringify(value))
            if (Array.isArray(value))
                SettingsManager.setStringList(key, value)
            else
                SettingsManager.setValue(key, value)
        }
    }

    function resetToDefaults() {
        console.log("重置为默认值")
        for (let i = 0; i < keyNames.length; ++i)
            writeDefault(keyNames[i])
        loadAllSettings()
    }

    function resetDeviceToDefaults() {
        console.log("重置设备为默认值, 保留:", JSON.stringify(keptAtDeviceReset))
        for (let i = 0; i < keyNames.length; ++i) {
            if (keptAtDeviceReset.indexOf(keyNames[i]) < 0)
                writeDefault(keyNames[i])
        }
        SettingsManager.setValue("device_monitor", false)
        SettingsManager.setValue("device_mix", false)
        loadAllSettings()
    }

    function setDeviceScope(deviceId) {
        if (SettingsManager.deviceScope() === deviceId)
            return
        console.log("切换设备配置作用域:", deviceId)
        SettingsManager.setDeviceScope(deviceId)
        loadAllSettings()
        MessageBus.publishUpdateConfigMessage(deviceId)
    }
}
