import QtQuick
import QtTest
import MediaControls
import VeloranDeckSettings
import VeloranDeckHIDHotplug

// A page grab in a shown window over the fakes: the devices' records, a
// fresh connection and the colour of the grabbed pixel under an item's point.
TestCase {
    when: windowShown
    visible: true

    readonly property var r7Info: ({ name: "Veloran R7", sn: "R7SN", version: "V2.12", dpid: 0x9829, pid: 28, vid: 1 })
    readonly property var t40Info: ({ name: "Veloran T40", sn: "T40SN", version: "V1.05", dpid: 0x000D, pid: 28, vid: 1 })

    // The device connects to an empty store, as on a first run.
    function connectFresh(info) {
        SettingsManager.setDeviceScope("")
        SettingsManager.clear()
        HIDDeviceMgr.deviceReady = false
        HIDHotplugManager.deviceInfo = info
        HIDHotplugManager.deviceConnected(info, true)
        ConfigMgr.loadAllSettings()
    }

    function colorAt(image, item, x, y) {
        const p = item.mapToItem(null, x, y)
        return String(image.pixel(Math.round(p.x), Math.round(p.y)))
    }
}
