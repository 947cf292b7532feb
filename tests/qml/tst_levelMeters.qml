import QtQuick
import QtTest
import MediaControls

TestCase {
    id: testCase
    name: "LevelMeters"
    width: 400
    height: 300
    when: windowShown
    visible: true

    Component {
        id: channelComponent
        AudioChannelIndicator {
            height: 100
        }
    }

    Component {
        id: singleComponent
        AudioChannelIndicatorSingle {
            width: 200
            height: 22
        }
    }

    Component {
        id: stereoComponent
        AudioLevelIndicator {
            height: 100
        }
    }

    Component {
        id: reporterComponent
        Timer {
            property var meter
            property int reports: 0
            interval: 50
            repeat: true
            triggeredOnStart: true
            // Changes of 0.001 or less count as the same level.
            onTriggered: meter.setLevel(0.5 + (reports++ % 2) * 0.0005)
        }
    }

    function sameColor(actual, expected, tolerance) {
        const a = Qt.color(actual)
        const e = Qt.color(expected)
        const far = Math.max(Math.abs(a.r - e.r), Math.abs(a.g - e.g), Math.abs(a.b - e.b)) * 255
        verify(far <= tolerance, "colour " + a + " is not " + expected)
    }

    function test_setLevel_clamps_and_lights_data() {
        const rows = [
            { name: "over full scale", level: 1.5, shown: 1, lamp: true },
            { name: "just below full scale", level: 0.99, shown: 0.99, lamp: false },
            { name: "negative", level: -0.2, shown: 0, lamp: false },
            { name: "not a number", level: NaN, shown: 0, lamp: false },
            { name: "infinite", level: Infinity, shown: 0, lamp: false }
        ]
        const data = []
        for (const row of rows) {
            data.push({ tag: "vertical " + row.name, component: channelComponent, level: row.level,
                        shown: row.shown, lamp: row.lamp })
            data.push({ tag: "horizontal " + row.name, component: singleComponent, level: row.level,
                        shown: row.shown, lamp: row.lamp })
        }
        return data
    }

    function test_setLevel_clamps_and_lights(data) {
        const meter = createTemporaryObject(data.component, testCase, { level: 0.5 })
        meter.setLevel(data.level)
        compare(meter.level, data.shown)
        compare(meter.clipping, data.lamp)
        compare(findChild(meter, "clipLamp").color, Qt.color(data.lamp ? "#DF3E2B"
                                                  : (data.component === channelComponent ? "#000000" : "#232323")))
        const autoZero = findChild(meter, "autoZeroTimer")
        if (autoZero)
            compare(autoZero.running, data.shown > 0)
        // Only setLevel tests for clipping.
        meter.clearClipping()
        meter.level = 1
        compare(meter.clipping, false)
    }

    function test_animation_choice_data() {
        return [
            { tag: "small rise", from: 0, to: 0.04, duration: 100, easing: Easing.OutQuad },
            { tag: "large rise", from: 0, to: 0.5, duration: 60, easing: Easing.OutQuart },
            { tag: "fall", from: 0.8, to: 0.5, duration: 600, easing: Easing.OutQuad },
            { tag: "fall to nearly nothing", from: 0.5, to: 0.05, duration: 1200, easing: Easing.OutQuart }
        ]
    }

    function test_animation_choice(data) {
        // No auto-zero while the animation is watched.
        const meter = createTemporaryObject(channelComponent, testCase, { level: data.from, autoResetTimeout: 60000 })
        const bar = findChild(meter, "bar")
        const animation = findChild(meter, "levelAnimation")
        // Created with a level: shown at once.
        compare(bar.displayedLevel, data.from)
        verify(!animation.running)
        meter.level = data.to
        verify(animation.running)
        compare(animation.to, data.to)
        compare(animation.duration, data.duration)
        compare(animation.easing.type, data.easing)
        tryCompare(bar, "displayedLevel", data.to, 3000)
        compare(bar.targetLevel, data.to)
    }

    function test_unchanging_level_drops_to_zero_and_rises_again() {
        const meter = createTemporaryObject(channelComponent, testCase)
        const seen = []
        const start = Date.now()
        meter.levelChanged.connect(function() { seen.push({ at: Date.now() - start, level: meter.level }) })
        const reporter = createTemporaryObject(reporterComponent, testCase, { meter: meter })
        reporter.start()
        const firstZero = function() {
            return seen.findIndex(function(entry) { return entry.level === 0 })
        }
        tryVerify(function() { const at = firstZero(); return at > 0 && seen.length > at + 1 }, 2000)
        reporter.stop()
        const zero = firstZero()
        for (let i = 0; i < zero; ++i)
            verify(Math.abs(seen[i].level - 0.5) <= 0.001)
        verify(seen[zero].at >= 90 && seen[zero].at < 600, "dropped after " + seen[zero].at + " ms")
        verify(seen[zero + 1].level >= 0.5)
        const animation = findChild(meter, "levelAnimation")
        tryCompare(meter, "level", 0, 1000)
        // A fall to zero takes the long, soft curve.
        compare(animation.duration, 1200)
    }

    function test_unlaid_bar_only_lights_the_lamp() {
        const meter = createTemporaryObject(channelComponent, testCase, { height: 0 })
        compare(findChild(meter, "bar").height, 0)
        meter.setLevel(1)
        compare(meter.level, 1)
        verify(!findChild(meter, "levelAnimation").running)
        verify(!findChild(meter, "autoZeroTimer").running)
        verify(meter.clipping)
    }

    function test_second_clip_does_not_prolong_the_lamp() {
        const meter = createTemporaryObject(channelComponent, testCase, { clippingDuration: 300 })
        const start = Date.now()
        meter.setLevel(1)
        verify(meter.clipping)
        wait(150)
        const secondClip = Date.now() - start
        meter.setLevel(0.5)
        meter.setLevel(1)
        tryCompare(meter, "clipping", false, 1000)
        const lit = Date.now() - start
        // A restarted timer would end the lamp a full duration after the
        // second clip, however late that came.
        verify(lit >= 290 && lit < secondClip + 290, "lamp lit for " + lit + " ms")
        meter.setLevel(1)
        verify(meter.clipping)
    }

    function test_stereo_pair_reaches_both_bars() {
        const pair = createTemporaryObject(stereoComponent, testCase)
        const left = findChild(pair, "leftBar")
        const right = findChild(pair, "rightBar")
        compare(left.height, 100)
        pair.setLevels(0.25, 1.5)
        compare([pair.leftLevel, pair.rightLevel], [0.25, 1])
        compare([left.clipping, right.clipping], [false, true])
        pair.setLeftLevel(0.75)
        pair.setRightLevel(0.125)
        compare([left.level, right.level], [0.75, 0.125])
        pair.leftLevel = 0.5
        compare(left.level, 0.5)
        compare([left.channelName, right.channelName], ["L", "R"])
    }

    function test_single_bar_cover_data() {
        return [
            { tag: "empty", level: 0 },
            { tag: "quarter", level: 0.25 },
            { tag: "full", level: 1 }
        ]
    }

    function test_single_bar_cover(data) {
        const meter = createTemporaryObject(singleComponent, testCase)
        const bar = findChild(meter, "bar")
        const cover = findChild(meter, "cover")
        compare(bar.width, 200 - 5 - 9)
        meter.setLevel(data.level)
        compare(cover.width, bar.width * (1 - data.level))
        compare(cover.x + cover.width, bar.width)
    }

    function test_gradient_spans_the_whole_bar_data() {
        return [
            { tag: "low level shows green", level: 0.3, colour: "#75B646" },
            { tag: "full scale shows red at the top", level: 1.0, colour: "#D73327" }
        ]
    }

    function test_gradient_spans_the_whole_bar(data) {
        // The bar itself is 9 x 200 below the lamp and the spacing.
        const meter = createTemporaryObject(channelComponent, testCase, { height: 209.5, level: data.level,
                                                                                autoResetTimeout: 60000 })
        const bar = findChild(meter, "bar")
        compare([bar.width, bar.height], [9, 200])
        // The whole meter is grabbed (the bar starts 9.5 px down, below the
        // lamp and the spacing); the canvas paints asynchronously, so wait
        // until the bottom row shows.
        const barTop = bar.mapToItem(meter, 0, 0).y
        compare(barTop, 9.5)
        tryVerify(function() { return grabImage(meter).pixel(4, 208).g > 0 }, 3000)
        const image = grabImage(meter)
        const topLit = Math.round(barTop + 200 - data.level * 200)
        // Two rows inside the lit part's top edge, and two above it.
        sameColor(image.pixel(4, topLit + 2), data.colour, 24)
        if (data.level < 1)
            sameColor(image.pixel(4, topLit - 2), "#000000", 0)
    }
}
