import QtQuick
import MediaControls
import VeloranDeck
import VeloranDeckTranslation
import VeloranTestSupport

// Second process: "直播" is still selected, the custom curve is still in
// the list, and the equaliser row reads the preset that "直播" chose.
RestartCase {
    name: "MicrophoneRestartSecond"
    width: 520
    height: 900

    page: Component {
        MicrophoneTab {
            width: 500
            height: 900
        }
    }

    function test_restored() {
        TranslationManager.setLanguage("zh_CN")
        waitForDevice()
        // Every read of the connection is answered before the tab exists:
        // a late AI answer would select the custom preset. The base's own
        // change comes after those answers.
        waitForConnectionReads()
        verify(EmulatedDevice.changeAttribute(5, [12]))
        tryVerify(function() { return ConfigMgr.getValue("auto_gain") === 12 }, 5000)
        const tab = openPage()
        waitForRendering(tab)
        compare(findChild(tab, "selectRowType").selectIndex, 3)
        compare(findChild(tab, "equalizerName").text, "人声增强")
        compare(findChild(tab, "yasuoQiSlider").value, -18)
        const window = tab.equalizerWindow
        compare(window.dataList.length, 8)
        compare(window.dataList[7].value[0], 6)
        compare(window.selectIndex, 1)
        compare(window.equalizerOn, true)
    }
}
