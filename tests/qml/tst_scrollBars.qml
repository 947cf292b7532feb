import QtQuick
import QtQuick.Controls
import QtTest
import MediaControls
import VeloranDeck
import VeloranDeckSettings
import VeloranDeckTranslation

// Every page's scroll bar comes back to half opacity once it is no longer in
// use, and stays there (the style would fade it out entirely); the tabs,
// which scroll only up and down, keep no sideways bar that takes presses.
TestCase {
    id: testCase
    name: "ScrollBars"
    width: 600
    height: 400
    when: windowShown
    visible: true

    Component { id: microphoneComponent; MicrophoneTab { width: 500; height: 120 } }
    Component { id: lightingComponent; LightingTab { width: 500; height: 300 } }
    Component { id: generalComponent; GeneralTab { width: 410; height: 150 } }
    Component { id: mixerComponent; MainSettings { width: 300; height: 400 } }
    Component { id: equalizerComponent; EqualizerWindow {} }

    function init() {
        TranslationManager.setLanguage("zh_CN")
        SettingsManager.setDeviceScope("")
        SettingsManager.clear()
        ConfigMgr.loadAllSettings()
    }

    function test_bars_rest_at_half_opacity() {
        const pages = [
            { name: "microphone", component: microphoneComponent, bar: "verticalBar" },
            { name: "lighting", component: lightingComponent, bar: "scrollBar" },
            { name: "general", component: generalComponent, bar: "scrollBar" },
            { name: "mixer", component: mixerComponent, bar: "scrollBar" },
            { name: "equaliser", component: equalizerComponent, bar: "stripBar" }
        ]
        const bars = pages.map(function(page) {
            const made = createTemporaryObject(page.component, testCase)
            verify(made, page.name)
            made.visible = true
            // A window's items hang under its content item.
            const bar = findChild(made, page.bar) || findChild(made.contentItem, page.bar)
            verify(bar, page.name)
            return { name: page.name, bar: bar }
        })
        function opacities() {
            const seen = {}
            for (const b of bars)
                seen[b.name] = b.bar.contentItem.opacity
            return JSON.stringify(seen)
        }
        function all(value) {
            const wanted = {}
            for (const b of bars)
                wanted[b.name] = value
            return JSON.stringify(wanted)
        }
        // Laid out, so that each bar's content overflows its view.
        wait(100)
        compare(opacities(), all(0.5), "before use")
        for (const b of bars)
            b.bar.active = true
        tryVerify(function() { return opacities() === all(1.0) }, 1000, "in use")
        for (const b of bars)
            b.bar.active = false
        // Longer than the style's pause and fade together.
        wait(3200)
        compare(opacities(), all(0.5), "at rest")
    }

    // A press along a tab's bottom edge reaches the control shown there (at
    // 200 % a scrolled-in button sits right on that edge).
    function test_bottom_edge_press_reaches_the_page() {
        const tabs = [
            { name: "microphone", component: microphoneComponent },
            { name: "lighting", component: lightingComponent },
            { name: "general", component: generalComponent }
        ]
        for (const tab of tabs) {
            const made = createTemporaryObject(tab.component, testCase)
            verify(made, tab.name)
            const view = findChild(made, "scrollView") || made
            const sideways = view.ScrollBar.horizontal
            mousePress(view, view.width / 2, view.height - 4)
            const taken = sideways !== null && sideways.pressed
            mouseRelease(view, view.width / 2, view.height - 4)
            verify(!taken, tab.name + ": the sideways bar took the press")
        }
    }
}
