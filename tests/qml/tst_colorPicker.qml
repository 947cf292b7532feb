import QtQuick
import QtTest
import MediaControls

TestCase {
    id: testCase
    name: "ColorPicker"
    width: 400
    height: 400
    when: windowShown
    visible: true

    Component {
        id: pickerComponent
        ColorPicker {}
    }

    Component {
        id: spyComponent
        SignalSpy {}
    }

    Component {
        id: metricsComponent
        FontMetrics {}
    }

    function makePicker() {
        const picker = createTemporaryObject(pickerComponent, testCase)
        const spy = createTemporaryObject(spyComponent, testCase, { target: picker, signalName: "colorSelected" })
        return { picker: picker, spy: spy, item: function(name) { return findChild(picker, name) } }
    }

    function reported(spy) {
        return spy.signalArguments.map(function(args) { return args[0] })
    }

    function test_showing_a_colour_reports_nothing() {
        const made = makePicker()
        made.picker.selectedColor = "#336699"
        made.picker.flushToColor("#336699")
        compare(made.spy.count, 0)
        compare(made.item("hexText").text, "336699")
        compare([made.item("rText").text, made.item("gText").text, made.item("bText").text], ["51", "102", "153"])
        // Alone, flushToColor leaves the fields as they were.
        made.picker.flushToColor("#FF0000")
        compare(made.item("hexText").text, "336699")
        compare(made.spy.count, 0)
    }

    // Each field's text area holds a whole line of its font inside its box.
    function test_fields_show_their_whole_text_data() {
        return ["hexText", "rText", "gText", "bText"].map(function(name) { return { tag: name, name: name } })
    }

    function test_fields_show_their_whole_text(data) {
        const made = makePicker()
        made.picker.flushToColor("#336699")
        const field = made.item(data.name)
        const line = createTemporaryObject(metricsComponent, testCase, { font: field.font }).height
        verify(field.text.length > 0)
        const room = field.height - field.topPadding - field.bottomPadding
        verify(room >= line, room + " < " + line)
        verify(field.contentHeight >= line - 1 && field.contentHeight <= room)
        const cursor = field.cursorRectangle
        verify(cursor.y >= 0 && cursor.y + cursor.height <= field.height, JSON.stringify(cursor))
        const box = field.parent
        verify(field.y >= 0 && field.y + field.height <= box.height)
    }

    function test_field_drag_reports_every_move() {
        const made = makePicker()
        const area = made.item("colorArea")
        mousePress(area, 10, 45)
        for (let x = 20; x <= 100; x += 20)
            mouseMove(area, x, 45)
        mouseRelease(area, 100, 45)
        const colours = reported(made.spy)
        compare(colours.length, 6)
        for (const colour of colours)
            verify(/^#[0-9a-f]{6}$/.test(colour), colour)
        compare(made.item("hexText").text, colours[5].substring(1).toUpperCase())
    }

    // Presses inside, then the pointer leaves the bar or field while pressed.
    function test_edges_of_field_and_bar_data() {
        return [
            // At the opening lightness, 0.5 (the first swatch is red).
            { tag: "right edge of the field is red", fieldAt: 0.99, fieldTo: 1.5, colour: "#ff0000" },
            { tag: "right end of the bar is white", barAt: 0.99, barTo: 1.5, fieldAt: 0.3, fieldTo: 0.3,
              colour: "#ffffff" },
            { tag: "left end of the bar is black", barAt: 0.01, barTo: -0.5, fieldAt: 0.3, fieldTo: 0.3,
              colour: "#000000" }
        ]
    }

    function test_edges_of_field_and_bar(data) {
        const made = makePicker()
        const area = made.item("colorArea")
        const bar = made.item("brightnessSlider")
        if (data.barAt !== undefined) {
            mousePress(bar, data.barAt * bar.width, 10)
            mouseMove(bar, data.barTo * bar.width, 10)
            mouseRelease(bar, data.barTo * bar.width, 10)
        }
        mousePress(area, data.fieldAt * area.width, 1)
        mouseMove(area, data.fieldTo * area.width, -20)
        mouseRelease(area, data.fieldTo * area.width, -20)
        compare(made.spy.count, data.barAt !== undefined ? 4 : 2)
        compare(reported(made.spy).pop(), data.colour)
        compare(made.picker.selectedColor.toString(), data.colour)
    }

    function test_swatch_reports_its_text() {
        const made = makePicker()
        made.picker.flushToColor("#123456")
        const swatches = made.picker.allColors
        compare(swatches[0], "#FF0000")
        const first = findChild(made.item("swatches"), "swatch")
        mouseClick(first)
        compare(reported(made.spy), ["#FF0000"])
        compare(made.item("hexText").text, "FF0000")
        compare(made.item("colorSelector").x, 0)
        compare(made.item("colorSelector").y, 0)
    }

    function test_hex_applies_at_six_digits() {
        const made = makePicker()
        const hex = made.item("hexText")
        mouseClick(hex)
        hex.selectAll()
        const steps = [["1", 0], ["2", 0], ["a", 0], ["b", 0], ["C", 0], ["d", 1]]
        let typed = ""
        for (const [digit, count] of steps) {
            keyClick(digit)
            typed += digit
            compare(hex.text, typed)
            compare(made.spy.count, count, "after " + typed)
        }
        compare(reported(made.spy), ["#12abcd"])
        // The field being typed in keeps its text; the others follow.
        compare(made.item("rText").text, "18")
    }

    function test_cleared_channel_is_put_back() {
        const made = makePicker()
        made.picker.selectedColor = "#336699"
        made.picker.flushToColor("#336699")
        const red = made.item("rText")
        mouseClick(red)
        red.selectAll()
        keyClick(Qt.Key_Delete)
        compare(red.text, "51")
        compare(reported(made.spy), ["#336699"])
        red.selectAll()
        keyClick("7")
        compare(reported(made.spy).length, 2)
        compare(Math.round(made.picker.selectedColor.r * 255), 7)
        compare(made.item("hexText").text, "076699")
    }

    function test_plus_slots_fill_the_grid() {
        const made = makePicker()
        const grid = made.item("swatches")
        const area = made.item("colorArea")
        compare(made.picker.allColors.length, 15)
        function addSlots() {
            let count = 0
            for (let i = 0; i < grid.children.length; ++i)
                count += grid.children[i].objectName === "addSlot" ? 1 : 0
            return count
        }
        compare(addSlots(), 7)
        // A preset colour is in the grid already.
        made.picker.selectedColor = "#ff00ff"
        mouseClick(findChild(grid, "addSlot"))
        compare(made.picker.dynamicColors, [])
        for (let i = 0; i < 7; ++i) {
            mouseClick(area, 10 + i * 20, 30)
            mouseClick(findChild(grid, "addSlot"))
            compare(addSlots(), 6 - i)
        }
        compare(made.picker.dynamicColors.length, 7)
        compare(made.picker.allColors.length, 15)
        verify(made.picker.dynamicColors.every(function(c) { return /^#[0-9A-F]{6}$/.test(c) }))
        // An added colour is in the grid already.
        const last = made.picker.dynamicColors[6]
        made.picker.selectedColor = last.toLowerCase()
        made.picker.addCurrentColor()
        compare(made.picker.dynamicColors.length, 7)
        compare(ConfigMgr.getStringList(ConfigMgr.keys.color_picker_preset_colors).length, 8)
    }

    function test_grey_places_markers_data() {
        return [
            { tag: "mid grey", colour: "#808080" },
            { tag: "white", colour: "#ffffff" },
            { tag: "black", colour: "#000000" }
        ]
    }

    function test_grey_places_markers(data) {
        const made = makePicker()
        made.picker.flushToColor(data.colour)
        const ring = made.item("colorSelector")
        const area = made.item("colorArea")
        const handle = made.item("brightnessSelector")
        const bar = made.item("brightnessSlider")
        compare(ring.x, 0)
        compare(ring.y, area.height - 14)
        fuzzyCompare(handle.x, Qt.color(data.colour).hslLightness * (bar.width - 10), 0.0001)
        // Recomposed, a grey stays the same grey.
        made.picker.updateSelectedColor()
        compare(reported(made.spy), [data.colour])
    }

    function test_field_repaint_is_throttled() {
        const made = makePicker()
        const canvas = made.item("colorCanvas")
        const bar = made.item("brightnessSlider")
        const painted = createTemporaryObject(spyComponent, testCase, { target: canvas, signalName: "painted" })
        tryVerify(function() { return painted.count >= 1 })
        wait(50)
        painted.clear()
        // Pointer events in the bar, all in one turn of the event loop (test
        // mouse events would run it between moves).
        for (let i = 0; i < 20; ++i)
            made.picker.pickInBar(10 + i * 5)
        compare(made.spy.count, 20)
        painted.wait(1000)
        wait(100)
        compare(painted.count, 1)

        painted.clear()
        const handle = made.item("brightnessSelector")
        handle.brightness += 0.0005
        wait(100)
        compare(painted.count, 0)
    }
}
