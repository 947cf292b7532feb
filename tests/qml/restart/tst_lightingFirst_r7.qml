import QtQuick
import MediaControls
import VeloranDeck

// First process on the emulated R7: breathing with a cycle of three, a
// custom static gradient and the mute colour #123456 are chosen.
RestartCase {
    name: "LightingRestartFirst"
    width: 700
    height: 800

    page: Component {
        LightingTab {
            width: 700
            height: 800
        }
    }

    function test_choose() {
        waitForDevice()
        const tab = openPage()
        findChild(tab, "effect1").clicked()
        const cycle = findChild(findChild(tab, "breathingPage"), "mutableColor")
        for (let i = 0; i < 4; ++i)
            cycle.removeColor(3)
        const gradient = findChild(findChild(tab, "staticPage"), "mutableColor")
        gradient.chooseCustom()
        gradient.updateGradientColor(1, "#abcdef")
        gradient.storeCustom()
        findChild(tab, "muteColorSelect").colorChanged("#123456")
        compare(ConfigMgr.getStringList("color_bg_bln_cyc_color").length, 3)
        wait(300)
    }
}
