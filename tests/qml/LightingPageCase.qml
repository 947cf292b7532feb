import QtQuick
import QtTest
import MediaControls
import VeloranDeck
import VeloranDeckSettings
import VeloranDeckHIDHotplug

// Lighting pages on a fake R7 or U20, connected afresh on an empty store;
// what a page sends is read once the device queue has drained it.
TestCase {
    width: 700
    height: 800
    when: windowShown
    visible: true

    readonly property var r7Info: ({ name: "Veloran R7", sn: "R7SN", version: "V2.12", dpid: 0x9829, pid: 28, vid: 1 })
    readonly property var u20Info: ({ name: "Veloran U20", sn: "U20SN", version: "V1.01", dpid: 0x000E, pid: 28, vid: 1 })

    function connect(info) {
        SettingsManager.setDeviceScope("")
        SettingsManager.clear()
        HIDDeviceMgr.deviceReady = false
        HIDHotplugManager.deviceInfo = info
        HIDHotplugManager.deviceConnected(info, true)
        ConfigMgr.loadAllSettings()
        HIDDeviceMgr.messageCache = {}
        HIDHotplugManager.reset()
    }

    // Payloads of one attribute handed to the device.
    function sent(id) {
        tryVerify(function() { return HIDDeviceMgr.messageCache[id] === undefined }, 1000)
        return HIDHotplugManager.callsTo("messageSend").filter(function(c) { return c[0] === id })
                .map(function(c) { return c[1] })
    }
}
