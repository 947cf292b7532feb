import QtQuick
import QtTest
import MediaControls
import VeloranDeck

// Second process: once the R7 is ready the tab shows what the first chose.
TestCase {
    id: testCase
    name: "LightingRestartSecond"
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

    function test_back() {
        tryCompare(HIDDeviceMgr, "deviceReady", true, 10000)
        const tab = createTemporaryObject(tabComponent, testCase)
        compare(findChild(tab, "typeSelect").selectIndex, 1)
        const cycle = findChild(findChild(tab, "breathingPage"), "mutableColor")
        compare(Array.from(cycle.colorList), ["#FF0000", "#FF7F00", "#FFFF00"])
        const gradient = findChild(findChild(tab, "staticPage"), "mutableColor")
        compare(gradient.selectedPresetIndex, 3)
        compare(Array.from(gradient.selectedGradient), ["#FDE725", "#abcdef", "#FDE725"])
        compare(String(findChild(tab, "muteColorSelect").selectedColor), "#123456")
    }
}
