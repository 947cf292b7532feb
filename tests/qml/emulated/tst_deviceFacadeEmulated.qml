import QtQuick
import QtTest
import MediaControls
import VeloranTestSupport

// The device facade over the real device manager and the emulated T40.
TestCase {
    id: testCase
    name: "DeviceFacadeEmulated"

    readonly property int attributeSet: 30
    property var muteStates: []
    property var configMessages: []
    function onMute(topic, data) { muteStates.push(data) }
    function onConfig(topic, data) { configMessages.push(data) }

    function initTestCase() {
        MessageBus.subscribe(MessageBus.messageTypes.MUTE_STATE, onMute)
        MessageBus.subscribe(MessageBus.messageTypes.UPDATE_CONFIG_MESSAGE, onConfig)
    }

    function configIs(key, value) {
        return function() { return ConfigMgr.getValue(key) === value }
    }

    function test_1_reports_of_a_plugged_device_reach_the_settings() {
        TestServer.route("POST", "/tarvo/pc/save/connect", 200, { code: 0 })
        EmulatedDevice.unplug()
        const settings = [[5, [9]], [6, [7]], [1, [1]], [24, [2]], [26, [1]]]
        for (let i = 0; i < settings.length; ++i)
            verify(EmulatedDevice.changeAttribute(settings[i][0], settings[i][1]), "attribute " + settings[i][0])
        EmulatedDevice.plug()

        tryCompare(HIDDeviceMgr, "deviceReady", true, 10000)
        compare(HIDDeviceMgr.deviceName, "Veloran T40")
        compare(HIDDeviceMgr.deviceVersion, "V1.05")
        verify(HIDDeviceMgr.isT40())
        tryVerify(configIs("auto_gain", 9), 5000)
        tryVerify(configIs("device_dB", 7), 5000)
        tryVerify(configIs("device_mute", true), 5000)
        tryVerify(configIs("ai_jianzao", true), 5000)
        tryVerify(configIs("color_bg_other_lighting", true), 5000)
        compare(ConfigMgr.getValue("ai_jianzao_type"), 1)

        tryVerify(function() { return TestServer.requestCount("/tarvo/pc/save/connect") === 1 }, 5000)
        const connect = JSON.parse(TestServer.requests()[0].body)
        compare([connect.productSn, connect.productName], ["T40EMU0000001", "Veloran T40"])
    }

    function test_2_queued_writes_reach_the_device_coalesced() {
        tryCompare(HIDDeviceMgr, "deviceReady", true, 10000)
        HIDDeviceMgr.sendMessage(HIDDeviceMgr.attrs.mic_gain, [11])
        tryVerify(function() { return EmulatedDevice.attribute(5)[0] === 11 }, 1000)

        wait(300)
        const before = EmulatedDevice.receivedCount(attributeSet)
        HIDDeviceMgr.sendMessage(HIDDeviceMgr.attrs.listen_volume, [3])
        HIDDeviceMgr.sendMessage(HIDDeviceMgr.attrs.listen_volume, [4])
        HIDDeviceMgr.sendMessage(HIDDeviceMgr.attrs.listen_volume, [5])
        tryVerify(function() { return EmulatedDevice.attribute(6)[0] === 5 }, 1000)
        wait(300)
        compare(EmulatedDevice.receivedCount(attributeSet) - before, 1)
    }

    function test_3_device_side_changes() {
        tryCompare(HIDDeviceMgr, "deviceReady", true, 10000)
        muteStates = []
        verify(EmulatedDevice.changeAttribute(1, [0]))
        tryCompare(testCase, "muteStates", [0], 2000)
        compare(ConfigMgr.getValue("device_mute"), false)

        wait(300)
        const before = EmulatedDevice.receivedCount(attributeSet)
        configMessages = []
        verify(EmulatedDevice.changeAttribute(27, [1]))
        tryCompare(testCase, "configMessages", [true], 2000)
        compare(ConfigMgr.getValue("auto_gain"), 15)
        wait(300)
        compare(EmulatedDevice.receivedCount(attributeSet), before)
    }
}
