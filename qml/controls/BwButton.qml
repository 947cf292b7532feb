import QtQuick
import QtQuick.Controls

// Outline text button; only the frame brightens under the pointer.
Button {
    id: control

    hoverEnabled: true
    topInset: 0
    bottomInset: 0
    leftInset: 0
    rightInset: 0

    contentItem: Text {
        text: control.text
        color: control.enabled ? Colors.text : Colors.textDisabled
        font.pixelSize: 14
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
    }

    background: Rectangle {
        objectName: "background"
        radius: 6
        color: "transparent"
        border.width: 1
        border.color: control.contentItem.color
        opacity: control.enabled && control.hovered ? 1 : 0.5
    }
}
