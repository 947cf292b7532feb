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

    // In every language the message and the two buttons stay inside the
    // 20 px margin of the window's content, the buttons side by side below
    // the message, each with its whole text inside its own edges.
    function test_content_inside_margin_data() {
        return ["zh_CN", "zh_TW", "en_US", "ja_JP", "ru_RU", "de_DE", "fr_FR", "es_ES", "it_IT"].map(
            function(language) { return { tag: language } })
    }

    function test_content_inside_margin(data) {
        TranslationManager.setLanguage(data.tag)
        const window = shown()
        const content = named(window, "contentLoader")
        const margin = 20
        waitForRendering(content)
        function inside(what, box) {
            verify(box.x >= margin - 0.5 && box.y >= margin - 0.5
                   && box.x + box.width <= content.width - margin + 0.5
                   && box.y + box.height <= content.height - margin + 0.5,
                   what + " at " + [box.x, box.y, box.width, box.height].map(Math.round)
                   + " lies outside the margin of " + [content.width, content.height])
            return box
        }
        const message = named(window, "messageText")
        const text = inside("the message", message.mapToItem(content, 0, 0, message.contentWidth, message.contentHeight))
        const download = named(window, "downloadButton")
        const restart = named(window, "restartButton")
        const left = inside("the download button", download.mapToItem(content, 0, 0, download.width, download.height))
        const right = inside("the restart button", restart.mapToItem(content, 0, 0, restart.width, restart.height))
        verify(left.x + left.width <= right.x, "the buttons overlap")
        verify(text.y + text.height <= Math.min(left.y, right.y), "the message runs into the buttons")
        for (const button of [download, restart]) {
            const label = button.contentItem
            verify(!label.truncated, button.objectName + " elides its text")
            verify(label.contentWidth <= label.width + 0.5, button.objectName + " draws "
                   + Math.round(label.contentWidth) + " px of text in " + Math.round(label.width))
        }
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
