import QtQuick
import QtTest
import MediaControls
import VeloranDeck
import VeloranDeckSettings
import VeloranDeckHIDHotplug
import VeloranDeckTranslation
import VeloranTestSupport
import "../../../qml/app/qml/eqcurve.js" as EqCurve

// The microphone tab of a U20 (top and scrolled, with every enhancement
// on) and of an R7, and the equaliser window with the defaults and with a
// custom curve, saved as PNG files and probed pixel by pixel.
ShotsCase {
    id: testCase
    name: "MicrophoneShots"
    width: 520
    height: 700

    readonly property var u20Info: ({ name: "Veloran U20", sn: "U20SN", version: "V1.02", dpid: 0x000E, pid: 28, vid: 1 })

    Component {
        id: tabComponent
        Rectangle {
            property alias tab: tab
            width: 520
            height: 520
            color: "#000000"
            MicrophoneTab {
                id: tab
                anchors.fill: parent
                anchors.margins: 10
            }
        }
    }

    Component {
        id: windowComponent
        EqualizerWindow {}
    }

    function connect(info) {
        HIDHotplugManager.deviceInfo = info
        HIDHotplugManager.deviceConnected(info, true)
    }

    function init() {
        TranslationManager.setLanguage("zh_CN")
        SettingsManager.setDeviceScope("")
        SettingsManager.clear()
        ConfigMgr.loadAllSettings()
    }

    function test_tab_u20() {
        connect(u20Info)
        const settings = { audio_enhancement_index: 1, ai_jianzao: true, ai_jianzao_type: 1, device_boom: true,
                           device_boom_value: -5, device_compressor: true, device_compressor_value: -10 }
        for (const key in settings)
            ConfigMgr.setValue(key, settings[key])
        const frame = createTemporaryObject(tabComponent, testCase)
        waitForRendering(frame)
        // The switches' colour animations end.
        wait(300)
        let image = grabImage(frame)
        image.save(Shots.path("microphone_u20_top.png"))
        const card = findChild(frame.tab, "inputCard")
        compare(card.height, 180)
        compare(colorAt(image, card, 6, 90), "#242424")
        compare(colorAt(image, findChild(frame.tab, "preset1"), 4, 30), "#f77f13")
        compare(colorAt(image, findChild(frame.tab, "preset0"), 4, 30), "#3e3e3e")

        const flick = findChild(frame.tab, "scrollView").contentItem
        verify(flick.contentHeight > flick.height)
        flick.contentY = flick.contentHeight - flick.height
        waitForRendering(frame)
        image = grabImage(frame)
        image.save(Shots.path("microphone_u20_scrolled.png"))
        const enhancement = findChild(frame.tab, "enhancementCard")
        compare(colorAt(image, enhancement, 6, enhancement.height - 10), "#242424")
        compare(colorAt(image, findChild(frame.tab, "yasuoQiSwitch"), 4, 8), "#f77f13")
        verify(findChild(frame.tab, "verticalBar").visible)
    }

    function test_tab_r7() {
        connect(r7Info)
        const frame = createTemporaryObject(tabComponent, testCase)
        waitForRendering(frame)
        const image = grabImage(frame)
        image.save(Shots.path("microphone_r7.png"))
        const card = findChild(frame.tab, "inputCard")
        compare(card.height, 220)
        compare(colorAt(image, card, 6, 110), "#242424")
        compare(colorAt(image, findChild(frame.tab, "enhancementCard"), 6, 20), "#242424")
        verify(!findChild(frame.tab, "verticalBar").visible)
    }

    // Points of the curve are white at their centres.
    function pointsAreWhite(window, name, values) {
        const canvas = findChild(window.contentItem, "eqCanvas")
        let image = null
        tryVerify(function() {
            image = grabImage(window.contentItem)
            return colorAt(image, canvas, EqCurve.bandX(0, canvas.width), EqCurve.gainY(values[0], canvas.height)) === "#ffffff"
        }, 3000)
        image.save(Shots.path(name))
        for (let k = 0; k < values.length; ++k)
            compare(colorAt(image, canvas, EqCurve.bandX(k, canvas.width), EqCurve.gainY(values[k], canvas.height)),
                    "#ffffff", "band " + k)
        return image
    }

    function test_window() {
        const window = createTemporaryObject(windowComponent, testCase)
        window.visible = true
        tryCompare(window, "opacity", 1)
        compare([window.width, window.height], [550, 480])
        findChild(window.contentItem, "presetStrip").contentX = 0
        const image = pointsAreWhite(window, "equalizer_default.png", [2, 1, 0, 0, 0, 0, 0, 1, 2, 1, 0, 0])
        compare(colorAt(image, findChild(window.contentItem, "presetTile0"), 4, 33), "#f77f13")

        // "低切75Hz" draws its first point at -3 dB.
        window.selectPreset(2)
        const canvas = findChild(window.contentItem, "eqCanvas")
        pointsAreWhite(window, "equalizer_low_cut.png", [-3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0])

        window.addPreset()
        window.selectPreset(7)
        const pointer = findChild(window.contentItem, "eqPointer")
        mousePress(pointer, EqCurve.bandX(5, canvas.width), EqCurve.gainY(0, canvas.height))
        mouseMove(pointer, EqCurve.bandX(5, canvas.width), 30)
        mouseRelease(pointer, EqCurve.bandX(5, canvas.width), 30)
        mousePress(pointer, EqCurve.bandX(9, canvas.width), canvas.height - 30)
        mouseRelease(pointer, EqCurve.bandX(9, canvas.width), canvas.height - 30)
        pointsAreWhite(window, "equalizer_custom.png", [0, 0, 0, 0, 0, 6, 0, 0, 0, -6, 0, 0])
        window.visible = false
    }
}
