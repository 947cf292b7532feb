import QtQuick
import QtQuick.Controls.Fusion

RadioButton {
    id: control
    leftPadding: 0
    height: 16

    indicator: Rectangle {
        implicitWidth: 16
        implicitHeight: 16
        x: control.leftPadding
        y: (control.height - height) / 2
        radius: 8
        color: "transparent"
        border.width: 1
        border.color: Colors.border

        Rectangle {
            width: 10
            height: 10
            radius: 5
            anchors.centerIn: parent
            color: Colors.knob
            visible: control.checked
        }
    }

    contentItem: Text {
        text: control.text
        font.pixelSize: 18
        color: Colors.accent
        verticalAlignment: Text.AlignVCenter
        leftPadding: control.indicator.width + control.spacing
    }
}
