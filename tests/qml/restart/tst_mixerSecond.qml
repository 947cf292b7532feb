import QtQuick
import MediaControls
import VeloranDeck
import VeloranDeckSystemBridge

// Second process on the first one's folder: the page's first list carries
// the stored solo, live mute and volume.
RestartCase {
    name: "MixerRestartSecond"
    width: 1300
    height: 800

    page: Component {
        MainSettings {
            width: 1300
            height: 800
        }
    }

    function test_sent_again() {
        openPage()
        const calls = SystemBridge.callsTo("setAudioConfig")
        compare(calls.length, 1)
        const list = calls[0][0]
        compare(list.length, 4)
        const entry = list[0]
        compare([entry.bundleID, entry.solo, entry.input2.muted, entry.input1.muted, entry.input1.volume,
                 entry.input2.volume], ["file:///usr/bin/appA", true, true, false, 0.7, 0.7])
        compare(list.filter(function(e) { return e.solo }).length, 1)
    }
}
