import QtQuick
import QtTest
import MediaControls

TestCase {
    id: testCase
    name: "CustomSlider"
    width: 400
    height: 300
    when: windowShown
    visible: true

    Component {
        id: sliderComponent
        CustomSlider {
            x: 50
            y: 100
            width: 300
            height: 30
        }
    }

    Component {
        id: spyComponent
        SignalSpy {}
    }

    function park() {
        mouseMove(testCase, testCase.width - 1, testCase.height - 1)
    }

    function init() {
        park()
    }

    function makeSlider(properties) {
        const slider = createTemporaryObject(sliderComponent, testCase, properties || {})
        const spy = createTemporaryObject(spyComponent, testCase, { target: slider, signalName: "changeComplete" })
        return { slider: slider, spy: spy, bubble: findChild(slider, "bubble") }
    }

    // Centre of the handle, in the slider's coordinates.
    function handleCentre(slider) {
        const handle = slider.handle
        return { x: handle.x + handle.width / 2, y: handle.y + handle.height / 2 }
    }

    function test_release_reports_once_data() {
        return [
            { tag: "click on the track", from: 0, to: 1, value: 0.2, clickAt: 0.75, moves: true, tooltip: true },
            { tag: "press and release in place", from: 0, to: 1, value: 0.5, clickAt: -1, moves: false, tooltip: true },
            { tag: "no bubble, still reported", from: 0, to: 1, value: 0.2, clickAt: 0.75, moves: true, tooltip: false }
        ]
    }

    function test_release_reports_once(data) {
        const made = makeSlider({ from: data.from, to: data.to, value: data.value, showTooltip: data.tooltip })
        const slider = made.slider
        const before = slider.value
        const at = data.clickAt < 0 ? handleCentre(slider).x
                                    : slider.leftPadding + data.clickAt * slider.availableWidth
        const y = slider.height / 2
        let shownWhilePressed = false
        mousePress(slider, at, y)
        shownWhilePressed = made.bubble.visible
        compare(made.spy.count, 0)
        mouseRelease(slider, at, y)
        compare(made.spy.count, 1)
        compare(made.spy.signalArguments[0][0], slider.value)
        compare(slider.value !== before, data.moves)
        compare(shownWhilePressed, data.tooltip)
        if (!data.tooltip) {
            mouseMove(slider, handleCentre(slider).x, handleCentre(slider).y)
            verify(!made.bubble.visible)
        }
    }

    function test_programmatic_value_is_silent() {
        const made = makeSlider({ value: 0.3 })
        const moved = createTemporaryObject(spyComponent, testCase, { target: made.slider, signalName: "moved" })
        made.slider.value = 0.8
        compare(made.slider.value, 0.8)
        compare(made.spy.count, 0)
        compare(moved.count, 0)
        verify(!made.bubble.visible)
    }

    function test_snapped_drag_reports_whole_steps() {
        const made = makeSlider({ from: 1, to: 30, stepSize: 1, value: 1, snapToStep: true })
        const slider = made.slider
        const texts = []
        slider.formatedValueFunc = function(value) { return String(value) }
        slider.valueChanged.connect(function() { texts.push(slider.value) })
        const y = slider.height / 2
        const start = handleCentre(slider).x
        mousePress(slider, start, y)
        for (let x = start; x < start + 200; x += 7)
            mouseMove(slider, x, y)
        mouseRelease(slider, start + 200, y)
        verify(texts.length > 5)
        for (let i = 0; i < texts.length; ++i)
            verify(Number.isInteger(texts[i]), "value " + texts[i])
        verify(Number.isInteger(made.spy.signalArguments[0][0]))
        compare(findChild(slider, "bubbleText").text, String(slider.value))
    }

    function test_bubble_text_data() {
        return [
            { tag: "low end", value: 0, text: "0%" },
            { tag: "high end", value: 1, text: "100%" },
            { tag: "half rounds up", value: 0.125, text: "13%" },
            { tag: "formatter", value: 0.5, text: "gain 0.5", format: true }
        ]
    }

    function test_bubble_text(data) {
        const made = makeSlider({ value: data.value })
        if (data.format)
            made.slider.formatedValueFunc = function(value) { return "gain " + value }
        compare(findChild(made.slider, "bubbleText").text, data.text)
    }

    function test_bubble_hides_after_release_and_on_leave() {
        const made = makeSlider({ value: 0.5 })
        const slider = made.slider
        const centre = handleCentre(slider)
        mouseMove(slider, centre.x, centre.y)
        verify(made.bubble.visible)
        mousePress(slider, centre.x, centre.y)
        mouseRelease(slider, centre.x, centre.y)
        const released = Date.now()
        verify(made.bubble.visible)
        // The pointer still rests on the handle.
        tryVerify(function() { return !made.bubble.visible }, 2000)
        const hiddenAfter = Date.now() - released
        verify(hiddenAfter >= 480 && hiddenAfter <= 900, "hidden after " + hiddenAfter + " ms")

        park()
        mouseMove(slider, centre.x, centre.y)
        verify(made.bubble.visible)
        park()
        verify(!made.bubble.visible)
    }
}
