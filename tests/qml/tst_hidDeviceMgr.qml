import QtQuick
import QtTest
import MediaControls
import VeloranDeckSettings
import VeloranDeckSystemBridge
import VeloranDeckHIDHotplug
import VeloranDeckTracker
import VeloranTestSupport

TestCase {
    id: testCase
    name: "HIDDeviceMgr"

    readonly property var t40Info: ({ name: "Veloran T40", sn: "T40SN", version: "V1.05", dpid: 0x000D, pid: 28, vid: 1 })
    readonly property var r7Info: ({ name: "Veloran R7", sn: "R7SN", version: "V2.12", dpid: 0x9829, pid: 28, vid: 1 })

    // Topic -> payloads published, and what a subscriber read from ConfigMgr
    // while handling each.
    property var published: ({})
    property var scopeAtMonitorUpdate: []

    function record(topic, data) {
        if (!published[topic])
            published[topic] = []
        published[topic].push(data)
    }

    Connections {
        target: SystemBridge
        function onCallsChanged() {
            const calls = SystemBridge.calls
            if (calls.length > 0 && calls[calls.length - 1].method === "updateMonitorDevice")
                testCase.scopeAtMonitorUpdate.push(SettingsManager.deviceScope())
        }
    }

    function initTestCase() {
        const topics = MessageBus.messageTypes
        for (const name in topics)
            MessageBus.subscribe(topics[name], record)
    }

    function init() {
        HIDHotplugManager.reset()
        SystemBridge.reset()
        SettingsManager.setDeviceScope("")
        SettingsManager.clear()
        HIDDeviceMgr.deviceInfo = {}
        HIDDeviceMgr.deviceReady = false
        HIDDeviceMgr.messageCache = {}
        ConfigMgr.loadAllSettings()
        published = {}
        scopeAtMonitorUpdate = []
        TestServer.reset()
        DataTrackerManager.deleteByIds(DataTrackerManager.queryEvents(0).map(function(event) { return event.id }))
    }

    function plugIn(info) {
        HIDHotplugManager.deviceInfo = info
        HIDHotplugManager.deviceConnected(info, true)
    }

    function sent() { return HIDHotplugManager.callsTo("messageSend") }

    // Waits long enough for two drains after the first send.
    function settle() { wait(250) }

    function test_queue_coalesces_per_id_lowest_first() {
        HIDDeviceMgr.sendMessage(5, [1])
        HIDDeviceMgr.sendMessage(26, [1])
        HIDDeviceMgr.sendMessage(5, [2])
        HIDDeviceMgr.sendMessage(5, [10])
        tryVerify(function() { return sent().length > 0 }, 1000)
        settle()
        compare(sent(), [[5, [10]], [26, [1]]])
        compare(Object.keys(HIDDeviceMgr.messageCache).length, 0)
    }

    function test_send_now_replaces_the_queued_value() {
        HIDDeviceMgr.sendMessage(26, [0])
        HIDDeviceMgr.sendMessageNow(26, [1])
        compare(sent(), [[26, [1]]])
        settle()
        compare(sent(), [[26, [1]]])
    }

    function test_payload_bytes_data() {
        return [
            { tag: "negative as two's complement", payload: [-45], bytes: [211] },
            { tag: "half up", payload: [50.5], bytes: [51] },
            { tag: "below half", payload: [0.49, 254.5], bytes: [0, 255] },
            { tag: "bool", payload: [true, false], bytes: [1, 0] },
            { tag: "lowest", payload: [-128], bytes: [128] },
            { tag: "empty", payload: [], bytes: [] },
            { tag: "too large", payload: [300], warning: "设备消息负载超出字节范围, id: 25 值: 300" },
            { tag: "too small", payload: [-129], warning: "设备消息负载超出字节范围, id: 25 值: -129" },
            { tag: "text", payload: ["x"], warning: "设备消息负载无效, id: 25 值: x" },
            { tag: "NaN", payload: [1, NaN], warning: "设备消息负载无效, id: 25 值: NaN" },
            { tag: "not a list", payload: "12", warning: "设备消息负载无效, id: 25 12" }
        ]
    }

    function test_payload_bytes(data) {
        if (data.warning)
            ignoreWarning(data.warning)
        HIDDeviceMgr.sendMessage(25, data.payload)
        settle()
        compare(sent(), data.warning ? [] : [[25, data.bytes]])
    }

    function test_connection_runs_its_steps_once_complete() {
        plugIn(Object.assign({}, t40Info, { sn: "N/A" }))
        compare(HIDDeviceMgr.deviceReady, false)
        compare(HIDDeviceMgr.deviceSN, "N/A")
        compare(HIDHotplugManager.callsTo("messageGet"), [])
        plugIn(Object.assign({}, t40Info, { pid: 0 }))
        compare(HIDDeviceMgr.deviceReady, false)

        plugIn(t40Info)
        compare(HIDDeviceMgr.deviceReady, true)
        compare(HIDDeviceMgr.deviceName, "Veloran T40")
        compare(HIDHotplugManager.callsTo("messageGet"),
                [[1], [2], [3], [4], [5], [6], [7], [24], [23], [26], [3]])
        compare(scopeAtMonitorUpdate, ["t40"])
        compare(published.update_config_message, ["t40"])

        // Already ready: nothing runs again.
        plugIn(t40Info)
        compare(HIDHotplugManager.callsTo("messageGet").length, 11)
        compare(scopeAtMonitorUpdate.length, 1)
    }

    function test_disconnect_keeps_scope_and_model() {
        plugIn(r7Info)
        HIDDeviceMgr.hasNewFirmware = true
        HIDHotplugManager.deviceConnected({ name: "Veloran R7", sn: "R7SN", dpid: 0x9829, pid: 28, vid: 1 }, false)
        compare(HIDDeviceMgr.deviceReady, false)
        compare(HIDDeviceMgr.hasNewFirmware, false)
        compare(published.update_firmware_disconnected, [true])
        compare(SettingsManager.deviceScope(), "r7")
        verify(HIDDeviceMgr.isR7())
        compare(HIDDeviceMgr.deviceVersion, "N/A")
        // Only an R7 is stopped for its firmware update.
        HIDDeviceMgr.stopAndDisconnectDevice()
        plugIn(t40Info)
        HIDDeviceMgr.stopAndDisconnectDevice()
        compare(HIDHotplugManager.callsTo("stopAndDisconnectDevice").length, 1)
    }

    function test_reports_store_then_publish_data() {
        return [
            { tag: "mute", id: 1, data: [1], key: "device_mute", value: true, topic: "mute_state" },
            { tag: "auto gain on T40", id: 3, data: [1], key: "auto_gain_on", value: true, topic: "update_auto_gain_on" },
            { tag: "auto gain on R7", id: 3, data: [1], r7: true, key: "auto_gain_on", value: false, topic: "update_auto_gain" },
            { tag: "other light", id: 26, data: [1], key: "color_bg_other_close_rgb", value: true, topic: "update_other_light_off" },
            { tag: "phantom", id: 2, data: [1], key: "device_phantom", value: true, topic: "power_state" },
            { tag: "listen output", id: 4, data: [1], topic: "listen_output_state" },
            { tag: "gain", id: 5, data: [9], key: "auto_gain", value: 9, topic: "update_mic_gain_level" },
            { tag: "monitor volume", id: 6, data: [7], key: "device_dB", value: 7, topic: "listen_volume_level" },
            { tag: "ratio", id: 7, data: [4], key: "device_mic_ratio", value: 4, topic: "mic_listen_ratio" },
            { tag: "limiter", id: 23, data: [1], key: "device_boom", value: true, topic: "anti_noise_state" },
            { tag: "noise reduction off", id: 24, data: [0], key: "ai_jianzao", value: false, topic: "ai_jianzao_state",
              typeValue: 2 },
            { tag: "noise reduction 2", id: 24, data: [2], key: "ai_jianzao", value: true, topic: "ai_jianzao_state",
              typeValue: 1 },
            { tag: "light mode", id: 14, data: [2], topic: "background_light_mode" },
            { tag: "factory reset", id: 27, data: [1], key: "auto_gain", value: 15, topic: "update_config_message",
              payload: true },
            { tag: "no row", id: 10, data: [1] },
            { tag: "empty report", id: 1, data: [], key: "device_mute", value: false,
              warning: "设备属性报告无值, 忽略: 1 []" }
        ]
    }

    function test_reports_store_then_publish(data) {
        plugIn(data.r7 ? r7Info : t40Info)
        ConfigMgr.setValue("auto_gain", 4)
        ConfigMgr.setValue("ai_jianzao_type", 2)
        HIDHotplugManager.reset()
        published = {}
        const seen = []
        function reader(topic, payload) {
            seen.push(data.key ? ConfigMgr.getValue(data.key) : payload)
        }
        if (data.topic)
            MessageBus.subscribe(data.topic, reader)
        const reemitted = []
        function onReport(attID, bytes) { reemitted.push([attID, bytes]) }
        HIDDeviceMgr.messageReceived.connect(onReport)
        if (data.warning)
            ignoreWarning(data.warning)

        HIDHotplugManager.messageReceived(data.id, data.data)

        HIDDeviceMgr.messageReceived.disconnect(onReport)
        if (data.topic)
            MessageBus.unsubscribe(data.topic, reader)
        compare(reemitted, [[data.id, data.data]])
        const topics = Object.keys(published)
        compare(topics, data.topic ? [data.topic] : [])
        if (data.topic) {
            compare(published[data.topic], [data.payload !== undefined ? data.payload : data.data[0]])
            if (data.key)
                compare(seen, [data.value])         // stored before the topic went out
        }
        if (data.key)
            compare(ConfigMgr.getValue(data.key), data.value)
        if (data.typeValue !== undefined)
            compare(ConfigMgr.getValue("ai_jianzao_type"), data.typeValue)
        settle()
        compare(sent(), [])
    }

    function test_byte_helpers() {
        compare(HIDDeviceMgr.stringToByteArray("AZ"), [65, 90])
        compare(HIDDeviceMgr.hexToByteArray("0x01 0xfF\n10"), [1, 255, 16])
        ignoreWarning("十六进制文本无效: 0x1")
        compare(HIDDeviceMgr.hexToByteArray("0x1"), [])
        ignoreWarning("十六进制文本无效: zz")
        compare(HIDDeviceMgr.hexToByteArray("zz"), [])
    }

    // What the server and the usage store learn of a connection period.
    function test_connection_period_reaches_server_and_store() {
        TestServer.route("POST", "/tarvo/pc/save/connect", 200, { code: 0 })
        ConfigMgr.setValue("trackId", "T-3")
        plugIn(t40Info)
        plugIn(t40Info)
        tryVerify(function() { return TestServer.requestCount("/tarvo/pc/save/connect") === 1 }, 5000)
        const connect = JSON.parse(TestServer.requests()[0].body)
        compare([connect.trackId, connect.productSn, connect.productName], ["T-3", "T40SN", "Veloran T40"])

        HIDHotplugManager.messageReceived(5, [9])
        HIDHotplugManager.deviceConnected({ name: "Veloran T40", sn: "T40SN", dpid: 13, pid: 28, vid: 1 }, false)
        const events = DataTrackerManager.queryEvents(0)
        compare(events.length, 2)
        const report = events.filter(function(event) { return event.source === "hardware" })[0]
        compare([report.featureModule, report.featureItem, report.eventType, report.eventValue, report.productSn],
                ["话筒", "音频增强", "增益", "9", "T40SN"])
        const connection = events.filter(function(event) { return event.source === "connected" })[0]
        compare([connection.featureModule, connection.featureItem, connection.eventType], ["", "", ""])
        const record = JSON.parse(connection.eventValue)
        compare(Object.keys(record), ["trackId", "startTime", "endTime", "productSn", "productName", "duration"])
        compare([record.trackId, record.productSn, record.productName], ["T-3", "T40SN", "Veloran T40"])
        verify(record.duration >= 0 && record.duration < 60000, record.duration)
        verify(record.startTime <= record.endTime)
        wait(100)
        compare(TestServer.requestCount("/tarvo/pc/save/connect"), 1)
    }
}
