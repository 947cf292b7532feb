import QtQuick
import QtTest
import MediaControls

TestCase {
    id: testCase
    name: "Buttons"
    width: 400
    height: 300
    when: windowShown
    visible: true

    readonly property string iconUrl: "qrc:/qt/qml/MediaControls/icons/stat1.svg"

    function sameColor(actual, expected) {
        verify(Qt.colorEqual(actual, expected), "colour " + actual + " is not " + expected)
    }

    function park() {
        // Pointer away from every control, so hover starts from "outside".
        mouseMove(testCase, testCase.width - 1, testCase.height - 1)
    }

    Component {
        id: tileComponent
        CustomButtonRect {
            width: 40
            height: 40
        }
    }

    Component {
        id: tvComponent
        TvButton {
            width: 120
            height: 40
            text: "OK"
        }
    }

    Component {
        id: bwComponent
        BwButton {
            width: 120
            height: 40
            text: "Cancel"
        }
    }

    Component {
        id: iconButtonComponent
        CustomButton {
            width: 30
            height: 30
        }
    }

    Component {
        id: checkBoxComponent
        CustomCheckBox {
            text: "Share"
        }
    }

    Component {
        id: radioComponent
        CustomRadioButton {
            text: "44.1 kHz"
        }
    }

    Component {
        id: spyComponent
        SignalSpy {}
    }

    function init() {
        park()
    }

    // CustomButtonRect

    function test_tile_initial_colour_data() {
        return [
            { tag: "inactive", props: {}, colour: "#3E3E3E" },
            { tag: "active", props: { isActive: true }, colour: "#F77F13" },
            { tag: "active worn", props: { isActive: true, isWorn: true }, colour: "#991010" },
            { tag: "worn only", props: { isWorn: true }, colour: "#3E3E3E" },
            { tag: "active but not selectable", props: { isActive: true, isSelect: false }, colour: "#3E3E3E" },
            { tag: "active worn not selectable", props: { isActive: true, isWorn: true, isSelect: false }, colour: "#3E3E3E" }
        ]
    }

    function test_tile_initial_colour(data) {
        const tile = createTemporaryObject(tileComponent, testCase, data.props)
        verify(tile)
        sameColor(tile.color, data.colour)
    }

    function test_tile_click_toggles_before_signal() {
        const tile = createTemporaryObject(tileComponent, testCase, { src: iconUrl })
        let seen = []
        tile.click.connect(function() { seen.push(tile.isActive) })
        mouseClick(tile)
        compare(seen, [true])
        compare(tile.isActive, true)
        sameColor(tile.color, "#F77F13")
        mouseClick(tile)
        compare(seen, [true, false])
        // Inactive under the pointer: the hover shade.
        sameColor(tile.color, "#5E5E5E")
    }

    function test_tile_not_selectable_is_a_push_button() {
        const tile = createTemporaryObject(tileComponent, testCase, { isSelect: false, isActive: true })
        const spy = createTemporaryObject(spyComponent, testCase, { target: tile, signalName: "click" })
        mouseClick(tile)
        compare(spy.count, 1)
        compare(tile.isActive, true)
        sameColor(tile.color, "#5E5E5E")
    }

    function test_tile_hover_shades() {
        const tile = createTemporaryObject(tileComponent, testCase)
        mouseMove(tile, 20, 20)
        sameColor(tile.color, "#5E5E5E")
        park()
        sameColor(tile.color, "#3E3E3E")
    }

    function test_tile_colour_not_bound_to_state() {
        const tile = createTemporaryObject(tileComponent, testCase)
        tile.isActive = true
        // Only setActive recolours.
        sameColor(tile.color, "#3E3E3E")
        tile.setActive(true)
        sameColor(tile.color, "#F77F13")
        tile.isWorn = true
        tile.setActive(true)
        sameColor(tile.color, "#991010")
        tile.setActive(false)
        sameColor(tile.color, "#3E3E3E")
    }

    function test_tile_get_color() {
        const tile = createTemporaryObject(tileComponent, testCase)
        compare(tile.getColor("#123456"), "#123456")
        tile.isActive = true
        sameColor(tile.getColor("#123456"), "#F77F13")
        tile.isWorn = true
        sameColor(tile.getColor("#123456"), "#991010")
        tile.isSelect = false
        compare(tile.getColor("#123456"), "#123456")
    }

    // The icon is rendered at the size its use shows it at, else at its
    // file's (18x18); a tile's inner button, which has no size of its own,
    // holds it.
    function test_icon_rendered_at_its_shown_size_data() {
        return [
            { tag: "tile, icon size given", component: tileComponent,
              properties: { src: iconUrl, iconSize: Qt.size(24, 24) }, rendered: 24, painted: 24 },
            { tag: "tile, file's own size", component: tileComponent, properties: { src: iconUrl },
              rendered: 18, painted: 18 },
            { tag: "button, file's own size", component: iconButtonComponent,
              properties: { "icon.source": iconUrl }, rendered: 18, painted: 22 }
        ]
    }

    function test_icon_rendered_at_its_shown_size(data) {
        const control = createTemporaryObject(data.component, testCase, data.properties)
        const image = findChild(control, "iconImage")
        verify(image)
        compare(String(image.source), iconUrl)
        tryCompare(image, "status", Image.Ready)
        compare(image.sourceSize.width, data.rendered)
        compare(image.sourceSize.height, data.rendered)
        compare(image.paintedWidth, data.painted)
        compare(image.paintedHeight, data.painted)
    }

    // TvButton

    function test_tv_button_colours_data() {
        return [
            { tag: "confirm", type: 0, base: "#F77F13", hover: "#f68522" },
            { tag: "cancel", type: 1, base: "#434343", hover: "#535353" }
        ]
    }

    function test_tv_button_colours(data) {
        const button = createTemporaryObject(tvComponent, testCase, { type: data.type })
        const background = findChild(button, "background")
        sameColor(background.color, data.base)
        compare(background.radius, 6)
        compare(button.contentItem.font.pixelSize, 18)
        sameColor(button.contentItem.color, "#ffffff")
        mouseMove(button, 10, 10)
        tryVerify(function() { return button.hovered })
        sameColor(background.color, data.hover)
        park()
        tryVerify(function() { return !button.hovered })
        sameColor(background.color, data.base)
    }

    function test_tv_button_clicked() {
        const button = createTemporaryObject(tvComponent, testCase)
        const spy = createTemporaryObject(spyComponent, testCase, { target: button, signalName: "clicked" })
        mouseClick(button)
        compare(spy.count, 1)
    }

    // BwButton

    function test_bw_button_enabled_look() {
        const button = createTemporaryObject(bwComponent, testCase)
        const background = findChild(button, "background")
        sameColor(button.contentItem.color, "#ffffff")
        sameColor(background.border.color, "#ffffff")
        compare(button.contentItem.font.pixelSize, 14)
        compare(background.opacity, 0.5)
        mouseMove(button, 10, 10)
        tryCompare(background, "opacity", 1)
        // The text keeps full opacity; only the frame dims.
        compare(button.contentItem.opacity, 1)
        park()
        tryCompare(background, "opacity", 0.5)
    }

    function test_bw_button_disabled() {
        const button = createTemporaryObject(bwComponent, testCase, { enabled: false })
        const background = findChild(button, "background")
        const spy = createTemporaryObject(spyComponent, testCase, { target: button, signalName: "clicked" })
        sameColor(button.contentItem.color, "#808080")
        sameColor(background.border.color, "#808080")
        compare(background.opacity, 0.5)
        mouseMove(button, 10, 10)
        mouseClick(button)
        compare(background.opacity, 0.5)
        compare(spy.count, 0)
    }

    // CustomButton

    function test_icon_button_glow_only_while_down() {
        const button = createTemporaryObject(iconButtonComponent, testCase)
        button.icon.source = iconUrl
        const glow = findChild(button, "pressedGlow")
        verify(glow)
        compare(glow.active, false)
        compare(String(button.contentItem.source), iconUrl)
        mousePress(button)
        compare(glow.active, true)
        mouseRelease(button)
        compare(glow.active, false)
    }

    // CustomCheckBox and CustomRadioButton

    function test_check_box_look_follows_state() {
        const box = createTemporaryObject(checkBoxComponent, testCase)
        const indicator = findChild(box, "indicator")
        sameColor(indicator.border.color, "#ffffff")
        compare(indicator.color.a, 0)
        compare(indicator.width, 16)
        compare(indicator.radius, 4)
        mouseClick(box)
        compare(box.checked, true)
        sameColor(indicator.border.color, "#F77F13")
        sameColor(indicator.color, "#F77F13")
    }

    function test_radio_button() {
        const radio = createTemporaryObject(radioComponent, testCase)
        compare(radio.height, 16)
        compare(radio.indicator.width, 16)
        compare(radio.indicator.x, 0)
        sameColor(radio.contentItem.color, "#F77F13")
        compare(radio.contentItem.font.pixelSize, 18)
        mouseClick(radio.indicator)
        compare(radio.checked, true)
    }
}
