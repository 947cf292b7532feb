import QtQuick
import QtTest
import MediaControls
import VeloranDeck
import VeloranDeckSettings
import VeloranDeckSystemBridge
import VeloranDeckTranslation
import "../../qml/app/qml/eqcurve.js" as EqCurve

// The equaliser window on the fakes: tiles, adds and deletes, the pointer
// on the chart, the switch, and the window's list after a reload.
TestCase {
    id: testCase
    name: "EqualizerWindow"
    when: windowShown

    property var published: []

    Component {
        id: windowComponent
        EqualizerWindow {}
    }

    function onEqualizerTopic(type, data) {
        published.push({ data: data, stored: SettingsManager.getValue("device_equalizer_current"),
                         calls: SystemBridge.callsTo("updateMonitorDevice").length })
    }

    function initTestCase() {
        MessageBus.subscribe(MessageBus.messageTypes.UPDATE_DEVICE_EQUALIZER_CURRENT, onEqualizerTopic)
    }

    function cleanupTestCase() {
        MessageBus.unsubscribe(MessageBus.messageTypes.UPDATE_DEVICE_EQUALIZER_CURRENT, onEqualizerTopic)
    }

    function init() {
        TranslationManager.setLanguage("zh_CN")
        SettingsManager.setDeviceScope("")
        SettingsManager.clear()
        ConfigMgr.loadAllSettings()
        SystemBridge.reset()
        published = []
    }

    function named(window, name) {
        const found = findChild(window.contentItem, name)
        verify(found, name)
        return found
    }

    function shown() {
        const window = createTemporaryObject(windowComponent, testCase)
        verify(window)
        verify(!window.visible)
        window.visible = true
        tryCompare(window, "opacity", 1)
        return window
    }

    function tileName(window, index) {
        return named(window, "presetTile" + index).name
    }

    function stored() {
        return SettingsManager.getStringList("device_equalizer_values", [])
    }

    // The strip scrolls; the tile is brought into view first.
    function reveal(window, tile) {
        const strip = named(window, "presetStrip")
        strip.contentX = Math.max(0, Math.min(tile.x, strip.contentWidth - strip.width))
        waitForRendering(strip)
        mouseClick(tile)
    }

    function select(window, index) {
        reveal(window, named(window, "presetTile" + index))
        compare(window.selectIndex, index)
    }

    function addPreset(window) {
        reveal(window, named(window, "addTile"))
    }

    // The window opens with the selected tile inside the strip's view.
    function test_opens_on_the_selected_tile_data() {
        const custom = JSON.stringify({ name: "自定义", value: [0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0] })
        return [
            { tag: "first of seven", extra: 0, index: 0 },
            { tag: "last built-in", extra: 0, index: 6 },
            { tag: "third custom", extra: 3, index: 9 },
            { tag: "first of ten", extra: 3, index: 0 }
        ].map(function(row) {
            row.values = ConfigMgr.defaults.device_equalizer_values.concat(Array(row.extra).fill(custom))
            return row
        })
    }

    function test_opens_on_the_selected_tile(data) {
        SettingsManager.setStringList("device_equalizer_values", data.values)
        SettingsManager.setValue("device_equalizer_current_index", data.index)
        ConfigMgr.loadAllSettings()
        const window = shown()
        compare(window.selectIndex, data.index)
        const strip = named(window, "presetStrip")
        const tile = named(window, "presetTile" + data.index)
        verify(strip.contentWidth > strip.width, "the strip scrolls")
        verify(tile.x >= strip.contentX && tile.x + tile.width <= strip.contentX + strip.width,
               "tile at " + tile.x + ".." + (tile.x + tile.width) + ", view at " + strip.contentX)
        window.visible = false
        window.visible = true
        verify(tile.x >= strip.contentX && tile.x + tile.width <= strip.contentX + strip.width, "again")
    }

    function test_tiles_adds_and_deletes() {
        const window = shown()
        compare(window.dataList.length, 7)
        compare(tileName(window, 0), "原声")
        compare(String(named(window, "presetTile0").color), "#f77f13")
        compare(String(named(window, "presetTile1").color), "#3e3e3e")
        compare(named(window, "equalizerSwitch").checked, false)
        verify(!named(window, "deleteButton").visible)
        const add = named(window, "addTile")
        for (let i = 0; i < 3; ++i) {
            verify(add.visible)
            addPreset(window)
        }
        verify(!add.visible)
        compare([7, 8, 9].map(function(i) { return tileName(window, i) }), ["自定义 1", "自定义 2", "自定义 3"])
        compare(window.selectIndex, 0)
        compare(stored().length, 10)
        compare(SystemBridge.callsTo("updateMonitorDevice").length, 3)

        // The first custom one goes: the next one takes its place and number.
        const second = stored()[8]
        select(window, 7)
        verify(named(window, "deleteButton").visible)
        mouseClick(named(window, "deleteButton"))
        compare(window.selectIndex, 7)
        compare(tileName(window, 7), "自定义 1")
        compare(stored().length, 9)
        compare(SettingsManager.getValue("device_equalizer_current"), second)
        compare(Number(SettingsManager.getValue("device_equalizer_current_index")), 7)
        verify(add.visible)

        // The last custom one goes: the last built-in one is selected.
        select(window, 8)
        mouseClick(named(window, "deleteButton"))
        compare(window.selectIndex, 7)
        mouseClick(named(window, "deleteButton"))
        compare(window.selectIndex, 6)
        compare(SettingsManager.getValue("device_equalizer_current"), ConfigMgr.defaults.device_equalizer_values[6])
        compare(Number(SettingsManager.getValue("device_equalizer_current_index")), 6)
        compare(stored(), ConfigMgr.defaults.device_equalizer_values)
        verify(!named(window, "deleteButton").visible)
        compare(published[published.length - 1].data, 6)
    }

    function test_band_under_the_pointer() {
        const width = 455
        for (let x = 0; x < width; ++x)
            verify(EqCurve.findNearestPoint(x, width) >= 0, "x " + x)
        // 240 px puts the bands 20 px apart, exactly: ties are real ties.
        const ties = [[20, 0], [40, 1], [220, 10], [229, 11], [230, 11], [-19.5, 0], [-20, -1], [260, -1]]
        for (let i = 0; i < ties.length; ++i)
            compare(EqCurve.findNearestPoint(ties[i][0], 240), ties[i][1], "x " + ties[i][0])
    }

    function test_press_sets_gain_data() {
        return [
            { tag: "top of the plot", y: function(h) { return 30 }, gain: 6 },
            { tag: "middle", y: function(h) { return 30 + (h - 60) / 2 }, gain: 0 },
            { tag: "above the plot", y: function(h) { return 0 }, gain: 6 },
            { tag: "below the plot", y: function(h) { return h - 1 }, gain: -6 },
            { tag: "a quarter down", y: function(h) { return 30 + (h - 60) / 4 }, gain: 3 }
        ]
    }

    function test_press_sets_gain(data) {
        const window = shown()
        addPreset(window)
        select(window, 7)
        const canvas = named(window, "eqCanvas")
        compare(canvas.width, 455)
        const pointer = named(window, "eqPointer")
        const band = 4
        SystemBridge.reset()
        mousePress(pointer, EqCurve.bandX(band, canvas.width) + 12, data.y(canvas.height))
        mouseRelease(pointer, EqCurve.bandX(band, canvas.width) + 12, data.y(canvas.height))
        const record = JSON.parse(stored()[7])
        // Pointer positions are whole pixels: within one pixel's gain.
        fuzzyCompare(record.value[band], data.gain, 12 / (canvas.height - 60))
        compare(record.value.filter(function(v, k) { return k !== band && v !== 0 }), [])
    }

    function test_built_in_plot_is_locked() {
        const window = shown()
        select(window, 2)
        SystemBridge.reset()
        const before = SettingsManager.getValue("device_equalizer_current")
        const pointer = named(window, "eqPointer")
        mousePress(pointer, 100, 40)
        mouseMove(pointer, 100, 200)
        mouseRelease(pointer, 100, 200)
        compare(SystemBridge.calls, [])
        compare(SettingsManager.getValue("device_equalizer_current"), before)
        verify(!SettingsManager.contains("device_equalizer_values"))
    }

    function test_drag_stores_unrounded_and_applies_at_release() {
        const window = shown()
        addPreset(window)
        select(window, 7)
        const canvas = named(window, "eqCanvas")
        const pointer = named(window, "eqPointer")
        const x = EqCurve.bandX(2, canvas.width)
        const plot = canvas.height - 60
        SystemBridge.reset()
        published = []
        mousePress(pointer, x, 30 + plot / 2)
        compare(SystemBridge.callsTo("updateMonitorDevice").length, 1)
        // The band chosen at the press is dragged wherever the pointer goes.
        mouseMove(pointer, x + 60, 30 + plot / 2 - plot / 7)
        const current = SettingsManager.getValue("device_equalizer_current")
        verify(current.indexOf('{"name":"自定义","type":0,"value":[') === 0, current)
        const gain = JSON.parse(current).value[2]
        fuzzyCompare(gain, 12 / 7, 12 / plot)
        verify(gain !== Math.round(gain))
        compare(stored()[7], current)
        compare(published.map(function(p) { return p.data }), [7, 7])
        compare(SystemBridge.callsTo("updateMonitorDevice").length, 1)
        mouseRelease(pointer, x + 60, 30 + plot / 2 - plot / 7)
        compare(SystemBridge.callsTo("updateMonitorDevice").length, 2)
        compare(SystemBridge.callsTo("updateMonitorDevice")[1][1], current)
        compare(window.draggingIndex, -1)
    }

    function test_switch() {
        const window = shown()
        const toggle = named(window, "equalizerSwitch")
        verify(!SettingsManager.contains("device_equalizer_current"))
        mouseClick(toggle)
        compare(published.length, 1)
        compare(published[0].data, true)
        compare(published[0].stored, ConfigMgr.defaults.device_equalizer_values[0])
        compare(published[0].calls, 0)
        const applied = SystemBridge.callsTo("updateMonitorDevice")
        compare(applied.length, 1)
        compare(String(applied[0][0]), "true")
        compare(applied[0][1], ConfigMgr.defaults.device_equalizer_values[0])
        mouseClick(toggle)
        compare(published[1].data, false)
        compare(String(SettingsManager.getValue("device_equalizer")), "false")
        compare(window.selectIndex, 0)
    }

    function test_reload_follows_the_store() {
        const window = shown()
        addPreset(window)
        compare(stored().length, 8)
        ConfigMgr.resetDeviceToDefaults()
        MessageBus.publishUpdateConfigMessage(true)
        compare(window.dataList.length, 7)
        addPreset(window)
        compare(stored().length, 8)

        // An entry that cannot be read is drawn flat and kept as it is.
        const damaged = ConfigMgr.defaults.device_equalizer_values.concat(["{not json", JSON.stringify(EqCurve.newCustomPreset())])
        ConfigMgr.setStringList("device_equalizer_values", damaged)
        ConfigMgr.setValue("device_equalizer_current_index", 7)
        ConfigMgr.setValue("device_equalizer", true)
        SystemBridge.reset()
        MessageBus.publishUpdateConfigMessage("scope")
        compare(window.selectIndex, 7)
        compare(named(window, "equalizerSwitch").checked, true)
        compare(tileName(window, 7), "自定义 1")
        compare(window.getEqValues(), EqCurve.zeros())
        compare(stored(), damaged)
        // Switched on by the reload: the switch's steps ran.
        compare(SystemBridge.callsTo("updateMonitorDevice").length, 1)
        // An edit of another entry writes the damaged one back unchanged.
        select(window, 8)
        const pointer = named(window, "eqPointer")
        mousePress(pointer, 10, 30)
        mouseRelease(pointer, 10, 30)
        compare(stored()[7], "{not json")
        compare(JSON.parse(stored()[8]).value[0], 6)
    }
}
