import QtQuick

// Horizontal level bar with a clip lamp and no animation: the whole gradient
// is drawn once and a cover hides the unlit part.
Rectangle {
    id: root

    property real level: 0.0
    property bool clipping: false
    property real clippingThreshold: 1
    property int clippingDuration: 10000
    property string channelName: "L"

    // Not a finite number reads as silence; see AudioChannelIndicator.
    function clampLevel(value) {
        const number = Number(value)
        if (!isFinite(number))
            return 0
        return Math.min(1, Math.max(0, number))
    }

    function setLevel(newLevel) {
        const clamped = clampLevel(newLevel)
        level = clamped
        if (clamped >= clippingThreshold && !clipping) {
            clipping = true
            clipTimer.restart()
        }
    }

    function clearClipping() {
        clipping = false
        clipTimer.stop()
    }

    onLevelChanged: {
        if (!isFinite(level))
            level = 0
    }

    Component.onCompleted: console.debug("AudioChannelIndicatorSingle initialized for", channelName, "channel")
    Component.onDestruction: clearClipping()

    color: "transparent"

    Row {
        anchors.fill: parent
        spacing: 5

        Rectangle {
            id: bar
            objectName: "bar"
            width: Math.max(0, parent.width - parent.spacing - lamp.width)
            height: parent.height
            gradient: Gradient {
                orientation: Gradient.Horizontal
                GradientStop { position: 0.0; color: Colors.meterLow }
                GradientStop { position: 0.4; color: Colors.meterLow }
                GradientStop { position: 0.7; color: Colors.meterMid }
                GradientStop { position: 1.0; color: Colors.meterHigh }
            }

            Rectangle {
                objectName: "cover"
                anchors.right: parent.right
                height: parent.height
                width: bar.width - bar.width * root.clampLevel(root.level)
                color: Colors.meterOff
            }
        }

        Rectangle {
            id: lamp
            objectName: "clipLamp"
            width: 9
            height: parent.height
            color: root.clipping ? Colors.meterClip : Colors.meterOff
        }
    }

    Timer {
        id: clipTimer
        objectName: "clipTimer"
        interval: root.clippingDuration
        onTriggered: root.clipping = false
    }
}
