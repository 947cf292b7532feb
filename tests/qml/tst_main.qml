import QtQuick
import QtTest
import MediaControls
import VeloranDeck
import VeloranDeckHIDHotplug
import VeloranDeckSystemBridge
import VeloranDeckTranslation
import VeloranTestSupport

// The root window: start-up requests, the knob hotkey and the "more" menu.
MainWindowCase {
    name: "Main"

    readonly property string homePage: "https://www.veloran.invalid/"

    function init() {
        resetWorld()
        UrlRecorder.reset()
        LogSpy.clear()
    }

    function cleanup() {
        tryCompare(MessageDialogMgr, "appUpdateRunning", false, 5000)
        MessageDialogMgr.closeAllDialogs()
        TranslationManager.setLanguage("zh_CN")
    }

    function moreButton(window) {
        const button = findChild(window.contentItem, "rightLoader").item
        verify(button)
        return button
    }

    function popupOf(window) {
        const popup = findChild(moreButton(window), "morePopup")
        verify(popup)
        return popup
    }

    function pathsOf(requests) {
        return requests.map(function(request) { return request.path })
    }

    // Runs first (alphabetical order): the once-per-run application check
    // is counted here.
    function test_1_startup_data() {
        return [
            { tag: "track id answered", status: 200, body: { code: 0, data: "new-id" }, track: 1, updates: 1 },
            { tag: "track id fails", status: 500, body: { code: 1 }, track: 0, updates: 0 }
        ]
    }

    function test_1_startup(data) {
        ConfigMgr.removeValue("trackId")
        ConfigMgr.setValue("share_data", true)
        TestServer.route("GET", "/tarvo/pc/get/trackId", data.status, data.body, { delayMs: 200 })
        TestServer.route("POST", "/tarvo/pc/track", 200, { code: 0 })
        TestServer.route("POST", "/tarvo/pc/update/software", 200, { code: 0, data: null })

        mainWindow()
        tryVerify(function() { return TestServer.requestCount("/tarvo/pc/get/trackId") === 1 }, 5000)
        wait(600)
        const paths = pathsOf(TestServer.requests())
        compare(TestServer.requestCount("/tarvo/pc/track"), data.track)
        if (data.track > 0)
            verify(paths.indexOf("/tarvo/pc/track") > paths.indexOf("/tarvo/pc/get/trackId"), paths)
        compare(TestServer.requestCount("/tarvo/pc/update/software"), data.updates)
        compare(ConfigMgr.getValue("trackId"), data.track > 0 ? "new-id" : "trackId")
    }

    function test_hotkey_data() {
        const app = function(entry) { return JSON.stringify(entry) }
        return [
            { tag: "0 program", type: 0, app: app({ name: "Editor", executablePath: "/opt/editor/run" }),
              calls: [["openApplication", ["/opt/editor/run"]]], urls: [] },
            { tag: "0 empty path", type: 0, app: app({ name: "Browser", executablePath: "" }),
              calls: [], urls: [homePage] },
            { tag: "0 no path", type: 0, app: app({ name: "Browser" }), calls: [], urls: [homePage] },
            { tag: "0 no entry", type: 0, app: "", calls: [], urls: [homePage] },
            { tag: "0 entry not an object", type: 0, app: "42", calls: [], urls: [homePage] },
            { tag: "1 empty", type: 1, url: "", calls: [], urls: [] },
            { tag: "1 set", type: 1, url: "https://example.invalid/page?a=1",
              calls: [["openUrl", ["https://example.invalid/page?a=1"]]], urls: [] },
            { tag: "2 empty", type: 2, key: "", calls: [], urls: [] },
            { tag: "2 set", type: 2, key: "Ctrl+Shift+A", calls: [["simulateKeyPress", ["Ctrl+Shift+A"]]], urls: [] },
            { tag: "3", type: 3, calls: [["takeScreenshot", []]], urls: [] },
            { tag: "4", type: 4, calls: [["startScreenRecording", []]], urls: [] },
            { tag: "7", type: 7, calls: [], urls: [] },
            { tag: "3 as text", type: "3", calls: [["takeScreenshot", []]], urls: [] },
            { tag: "id 0x8002", type: 3, msgid: 0x8002, calls: [], urls: [] }
        ]
    }

    function test_hotkey(data) {
        ConfigMgr.setValue(ConfigMgr.keys.general_hotkey_type, data.type)
        ConfigMgr.setValue(ConfigMgr.keys.general_hotkey_value_app, data.app !== undefined ? data.app : "")
        ConfigMgr.setValue(ConfigMgr.keys.general_hotkey_value_url, data.url !== undefined ? data.url : "")
        ConfigMgr.setValue(ConfigMgr.keys.general_hotkey_value_key, data.key !== undefined ? data.key : "")
        mainWindow()

        HIDHotplugManager.priMsgCallback(data.msgid !== undefined ? data.msgid : 0x8003, 1)
        const names = ["openApplication", "openUrl", "simulateKeyPress", "takeScreenshot", "startScreenRecording"]
        const calls = []
        for (let i = 0; i < names.length; ++i) {
            const made = SystemBridge.callsTo(names[i])
            for (let j = 0; j < made.length; ++j)
                calls.push([names[i], made[j]])
        }
        compare(calls, data.calls)
        compare(UrlRecorder.callsTo("openUrl").map(function(args) { return args[0] }), data.urls)
    }

    function test_hotkey_invalid_entry_then_valid() {
        ConfigMgr.setValue(ConfigMgr.keys.general_hotkey_type, 0)
        ConfigMgr.setValue(ConfigMgr.keys.general_hotkey_value_app, "{\"executablePath\": ")
        mainWindow()

        HIDHotplugManager.priMsgCallback(0x8003, 1)
        compare(SystemBridge.callsTo("openApplication").length, 0)
        compare(UrlRecorder.callsTo("openUrl").length, 0)
        compare(LogSpy.count("快捷键应用记录无效"), 1)

        ConfigMgr.setValue(ConfigMgr.keys.general_hotkey_value_app, JSON.stringify({ executablePath: "/opt/a" }))
        HIDHotplugManager.priMsgCallback(0x8003, 1)
        compare(SystemBridge.callsTo("openApplication"), [["/opt/a"]])
    }

    function test_menu_width_data() {
        return [
            { tag: "zh_CN", language: "zh_CN", width: 110, labels: ["帮助", "客服", "设置"] },
            { tag: "en_US", language: "en_US", width: 180, labels: ["Help Centre", "Contact Support", "Settings"] },
            { tag: "ru_RU", language: "ru_RU", width: 220 }
        ]
    }

    function test_menu_width(data) {
        const window = mainWindow()
        const popup = popupOf(window)
        compare(popup.width, 110)
        TranslationManager.setLanguage(data.language)
        compare(popup.width, data.width)
        verify(LogSpy.count("language: " + data.language) > 0)

        const button = moreButton(window)
        const icon = findChild(button, "iconImage")
        compare([icon.paintedWidth, icon.paintedHeight], [18, 14])
        mouseClick(button)
        tryCompare(popup, "opened", true)
        compare(popup.x, 30 - data.width)
        // The menu hangs under the button, inside the window.
        const under = button.mapToItem(window.contentItem, 0, 0)
        const menu = popup.contentItem.mapToItem(window.contentItem, -popup.leftPadding, -popup.topPadding)
        verify(menu.y >= under.y + button.height, "menu top " + menu.y + " over the button")
        verify(menu.x <= under.x && menu.x + popup.width >= under.x + button.width, "menu beside the button")
        verify(menu.x + popup.width <= window.width, "menu past the window's edge")
        if (data.labels) {
            for (let i = 0; i < data.labels.length; ++i)
                compare(findChild(findChild(popup.contentItem, "menuRow" + i), "menuLabel").text, data.labels[i])
        }
        const point = popup.contentItem.mapToItem(window.contentItem, 2, -5)
        compare(grabImage(window.contentItem).pixel(Math.round(point.x), Math.round(point.y)), "#222121")
        keyClick(Qt.Key_Escape)
        tryCompare(popup, "opened", false)
    }

    function chooseRow(window, index) {
        const popup = popupOf(window)
        mouseClick(moreButton(window))
        tryCompare(popup, "opened", true)
        mouseClick(findChild(popup.contentItem, "menuRow" + index))
        tryCompare(popup, "visible", false)
    }

    function test_menu_help_data() {
        return [
            { tag: "zh_CN", index: 0, url: "https://www.veloran.invalid/supportDetail?type=2" },
            { tag: "en_US", index: 2, url: "https://www.veloran.invalid/support/video" }
        ]
    }

    function test_menu_help(data) {
        TranslationManager.setLanguageIndex(data.index)
        const window = mainWindow()
        chooseRow(window, 0)
        compare(UrlRecorder.callsTo("openUrl"), [[data.url]])
        compare(LogSpy.count("打开帮助"), 1)
    }

    function test_menu_windows() {
        ConfigMgr.setValue("auto_install", true)
        const window = mainWindow()
        const settings = findChild(moreButton(window), "settingsWindow")
        const customer = findChild(moreButton(window), "customerWindow")
        verify(!settings.visible && !customer.visible)

        chooseRow(window, 2)
        tryCompare(settings, "opacity", 1)
        const box = findChild(settings.contentItem, "autoInstallCheckBox")
        mouseClick(box)
        verify(!box.checked)
        settings.close()
        tryCompare(settings, "visible", false)

        chooseRow(window, 2)
        tryCompare(settings, "opacity", 1)
        compare(findChild(moreButton(window), "settingsWindow"), settings)
        verify(!findChild(settings.contentItem, "autoInstallCheckBox").checked)
        verify(!customer.visible)

        chooseRow(window, 1)
        tryCompare(customer, "visible", true)
        settings.visible = false
        customer.visible = false
    }
}
