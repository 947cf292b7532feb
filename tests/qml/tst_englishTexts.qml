import QtQuick
import QtTest
import MediaControls
import VeloranDeck
import VeloranDeckHIDHotplug
import VeloranDeckTranslation

// No page shows an untranslated Chinese source text in any language: under
// the Latin and Cyrillic languages no visible text holds a Chinese, Japanese
// or Korean character; under Traditional Chinese none holds a character that
// only Simplified Chinese writes; under Japanese no text of more than one
// character reads as it does under Simplified Chinese at the same place.
TestCase {
    id: testCase
    name: "EnglishTexts"
    width: 1300
    height: 800
    when: windowShown
    visible: true

    readonly property var r7Info: ({ name: "Veloran R7", sn: "R7SN", version: "V2.12", dpid: 0x9829, pid: 28, vid: 1 })
    readonly property var u20Info: ({ name: "Veloran U20", sn: "U20SN", version: "V1.01", dpid: 0x000E, pid: 28, vid: 1 })
    readonly property var textProperties: ["text", "tips", "placeholderText", "title", "mainText", "subText"]
    readonly property var cjk: /[\u1100-\u11ff\u2e80-\u9fff\uac00-\ud7af\uf900-\ufaff\uff00-\uffef]/
    readonly property var simplifiedOnly: /[与业个为义于从们会体关击动单厂压双发变号吗听启围图声备复导将属帮并应开强当录态戏执扫损据数断时显枢样检测浏灯点热状环电监码确级络统缩网联脑节范装览计认让议讲设试话语误请调败质软载较输达过运进连迟邮采钮错键闭间隐静顺频颜风验麦]/
    readonly property var latinLanguages: ["en_US", "de_DE", "es_ES", "fr_FR", "it_IT", "ru_RU"]

    Component {
        id: mixerPage
        MainSettings {
            width: 1300
            height: 800
        }
    }

    Component {
        id: stripPage
        Row {
            spacing: 10
            AudioController { height: 600; showType: 0; bundleIdentifier: "mix" }
            AudioController { height: 600; showType: 1; bundleIdentifier: "listen" }
            AudioController { height: 600; showType: 2; bundleIdentifier: "device" }
            AudioController { height: 600; showType: 3 }
            AudioController {
                height: 600
                showType: 3
                currentApp: ({ name: "Line In", bundleIdentifier: "Line In", processIdentifier: "Line In",
                               isInput: true, streamID: 1 })
            }
        }
    }

    Component {
        id: lightingTab
        LightingTab {
            width: 700
            height: 800
        }
    }

    Component {
        id: microphoneTab
        MicrophoneTab {
            width: 500
            height: 800
        }
    }

    Component {
        id: lightingSubPages
        Column {
            width: 600
            LightingSub1 { width: 600 }
            LightingSub2 { width: 600 }
            LightingSub3 { width: 600 }
        }
    }

    Component {
        id: equalizerWindow
        EqualizerWindow {}
    }

    Component {
        id: monitorTab
        MonitorTab {
            width: 450
            height: 600
        }
    }

    Component {
        id: generalTab
        GeneralTab {
            width: 410
            height: 800
        }
    }

    Component {
        id: deviceDrawer
        DeviceSettings {
            width: 450
            height: 760
        }
    }

    Component {
        id: autoGainWindow
        AutoGainWindow {}
    }

    Component {
        id: resetWindow
        ResetWindow {}
    }

    function initTestCase() {
        HIDHotplugManager.deviceInfo = r7Info
        HIDHotplugManager.deviceConnected(r7Info, true)
    }

    function cleanupTestCase() {
        TranslationManager.setLanguage("zh_CN")
    }

    // Every visible text of the item and its children, by path.
    function texts(item, path, found) {
        for (let i = 0; i < textProperties.length; ++i) {
            const value = item[textProperties[i]]
            if (typeof value === "string" && value.length > 0)
                found[path + "." + textProperties[i]] = value
        }
        const children = item.children || []
        for (let i = 0; i < children.length; ++i)
            texts(children[i], path + "/" + (children[i].objectName || i), found)
        return found
    }

    function shownTexts(data, language) {
        TranslationManager.setLanguage(language)
        const info = data.u20 ? u20Info : r7Info
        HIDHotplugManager.deviceInfo = info
        HIDHotplugManager.deviceConnected(info, true)
        const page = createTemporaryObject(data.component, testCase)
        const root = data.window ? page.contentItem : page
        if (data.prepare)
            data.prepare(page)
        if (data.window)
            page.visible = true
        waitForRendering(root)
        const found = texts(root, data.tag, {})
        if (data.window) {
            found[data.tag + ".window title"] = page.title
            page.visible = false
        }
        page.destroy()
        return found
    }

    function pages() {
        return [
            { tag: "mixer page", component: mixerPage },
            { tag: "every strip kind", component: stripPage },
            { tag: "lighting tab", component: lightingTab, u20: true },
            { tag: "effect pages", component: lightingSubPages },
            { tag: "microphone tab", component: microphoneTab },
            { tag: "equaliser window", component: equalizerWindow, window: true },
            { tag: "monitor tab", component: monitorTab },
            { tag: "device drawer", component: deviceDrawer },
            { tag: "automatic-gain countdown", component: autoGainWindow, window: true },
            { tag: "automatic-gain result", component: autoGainWindow, window: true,
              prepare: function(window) { window.measurementDone = true; window.showResult(15) } },
            { tag: "general tab", component: generalTab },
            { tag: "reset window", component: resetWindow, window: true }
        ]
    }

    function test_no_chinese_data() {
        const rows = []
        const languages = latinLanguages.concat(["zh_TW", "ja_JP"])
        for (let l = 0; l < languages.length; ++l) {
            const list = pages()
            for (let i = 0; i < list.length; ++i) {
                list[i].language = languages[l]
                list[i].tag = languages[l] + " " + list[i].tag
                rows.push(list[i])
            }
        }
        return rows
    }

    function test_no_chinese(data) {
        const source = data.language === "ja_JP" ? shownTexts(data, "zh_CN") : {}
        const shown = shownTexts(data, data.language)
        const found = []
        for (const path in shown) {
            const value = shown[path]
            const untranslated = data.language === "zh_TW" ? simplifiedOnly.test(value)
                : data.language === "ja_JP" ? value.length > 1 && cjk.test(value) && value === source[path]
                : cjk.test(value)
            if (untranslated)
                found.push(path + ": " + value)
        }
        compare(found, [])
    }
}
