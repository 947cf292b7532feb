import QtQuick
import QtTest
import MediaControls
import VeloranDeck
import VeloranDeckSettings
import VeloranDeckHIDHotplug
import VeloranDeckTranslation
import VeloranTestSupport

// The general tab of an R7 (its reset card hovered) and of a T40, and the
// factory-reset window asking, half-way and done, saved as PNG files and
// probed pixel by pixel.
ShotsCase {
    id: testCase
    name: "GeneralShots"
    width: 450
    height: 760

    Component {
        id: frameComponent
        Rectangle {
            property alias tab: tab
            width: 450
            height: 760
            color: "#181818"
            GeneralTab {
                id: tab
                anchors.fill: parent
                anchors.margins: 20
            }
        }
    }

    Component {
        id: windowComponent
        ResetWindow {}
    }

    function connect(info) {
        TranslationManager.setLanguage("zh_CN")
        connectFresh(info)
    }

    function sizes(item) {
        return [item.width, item.height]
    }

    function test_tab_r7() {
        connect(r7Info)
        ConfigMgr.setValue("general_hotkey_type", 1)
        ConfigMgr.setValue("general_hotkey_value_url", "https://example.com")
        ConfigMgr.setValue("general_hotkey_value_key", "Ctrl+Shift+S")
        const frame = createTemporaryObject(frameComponent, testCase)
        waitForRendering(frame)
        const tab = frame.tab
        const card = findChild(tab, "hotkeyCard")
        compare(card.height, 280)
        compare(sizes(findChild(tab, "urlField")).concat(sizes(findChild(tab, "keyField"))),
                [card.width - 190, 32, card.width - 190, 32])
        compare(sizes(findChild(tab, "rateBox")), [130, 30])

        const reset = findChild(tab, "resetCard")
        mouseMove(findChild(tab, "resetArea"), 100, 30)
        tryCompare(reset, "color", "#383838")
        waitForRendering(frame)
        const image = grabImage(frame)
        image.save(Shots.path("general_r7.png"))
        compare(colorAt(image, card, 6, 140), "#242424")
        compare(colorAt(image, reset, 6, 30), "#383838")
        compare(colorAt(image, findChild(tab, "firmwareCard"), 6, 45), "#242424")
        // The checked row's dot is white, an unchecked ring hollow.
        compare(colorAt(image, findChild(tab, "hotkeyButton1"), 8, 16), "#ffffff")
        compare(colorAt(image, findChild(tab, "hotkeyButton0"), 8, 16), "#242424")
        // The whole page fits: no bar.
        verify(!findChild(tab, "scrollBar").visible)
    }

    function test_tab_t40() {
        connect(t40Info)
        const frame = createTemporaryObject(frameComponent, testCase)
        waitForRendering(frame)
        const image = grabImage(frame)
        image.save(Shots.path("general_t40.png"))
        const indicator = findChild(frame.tab, "indicatorCard")
        compare(indicator.height, 60)
        compare(colorAt(image, indicator, 6, 30), "#242424")
        compare(colorAt(image, findChild(frame.tab, "resetCard"), 6, 30), "#242424")
        verify(!findChild(frame.tab, "hotkeyCard").visible)
        verify(!findChild(frame.tab, "scrollBar").visible)
    }

    function test_window() {
        connect(t40Info)
        const window = createTemporaryObject(windowComponent, testCase)
        window.resetDuration = 2000
        window.visible = true
        tryCompare(window, "opacity", 1)
        compare([window.width, window.height], [500, 300])
        let image = grabImage(window.contentItem)
        image.save(Shots.path("reset_asking.png"))
        const confirm = findChild(window.contentItem, "confirmButton")
        compare(colorAt(image, confirm, 4, 20), "#f77f13")
        compare(colorAt(image, findChild(window.contentItem, "cancelButton"), 4, 20), "#434343")

        mouseClick(confirm)
        tryVerify(function() { return window.progressValue >= 0.5 }, 5000)
        window.progressAnimation.pause()
        const value = window.progressValue
        image = grabImage(window.contentItem)
        image.save(Shots.path("reset_half.png"))
        const bar = findChild(findChild(window.contentItem, "progress"), "fill").parent
        compare(colorAt(image, bar, bar.width * value - 6, 4), "#f77f13")
        compare(colorAt(image, bar, bar.width * value + 6, 4), "#383838")

        window.progressAnimation.resume()
        tryCompare(window, "phase", "done", 5000)
        image = grabImage(window.contentItem)
        image.save(Shots.path("reset_done.png"))
        const view = findChild(window.contentItem, "successView")
        compare(colorAt(image, view, view.width / 2, 10), "#34c759")
        verify(findChild(window.contentItem, "doneButton").visible)
        window.visible = false
    }
}
