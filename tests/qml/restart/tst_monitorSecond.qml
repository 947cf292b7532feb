import QtQuick
import MediaControls
import VeloranDeck
import VeloranDeckHIDHotplug

// Second process, on the fakes with a T40: the ratio released at 5 shows 5.
RestartCase {
    name: "MonitorRestartSecond"
    width: 500
    height: 400

    page: Component {
        MonitorTab {
            width: 450
            height: 300
        }
    }

    function test_restored() {
        const t40 = { name: "Veloran T40", sn: "T40SN", version: "V1.05", dpid: 0x000D, pid: 28, vid: 1 }
        // The device model listens from its first use on.
        verify(!HIDDeviceMgr.deviceReady)
        HIDHotplugManager.deviceInfo = t40
        HIDHotplugManager.deviceConnected(t40, true)
        const tab = openPage()
        const slider = findChild(tab, "micListenRatioSlider")
        compare(slider.value, 5)
        compare(slider.bubbleText(), "38%")
    }
}
