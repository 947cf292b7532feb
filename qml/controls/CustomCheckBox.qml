import QtQuick
import QtQuick.Controls

CheckBox {
    id: control

    indicator: Rectangle {
        objectName: "indicator"
        implicitWidth: 16
        implicitHeight: 16
        x: control.leftPadding
        y: control.topPadding + (control.availableHeight - height) / 2
        radius: 4
        border.width: 1
        border.color: control.checked ? Colors.accent : Colors.border
        color: control.checked ? Colors.accent : "transparent"

        Image {
            anchors.centerIn: parent
            anchors.verticalCenterOffset: -1
            sourceSize: Qt.size(13, 12)
            source: "icons/select.svg"
            visible: control.checked
        }
    }
}
