import QtQuick
import MediaControls

// A lighting effect's page: its colour heading and its own choosers below.
// It reads its settings when made and again on every reload of the store,
// which passes on its reason (a microphone preset's reload is
// "audio_enhancement").
Column {
    id: page

    signal reload(string reason)

    spacing: 10
    Component.onCompleted: reload("audio_enhancement")

    MessageListener {
        messageTypes: [MessageBus.messageTypes.UPDATE_CONFIG_MESSAGE]
        onMessage: function(topic, data) { page.reload(data) }
    }

    LightingLabel {
        text: qsTr("颜色")
    }
}
