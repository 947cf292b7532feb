import QtQuick
import QtTest
import MediaControls

TestCase {
    id: testCase
    name: "MessageBus"

    // Topics of this file only, so cases never see each other's callbacks.
    property int topicSerial: 0
    function freshTopic() {
        ++topicSerial
        return "test_topic_" + topicSerial
    }

    function subscriberCount(topic) {
        const callbacks = MessageBus.subscribers[String(topic)]
        return callbacks === undefined ? -1 : callbacks.length
    }

    Component {
        id: listenerComponent
        MessageListener {}
    }

    // The way pages write a listener: topics and handler declared inline.
    Component {
        id: declaredListenerComponent
        MessageListener {
            property var got: []
            messageTypes: ["declared_listener_topic", 55]
            onMessage: function(messageType, data) { got.push([String(messageType), data]) }
        }
    }

    Component {
        id: arrowListenerComponent
        MessageListener {
            property var got: []
            messageTypes: ["arrow_listener_topic"]
            onMessage: (messageType, data) => got.push(data)
        }
    }

    // Every topic name is checked by name below: by a publisher's row, or
    // as one of the two without a publisher.
    function test_vocabulary() {
        const types = MessageBus.messageTypes
        const keys = Object.keys(types)
        compare(keys.length, 25)
        const topics = {}
        for (const key of keys) {
            // A topic is its name in lower case; the device level keeps the
            // spelling of its unit.
            compare(types[key], key === "UPDATE_DEVICE_DB" ? "update_device_dB" : key.toLowerCase(), key)
            verify(topics[types[key]] === undefined, "one name per topic: " + key)
            topics[types[key]] = key
        }
        // Pages must not be able to rename a topic.
        for (const key of keys) {
            const topic = types[key]
            types[key] = "changed"
            compare(MessageBus.messageTypes[key], topic, key)
        }
    }

    function test_convenience_publishers_data() {
        return [
            { tag: "ConfigChanged", fn: "publishConfigChanged", args: ["k", 3], key: "CONFIG_CHANGED", payload: { key: "k", value: 3 } },
            { tag: "AppSelected", fn: "publishAppSelected", args: ["app"], key: "APP_SELECTED", payload: "app" },
            { tag: "ListenModeChanged", fn: "publishListenModeChanged", args: ["listen"], key: "LISTEN_MODE_CHANGED", payload: "listen" },
            { tag: "UpdateDeviceDdB", fn: "publishUpdateDeviceDdB", args: [-12], key: "UPDATE_DEVICE_DB", payload: -12 },
            { tag: "UpdateAutoGain", fn: "publishUpdateAutoGain", args: [1], key: "UPDATE_AUTO_GAIN", payload: 1 },
            { tag: "UpdateAutoGainOn", fn: "publishUpdateAutoGainOn", args: [0], key: "UPDATE_AUTO_GAIN_ON", payload: 0 },
            { tag: "UpdateOtherLightOff", fn: "publishUpdateOtherLightOff", args: [1], key: "UPDATE_OTHER_LIGHT_OFF", payload: 1 },
            { tag: "AutoGainLevel", fn: "publishAutoGainLevel", args: [7], key: "AUTO_GAIN_LEVEL", payload: 7 },
            { tag: "UpdateMicGainLevel", fn: "publishUpdateMicGainLevel", args: [30], key: "UPDATE_MIC_GAIN_LEVEL", payload: 30 },
            { tag: "UpdateDeviceEqualizerCurrent", fn: "publishUpdateDeviceEqualizerCurrent", args: [2], key: "UPDATE_DEVICE_EQUALIZER_CURRENT", payload: 2 },
            { tag: "UpdateDeviceEqualizerCurrentChangeByType", fn: "publishUpdateDeviceEqualizerCurrentChangeByType", args: [true], key: "UPDATE_DEVICE_EQUALIZER_CURRENT_CHANGE_BY_TYPE", payload: true },
            { tag: "MuteState", fn: "publishMuteState", args: [1], key: "MUTE_STATE", payload: 1 },
            { tag: "PowerState", fn: "publishPowerState", args: [0], key: "POWER_STATE", payload: 0 },
            { tag: "AntiNoiseState", fn: "publishAntiNoiseState", args: [1], key: "ANTI_NOISE_STATE", payload: 1 },
            { tag: "ListenOutputState", fn: "publishListenOutputState", args: [1], key: "LISTEN_OUTPUT_STATE", payload: 1 },
            { tag: "ListenVolumeLevel", fn: "publishListenVolumeLevel", args: [55], key: "LISTEN_VOLUME_LEVEL", payload: 55 },
            { tag: "MicListenRatio", fn: "publishMicListenRatio", args: [4], key: "MIC_LISTEN_RATIO", payload: 4 },
            { tag: "UpdateFirmware", fn: "publishUpdateFirmware", args: ["http://127.0.0.1/fw.bin"], key: "UPDATE_FIRMWARE", payload: "http://127.0.0.1/fw.bin" },
            { tag: "UpdateFirmwareDisconnected", fn: "publishUpdateFirmwareDisconnected", args: [], key: "UPDATE_FIRMWARE_DISCONNECTED", payload: true },
            { tag: "ScreenPowerStateChanged", fn: "publishScreenPowerStateChanged", args: [false], key: "SCREEN_POWER_STATE_CHANGED", payload: false },
            { tag: "AIJianzaoState", fn: "publishAIJianzaoState", args: [2], key: "AI_JIANZAO_STATE", payload: 2 },
            { tag: "BackgroundLightMode", fn: "publishBackgroundLightMode", args: [3], key: "BACKGROUND_LIGHT_MODE", payload: 3 },
            { tag: "UpdateConfigMessage", fn: "publishUpdateConfigMessage", args: ["13"], key: "UPDATE_CONFIG_MESSAGE", payload: "13" }
        ]
    }

    function test_convenience_publishers(data) {
        const topic = MessageBus.messageTypes[data.key]
        verify(topic !== undefined, data.key)
        const got = []
        const callback = function(type, payload) { got.push([type, payload]) }
        MessageBus.subscribe(topic, callback)
        MessageBus[data.fn].apply(MessageBus, data.args)
        MessageBus.unsubscribe(topic, callback)
        compare(got.length, 1)
        compare(got[0][0], topic)
        compare(got[0][1], data.payload)
    }

    function test_no_convenience_publisher_for_theme_and_language() {
        compare(MessageBus.messageTypes.THEME_CHANGED, "theme_changed")
        compare(MessageBus.messageTypes.LANGUAGE_CHANGED, "language_changed")
        verify(MessageBus.publishThemeChanged === undefined)
        verify(MessageBus.publishLanguageChanged === undefined)
    }

    function test_publish_without_subscribers_keeps_nothing() {
        const topic = freshTopic()
        MessageBus.publish(topic, 1)
        compare(subscriberCount(topic), -1)
        const got = []
        const callback = function(type, payload) { got.push(payload) }
        MessageBus.subscribe(topic, callback)
        compare(got.length, 0)
        MessageBus.publish(topic, 2)
        compare(got, [2])
        MessageBus.unsubscribe(topic, callback)
    }

    function test_double_subscription() {
        const topic = freshTopic()
        let calls = 0
        const callback = function() { ++calls }
        MessageBus.subscribe(topic, callback)
        MessageBus.subscribe(topic, callback)
        MessageBus.publish(topic, null)
        compare(calls, 2)
        MessageBus.unsubscribe(topic, callback)
        MessageBus.publish(topic, null)
        compare(calls, 3)
        MessageBus.unsubscribe(topic, callback)
        MessageBus.publish(topic, null)
        compare(calls, 3)
        // The array stays, empty.
        compare(subscriberCount(topic), 0)
    }

    function test_unsubscribe_unknown_is_harmless() {
        const topic = freshTopic()
        MessageBus.unsubscribe(topic, function() {})
        compare(subscriberCount(topic), -1)
        const kept = function() {}
        MessageBus.subscribe(topic, kept)
        MessageBus.unsubscribe(topic, function() {})
        compare(subscriberCount(topic), 1)
        MessageBus.unsubscribe(topic, kept)
    }

    function test_delivery_in_subscription_order() {
        const topic = freshTopic()
        const order = []
        const a = function() { order.push("a") }
        const b = function() { order.push("b") }
        MessageBus.subscribe(topic, b)
        MessageBus.subscribe(topic, a)
        MessageBus.publish(topic, 0)
        compare(order, ["b", "a"])
        MessageBus.unsubscribe(topic, a)
        MessageBus.unsubscribe(topic, b)
    }

    function test_subscriber_added_during_publish_waits_for_next() {
        const topic = freshTopic()
        const got = []
        const late = function(type, payload) { got.push("late " + payload) }
        const opener = function(type, payload) {
            got.push("opener " + payload)
            if (payload === 1)
                MessageBus.subscribe(topic, late)
        }
        MessageBus.subscribe(topic, opener)
        MessageBus.publish(topic, 1)
        compare(got, ["opener 1"])
        MessageBus.publish(topic, 2)
        compare(got, ["opener 1", "opener 2", "late 2"])
        MessageBus.unsubscribe(topic, opener)
        MessageBus.unsubscribe(topic, late)
    }

    function test_throwing_subscriber_does_not_stop_the_next() {
        const topic = freshTopic()
        let reached = 0
        const thrower = function() { throw new Error("boom") }
        const next = function() { ++reached }
        MessageBus.subscribe(topic, thrower)
        MessageBus.subscribe(topic, next)
        MessageBus.publish(topic, 0)
        compare(reached, 1)
        MessageBus.unsubscribe(topic, thrower)
        MessageBus.unsubscribe(topic, next)
    }

    function test_number_and_text_topics_are_one() {
        let calls = 0
        const callback = function(type) { ++calls }
        MessageBus.subscribe(5, callback)
        MessageBus.publish("5", 0)
        MessageBus.publish(5, 0)
        compare(calls, 2)
        MessageBus.unsubscribe("5", callback)
        MessageBus.publish(5, 0)
        compare(calls, 2)
    }

    function test_nested_publish_is_depth_first() {
        const outer = freshTopic()
        const inner = freshTopic()
        const order = []
        const first = function() {
            order.push("outer 1")
            MessageBus.publish(inner, 0)
        }
        const second = function() { order.push("outer 2") }
        const innerA = function() { order.push("inner a") }
        const innerB = function() { order.push("inner b") }
        MessageBus.subscribe(outer, first)
        MessageBus.subscribe(outer, second)
        MessageBus.subscribe(inner, innerA)
        MessageBus.subscribe(inner, innerB)
        MessageBus.publish(outer, 0)
        compare(order, ["outer 1", "inner a", "inner b", "outer 2"])
        MessageBus.unsubscribe(outer, first)
        MessageBus.unsubscribe(outer, second)
        MessageBus.unsubscribe(inner, innerA)
        MessageBus.unsubscribe(inner, innerB)
    }

    function test_nested_publish_of_same_topic() {
        const topic = freshTopic()
        const order = []
        const a = function(type, depth) {
            order.push("a" + depth)
            if (depth === 0)
                MessageBus.publish(topic, 1)
        }
        const b = function(type, depth) { order.push("b" + depth) }
        MessageBus.subscribe(topic, a)
        MessageBus.subscribe(topic, b)
        MessageBus.publish(topic, 0)
        compare(order, ["a0", "a1", "b1", "b0"])
        MessageBus.unsubscribe(topic, a)
        MessageBus.unsubscribe(topic, b)
    }

    function test_unsubscribe_during_publish() {
        const topic = freshTopic()
        const order = []
        let c = null
        const a = function() {
            order.push("a")
            MessageBus.unsubscribe(topic, c)
        }
        const b = function() {
            order.push("b")
            // Removing itself must not skip the one after it.
            MessageBus.unsubscribe(topic, b)
        }
        c = function() { order.push("c") }
        const d = function() { order.push("d") }
        MessageBus.subscribe(topic, a)
        MessageBus.subscribe(topic, b)
        MessageBus.subscribe(topic, c)
        MessageBus.subscribe(topic, d)
        MessageBus.publish(topic, 0)
        compare(order, ["a", "b", "d"])
        order.length = 0
        MessageBus.publish(topic, 0)
        compare(order, ["a", "d"])
        MessageBus.unsubscribe(topic, a)
        MessageBus.unsubscribe(topic, d)
    }

    function test_unsubscribe_one_of_two_subscriptions_during_publish() {
        const topic = freshTopic()
        let twice = 0
        const counted = function() { ++twice }
        const remover = function() { MessageBus.unsubscribe(topic, counted) }
        MessageBus.subscribe(topic, remover)
        MessageBus.subscribe(topic, counted)
        MessageBus.subscribe(topic, counted)
        MessageBus.publish(topic, 0)
        compare(twice, 1)
        MessageBus.unsubscribe(topic, remover)
        MessageBus.unsubscribe(topic, counted)
    }

    function test_global_instance() {
        compare(MessageBus.getGlobalInstance(), MessageBus)
        const other = { name: "other" }
        MessageBus.setGlobalInstance(other)
        compare(MessageBus.getGlobalInstance(), other)
        MessageBus.setGlobalInstance(null)
        compare(MessageBus.getGlobalInstance(), MessageBus)
    }

    // MessageListener

    function test_listener_receives_its_topics() {
        const topic = freshTopic()
        const got = []
        const listener = createTemporaryObject(listenerComponent, testCase, {
            messageTypes: [topic, "", null, undefined],
            onMessage: function(type, payload) { got.push([type, payload]) }
        })
        verify(listener)
        compare(listener._subscribed, [topic])
        compare(subscriberCount(topic), 1)
        MessageBus.publish(topic, 42)
        compare(got, [[topic, 42]])
    }

    function test_declared_listener() {
        const listener = createTemporaryObject(declaredListenerComponent, testCase)
        verify(listener)
        MessageBus.publish("declared_listener_topic", 1)
        MessageBus.publish("55", 2)
        compare(listener.got, [["declared_listener_topic", 1], ["55", 2]])
        const arrow = createTemporaryObject(arrowListenerComponent, testCase)
        verify(arrow)
        MessageBus.publish("arrow_listener_topic", 0)
        compare(arrow.got, [0])
    }

    function test_listener_without_handler_drops_messages() {
        const topic = freshTopic()
        const listener = createTemporaryObject(listenerComponent, testCase, { messageTypes: [topic] })
        verify(listener)
        MessageBus.publish(topic, 1)
        compare(subscriberCount(topic), 1)
        // The bus would swallow an exception of the listener's callback: the
        // very callback it holds is called here, where one would fail the test.
        const callback = MessageBus.subscribers[topic][0]
        compare(callback, listener.handleMessage)
        callback(topic, 2)
    }

    function test_listener_switches_topics() {
        const got = []
        const listener = createTemporaryObject(listenerComponent, testCase, {
            messageTypes: [5],
            onMessage: function(type, payload) { got.push(String(type)) }
        })
        MessageBus.publish("5", 0)
        compare(got, ["5"])
        listener.messageTypes = [7]
        MessageBus.publish(5, 0)
        MessageBus.publish("5", 0)
        MessageBus.publish(7, 0)
        compare(got, ["5", "7"])
        compare(subscriberCount(5), 0)
        compare(subscriberCount(7), 1)
        // Resubscribing again leaves exactly the same subscriptions.
        listener._resubscribe()
        listener._resubscribe()
        compare(subscriberCount(7), 1)
        listener.destroy()
        wait(0)
        compare(subscriberCount(7), 0)
    }

    function test_destroyed_listener_receives_nothing() {
        const topic = freshTopic()
        let calls = 0
        const listener = listenerComponent.createObject(testCase, {
            messageTypes: [topic],
            onMessage: function() { ++calls }
        })
        MessageBus.publish(topic, 0)
        compare(calls, 1)
        listener.destroy()
        wait(0)
        MessageBus.publish(topic, 0)
        compare(calls, 1)
        compare(subscriberCount(topic), 0)
    }

    function test_listener_created_inside_a_handler_misses_that_message() {
        const topic = freshTopic()
        const got = []
        let created = null
        const opener = function(type, payload) {
            if (created === null) {
                created = listenerComponent.createObject(testCase, {
                    messageTypes: [topic],
                    onMessage: function(t, p) { got.push(p) }
                })
            }
        }
        MessageBus.subscribe(topic, opener)
        MessageBus.publish(topic, "opening")
        compare(got, [])
        MessageBus.publish(topic, "later")
        compare(got, ["later"])
        MessageBus.unsubscribe(topic, opener)
        created.destroy()
    }
}
