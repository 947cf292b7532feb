import QtQuick
import MediaControls
import VeloranDeck
import VeloranDeckSystemBridge

// First process: an application strip is soloed, muted on the live bus
// and set to 0.7; the second process must send all of it again.
RestartCase {
    name: "MixerRestartFirst"
    width: 1300
    height: 800

    page: Component {
        MainSettings {
            width: 1300
            height: 800
        }
    }

    function test_store() {
        const app = { name: "App A", iconFilePath: "", bundleIdentifier: "file:///usr/bin/appA",
                      processIdentifier: 101, isInput: false, streamID: 0 }
        ConfigMgr.setStringList(ConfigMgr.keys.appList, [JSON.stringify(app)])
        const page = openPage()
        const row = page.audioControllersRow
        let strip = null
        for (let i = 0; i < row.children.length; ++i) {
            if (row.children[i].showType === 3)
                strip = row.children[i]
        }
        const solo = findChild(strip, "soloButton")
        waitForRendering(page)
        mouseClick(solo)
        mouseClick(findChild(strip, "liveMuteButton"))
        strip.onSliderMoved(0.7)
        const calls = SystemBridge.callsTo("setAudioConfig")
        const entry = calls[calls.length - 1][0][0]
        compare([entry.solo, entry.input2.muted, entry.input1.muted, entry.input2.volume], [true, true, false, 0.7])
    }
}
