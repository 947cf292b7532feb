import QtQuick
import QtTest
import MediaControls
import VeloranDeck
import VeloranDeckHIDHotplug
import VeloranDeckTranslation

// Under en_US no visible text of a page holds a Chinese, Japanese or Korean
// character: every source text of the pages has its English entry.
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
        TranslationManager.setLanguage("en_US")
    }

    // Path and text of every item whose texts hold such a character.
    function offenders(item, path, found) {
        for (let i = 0; i < textProperties.length; ++i) {
            const value = item[textProperties[i]]
            if (typeof value === "string" && cjk.test(value))
                found.push(path + "." + textProperties[i] + ": " + value)
        }
        const children = item.children || []
        for (let i = 0; i < children.length; ++i)
            offenders(children[i], path + "/" + (children[i].objectName || i), found)
        return found
    }

    function test_no_chinese_data() {
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

    function test_no_chinese(data) {
        const info = data.u20 ? u20Info : r7Info
        HIDHotplugManager.deviceInfo = info
        HIDHotplugManager.deviceConnected(info, true)
        const page = createTemporaryObject(data.component, testCase)
        const root = data.window ? page.contentItem : page
        if (data.prepare)
            data.prepare(page)
        if (data.window) {
            page.visible = true
            verify(!cjk.test(page.title), page.title)
        }
        waitForRendering(root)
        compare(offenders(root, data.tag, []), [])
        if (data.window)
            page.visible = false
    }
}
