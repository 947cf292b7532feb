import QtQuick
import MediaControls
import VeloranDeck
import VeloranDeckSystemBridge

// Second process: once the R7 is ready the tab shows what the first chose.
RestartCase {
    name: "GeneralRestartSecond"
    width: 450
    height: 800

    page: Component {
        GeneralTab {
            width: 410
            height: 800
        }
    }

    function test_back() {
        waitForDevice()
        SystemBridge.installedApplications = programsOfOneName
        const tab = openPage()
        compare([0, 1, 2, 3, 4].map(function(i) { return findChild(tab, "hotkeyButton" + i).checked }),
                [false, false, true, false, false])
        compare([findChild(tab, "keyField").text, findChild(tab, "urlField").text],
                ["Ctrl+Shift+S", "http://example.com/a"])
        // The second program of the name, shown and still stored.
        compare(findChild(tab, "appBox").currentIndex, 2)
        compare(ConfigMgr.getValue("general_hotkey_value_app"), JSON.stringify(programsOfOneName[2]))
        // No endpoint answers here: the stored rate shows.
        compare(findChild(tab, "rateBox").currentText, "96 kHz")
    }
}
