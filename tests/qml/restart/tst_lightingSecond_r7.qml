import QtQuick
import MediaControls
import VeloranDeck

// Second process: once the R7 is ready the tab shows what the first chose.
RestartCase {
    name: "LightingRestartSecond"
    width: 700
    height: 800

    page: Component {
        LightingTab {
            width: 700
            height: 800
        }
    }

    function test_back() {
        waitForDevice()
        const tab = openPage()
        compare(findChild(tab, "typeSelect").selectIndex, 1)
        const cycle = findChild(findChild(tab, "breathingPage"), "mutableColor")
        compare(Array.from(cycle.colorList), ["#FF0000", "#FF7F00", "#FFFF00"])
        const gradient = findChild(findChild(tab, "staticPage"), "mutableColor")
        compare(gradient.selectedPresetIndex, 3)
        compare(Array.from(gradient.selectedGradient), ["#FDE725", "#abcdef", "#FDE725"])
        compare(String(findChild(tab, "muteColorSelect").selectedColor), "#123456")
    }
}
