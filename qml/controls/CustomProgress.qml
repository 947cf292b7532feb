import QtQuick
import QtQuick.Controls

// Progress block: title, bar and percentage. The percentage reads value
// itself, so it assumes the range 0 to 1.
Column {
    id: root

    property alias mainText: title
    property alias subText: percentage
    property alias value: bar.value
    property alias from: bar.from
    property alias to: bar.to

    spacing: 15

    Text {
        id: title
        width: parent.width
        color: Colors.text
        font.pixelSize: 16
        horizontalAlignment: Text.AlignHCenter
    }

    ProgressBar {
        id: bar
        width: parent.width
        height: 8
        from: 0
        to: 1
        value: 0

        background: Rectangle {
            implicitHeight: 8
            color: Colors.track
            radius: 4
        }

        contentItem: Item {
            implicitHeight: 8

            Rectangle {
                objectName: "fill"
                width: bar.visualPosition * parent.width
                height: parent.height
                radius: 4
                color: Colors.accent
            }
        }
    }

    Text {
        id: percentage
        width: parent.width
        text: Math.round(root.value * 100) + "%"
        color: Colors.text
        font.pixelSize: 14
        horizontalAlignment: Text.AlignHCenter
    }
}
