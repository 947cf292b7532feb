import QtQuick
import QtTest
import VeloranDeck

// The microphone tab against the emulated base of the run's model; each
// model's file runs its own test on it.
TestCase {
    id: testCase
    width: 520
    height: 900
    when: windowShown
    visible: true

    Component {
        id: tabComponent
        MicrophoneTab {
            width: 500
            height: 900
        }
    }

    // The tab, made and drawn.
    function shownTab() {
        const tab = createTemporaryObject(tabComponent, testCase)
        waitForRendering(tab)
        return tab
    }
}
