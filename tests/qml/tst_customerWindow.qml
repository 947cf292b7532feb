import QtQuick
import QtTest
import MediaControls
import VeloranDeck
import VeloranDeckTranslation
import VeloranTestSupport

SecondaryWindowCase {
    name: "CustomerWindow"
    windowComponent: Component {
        CustomerWindow {}
    }

    function initTestCase() {
        LogSpy.start()
    }

    function init() {
        TranslationManager.setLanguage("zh_CN")
        UrlRecorder.reset()
        LogSpy.clear()
    }

    function test_page_by_language_data() {
        return [
            { tag: "zh_CN", index: 0, page: 0, title: "客服", shot: "customer-zh.png" },
            { tag: "zh_TW", index: 1, page: 1, title: "客服" },
            { tag: "en_US", index: 2, page: 1, title: "Contact Support", shot: "customer-en.png" },
            { tag: "it_IT", index: 8, page: 1, title: "Contatta l'assistenza" },
            // A code outside the nine, served by the catalogue of its prefix.
            { tag: "index -1", code: "zh_CN_X", index: -1, page: 1, title: "客服" }
        ]
    }

    function test_page_by_language(data) {
        if (data.code)
            TranslationManager.setLanguage(data.code)
        else
            TranslationManager.setLanguageIndex(data.index)
        compare(TranslationManager.getCurrentLanguageIndex(), data.index)
        const window = shown()
        compare(named(window, "stackLayout").currentIndex, data.page)
        verify(named(window, data.page === 0 ? "chinesePage" : "internationalPage").visible)
        compare(window.title, data.title)
        if (data.shot) {
            const image = grabImage(window.contentItem)
            compare(image.width, 540)
            compare(image.height, 430)
            image.save(Shots.path(data.shot))
        }
    }

    function test_language_switch_while_hidden() {
        const window = made()
        const stack = named(window, "stackLayout")
        compare(stack.currentIndex, 0)
        TranslationManager.setLanguage("ja_JP")
        compare(stack.currentIndex, 1)
        compare(LogSpy.count("CustomerWindow: Language changed to ja_JP"), 1)
        TranslationManager.setLanguage("zh_CN")
        compare(stack.currentIndex, 0)
    }

    function test_online_support_cell() {
        TranslationManager.setLanguage("en_US")
        const window = shown()
        const cell = named(window, "onlineSupport")
        compare(cell.height, 30)
        mouseClick(cell, 1, 1)
        mouseClick(cell, cell.width - 1, 29)
        compare(UrlRecorder.callsTo("openUrl"), [[NetworkMgr.custome_url], [NetworkMgr.custome_url]])
    }

    function test_chinese_page_opens_nothing() {
        const window = shown()
        const page = named(window, "chinesePage")
        for (const point of [[10, 10], [page.width / 2, page.height / 2], [60, 200], [page.width - 5, page.height - 5]])
            mouseClick(page, point[0], point[1])
        compare(UrlRecorder.callsTo("openUrl").length, 0)
    }
}
