import QtQuick
import MediaControls
import VeloranDeck
import VeloranDeckSystemBridge

// First process on the emulated R7: the hotkey action "热键" with
// Ctrl+Shift+S, a URL, the second of two programs of one name and the rate
// 96 kHz are chosen.
RestartCase {
    name: "GeneralRestartFirst"
    width: 450
    height: 800

    page: Component {
        GeneralTab {
            width: 410
            height: 800
        }
    }

    function test_choose() {
        waitForDevice()
        SystemBridge.installedApplications = programsOfOneName
        const tab = openPage()
        waitForRendering(tab)
        mouseClick(findChild(tab, "hotkeyButton2"), 8, 16)
        findChild(tab, "urlField").text = "example.com/a"
        const keyField = findChild(tab, "keyField")
        keyField.forceActiveFocus()
        keyClick(Qt.Key_S, Qt.ControlModifier | Qt.ShiftModifier)
        findChild(tab, "appBox").currentIndex = 2
        const rate = findChild(tab, "rateBox")
        rate.forceActiveFocus()
        while (rate.currentIndex !== 3)
            keyClick(rate.currentIndex < 3 ? Qt.Key_Down : Qt.Key_Up)
        compare([ConfigMgr.getValue("general_hotkey_type"), ConfigMgr.getValue("general_hotkey_value_key"),
                 ConfigMgr.getValue("general_hotkey_value_url"), ConfigMgr.getValue("general_rate"),
                 ConfigMgr.getValue("general_hotkey_value_app")],
                [2, "Ctrl+Shift+S", "http://example.com/a", "96", JSON.stringify(programsOfOneName[2])])
    }
}
