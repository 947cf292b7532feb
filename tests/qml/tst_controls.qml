import QtQuick
import QtTest
import MediaControls

TestCase {
    id: testCase
    name: "Controls"
    width: 400
    height: 300
    when: windowShown
    visible: true

    function sameColor(actual, expected) {
        verify(Qt.colorEqual(actual, expected), "colour " + actual + " is not " + expected)
    }

    function park() {
        mouseMove(testCase, testCase.width - 1, testCase.height - 1)
    }

    function init() {
        park()
    }

    Component {
        id: switchComponent
        SwitchBox {}
    }

    Component {
        id: comboComponent
        CustomComboBox {
            width: 160
            height: 40
            model: ["48 kHz", "96 kHz", "192 kHz"]
        }
    }

    Component {
        id: statComponent
        CustomStatBox {}
    }

    Component {
        id: textComponent
        CustomText {
            x: 50
            y: 150
            text: "Gain"
        }
    }

    Component {
        id: progressComponent
        CustomProgress {
            width: 200
        }
    }

    Component {
        id: spyComponent
        SignalSpy {}
    }

    Component {
        id: checkBoxComponent
        CustomCheckBox { text: "Mute" }
    }

    Component {
        id: radioComponent
        CustomRadioButton { text: "Left" }
    }

    // The objects under item (children and other data), depth first.
    function descendants(item) {
        let found = []
        const direct = item.data !== undefined ? item.data : item.children
        for (let i = 0; i < direct.length; ++i)
            found = found.concat([direct[i]], descendants(direct[i]))
        return found
    }

    // The look of the basic controls

    function test_marks_show_only_the_checked_state_data() {
        return [
            { tag: "check box tick", component: checkBoxComponent },
            { tag: "radio button dot", component: radioComponent }
        ]
    }

    function test_marks_show_only_the_checked_state(data) {
        const control = createTemporaryObject(data.component, testCase)
        const mark = control.indicator.children[0]
        verify(mark)
        for (const checked of [false, true, false, true]) {
            control.checked = checked
            compare(mark.visible, checked, "checked " + checked)
        }
    }

    function test_combo_tick_marks_the_current_entry_only() {
        const box = createTemporaryObject(comboComponent, testCase)
        box.popup.open()
        tryCompare(box.popup, "opened", true)
        const list = box.popup.contentItem
        tryVerify(function() { return list.count === 3 && list.itemAtIndex(2) !== null })
        function tickOf(entry) {
            return descendants(entry).filter(o => String(o.source).endsWith("right2.svg"))[0]
        }
        for (const current of [0, 2, 1]) {
            box.currentIndex = current
            for (let i = 0; i < 3; ++i)
                compare(tickOf(list.itemAtIndex(i)).visible, i === current, "entry " + i + ", current " + current)
        }
        box.popup.close()
    }

    function test_switch_animates_colour_and_thumb_in_200_ms() {
        const box = createTemporaryObject(switchComponent, testCase)
        const thumb = findChild(box, "thumb")
        const animations = [findChild(box, "colorAnimation"), findChild(box, "thumbAnimation")]
        for (const animation of animations)
            compare(animation.duration, 200)
        box.checked = true
        verify(animations.every(a => a.running))
        compare(thumb.x, 2) // it moves, it does not jump
        tryCompare(thumb, "x", 16)
    }

    function test_tooltip_shows_at_once_and_stays() {
        const label = createTemporaryObject(textComponent, testCase, { tips: "Turn the knob" })
        const bubble = findChild(label, "tipBubble")
        compare(bubble.delay, 0)
        compare(bubble.timeout, -1)
    }

    // SwitchBox

    function test_switch_flips_before_signal() {
        const box = createTemporaryObject(switchComponent, testCase)
        compare(box.width, 30)
        compare(box.height, 16)
        sameColor(box.color, "#404040")
        let seen = []
        box.toggled.connect(function(checked) { seen.push([checked, box.checked]) })
        mouseClick(box)
        compare(seen, [[true, true]])
        mouseClick(box)
        compare(seen, [[true, true], [false, false]])
    }

    function test_switch_set_from_outside_is_silent() {
        const box = createTemporaryObject(switchComponent, testCase)
        const spy = createTemporaryObject(spyComponent, testCase, { target: box, signalName: "toggled" })
        const thumb = findChild(box, "thumb")
        compare(thumb.x, 2)
        box.checked = true
        compare(spy.count, 0)
        tryCompare(box, "color", Qt.color("#F77F13"))
        tryCompare(thumb, "x", 16)
    }

    // CustomComboBox

    function test_combo_signals_valid_indexes_only() {
        const box = createTemporaryObject(comboComponent, testCase)
        const spy = createTemporaryObject(spyComponent, testCase, { target: box, signalName: "itemSelected" })
        compare(box.currentIndex, 0)
        box.currentIndex = 2
        compare(spy.count, 1)
        compare(spy.signalArguments[0][0], 2)
        compare(spy.signalArguments[0][1], "192 kHz")
        box.currentIndex = -1
        box.currentIndex = 3
        box.currentIndex = 99
        compare(spy.count, 1)
        box.currentIndex = 1
        compare(spy.count, 2)
        compare(spy.signalArguments[1][0], 1)
        compare(spy.signalArguments[1][1], "96 kHz")
        compare(box.displayText, "96 kHz")
    }

    function test_combo_user_choice() {
        const box = createTemporaryObject(comboComponent, testCase)
        const spy = createTemporaryObject(spyComponent, testCase, { target: box, signalName: "itemSelected" })
        mouseClick(box)
        tryCompare(box.popup, "opened", true)
        const list = box.popup.contentItem
        tryVerify(function() { return list.count === 3 })
        compare(box.popup.y, box.height + 5)
        compare(box.popup.width, box.width + 10)
        const entry = list.itemAtIndex(1)
        verify(entry)
        compare(entry.width, box.width)
        mouseClick(entry)
        tryCompare(box.popup, "visible", false)
        compare(box.currentIndex, 1)
        compare(spy.count, 1)
        compare(spy.signalArguments[0][1], "96 kHz")
    }

    // CustomStatBox

    function iconName(box) {
        const source = String(findChild(box, "statIcon").source)
        return source.substring(source.lastIndexOf("/") + 1)
    }

    function test_stat_icons_data() {
        return [
            { tag: "normal", stat: 0, icon: "stat1.svg", spinning: false },
            { tag: "checking", stat: 1, icon: "stat2.svg", spinning: true },
            { tag: "error", stat: 2, icon: "stat3.svg", spinning: false },
            { tag: "update", stat: 3, icon: "stat4.svg", spinning: false },
            { tag: "downloading", stat: 4, icon: "stat2.svg", spinning: true },
            { tag: "unknown", stat: 9, icon: "stat1.svg", spinning: false },
            { tag: "negative", stat: -1, icon: "stat1.svg", spinning: false }
        ]
    }

    function test_stat_icons(data) {
        const box = createTemporaryObject(statComponent, testCase, { stat: data.stat })
        compare(box.width, 18)
        compare(iconName(box), data.icon)
        compare(findChild(box, "spin").running, data.spinning)
    }

    function test_stat_default_is_still() {
        const box = createTemporaryObject(statComponent, testCase)
        compare(box.stat, 0)
        compare(iconName(box), "stat1.svg")
        wait(50)
        compare(findChild(box, "statIcon").rotation, 0)
    }

    function test_stat_rotation_stops_upright() {
        const box = createTemporaryObject(statComponent, testCase, { stat: 4 })
        const icon = findChild(box, "statIcon")
        tryVerify(function() { return icon.rotation > 0 }, 5000)
        box.stat = 3
        compare(findChild(box, "spin").running, false)
        compare(icon.rotation, 0)
        compare(iconName(box), "stat4.svg")
        wait(50)
        compare(icon.rotation, 0)
        box.stat = 1
        compare(findChild(box, "spin").running, true)
    }

    // CustomText

    function test_text_without_tips_has_no_icon() {
        const label = createTemporaryObject(textComponent, testCase)
        const icon = findChild(label, "infoIcon")
        const bubble = findChild(label, "tipBubble")
        compare(icon.visible, false)
        mouseMove(icon, 5, 5)
        wait(20)
        compare(bubble.visible, false)
        label.tips = "Turn the knob"
        compare(icon.visible, true)
    }

    function test_text_tips_bubble_on_hover() {
        const label = createTemporaryObject(textComponent, testCase, { tips: "Turn the knob" })
        const icon = findChild(label, "infoIcon")
        const bubble = findChild(label, "tipBubble")
        compare(icon.visible, true)
        compare(bubble.visible, false)
        mouseMove(icon, icon.width / 2, icon.height / 2)
        tryCompare(bubble, "visible", true)
        compare(bubble.text, "Turn the knob")
        compare(bubble.x, -20)
        compare(bubble.y, -bubble.height - 15)
        park()
        tryCompare(bubble, "visible", false)
    }

    function test_text_bubble_points_up_when_pushed_below() {
        const label = createTemporaryObject(textComponent, testCase, { y: 2, tips: "Near the top" })
        const icon = findChild(label, "infoIcon")
        const bubble = findChild(label, "tipBubble")
        mouseMove(icon, icon.width / 2, icon.height / 2)
        tryCompare(bubble, "visible", true)
        const pointer = findChild(bubble.background, "pointer")
        verify(bubble.y > -bubble.height - 15, "bubble y " + bubble.y)
        compare(pointer.y, -pointer.height / 2)
        park()
    }

    function test_text_bubble_points_down_in_place() {
        const label = createTemporaryObject(textComponent, testCase, { tips: "Room above" })
        const icon = findChild(label, "infoIcon")
        const bubble = findChild(label, "tipBubble")
        mouseMove(icon, icon.width / 2, icon.height / 2)
        tryCompare(bubble, "visible", true)
        const pointer = findChild(bubble.background, "pointer")
        compare(pointer.y, bubble.background.height - pointer.height / 2)
        compare(pointer.x, 15)
        park()
    }

    function test_text_bubble_width_is_capped() {
        const label = createTemporaryObject(textComponent, testCase, {
            tips: "A long explanation that needs several lines when it is shown in the bubble"
        })
        const icon = findChild(label, "infoIcon")
        const bubble = findChild(label, "tipBubble")
        mouseMove(icon, icon.width / 2, icon.height / 2)
        tryCompare(bubble, "visible", true)
        compare(bubble.width, 180)
        verify(bubble.contentItem.lineCount > 1)
        park()
    }

    function test_text_aliases() {
        const label = createTemporaryObject(textComponent, testCase, { textPpixelSize: 20, textOpacity: 0.6 })
        compare(label.text, "Gain")
        compare(label.textPpixelSize, 20)
        compare(label.textOpacity, 0.6)
    }

    // CustomProgress

    function test_progress_text() {
        const progress = createTemporaryObject(progressComponent, testCase)
        compare(progress.subText.text, "0%")
        compare(progress.mainText.text, "")
        progress.value = 0.333
        compare(progress.subText.text, "33%")
        progress.value = 1
        compare(progress.subText.text, "100%")
        // Rounded to the nearest percent, halves up.
        for (const [value, text] of [[0.004, "0%"], [0.005, "1%"], [0.125, "13%"], [0.3349, "33%"], [0.995, "100%"], [0.994, "99%"]]) {
            progress.value = value
            compare(progress.subText.text, text, "value " + value)
        }
        progress.mainText.text = "Upgrading"
        compare(progress.mainText.text, "Upgrading")
    }

    function test_progress_fill_follows_visual_position() {
        const progress = createTemporaryObject(progressComponent, testCase, { value: 0.25 })
        const fill = findChild(progress, "fill")
        compare(fill.width, 50)
        compare(fill.height, 8)
        progress.to = 0.5
        compare(fill.width, 100)
    }
}
