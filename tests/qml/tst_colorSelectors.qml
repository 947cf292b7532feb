import QtQuick
import QtTest
import MediaControls

TestCase {
    id: testCase
    name: "ColorSelectors"
    width: 800
    height: 600
    when: windowShown
    visible: true

    Item {
        id: host
        width: 400
        height: 300
    }

    Component {
        id: multComponent
        CustomMultColorSelect {
            width: 380
            customKey: "color_bg_static_illusory_color_"
        }
    }

    Component {
        id: cycComponent
        CustomCycColorSelect {
            width: 380
        }
    }

    Component {
        id: singleComponent
        CustomColorSelect {
            width: 300
        }
    }

    Component {
        id: flickableComponent
        Flickable {
            width: 400
            height: 300
            contentHeight: 1200
        }
    }

    Component {
        id: spyComponent
        SignalSpy {}
    }

    function calls(spy) {
        return spy.signalArguments.map(function(args) { return Array.from(args) })
    }

    function spyOn(target, signalName) {
        return createTemporaryObject(spyComponent, testCase, { target: target, signalName: signalName })
    }

    function init() {
        ConfigMgr.removeValue("color_bg_static_illusory_color_")
    }

    // Reports a colour as the user would: through the popup's picker.
    function pickerReports(control, colour) {
        findChild(control, "popup").picker.colorSelected(colour)
    }

    function test_expansion_data() {
        const first = ["#FDE725", "#27FFDE", "#FDE725"]
        return [
            { tag: "30 steps", stops: first, steps: 30, at: { 0: "#FDE725", 1: "#eee932", 13: "#36fdd1",
                                                             14: "#27FFDE", 15: "#35fdd2", 28: "#efe931",
                                                             29: "#FDE725" }, length: 30 },
            { tag: "12 steps", stops: first, steps: 12,
              all: ["#FDE725", "#d2ec4a", "#a7f16f", "#7df594", "#52fab9", "#27FFDE", "#4bfbbf", "#6ef7a0",
                    "#92f382", "#b6ef63", "#d9eb44", "#FDE725"] },
            { tag: "4 steps", stops: first, steps: 4, all: ["#FDE725", "#27FFDE", "#92f382", "#FDE725"] },
            { tag: "two stops", stops: ["#000000", "#FFFFFF"], steps: 3, all: ["#000000", "#808080", "#ffffff"] },
            { tag: "three stops in two steps", stops: first, steps: 2, all: ["#fde725", "#FDE725"] },
            { tag: "three stops in one step", stops: first, steps: 1, all: ["#fde725"] },
            { tag: "no steps", stops: first, steps: 0, all: [] },
            { tag: "one stop", stops: ["#FDE725"], steps: 5, all: [], warning: "渐变色数组至少需要2个颜色" },
            { tag: "short form", stops: ["#abc", "#abc"], steps: 1, all: ["#aabbcc"] },
            { tag: "bad form is black", stops: ["#12", "#12"], steps: 1, all: ["#000000"],
              warning: /无效的颜色格式: #12/ }
        ]
    }

    function test_expansion(data) {
        const control = createTemporaryObject(multComponent, host)
        if (data.warning) {
            ignoreWarning(data.warning)
            if (data.tag === "bad form is black")
                ignoreWarning(data.warning)
        }
        const colours = control.generateGradientColors(data.stops, data.steps)
        if (data.all) {
            compare(colours, data.all)
        } else {
            compare(colours.length, data.length)
            for (const index in data.at)
                compare(colours[index], data.at[index], "index " + index)
        }
    }

    function test_preset_expansion_checks_the_index() {
        const control = createTemporaryObject(multComponent, host)
        compare(control.getPresetGradient30Colors(1)[14], "#E720F9")
        ignoreWarning(/无效的预设索引: 3/)
        compare(control.getPresetGradient30Colors(3), [])
        compare(control.getCurrentGradientXColors(12)[5], "#27FFDE")
    }

    function test_custom_gradient_is_stored_and_reset() {
        const control = createTemporaryObject(multComponent, host)
        const gradient = spyOn(control, "gradientChanged")
        const complete = spyOn(control, "changeComplete")
        // A stored custom gradient without exactly three stops is ignored.
        ConfigMgr.setStringList("color_bg_static_illusory_color_", ["#010101", "#020202"])
        mouseClick(findChild(control, "presetTile1"))
        compare(calls(complete)[0], [1, ["#5D36FA", "#E720F9", "#5D36FA"], false])
        mouseClick(findChild(control, "customTile"))
        compare(control.selectedPresetIndex, 3)
        compare(calls(gradient)[1], [3, ["#5D36FA", "#E720F9", "#5D36FA"]])
        compare(ConfigMgr.getStringList("color_bg_static_illusory_color_"), ["#5D36FA", "#E720F9", "#5D36FA"])
        verify(findChild(control, "markerStrip").visible)

        gradient.clear()
        complete.clear()
        mouseClick(findChild(control, "resetButton"))
        compare(calls(gradient), [[0, ["#FDE725", "#27FFDE", "#FDE725"]]])
        compare(calls(complete), [[0, ["#FDE725", "#27FFDE", "#FDE725"], true]])
        compare(ConfigMgr.getStringList("color_bg_static_illusory_color_"), undefined)
        // The presets themselves were never changed.
        compare(ConfigMgr.color_illusory_color_list[0], ["#FDE725", "#27FFDE", "#FDE725"])
    }

    function test_stop_edits_against_the_opening_colour() {
        const control = createTemporaryObject(multComponent, host)
        mouseClick(findChild(control, "customTile"))
        const gradient = spyOn(control, "gradientChanged")
        mouseClick(findChild(control, "marker1"))
        const popup = findChild(control, "popup")
        tryCompare(popup, "opened", true)
        compare(control.selectedColorIndex, 1)
        pickerReports(control, "#112233")
        pickerReports(control, "#445566")
        pickerReports(control, "#27ffde")
        compare(control.selectedGradient, ["#FDE725", "#445566", "#FDE725"])
        compare(gradient.count, 2)
        // A swatch text in upper case never equals the opening colour's name.
        pickerReports(control, "#27FFDE")
        compare(control.selectedGradient[1], "#27FFDE")
        popup.close()
        compare(ConfigMgr.getStringList("color_bg_static_illusory_color_"), ["#FDE725", "#27FFDE", "#FDE725"])
    }

    function test_gradient_popup_placement_data() {
        // Markers at 0, 180 and 360 on a 380 px bar; the last would overhang.
        return [
            { tag: "stop 0", stop: 0, x: 0 },
            { tag: "stop 1", stop: 1, x: 180 },
            { tag: "stop 2", stop: 2, x: 400 - 210 - 10 }
        ]
    }

    function test_gradient_popup_placement(data) {
        const control = createTemporaryObject(multComponent, host)
        mouseClick(findChild(control, "customTile"))
        control.showColorPicker(data.stop)
        const popup = findChild(control, "popup")
        compare(popup.x, data.x)
        // No room below in a 300 px parent: it is placed above the markers,
        // and the window keeps it from leaving the top.
        tryCompare(popup, "opened", true)
        const topLeft = popup.contentItem.mapToItem(host, 0, 0)
        verify(topLeft.x >= 0 && topLeft.x + 210 <= host.width, "x " + topLeft.x)
        compare(topLeft.y, 0)
        popup.close()
    }

    function test_cycle_edits_data() {
        return [
            { tag: "full list hides add", list: 7, add: false, remove: true },
            { tag: "single entry hides delete", list: 1, add: true, remove: false },
            { tag: "between", list: 3, add: true, remove: true }
        ]
    }

    function test_cycle_edits(data) {
        const defaults = Array.from(ConfigMgr.defaults.color_bg_bln_cyc_color)
        const control = createTemporaryObject(cycComponent, host)
        const changed = spyOn(control, "colorsChanged")
        // A list shared with the page is never changed in place.
        const shared = defaults.slice(0, data.list)
        control.colorList = shared
        compare(changed.count, 0)
        control.chargeColor("#010203")
        compare(shared, defaults.slice(0, data.list))
        control.colorList = defaults.slice(0, data.list)
        compare(findChild(control, "addButton").visible, data.add)
        compare(findChild(control, "deleteButton").visible, data.remove)
        if (data.remove) {
            control.selectedIndex = data.list - 1
            mouseClick(findChild(control, "deleteButton"))
            compare(control.colorList.length, data.list - 1)
            compare(control.selectedIndex, data.list - 2)
            mouseClick(findChild(control, "addButton"))
            compare(control.colorList, defaults.slice(0, data.list - 1).concat([defaults[data.list - 2]]))
            compare(control.selectedIndex, data.list - 1)
            tryCompare(findChild(control, "popup"), "opened", true)
            pickerReports(control, "#123456")
            compare(control.colorList[data.list - 1], "#123456")
            findChild(control, "popup").close()
        }
        mouseClick(findChild(control, "resetButton"))
        compare(control.colorList, defaults)
        verify(control.colorList !== ConfigMgr.defaults.color_bg_bln_cyc_color)
        control.chargeColor("#abcdef")
        compare(control.colorList[0], "#abcdef")
        compare(ConfigMgr.defaults.color_bg_bln_cyc_color, defaults)
    }

    function test_single_reset_reports_even_at_the_default() {
        const control = createTemporaryObject(singleComponent, host)
        const changed = spyOn(control, "colorChanged")
        const complete = spyOn(control, "changeComplete")
        mouseClick(findChild(control, "resetButton"))
        compare(calls(changed), [["#f77f13"]])
        compare(calls(complete), [["#f77f13", true]])
        mouseClick(findChild(control, "box"))
        const popup = findChild(control, "popup")
        tryCompare(popup, "opened", true)
        pickerReports(control, "#00FF00")
        compare(calls(changed)[1], ["#00FF00"])
        compare(findChild(control, "colorBar").color, Qt.color("#00ff00"))
    }

    function test_scrolling_closes_every_popup_data() {
        return [
            { tag: "single", component: singleComponent, open: function(c) { findChild(c, "box").popup.open() },
              isReset: 1 },
            { tag: "gradient", component: multComponent, open: function(c) { c.showColorPicker(0) }, isReset: 2 },
            { tag: "cycle", component: cycComponent, open: function(c) { c.showColorPicker() }, isReset: 1 }
        ]
    }

    function test_scrolling_closes_every_popup(data) {
        const flickable = createTemporaryObject(flickableComponent, testCase)
        const control = data.component.createObject(flickable.contentItem, { y: 400 })
        const complete = spyOn(control, "changeComplete")
        data.open(control)
        const popup = findChild(control, "popup")
        tryCompare(popup, "opened", true)
        flickable.contentY = 200
        tryCompare(popup, "visible", false)
        compare(complete.count, 1)
        compare(complete.signalArguments[0][data.isReset], false)
        control.destroy()
    }
}
