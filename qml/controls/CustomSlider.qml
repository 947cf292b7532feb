import QtQuick
import QtQuick.Controls.Fusion
import Qt5Compat.GraphicalEffects

// The slider of every gain, volume, ratio and brightness. Pages apply the
// value live on moved() and record it once on changeComplete().
Slider {
    id: control

    property alias backgroundColor: track.color
    property alias backgroundOpacity: track.opacity
    property bool showTooltip: true
    property bool snapToStep: false
    property var formatedValueFunc: null

    // Emitted at release, before the bubble's hide timer starts.
    signal changeComplete(real value)

    snapMode: snapToStep ? Slider.SnapAlways : Slider.NoSnap

    function bubbleText() {
        if (formatedValueFunc !== null && formatedValueFunc !== undefined)
            return formatedValueFunc(value)
        return Math.round(value * 100) + "%"
    }

    function showBubble() {
        if (!showTooltip)
            return
        bubble.visible = true
        hideTimer.stop()
    }

    onPressedChanged: {
        if (pressed) {
            showBubble()
        } else {
            changeComplete(value)
            if (showTooltip)
                hideTimer.start()
        }
    }

    onValueChanged: {
        if (pressed)
            showBubble()
    }

    background: Rectangle {
        id: track
        objectName: "track"
        x: control.horizontal ? control.leftPadding
                              : control.leftPadding + control.availableWidth / 2 - width / 2
        y: control.horizontal ? control.topPadding + control.availableHeight / 2 - height / 2
                              : control.topPadding
        // The style's groove size.
        implicitWidth: control.horizontal ? 160 : 5
        implicitHeight: control.horizontal ? 5 : 160
        width: control.horizontal ? control.availableWidth : implicitWidth
        height: control.horizontal ? implicitHeight : control.availableHeight
        radius: 3
    }

    // Beside the track, not inside it: the track's opacity is its own.
    Rectangle {
        objectName: "valueFill"
        x: track.x
        y: control.horizontal ? track.y : track.y + track.height - height
        width: control.horizontal ? control.visualPosition * track.width : track.width
        height: control.horizontal ? track.height : (1 - control.visualPosition) * track.height
        radius: 3
        color: Colors.knob
    }

    handle: Item {
        id: handleItem
        objectName: "handle"
        x: control.horizontal ? control.leftPadding + control.visualPosition * (control.availableWidth - width)
                              : control.leftPadding + control.availableWidth / 2 - width / 2
        y: control.horizontal ? control.topPadding + control.availableHeight / 2 - height / 2
                              : control.topPadding + control.visualPosition * (control.availableHeight - height)
        implicitWidth: 14
        implicitHeight: 14
        z: 1

        layer.enabled: true
        layer.smooth: true
        layer.samples: 8
        // Room for the shadow to fall outside the handle.
        layer.sourceRect: Qt.rect(-6, -6, width + 12, height + 12)
        layer.effect: DropShadow {
            objectName: "handleShadow"
            color: Colors.handleShadow
            // Full blur within the padding.
            radius: 6
            samples: 13
            horizontalOffset: control.horizontal ? -3 : 0
            verticalOffset: control.horizontal ? 0 : 3
        }

        Rectangle {
            anchors.fill: parent
            radius: 7
            color: Colors.knob
            antialiasing: true
        }

        // Takes no buttons, so a press always reaches the slider.
        MouseArea {
            objectName: "handleHover"
            anchors.fill: parent
            acceptedButtons: Qt.NoButton
            hoverEnabled: true
            onEntered: control.showBubble()
            onExited: bubble.visible = false
        }
    }

    Rectangle {
        id: bubble
        objectName: "bubble"
        visible: false
        z: 2
        // The 18 and 9 (and 14 when vertical) belong to the look, not to the
        // drawn handle.
        x: control.horizontal
           ? control.leftPadding + control.visualPosition * (control.availableWidth - 18) - width / 2 + 9
           : control.leftPadding + control.availableWidth / 2 - width / 2
        y: control.horizontal
           ? control.topPadding + control.availableHeight / 2 - 18 / 2 - height - 10
           : control.topPadding + control.visualPosition * (control.availableHeight - 14) - height - 10
        width: bubbleLabel.width + 15
        height: bubbleLabel.height + 10
        radius: 4
        color: Colors.panel

        Text {
            id: bubbleLabel
            objectName: "bubbleText"
            anchors.centerIn: parent
            text: control.bubbleText()
            color: Colors.text
            font.pixelSize: 12
        }

        Canvas {
            objectName: "bubblePointer"
            width: 8
            height: 4
            anchors.horizontalCenter: parent.horizontalCenter
            anchors.top: parent.bottom
            onPaint: {
                const ctx = getContext("2d")
                ctx.reset()
                ctx.fillStyle = Colors.panel
                ctx.beginPath()
                ctx.moveTo(0, 0)
                ctx.lineTo(8, 0)
                ctx.lineTo(4, 4)
                ctx.closePath()
                ctx.fill()
            }
        }
    }

    Timer {
        id: hideTimer
        objectName: "hideTimer"
        interval: 500
        onTriggered: bubble.visible = false
    }
}
