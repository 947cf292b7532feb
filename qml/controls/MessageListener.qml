import QtQuick

// Declarative subscriber: holds the subscriptions of messageTypes while it
// exists and forwards every message to onMessage.
Item {
    id: listener

    property var messageTypes: []
    property var onMessage: null
    property var _subscribed: []

    // The one callback registered for every topic, for the listener's whole
    // life, so that unsubscribe finds it again.
    readonly property var handleMessage: function(messageType, data) {
        if (listener.onMessage)
            listener.onMessage(messageType, data)
    }

    function _unsubscribeAll() {
        for (let i = 0; i < _subscribed.length; ++i)
            MessageBus.unsubscribe(_subscribed[i], handleMessage)
        _subscribed = []
    }

    function _resubscribe() {
        _unsubscribeAll()
        const wanted = messageTypes ? messageTypes : []
        const subscribed = []
        for (let i = 0; i < wanted.length; ++i) {
            const topic = wanted[i]
            if (topic === undefined || topic === null || topic === "")
                continue
            MessageBus.subscribe(topic, handleMessage)
            subscribed.push(topic)
        }
        _subscribed = subscribed
    }

    // Resubscribing is idempotent, so a change seen during creation does no
    // harm.
    onMessageTypesChanged: _resubscribe()
    Component.onCompleted: _resubscribe()

    Component.onDestruction: _unsubscribeAll()
}
