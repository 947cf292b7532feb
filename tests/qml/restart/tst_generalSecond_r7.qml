import QtQuick
import MediaControls
import VeloranDeck

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
        const tab = openPage()
        compare([0, 1, 2, 3, 4].map(function(i) { return findChild(tab, "hotkeyButton" + i).checked }),
                [false, false, true, false, false])
        compare([findChild(tab, "keyField").text, findChild(tab, "urlField").text],
                ["Ctrl+Shift+S", "http://example.com/a"])
        // No endpoint answers here: the stored rate shows.
        compare(findChild(tab, "rateBox").currentText, "96 kHz")
    }
}
