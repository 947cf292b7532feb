import QtQuick
import MediaControls
import VeloranDeck
import VeloranDeckTranslation
import VeloranTestSupport

// First process on the emulated U20: a custom equaliser curve is dragged,
// then "直播" is chosen; the second process must show both.
RestartCase {
    name: "MicrophoneRestartFirst"
    width: 520
    height: 900

    page: Component {
        MicrophoneTab {
            width: 500
            height: 900
        }
    }

    function test_store() {
        TranslationManager.setLanguage("zh_CN")
        waitForDevice()
        tryVerify(function() { return ConfigMgr.getValue("auto_gain") === EmulatedDevice.attribute(5)[0] }, 5000)
        wait(300)
        const tab = openPage()
        waitForRendering(tab)
        mouseClick(findChild(tab, "equalizerRow"))
        const window = tab.equalizerWindow
        tryCompare(window, "opacity", 1)
        // The window opens on the selected preset; the add tile is at the end.
        const strip = findChild(window.contentItem, "presetStrip")
        strip.contentX = strip.contentWidth - strip.width
        waitForRendering(strip)
        mouseClick(findChild(window.contentItem, "addTile"))
        window.selectPreset(7)
        const pointer = findChild(window.contentItem, "eqPointer")
        mousePress(pointer, 10, pointer.height / 2)
        mouseMove(pointer, 10, 30)
        mouseRelease(pointer, 10, 30)
        compare(JSON.parse(ConfigMgr.getStringList("device_equalizer_values")[7]).value[0], 6)
        window.visible = false

        mouseClick(findChild(tab, "preset3"))
        compare(findChild(tab, "equalizerName").text, "人声增强")
    }
}
