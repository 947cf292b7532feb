import QtQuick
import QtTest
import MediaControls
import VeloranDeck
import "qrc:/qt/qml/VeloranDeck/qml/ledpayload.js" as Led

// The lighting payloads: colour bytes, the input preset 0 split, the
// breathing slots and the LED counts by model.
TestCase {
    id: testCase
    name: "LedPayload"

    Component {
        id: breathingPage
        LightingSub2 {}
    }

    function count(list, value) {
        return list.filter(function(v) { return v === value }).length
    }

    function test_colour_bytes() {
        compare(Led.colorPayload(["#FF8C00"]), [0x00, 0x8C, 0xFF, 0x00])
        compare(Led.colorPayload([]), [])
        compare([Led.backgroundLedCount(false), Led.backgroundLedCount(true)], [30, 12])
        compare([Led.inputLedCount(false), Led.inputLedCount(true)], [30, 6])
    }

    function test_input_preset_zero_data() {
        return [
            { tag: "R7", count: 30, split: [21, 6, 3], bytes: 120 },
            { tag: "U20", count: 6, split: [4, 1, 1], bytes: 24 }
        ]
    }

    function test_input_preset_zero(data) {
        const stops = ConfigMgr.color_illusory_color_list2[0]
        const colors = Led.inputPresetZeroColors(stops, data.count)
        compare([count(colors, stops[0]), count(colors, stops[1]), count(colors, stops[2])], data.split)
        compare(colors.slice(data.split[0] - 1, data.split[0] + 1), [stops[0], stops[1]])
        compare(Led.colorPayload(colors).length, data.bytes)
        compare(Led.inputPresetZeroColors(stops.slice(0, 2), data.count), [])
    }

    function test_breathing_slots_data() {
        return [
            { tag: "1", colors: 1, zeros: 6 }, { tag: "3", colors: 3, zeros: 4 },
            { tag: "7", colors: 7, zeros: 0 }, { tag: "9", colors: 9, zeros: 0 }
        ]
    }

    function test_breathing_slots(data) {
        const page = createTemporaryObject(breathingPage, testCase)
        const colors = []
        for (let i = 0; i < data.colors; ++i)
            colors.push("#0" + (i + 1) + "0203")
        const bytes = page.getInitColor(colors)
        compare(bytes.length, 28)
        let zeros = 0
        for (let slot = 0; slot < 7; ++slot) {
            const b = bytes.slice(slot * 4, slot * 4 + 4)
            if (b.every(function(v) { return v === 0 }))
                ++zeros
            else
                compare(b, [0x03, 0x02, slot + 1, 0], "slot " + slot)
        }
        compare(zeros, data.zeros)
    }
}
