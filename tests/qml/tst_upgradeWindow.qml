import QtQuick
import QtTest
import MediaControls
import VeloranDeck
import VeloranDeckSystemBridge
import VeloranDeckTranslation
import VeloranTestSupport

SecondaryWindowCase {
    name: "UpgradeWindow"
    windowComponent: Component {
        UpgradeWindow {}
    }

    function init() {
        TranslationManager.setLanguage("zh_CN")
        UrlRecorder.reset()
        SystemBridge.reset()
    }

    function test_download_page_by_language_data() {
        return [
            { tag: "zh_CN", index: 0, address: "default_url" },
            { tag: "zh_TW", index: 1, address: "default_url_en" },
            { tag: "en_US", index: 2, address: "default_url_en" }
        ]
    }

    function test_download_page_by_language(data) {
        TranslationManager.setLanguageIndex(data.index)
        const window = shown()
        mouseClick(named(window, "downloadButton"))
        compare(UrlRecorder.callsTo("openUrl"), [[NetworkMgr[data.address]]])
        verify(window.visible)
    }

    function test_restart() {
        const window = shown()
        compare(named(window, "restartButton").text, "立即重启")
        mouseClick(named(window, "restartButton"))
        compare(SystemBridge.callsTo("restartApplication").length, 1)
        TranslationManager.setLanguage("en_US")
        compare(named(window, "restartButton").text, "Relaunch Now")
        compare(window.title, "Software Update")
    }

    function test_close_hides_and_shows_again() {
        const window = shown()
        window.close()
        tryCompare(window, "visible", false, 1000)
        window.visible = true
        tryCompare(window, "opacity", 1)
        verify(window.visible)
    }
}
