import QtQuick
import QtTest
import MediaControls
import VeloranDeck
import VeloranDeckSettings
import VeloranDeckSystemBridge
import VeloranDeckTranslation
import VeloranTestSupport
import "updateServer.js" as UpdateServer

SecondaryWindowCase {
    id: testCase
    name: "SettingsWindow"
    windowComponent: Component {
        SettingsWindow {}
    }

    SignalSpy {
        id: languageSpy
        target: TranslationManager
        signalName: "languageChanged"
    }

    function initTestCase() {
        LogSpy.start()
    }

    function init() {
        TranslationManager.setLanguage("zh_CN")
        SystemBridge.reset()
        UrlRecorder.reset()
        TestServer.reset()
        MessageDialogMgr.setParent(testCase)
        MessageDialogMgr.appUpdateStat = 0
        MessageDialogMgr.newVersionInfo = ""
        MessageDialogMgr.downloadedFilePath = ""
        ConfigMgr.setValue("auto_install", true)
        ConfigMgr.setValue("share_data", true)
        languageSpy.clear()
        LogSpy.clear()
    }

    function cleanup() {
        tryCompare(MessageDialogMgr, "appUpdateRunning", false, 5000)
        TranslationManager.setLanguage("zh_CN")
    }

    function colourAt(window, item, x, y) {
        const point = item.mapToItem(window.contentItem, x, y)
        return grabImage(window.contentItem).pixel(Math.round(point.x), Math.round(point.y))
    }

    function test_update_states_data() {
        return [
            { tag: "0 up to date", stat: 0, version: "1.3.0", icon: "stat1.svg", enabled: true, button: "检查更新",
              text: "Veloran Deck 当前已是最新版本", shot: "settings-state0-zh.png" },
            { tag: "1 checking", stat: 1, version: "", icon: "stat2.svg", enabled: false, button: "检查更新",
              text: "正在检测更新", shot: "settings-state1-zh.png" },
            { tag: "2 failed", stat: 2, version: "", icon: "stat3.svg", enabled: true, button: "重试",
              text: "无法下载必要更新。请检查您的网络连接后再试一次。", shot: "settings-state2-zh.png" },
            { tag: "3 downloaded", stat: 3, version: "1.3.0", icon: "stat4.svg", enabled: true, button: "立即更新",
              text: "新版本 1.3.0 下载完成，重新启动以进行升级", shot: "settings-state3-zh.png" },
            { tag: "4 downloading", stat: 4, version: "1.3.0", icon: "stat2.svg", enabled: false, button: "检查更新",
              text: "正在下载新版本 1.3.0…", shot: "settings-state4-zh.png" },
            { tag: "3 without version", stat: 3, version: "", icon: "stat4.svg", enabled: true, button: "立即更新",
              text: "新版本  下载完成，重新启动以进行升级" },
            { tag: "4 without version", stat: 4, version: "", icon: "stat2.svg", enabled: false, button: "检查更新",
              text: "正在下载新版本 …" }
        ]
    }

    function test_update_states(data) {
        const window = shown()
        MessageDialogMgr.newVersionInfo = data.version
        MessageDialogMgr.appUpdateStat = data.stat
        compare(named(window, "statBox").stat, data.stat)
        verify(String(named(window, "statIcon").source).endsWith(data.icon))
        compare(named(window, "descriptionText").text, data.text)
        compare(named(window, "currentVersionText").text, "1.2.0")
        const button = named(window, "checkUpdateButton")
        compare(button.text, data.button)
        compare(button.enabled, data.enabled)
        if (data.shot) {
            const image = grabImage(window.contentItem)
            compare(image.width, 600)
            compare(image.height, 450)
            image.save(Shots.path(data.shot))
        }
    }

    function test_english_while_open() {
        const window = shown()
        TranslationManager.setLanguageIndex(2)
        compare(window.title, "Settings")
        compare(named(window, "descriptionText").text, "Veloran Deck is up to date")
        compare(named(window, "checkUpdateButton").text, "Check for Updates")
        grabImage(window.contentItem).save(Shots.path("settings-state0-en.png"))
    }

    function test_install_failure_shows_the_upgrade_window() {
        const window = shown()
        MessageDialogMgr.newVersionInfo = "1.3.0"
        const missing = NetworkMgr.downloadFolder() + "/app_setup.exe"
        MessageDialogMgr.downloadedFilePath = missing
        MessageDialogMgr.appUpdateStat = 3
        // A window in a layout is one of its resources, not a child item.
        const resources = named(window, "checkUpdateRow").resources
        let upgradeWindow = null
        for (let i = 0; i < resources.length; ++i) {
            if (resources[i].objectName === "upgradeWindow")
                upgradeWindow = resources[i]
        }
        verify(upgradeWindow)
        verify(!upgradeWindow.visible)

        mouseClick(named(window, "checkUpdateButton"))
        compare(SystemBridge.callsTo("installFile"), [[missing]])
        verify(upgradeWindow.visible)
        compare(MessageDialogMgr.appUpdateStat, 3)
        compare(TestServer.requestCount(UpdateServer.checkPath), 0)
        tryCompare(upgradeWindow, "opacity", 1)
        const image = grabImage(upgradeWindow.contentItem)
        compare(image.width, 500)
        compare(image.height, 300)
        image.save(Shots.path("settings-upgradewindow.png"))
    }

    function test_button_click_data() {
        return [
            { tag: "0 checks", stat: 0, requests: 1 },
            { tag: "2 checks", stat: 2, requests: 1 },
            { tag: "1 disabled", stat: 1, requests: 0 },
            { tag: "4 disabled", stat: 4, requests: 0 }
        ]
    }

    function test_button_click(data) {
        const window = shown()
        MessageDialogMgr.appUpdateStat = data.stat
        mouseClick(named(window, "checkUpdateButton"))
        if (data.requests > 0)
            tryCompare(MessageDialogMgr, "appUpdateRunning", false, 5000)
        else
            wait(200)
        compare(TestServer.requestCount(UpdateServer.checkPath), data.requests)
        compare(MessageDialogMgr.openDialogs.length, 0)
        compare(MessageDialogMgr.dialogQueue.length, 0)
        compare(SystemBridge.callsTo("installFile").length, 0)
    }

    function test_switches_are_stored_at_once_data() {
        return [
            { tag: "auto install", box: "autoInstallCheckBox", key: "auto_install" },
            { tag: "share data", box: "shareDataCheckBox", key: "share_data" }
        ]
    }

    function test_switches_are_stored_at_once(data) {
        const window = shown()
        const box = named(window, data.box)
        verify(box.checked)
        verify(Qt.colorEqual(colourAt(window, box.indicator, 8, 2), "#F77F13"))
        mouseClick(box)
        verify(!box.checked)
        compare(SettingsManager.getValue(data.key), false)
        compare(ConfigMgr.getValue(data.key), false)
    }

    function test_panels_are_dark() {
        const window = shown()
        for (const name of ["aboutPanel", "analyticsPanel"])
            verify(Qt.colorEqual(colourAt(window, named(window, name), 10, 10), "#181818"), name)
    }

    function test_privacy_link_data() {
        return [
            { tag: "zh_CN", index: 0, address: "privacy_url_zh" },
            { tag: "zh_TW", index: 1, address: "privacy_url_tw" },
            { tag: "ru_RU", index: 4, address: "privacy_url_ru" },
            { tag: "en_US", index: 2, address: "privacy_url_en" }
        ]
    }

    function test_privacy_link(data) {
        const window = shown()
        TranslationManager.setLanguageIndex(data.index)
        mouseClick(named(window, "privacyLink"), 5, 5)
        compare(UrlRecorder.callsTo("openUrl"), [[NetworkMgr[data.address]]])
    }

    function test_choosing_english() {
        const window = shown()
        const list = named(window, "languageComboBox")
        compare(list.currentIndex, 0)
        list.currentIndex = 2
        compare(LogSpy.count("Setting language to: 2"), 1)
        compare(TranslationManager.getCurrentLanguage(), "en_US")
        compare(list.currentIndex, 2)
        compare(list.displayText, "English")
        compare(languageSpy.count, 1)
    }

    // In every language each row's text ends 10 px above the next row, the last
    // inside its panel, and the language list opens below the title bar.
    function test_rows_keep_apart_data() {
        const codes = ["zh_CN", "zh_TW", "en_US", "ja_JP", "ru_RU", "de_DE", "fr_FR", "es_ES", "it_IT"]
        // State 2 has the longest description.
        return codes.map(function(code, index) { return { tag: code, index: index, stat: 2 } })
    }

    function test_rows_keep_apart(data) {
        MessageDialogMgr.appUpdateStat = data.stat
        const window = shown()
        TranslationManager.setLanguageIndex(data.index)
        waitForRendering(window.contentItem)
        const root = window.contentItem
        const top = function(name) { return named(window, name).mapToItem(root, 0, 0).y }
        const bottom = function(name) {
            const item = named(window, name)
            return item.mapToItem(root, 0, Math.max(item.height, item.implicitHeight, item.childrenRect.y + item.childrenRect.height)).y
        }
        const rows = ["textColumn", "autoInstallColumn", "languageRow"]
        for (let i = 0; i + 1 < rows.length; ++i)
            verify(bottom(rows[i]) + 10 <= top(rows[i + 1]), rows[i] + " ends at " + bottom(rows[i]) + ", "
                   + rows[i + 1] + " starts at " + top(rows[i + 1]))
        verify(bottom("languageRow") <= bottom("aboutPanel"), "language row leaves its panel")

        const list = named(window, "languageComboBox")
        list.popup.open()
        tryCompare(list.popup, "opened", true)
        const popupTop = list.popup.contentItem.mapToItem(root, 0, -list.popup.topPadding).y
        verify(popupTop >= named(window, "titleBar").height, "list opens at " + popupTop)
        list.popup.close()
    }

    function test_building_keeps_the_current_language() {
        TranslationManager.setLanguage("en_US")
        languageSpy.clear()
        const window = shown()
        compare(named(window, "languageComboBox").currentIndex, 2)
        compare(TranslationManager.getCurrentLanguage(), "en_US")
        compare(languageSpy.count, 0)
    }
}
