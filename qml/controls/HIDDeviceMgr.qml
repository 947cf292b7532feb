pragma Singleton
import QtQuick
import VeloranDeckHIDHotplug
import VeloranDeckSystemBridge

// The interface's model of the connected device: its information, whether
// it is ready, a send queue that coalesces attribute writes to one per id
// every 100 ms, the steps that follow a connection and a disconnection, and
// the turning of device reports into stored settings and bus messages.
QtObject {
    id: hidDeviceMgr

    readonly property var attrs: Object.freeze({
        mute: 1,
        power: 2,
        auto_gain: 3,
        auto_gain_on: 3,
        listen_output: 4,
        mic_gain: 5,
        listen_volume: 6,
        mic_listen_ratio: 7,
        usb_audio_version: 8,
        mcu_version: 9,
        background_static_effect: 10,
        background_breath_effect: 11,
        background_wave_effect: 12,
        input_sound_wave_light_color: 13,
        background_light_off: 14,
        input_sound_wave_direction: 15,
        mic_gain_light_color: 16,
        listen_volume_light_color: 17,
        mic_listen_ratio_light_color: 18,
        rgb_light_brightness: 19,
        rgb_light_off: 21,
        background_wave_light_direction: 22,
        anti_noise: 23,
        ai_jianzao: 24,
        device_boom_value: 25,
        other_light_off: 26,
        reset_factory_settings: 27,
        device_compressor: 28,
        device_compressor_value: 29
    })

    readonly property int productR7: 0x9829
    readonly property int productT40: 0x000D
    readonly property int productU20: 0x000E

    // Asked for after each ready connection, in this order (3 twice).
    readonly property var queriedAttributes: [1, 2, 3, 4, 5, 6, 7, 24, 23, 26, 3]

    property var deviceInfo: ({})
    property bool deviceReady: false
    property bool hasNewFirmware: false
    property date connectTime: new Date()
    readonly property string deviceName: infoText(deviceInfo, "name")
    readonly property string deviceSN: infoText(deviceInfo, "sn")
    readonly property string deviceVersion: infoText(deviceInfo, "version")
    readonly property string devicePID: infoText(deviceInfo, "pid")
    readonly property string deviceDPID: infoText(deviceInfo, "dpid")
    readonly property string deviceVID: infoText(deviceInfo, "vid")
    property var messageCache: ({})
    // Reads asked of the device and not yet answered, by attribute id: the
    // next report of such an id is its answer, the device's state, and not a
    // change made on the device. reportAnswersRead is true while such an
    // answer is handled, whenever it comes.
    property var pendingReads: ({})
    property bool reportAnswersRead: false

    property Timer sendTimer: Timer {
        interval: 100
        repeat: true
        running: true
        onTriggered: hidDeviceMgr.drainQueue()
    }

    signal deviceConnected(var deviceInfo, bool connected)
    signal upgradeFirmwareProgress(int progress, string message)
    signal upgradeFirmwareSignal()
    signal messageReceived(int attID, var byteArray)

    // Reports of the device, first matching row wins. r7: the row holds only
    // on (true) or off (false) an R7; store runs before the topic goes out,
    // then the usage event (module, item, type) is recorded.
    readonly property var reportRows: [
        { id: 1, topic: "MUTE_STATE", event: ["话筒", "XLR输入", "静音"],
          store: function(v) { ConfigMgr.setValue("device_mute", v === 1) } },
        { id: 3, r7: false, topic: "UPDATE_AUTO_GAIN_ON", event: ["话筒", "XLR输入", "自动增益"],
          store: function(v) { ConfigMgr.setValue("auto_gain_on", v === 1) } },
        { id: 26, topic: "UPDATE_OTHER_LIGHT_OFF", event: ["通用", "通用", "其他灯光"],
          store: function(v) {
              ConfigMgr.setValue("color_bg_other_lighting", v === 1)
              ConfigMgr.setValue("color_bg_other_close_rgb", v === 1)
          } },
        { id: 2, topic: "POWER_STATE", event: ["话筒", "XLR输入", "48V幻象电源"],
          store: function(v) { ConfigMgr.setValue("device_phantom", v === 1) } },
        { id: 3, r7: true, topic: "UPDATE_AUTO_GAIN", event: ["话筒", "XLR输入", "自动增益"] },
        { id: 4, topic: "LISTEN_OUTPUT_STATE", event: ["监听", "监听", "监听输出"] },
        { id: 5, topic: "UPDATE_MIC_GAIN_LEVEL", event: ["话筒", "音频增强", "增益"],
          store: function(v) { ConfigMgr.setValue("auto_gain", v) } },
        { id: 6, topic: "LISTEN_VOLUME_LEVEL", event: ["监听", "监听", "监听音量"],
          store: function(v) { ConfigMgr.setValue("device_dB", v) } },
        { id: 7, topic: "MIC_LISTEN_RATIO", event: ["监听", "监听", "麦克风/电脑监听比"],
          store: function(v) { ConfigMgr.setValue("device_mic_ratio", v) } },
        { id: 23, topic: "ANTI_NOISE_STATE", event: ["话筒", "音频增强", "防破音"],
          store: function(v) { ConfigMgr.setValue("device_boom", v === 1) } },
        { id: 24, topic: "AI_JIANZAO_STATE", event: ["话筒", "音频增强", "AI降噪"],
          store: function(v) {
              ConfigMgr.setValue("ai_jianzao", v !== 0)
              if (v !== 0)
                  ConfigMgr.setValue("ai_jianzao_type", v - 1)
          } },
        { id: 14, topic: "BACKGROUND_LIGHT_MODE", event: ["灯光", "背景", "模式"] },
        // The device has reset itself: only the local settings follow.
        { id: 27, topic: "UPDATE_CONFIG_MESSAGE", payload: true, event: ["通用", "通用", "恢复出厂"],
          store: function(v) { ConfigMgr.resetDeviceToDefaults() } }
    ]

    Component.onCompleted: {
        HIDHotplugManager.deviceConnected.connect(onNativeDeviceConnected)
        HIDHotplugManager.upgradeFirmwareProgress.connect(upgradeFirmwareProgress)
        HIDHotplugManager.upgradeFirmwareSignal.connect(upgradeFirmwareSignal)
        HIDHotplugManager.messageReceived.connect(onNativeMessageReceived)
        deviceInfo = HIDHotplugManager.getDeviceInfo()
    }

    function infoText(info, field) {
        const value = info ? info[field] : undefined
        if (value === undefined || value === null || value === "" || value === 0)
            return "N/A"
        return String(value)
    }

    function productId() {
        return deviceInfo ? Number(deviceInfo.dpid) : NaN
    }

    function isR7() { return productId() === productR7 }
    function isT40() { return productId() === productT40 }
    function isU20() { return productId() === productU20 }

    function deviceScopeId() {
        if (isR7())
            return "r7"
        if (isT40())
            return "t40"
        if (isU20())
            return "u20"
        return ""
    }

    function isDeviceReady() { return true }

    function getDeviceName() { return deviceName }
    function getDeviceSN() { return deviceSN }
    function getDeviceVersion() { return deviceVersion }
    function getDevicePID() { return devicePID }
    function getDeviceDPID() { return deviceDPID }
    function getDeviceVID() { return deviceVID }

    function getDeviceInfo() {
        deviceInfo = HIDHotplugManager.getDeviceInfo()
        return deviceInfo
    }

    // One byte per value: true/false as 1/0, numbers rounded half up and
    // taken in -128..255 (negative ones as two's complement). Anything else
    // refuses the whole payload: null.
    function payloadBytes(attributeId, values) {
        if (values instanceof ArrayBuffer)
            values = new Uint8Array(values)
        if (values === null || values === undefined || typeof values === "string"
                || typeof values.length !== "number") {
            console.warn("设备消息负载无效, id:", attributeId, values)
            return null
        }
        const bytes = []
        for (let i = 0; i < values.length; ++i) {
            let value = values[i]
            if (typeof value === "boolean")
                value = value ? 1 : 0
            if (typeof value !== "number" || !isFinite(value)) {
                console.warn("设备消息负载无效, id:", attributeId, "值:", values[i])
                return null
            }
            value = Math.floor(value + 0.5)
            if (value < -128 || value > 255) {
                console.warn("设备消息负载超出字节范围, id:", attributeId, "值:", values[i])
                return null
            }
            bytes.push(value < 0 ? value + 256 : value)
        }
        return bytes
    }

    function validId(attributeId) {
        const ok = Number.isInteger(attributeId) && attributeId >= 0 && attributeId <= 0xFFFF
        if (!ok)
            console.warn("设备消息 id 无效:", attributeId)
        return ok
    }

    function sendMessage(attributeId, byteArray) {
        if (!validId(attributeId))
            return
        const bytes = payloadBytes(attributeId, byteArray)
        if (bytes !== null)
            messageCache[attributeId] = bytes
    }

    function sendMessageNow(attributeId, byteArray) {
        if (!validId(attributeId))
            return
        const bytes = payloadBytes(attributeId, byteArray)
        if (bytes === null)
            return
        delete messageCache[attributeId]
        console.log("立即发送消息到设备:", attributeId, JSON.stringify(bytes))
        HIDHotplugManager.messageSend(attributeId, new Uint8Array(bytes).buffer)
    }

    function sendPriMessage(attributeId, byteArray) {
        if (!Number.isInteger(attributeId) || attributeId < 0 || attributeId > 0xFFFFFFFF) {
            console.warn("私有消息 id 无效:", attributeId)
            return
        }
        const bytes = payloadBytes(attributeId, byteArray)
        if (bytes !== null)
            HIDHotplugManager.sendPriMessage(attributeId, new Uint8Array(bytes).buffer)
    }

    // Lowest id first; each id at most once per tick, with its latest value.
    function drainQueue() {
        const ids = Object.keys(messageCache).map(Number).sort(function(a, b) { return a - b })
        for (let i = 0; i < ids.length; ++i) {
            const bytes = messageCache[ids[i]]
            if (bytes === undefined)
                continue
            console.log("发送消息到设备:", ids[i], JSON.stringify(bytes))
            HIDHotplugManager.messageSend(ids[i], new Uint8Array(bytes).buffer)
            delete messageCache[ids[i]]
        }
    }

    function syncDeviceInfo() {
        for (let i = 0; i < queriedAttributes.length; ++i) {
            const id = queriedAttributes[i]
            pendingReads[id] = (pendingReads[id] || 0) + 1
            HIDHotplugManager.messageGet(id)
        }
    }

    function stopAndDisconnectDevice() {
        if (isR7())
            HIDHotplugManager.stopAndDisconnectDevice()
    }

    function startAndConnectDevice() {
        if (isR7())
            HIDHotplugManager.startAndConnectDevice()
    }

    function upgradeFirmware(filePath) {
        HIDHotplugManager.upgradeFirmware(filePath)
    }

    function stringToByteArray(str) {
        const text = String(str)
        const codes = []
        for (let i = 0; i < text.length; ++i)
            codes.push(text.charCodeAt(i))
        return codes
    }

    function hexToByteArray(hexStr) {
        const digits = String(hexStr).replace(/\s+/g, "").replace(/0x/g, "")
        if (digits.length % 2 !== 0 || !/^[0-9a-fA-F]*$/.test(digits)) {
            console.warn("十六进制文本无效:", hexStr)
            return []
        }
        const bytes = []
        for (let i = 0; i < digits.length; i += 2)
            bytes.push(parseInt(digits.substr(i, 2), 16))
        return bytes
    }

    function onNativeDeviceConnected(info, connected) {
        // Two assignments, so bindings re-evaluate also for unchanged content.
        deviceInfo = {}
        deviceInfo = info
        deviceConnected(info, connected)

        const complete = [deviceVersion, devicePID, deviceSN, deviceVID, deviceName].every(function(value) {
            return value !== "N/A"
        })
        if (connected && !deviceReady && complete) {
            console.log("设备已就绪:", deviceName, deviceSN, deviceVersion)
            pendingReads = {}
            ConfigMgr.setDeviceScope(deviceScopeId())
            // Reads the store of the scope just selected; a bridge built
            // without it must not end this handler half-way.
            if (typeof SystemBridge.updateMonitorDevice === "function")
                SystemBridge.updateMonitorDevice()
            else
                console.warn("SystemBridge lacks updateMonitorDevice")
            syncDeviceInfo()
            connectTime = new Date()
            NetworkMgr.connectDevice()
            deviceReady = true
        } else if (!connected) {
            console.log("设备已断开:", deviceName, deviceSN)
            const now = new Date()
            const record = {
                "trackId": ConfigMgr.getValue("trackId"),
                "startTime": Qt.formatDateTime(connectTime, "yyyy-MM-dd HH:mm:ss"),
                "endTime": Qt.formatDateTime(now, "yyyy-MM-dd HH:mm:ss"),
                "productSn": deviceSN,
                "productName": deviceName,
                "duration": now.getTime() - connectTime.getTime()
            }
            DataTrackerMgr.storeEventNow("", "", "", JSON.stringify(record), "connected")
            deviceReady = false
            pendingReads = {}
            hasNewFirmware = false
            MessageBus.publishUpdateFirmwareDisconnected()
        }
    }

    function onNativeMessageReceived(attID, data) {
        const answer = (pendingReads[attID] || 0) > 0
        if (answer)
            pendingReads[attID] -= 1
        reportAnswersRead = answer
        try {
            handleReport(attID, data)
        } finally {
            reportAnswersRead = false
        }
    }

    function handleReport(attID, data) {
        messageReceived(attID, data)
        const row = reportRowFor(attID)
        if (row === null)
            return
        // A report without its value byte must not overwrite a setting.
        const value = data && data.length > 0 ? data[0] : undefined
        if (typeof value !== "number" || value < 0 || value > 255) {
            console.warn("设备属性报告无值, 忽略:", attID, JSON.stringify(data))
            return
        }
        console.log("设备属性报告:", attID, JSON.stringify(data))
        if (row.store)
            row.store(value)
        MessageBus.publish(MessageBus.messageTypes[row.topic], row.payload !== undefined ? row.payload : value)
        DataTrackerMgr.storeEventNow(row.event[0], row.event[1], row.event[2], value, "hardware")
    }

    function reportRowFor(attID) {
        const r7 = isR7()
        for (let i = 0; i < reportRows.length; ++i) {
            const row = reportRows[i]
            if (row.id === attID && (row.r7 === undefined || row.r7 === r7))
                return row
        }
        return null
    }
}
