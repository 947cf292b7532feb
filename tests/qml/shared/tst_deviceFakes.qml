import QtQuick
import QtTest
import VeloranDeckSettings
import VeloranDeckSystemBridge
import VeloranDeckHIDHotplug

TestCase {
    id: testCase
    name: "DeviceFakes"

    property var connectedEvents: []
    property var attributeEvents: []
    property var privateEvents: []
    property var levelEvents: []

    Connections {
        target: HIDHotplugManager
        function onDeviceConnected(deviceInfo, isConnected) {
            testCase.connectedEvents.push([deviceInfo.name, isConnected])
        }
        function onMessageReceived(attID, byteArray) {
            testCase.attributeEvents.push([attID, byteArray])
        }
        function onPriMsgCallback(msgid, value) {
            testCase.privateEvents.push([msgid, value])
        }
    }

    Connections {
        target: SystemBridge
        function onAudioInputLevelChanged(levels) {
            testCase.levelEvents.push(levels)
        }
    }

    function init() {
        HIDHotplugManager.reset()
        SystemBridge.reset()
        connectedEvents = []
        attributeEvents = []
        privateEvents = []
        levelEvents = []
    }

    function test_device_signals_reach_qml() {
        HIDHotplugManager.deviceInfo = { name: "T40", sn: "SN1", version: "V1.05", dpid: 13, pid: 28, vid: 1 }
        HIDHotplugManager.deviceConnected(HIDHotplugManager.getDeviceInfo(), true)
        compare(connectedEvents, [["T40", true]])
        HIDHotplugManager.messageReceived(5, [12])
        compare(attributeEvents, [[5, [12]]])
        HIDHotplugManager.priMsgCallback(0x8003, 2)
        compare(privateEvents, [[0x8003, 2]])
    }

    function test_sent_messages_are_recorded() {
        const payload = new Uint8Array([1, 0xff]).buffer
        HIDHotplugManager.messageSend(0x0105, payload)
        HIDHotplugManager.messageGet(26)
        HIDHotplugManager.sendPriMessage(0x8004, new Uint8Array([1]).buffer)
        HIDHotplugManager.upgradeFirmware("/tmp/fw.bin")
        compare(HIDHotplugManager.callsTo("messageSend"), [[0x0105, [1, 255]]])
        compare(HIDHotplugManager.callsTo("messageGet"), [[26]])
        compare(HIDHotplugManager.callsTo("sendPriMessage"), [[0x8004, [1]]])
        compare(HIDHotplugManager.callsTo("upgradeFirmware"), [["/tmp/fw.bin"]])
        compare(HIDHotplugManager.calls.length, 4)
        compare(HIDHotplugManager.calls[0].method, "messageSend")
        compare(HIDHotplugManager.byteArrayToVariantList(new Uint8Array([0, 128]).buffer), [0, 128])
    }

    function test_bridge_is_scriptable() {
        verify(SystemBridge.getTempDirectory().length > 0)
        compare(SystemBridge.getSystemInfo().platform.length > 0, true)
        compare(SystemBridge.installFile("/tmp/setup.exe"), false)
        SystemBridge.installFileResult = true
        compare(SystemBridge.installFile("/tmp/setup.exe"), true)
        SystemBridge.runningApplications = [{ name: "Player", processIdentifier: 1234 }]
        compare(SystemBridge.getRunningApplicationsCached()[0].name, "Player")
        SystemBridge.updateMonitorDevice()
        compare(SystemBridge.callsTo("installFile").length, 2)
        compare(SystemBridge.callsTo("updateMonitorDevice").length, 1)
        SystemBridge.audioInputLevelChanged([{ processID: 0, levelLeft: 0.5, levelRight: 0.25 }])
        compare(levelEvents.length, 1)
        compare(levelEvents[0][0].levelRight, 0.25)
    }

    function test_settings_beside_the_fakes() {
        SettingsManager.setValue("device_fake_check", "yes")
        compare(SettingsManager.getValue("device_fake_check", ""), "yes")
        SettingsManager.removeValue("device_fake_check")
    }
}
