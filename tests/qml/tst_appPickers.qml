import QtQuick
import QtTest
import MediaControls
import VeloranDeckSystemBridge
import VeloranDeckTranslation

TestCase {
    id: testCase
    name: "AppPickers"
    width: 800
    height: 600
    when: windowShown
    visible: true

    readonly property var browser: ({ bundlePath: "", executablePath: "", isSystemBrowser: true, name: "系统浏览器" })
    // Keys in the bridge's (alphabetical) order.
    readonly property var installed: [
        browser,
        { bundlePath: "file:///usr/bin/editor", executablePath: "/usr/bin/editor", name: "editor" },
        { bundlePath: "file:///usr/bin/player", executablePath: "/usr/bin/player",
          iconFilePath: "file:///tmp/player.png", name: "player" },
        { bundlePath: "file:///opt/editor/editor", executablePath: "/opt/editor/editor", name: "editor" }
    ]
    readonly property var lineIn: ({ index: 1, name: "Line In", hostApi: "ALSA", isInput: true, isOutput: false,
                                     bundleIdentifier: "Line In", processIdentifier: "Line In" })
    function app(letter, pid) {
        return { processIdentifier: pid, bundleIdentifier: "file:///usr/bin/app" + letter, name: "App " + letter,
                 iconFilePath: "file:///tmp/app" + letter + ".png", type: "app", isActive: true }
    }
    // As the pickers store them: five fields of the bridge's item and streamID 0.
    function stored(item) {
        return JSON.stringify({ name: item.name, iconFilePath: item.iconFilePath,
                                bundleIdentifier: item.bundleIdentifier,
                                processIdentifier: item.processIdentifier, isInput: item.isInput, streamID: 0 })
    }

    Component {
        id: hotkeyComponent
        CustomComAppBox {
            width: 200
            height: 32
        }
    }

    Component {
        id: stripComponent
        CustomComAppBox2 {
            x: 100
            width: 160
            height: 30
        }
    }

    Component {
        id: plusComponent
        CustomComAppPlus {
            height: 60
        }
    }

    Component {
        id: spyComponent
        SignalSpy {}
    }

    function spyOn(target, signalName) {
        return createTemporaryObject(spyComponent, testCase, { target: target, signalName: signalName })
    }

    function hotkeyValue() {
        return ConfigMgr.getValue(ConfigMgr.keys.general_hotkey_value_app)
    }

    function appList() {
        return Array.from(ConfigMgr.getStringList(ConfigMgr.keys.appList))
    }

    function init() {
        SystemBridge.reset()
        SystemBridge.installedApplications = installed
        SystemBridge.runningApplications = [lineIn, app("A", 101), app("B", 102), app("C", 103)]
        ConfigMgr.setValue(ConfigMgr.keys.general_hotkey_value_app, "")
        ConfigMgr.setStringList(ConfigMgr.keys.appList, [stored(app("A", 101)), stored(app("B", 102))])
    }

    // The hotkey program

    // Restoring the stored choice stores nothing: the second "editor" stays
    // the second, and a record without a path (old or hand-made) is found by
    // name and left as it is.
    function test_hotkey_load_data() {
        return [
            { tag: "nothing stored", value: "", index: 0 },
            { tag: "second of two with one name", value: JSON.stringify(installed[3]), index: 3 },
            { tag: "record without a path", value: JSON.stringify({ name: "player" }), index: 2 },
            { tag: "no longer installed", value: JSON.stringify({ name: "gone" }), index: -1 },
            { tag: "damaged value", value: "{\"name\": \"edi", index: 0,
              warning: /stored hotkey application is not a JSON object/ },
            { tag: "not an object", value: "[1, 2]", index: 0,
              warning: /stored hotkey application is not a JSON object/ }
        ]
    }

    function test_hotkey_load(data) {
        ConfigMgr.setValue(ConfigMgr.keys.general_hotkey_value_app, data.value)
        if (data.warning)
            ignoreWarning(data.warning)
        const box = createTemporaryObject(hotkeyComponent, testCase)
        compare(box.currentIndex, data.index)
        compare(hotkeyValue(), data.value)
    }

    // The bridge scans in the background: a box made before the scan ends
    // shows the browser alone, then the list, the stored program chosen.
    function test_hotkey_list_arrives_later_data() {
        return [
            { tag: "nothing stored", value: "", index: 0 },
            { tag: "second of two with one name", value: JSON.stringify(installed[3]), index: 3 },
            { tag: "browser stored", value: JSON.stringify(browser), index: 0 }
        ]
    }

    function test_hotkey_list_arrives_later(data) {
        SystemBridge.installedApplications = [browser]
        ConfigMgr.setValue(ConfigMgr.keys.general_hotkey_value_app, data.value)
        const box = createTemporaryObject(hotkeyComponent, testCase)
        const selected = spyOn(box, "itemSelected")
        SystemBridge.installedAppsChanged(installed)
        compare(box.count, installed.length)
        compare(box.currentIndex, data.index)
        compare(hotkeyValue(), data.value)
        compare(selected.count, 0)
    }

    // The second "editor", once chosen, stays the one shown and stored when a
    // scan brings another list.
    function test_hotkey_choice_kept_data() {
        const atlas = { bundlePath: "file:///usr/bin/atlas", executablePath: "/usr/bin/atlas", name: "atlas" }
        return [
            { tag: "rescan with a changed list", list: [browser, atlas].concat(installed.slice(1)), index: 4 },
            { tag: "language change", language: "de_DE", index: 3,
              list: installed.map(function(app) {
                  return Object.assign({}, app, { name: app.name === "editor" ? "Bearbeiter" : app.name })
              }) }
        ]
    }

    function test_hotkey_choice_kept(data) {
        const box = createTemporaryObject(hotkeyComponent, testCase)
        box.currentIndex = 3
        const chosen = JSON.stringify(installed[3])
        compare(hotkeyValue(), chosen)
        const before = TranslationManager.getCurrentLanguage()
        if (data.language)
            TranslationManager.setLanguage(data.language)
        SystemBridge.installedAppsChanged(data.list)
        TranslationManager.setLanguage(before)
        compare(box.currentIndex, data.index)
        compare(box.model[box.currentIndex].executablePath, "/opt/editor/editor")
        compare(hotkeyValue(), chosen)
    }

    function test_hotkey_choice_is_stored_at_once() {
        const box = createTemporaryObject(hotkeyComponent, testCase)
        const selected = spyOn(box, "itemSelected")
        box.currentIndex = 2
        compare(hotkeyValue(), JSON.stringify(installed[2]))
        box.currentIndex = 0
        compare(hotkeyValue(), "{\"bundlePath\":\"\",\"executablePath\":\"\",\"isSystemBrowser\":true,\"name\":\"系统浏览器\"}")
        compare(selected.count, 2)
        compare(selected.signalArguments[1][0], 0)
    }

    function test_hotkey_keys_only_move_by_arrows() {
        const box = createTemporaryObject(hotkeyComponent, testCase)
        box.forceActiveFocus()
        // Type-ahead would jump to "player" and "editor".
        keyClick(Qt.Key_P)
        keyClick(Qt.Key_E)
        keyClick(Qt.Key_2)
        compare(box.currentIndex, 0)
        compare(hotkeyValue(), "")
        keyClick(Qt.Key_Down)
        compare(box.currentIndex, 1)
    }

    function test_hotkey_browser_translated_data() {
        return [
            { tag: "English", language: "en_US", text: "Open Browser" },
            { tag: "German", language: "de_DE", text: "Browser öffnen" },
            { tag: "Simplified Chinese", language: "zh_CN", text: "系统浏览器" }
        ]
    }

    function test_hotkey_browser_translated(data) {
        const before = TranslationManager.getCurrentLanguage()
        const box = createTemporaryObject(hotkeyComponent, testCase)
        TranslationManager.setLanguage(data.language)
        tryCompare(findChild(box, "closedText"), "text", data.text)
        compare(box.translateAppName("editor"), "editor")
        TranslationManager.setLanguage(before)
    }

    // A strip's application

    function test_strip_lists_its_own_and_unassigned() {
        const box = createTemporaryObject(stripComponent, testCase, { currentApp: JSON.parse(stored(app("A", 101))) })
        box.updateAppModels()
        compare(box.appModels.map(function(r) { return r.bundleIdentifier }),
                ["Line In", "file:///usr/bin/appA", "file:///usr/bin/appC"])
        compare(box.currentIndex, 1)
        compare(findChild(box, "closedText").text, "App A")
        // Inputs carry no icon: the default one, and no isInput on applications.
        compare(box.appModels[0].isInput, true)
        compare(box.appModels[1].isInput, undefined)
    }

    function test_strip_pick_rewrites_its_element_data() {
        return [
            { tag: "plain list", list: null, at: 0 },
            { tag: "damaged element survives", list: ["{broken"], at: 1 }
        ]
    }

    function test_strip_pick_rewrites_its_element(data) {
        if (data.list)
            ConfigMgr.setStringList(ConfigMgr.keys.appList, data.list.concat(appList()))
        const before = appList()
        const box = createTemporaryObject(stripComponent, testCase, { currentApp: JSON.parse(stored(app("A", 101))) })
        const selected = spyOn(box, "itemSelected")
        mouseClick(box)
        tryCompare(box.popup, "opened", true)
        const list = findChild(box.popup, "appList")
        tryVerify(function() { return list.count === 3 })
        // Row 2 is C; the row's own area takes the click.
        const row = list.itemAtIndex(2)
        mouseClick(row)
        tryCompare(box.popup, "visible", false)
        const expected = before.slice()
        expected[data.at] = stored(app("C", 103))
        compare(appList(), expected)
        compare(box.currentApp.bundleIdentifier, "file:///usr/bin/appC")
        compare(selected.count, 1)
        compare(selected.signalArguments[0][0], 2)
        compare(box.currentIndex, box.appModels.findIndex(function(r) { return r.name === "App C" }))
    }

    function test_strip_without_app_changes_nothing() {
        const box = createTemporaryObject(stripComponent, testCase)
        const selected = spyOn(box, "itemSelected")
        compare(box.currentIndex, 0)
        const before = appList()
        box.onCurrentIndexModel(0, box.appModels[0])
        compare(appList(), before)
        compare(box.currentApp, null)
        compare(selected.count, 0)
    }

    function test_strip_follows_the_running_list() {
        const box = createTemporaryObject(stripComponent, testCase, { currentApp: JSON.parse(stored(app("A", 101))) })
        SystemBridge.runningApplications = [lineIn, app("B", 102), app("C", 103)]
        SystemBridge.runningAppsChanged()
        compare(box.appModels.length, 2)
        compare(box.currentIndex, 0)
        compare(findChild(box, "closedText").text, "App A")
        SystemBridge.runningApplications = [lineIn, app("B", 102), app("C", 103), app("A", 101)]
        SystemBridge.audioDeviceListChanged()
        compare(box.appModels.length, 3)
        compare(box.currentIndex, 2)
    }

    TextMetrics {
        id: metrics
    }

    // The text a Text item shows, cut as the item cuts it.
    function shownText(item) {
        metrics.font = item.font
        metrics.elide = item.elide
        metrics.elideWidth = item.width - item.leftPadding - item.rightPadding
        metrics.text = item.text
        return metrics.elidedText
    }

    // Two names cut to the same width still read differently, in the list
    // and in the closed box.
    function test_cut_names_stay_apart_data() {
        return [
            { tag: "hotkey picker", component: hotkeyComponent, width: 150 },
            { tag: "strip picker", component: stripComponent, width: 100 }
        ]
    }

    function test_cut_names_stay_apart(data) {
        const names = ["Midnight Commander (file manager)", "Midnight Commander (text editor)"]
        SystemBridge.installedApplications = [browser].concat(names.map(function(name, i) {
            return { bundlePath: "file:///usr/bin/mc" + i, executablePath: "/usr/bin/mc" + i, name: name }
        }))
        SystemBridge.runningApplications = [lineIn].concat(names.map(function(name, i) {
            return { processIdentifier: 200 + i, bundleIdentifier: "file:///usr/bin/mc" + i, name: name,
                     type: "app", isActive: true }
        }))
        const box = createTemporaryObject(data.component, testCase, { width: data.width })
        const closed = findChild(box, "closedText")
        const shown = []
        for (let i = 1; i <= 2; ++i) {
            if (box.appModels)
                box.currentApp = box.appModels[i]
            else
                box.currentIndex = i
            compare(closed.text, names[i - 1])
            verify(closed.truncated)
            shown.push(shownText(closed))
        }
        box.popup.open()
        tryCompare(box.popup, "opened", true)
        const list = findChild(box.popup, "appList")
        for (let i = 1; i <= 2; ++i) {
            const row = findChild(list.itemAtIndex(i), "rowText")
            compare(row.text, names[i - 1])
            verify(row.truncated)
            shown.push(shownText(row))
        }
        verify(shown[0] !== shown[1] && shown[2] !== shown[3], shown.join(" | "))
    }

    // The "+" tile

    function test_plus_lists_what_no_strip_holds_and_adds_once() {
        const tile = createTemporaryObject(plusComponent, testCase)
        const added = spyOn(tile, "clickApp")
        mouseClick(tile)
        const popup = findChild(tile, "popup")
        tryCompare(popup, "opened", true)
        compare(tile.isProcessing, false)
        compare(tile.appModel.map(function(r) { return r.bundleIdentifier }), ["Line In", "file:///usr/bin/appC"])
        const list = findChild(tile, "appList")
        const row = list.itemAtIndex(1)
        mouseClick(row)
        mouseClick(row)
        tryCompare(popup, "visible", false)
        compare(added.count, 1)
        compare(added.signalArguments[0][0].bundleIdentifier, "file:///usr/bin/appC")
        compare(appList(), [stored(app("A", 101)), stored(app("B", 102)), stored(app("C", 103))])
        // Everything running is on a strip now but the input.
        mouseClick(tile)
        tryCompare(popup, "opened", true)
        compare(tile.appModel.length, 1)
    }
}
