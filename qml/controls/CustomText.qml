import QtQuick
import QtQuick.Controls

// Label with an optional help bubble behind an info icon.
Row {
    id: root

    property alias text: label.text
    property alias textOpacity: label.opacity
    property alias textPpixelSize: label.font.pixelSize
    property string tips: ""

    spacing: 5

    Text {
        id: label
        color: Colors.text
        font.pixelSize: 16
    }

    Image {
        id: infoIcon
        objectName: "infoIcon"
        anchors.verticalCenter: label.verticalCenter
        sourceSize: Qt.size(13, 13)
        source: "icons/info.svg"
        visible: root.tips !== ""

        MouseArea {
            id: hoverArea
            anchors.fill: parent
            hoverEnabled: true
        }

        ToolTip {
            id: bubble
            objectName: "tipBubble"

            readonly property real pointerSize: 10

            visible: hoverArea.containsMouse && root.tips !== ""
            delay: 0
            timeout: -1
            text: qsTr(root.tips)
            x: -20
            y: -height - 15
            width: Math.min(implicitWidth, 180)

            contentItem: Text {
                text: bubble.text
                color: Colors.text
                font.pixelSize: 12
                wrapMode: Text.WordWrap
            }

            background: Rectangle {
                color: Colors.tooltip
                radius: 7

                Rectangle {
                    objectName: "pointer"
                    width: bubble.pointerSize
                    height: bubble.pointerSize
                    rotation: 45
                    color: Colors.tooltip
                    x: 15
                    // Pushed below its place (no room above): point up instead.
                    y: bubble.y > -bubble.height - 15 ? -height / 2 : parent.height - height / 2
                }
            }
        }
    }
}
