pragma Singleton
import QtQuick

// In-process publish/subscribe between managers and pages. Delivery is a
// plain synchronous call on the GUI thread; nothing is queued or retained.
QtObject {
    id: bus

    readonly property var messageTypes: Object.freeze({
        CONFIG_CHANGED: "config_changed",
        APP_SELECTED: "app_selected",
        LISTEN_MODE_CHANGED: "listen_mode_changed",
        THEME_CHANGED: "theme_changed",
        LANGUAGE_CHANGED: "language_changed",
        UPDATE_DEVICE_DB: "update_device_dB",
        UPDATE_AUTO_GAIN: "update_auto_gain",
        UPDATE_AUTO_GAIN_ON: "update_auto_gain_on",
        UPDATE_OTHER_LIGHT_OFF: "update_other_light_off",
        AUTO_GAIN_LEVEL: "auto_gain_level",
        UPDATE_MIC_GAIN_LEVEL: "update_mic_gain_level",
        UPDATE_DEVICE_EQUALIZER_CURRENT: "update_device_equalizer_current",
        UPDATE_DEVICE_EQUALIZER_CURRENT_CHANGE_BY_TYPE: "update_device_equalizer_current_change_by_type",
        MUTE_STATE: "mute_state",
        POWER_STATE: "power_state",
        ANTI_NOISE_STATE: "anti_noise_state",
        LISTEN_OUTPUT_STATE: "listen_output_state",
        LISTEN_VOLUME_LEVEL: "listen_volume_level",
        MIC_LISTEN_RATIO: "mic_listen_ratio",
        UPDATE_FIRMWARE: "update_firmware",
        UPDATE_FIRMWARE_DISCONNECTED: "update_firmware_disconnected",
        SCREEN_POWER_STATE_CHANGED: "screen_power_state_changed",
        AI_JIANZAO_STATE: "ai_jianzao_state",
        BACKGROUND_LIGHT_MODE: "background_light_mode",
        UPDATE_CONFIG_MESSAGE: "update_config_message"
    })

    // Topic text -> array of callbacks. Arrays are never removed, also when
    // they become empty.
    property var subscribers: ({})

    property var globalInstance: null

    function setGlobalInstance(instance) {
        globalInstance = instance
    }

    function getGlobalInstance() {
        return globalInstance !== null ? globalInstance : bus
    }

    // Object keys are text, so topic 5 and topic "5" are one topic.
    function subscribe(messageType, callback) {
        const topic = String(messageType)
        let callbacks = subscribers[topic]
        if (callbacks === undefined) {
            callbacks = []
            subscribers[topic] = callbacks
        }
        callbacks.push(callback)
        console.log("订阅消息:", topic, "订阅者数量:", callbacks.length)
    }

    function unsubscribe(messageType, callback) {
        const topic = String(messageType)
        const callbacks = subscribers[topic]
        if (callbacks === undefined)
            return
        const at = callbacks.indexOf(callback)
        if (at < 0)
            return
        callbacks.splice(at, 1)
        console.log("取消订阅:", topic, "剩余订阅者:", callbacks.length)
    }

    function publish(messageType, data) {
        const callbacks = subscribers[String(messageType)]
        if (callbacks === undefined || callbacks.length === 0)
            return
        function occurrences(list, callback, end) {
            let count = 0
            for (let i = 0; i < end; ++i) {
                if (list[i] === callback)
                    ++count
            }
            return count
        }
        // Subscribers added meanwhile wait for the next publish; one removed
        // meanwhile is not called again, and no other one is skipped. A
        // callback subscribed n times is called while it still holds that
        // many subscriptions.
        const snapshot = callbacks.slice()
        for (let i = 0; i < snapshot.length; ++i) {
            const callback = snapshot[i]
            const nth = occurrences(snapshot, callback, i + 1)
            if (occurrences(callbacks, callback, callbacks.length) < nth)
                continue
            try {
                callback(messageType, data)
            } catch (error) {
                console.error("消息回调执行错误:", error)
            }
        }
    }

    function publishConfigChanged(key, value) {
        publish(messageTypes.CONFIG_CHANGED, { key: key, value: value })
    }
    function publishAppSelected(app) {
        publish(messageTypes.APP_SELECTED, app)
    }
    function publishListenModeChanged(bundleIdentifier) {
        publish(messageTypes.LISTEN_MODE_CHANGED, bundleIdentifier)
    }
    function publishUpdateDeviceDdB(value) {
        publish(messageTypes.UPDATE_DEVICE_DB, value)
    }
    function publishUpdateAutoGain(value) {
        publish(messageTypes.UPDATE_AUTO_GAIN, value)
    }
    function publishUpdateAutoGainOn(value) {
        publish(messageTypes.UPDATE_AUTO_GAIN_ON, value)
    }
    function publishUpdateOtherLightOff(value) {
        publish(messageTypes.UPDATE_OTHER_LIGHT_OFF, value)
    }
    function publishAutoGainLevel(level) {
        publish(messageTypes.AUTO_GAIN_LEVEL, level)
    }
    function publishUpdateMicGainLevel(value) {
        publish(messageTypes.UPDATE_MIC_GAIN_LEVEL, value)
    }
    function publishUpdateDeviceEqualizerCurrent(value) {
        publish(messageTypes.UPDATE_DEVICE_EQUALIZER_CURRENT, value)
    }
    function publishUpdateDeviceEqualizerCurrentChangeByType(value) {
        publish(messageTypes.UPDATE_DEVICE_EQUALIZER_CURRENT_CHANGE_BY_TYPE, value)
    }
    function publishMuteState(value) {
        publish(messageTypes.MUTE_STATE, value)
    }
    function publishPowerState(value) {
        publish(messageTypes.POWER_STATE, value)
    }
    function publishAntiNoiseState(value) {
        publish(messageTypes.ANTI_NOISE_STATE, value)
    }
    function publishListenOutputState(value) {
        publish(messageTypes.LISTEN_OUTPUT_STATE, value)
    }
    function publishListenVolumeLevel(value) {
        publish(messageTypes.LISTEN_VOLUME_LEVEL, value)
    }
    function publishMicListenRatio(value) {
        publish(messageTypes.MIC_LISTEN_RATIO, value)
    }
    function publishUpdateFirmware(downloadUrl) {
        publish(messageTypes.UPDATE_FIRMWARE, downloadUrl)
    }
    function publishUpdateFirmwareDisconnected() {
        publish(messageTypes.UPDATE_FIRMWARE_DISCONNECTED, true)
    }
    function publishScreenPowerStateChanged(value) {
        publish(messageTypes.SCREEN_POWER_STATE_CHANGED, value)
    }
    function publishAIJianzaoState(value) {
        publish(messageTypes.AI_JIANZAO_STATE, value)
    }
    function publishBackgroundLightMode(value) {
        publish(messageTypes.BACKGROUND_LIGHT_MODE, value)
    }
    function publishUpdateConfigMessage(value) {
        publish(messageTypes.UPDATE_CONFIG_MESSAGE, value)
    }
}
