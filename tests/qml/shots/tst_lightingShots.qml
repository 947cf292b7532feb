import QtQuick
import QtTest
import MediaControls
import VeloranDeck
import VeloranDeckSettings
import VeloranDeckHIDHotplug
import VeloranTestSupport

// The lighting tab of an R7 with each effect and of a U20 scrolled to its
// end, saved as PNG files and probed pixel by pixel.
ShotsCase {
    id: testCase
    name: "LightingShots"
    width: 700
    height: 800

    readonly property var u20Info: ({ name: "Veloran U20", sn: "U20SN", version: "V1.01", dpid: 0x000E, pid: 28, vid: 1 })

    Component {
        id: frameComponent
        Rectangle {
            property alias tab: tab
            width: 700
            height: 800
            color: "#000000"
            LightingTab {
                id: tab
                anchors.fill: parent
            }
        }
    }

    function test_r7_effects_data() {
        return [
            { tag: "wave", effect: 2 }, { tag: "static gradient", effect: 0, staticType: 1 },
            { tag: "breathing loop of 3", effect: 1, cycle: ["#FF0000", "#00FF00", "#0000FF"] },
            { tag: "off", effect: 3 }
        ]
    }

    function test_r7_effects(data) {
        connectFresh(r7Info)
        ConfigMgr.setValue("color_bg_effect", data.effect)
        if (data.staticType !== undefined)
            ConfigMgr.setValue("color_bg_static_type", data.staticType)
        if (data.cycle)
            ConfigMgr.setStringList("color_bg_bln_cyc_color", data.cycle)
        const frame = createTemporaryObject(frameComponent, testCase)
        waitForRendering(frame)
        const image = grabImage(frame)
        image.save(Shots.path("lighting_r7_" + data.tag.replace(/ /g, "_") + ".png"))
        for (let i = 0; i < 4; ++i) {
            const button = findChild(frame.tab, "effect" + i)
            compare(button.height, 40)
            compare(colorAt(image, button, 3, 20), i === data.effect ? "#f77f13" : "#3e3e3e")
        }
        compare(colorAt(image, findChild(frame.tab, "backgroundCard"), 6, 10), "#242424")
        if (data.cycle)
            compare(findChild(findChild(frame.tab, "breathingPage"), "mutableColor").colorList.length, 3)
    }

    function test_u20_bottom() {
        connectFresh(u20Info)
        ConfigMgr.setValue("color_bg_other_close_rgb", true)
        const frame = createTemporaryObject(frameComponent, testCase)
        waitForRendering(frame)
        const flick = frame.tab.contentItem
        flick.contentY = flick.contentHeight - flick.height
        verify(flick.contentY > 0)
        waitForRendering(frame)
        const image = grabImage(frame)
        image.save(Shots.path("lighting_u20_bottom.png"))
        const box = findChild(frame.tab, "closeRgbSwitch")
        verify(box.visible && box.checked)
        const indicator = box.indicator
        compare(colorAt(image, indicator, 4, 4), "#f77f13")
    }
}
