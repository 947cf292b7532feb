import QtQuick
import QtTest
import MediaControls
import VeloranDeck
import VeloranTestSupport

// The lighting pages against the emulated base of the run's model: every
// payload lands in its attribute, and a device change of the effect shows
// once a click's echo is no longer awaited.
TestCase {
    id: testCase
    name: "LightingEmulated"
    width: 700
    height: 800
    when: windowShown
    visible: true

    Component {
        id: tabComponent
        LightingTab {
            width: 700
            height: 800
        }
    }

    // The base starts with colours of its own: the whole payload must match.
    function lands(id, payload) {
        tryVerify(function() { return JSON.stringify(EmulatedDevice.attribute(id)) === JSON.stringify(payload) },
                  3000, "attribute " + id)
    }

    function payload(colors) {
        return colors.reduce(function(bytes, c) { return bytes.concat(TvConfig.hexToRgb(c)) }, [])
    }

    function copies(color, count) {
        return new Array(count).fill(color)
    }

    function test_payloads_reach_the_device() {
        tryCompare(HIDDeviceMgr, "deviceReady", true, 10000)
        const u20 = HIDDeviceMgr.isU20()
        const tab = createTemporaryObject(tabComponent, testCase)
        const staticPage = findChild(tab, "staticPage")
        findChild(staticPage, "type0").clicked()
        lands(10, payload(copies("#FF8C00", u20 ? 12 : 30)))
        findChild(findChild(tab, "wavePage"), "colorSelect").choosePreset(0)
        lands(12, payload(ConfigMgr.color_wave_send_colors))
        findChild(tab, "inputIllusoryColor").choosePreset(0)
        const stops = ConfigMgr.color_illusory_color_list2[0]
        lands(13, u20 ? payload(copies(stops[0], 4).concat([stops[1], stops[2]]))
                      : payload(copies(stops[0], 21).concat(copies(stops[1], 6)).concat(copies(stops[2], 3))))
        const slider = findChild(tab, "brightnessSlider")
        slider.value = 0.57
        slider.moved()
        tryVerify(function() { return EmulatedDevice.attribute(19)[0] === 57 }, 3000)

        const select = findChild(tab, "typeSelect")
        findChild(tab, "effect0").clicked()
        tryVerify(function() { return EmulatedDevice.attribute(14)[0] === 1 }, 3000)
        wait(1600)
        verify(EmulatedDevice.changeAttribute(14, [2]))
        tryCompare(select, "selectIndex", 1, 3000)
    }
}
