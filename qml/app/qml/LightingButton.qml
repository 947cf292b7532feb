import QtQuick
import MediaControls

// A choice button of the lighting pages: filled in the accent colour while
// selected, a light border while hovered; a text or an icon.
Rectangle {
    id: root

    property string text: ""
    property url iconSource: ""
    property bool selected: false
    // Text buttons grow with their label beyond this.
    property real minimumWidth: 80

    signal clicked()

    implicitWidth: Math.max(minimumWidth, label.implicitWidth + 20)
    height: 40
    radius: 6
    color: selected ? Colors.accent : Colors.control
    border.width: area.containsMouse ? 1 : 0
    border.color: Colors.borderFaint

    Text {
        id: label
        objectName: "label"
        anchors.centerIn: parent
        visible: root.text !== ""
        text: root.text
        color: Colors.text
        font.pixelSize: 14
    }

    Image {
        anchors.centerIn: parent
        visible: root.iconSource.toString() !== ""
        source: root.iconSource
    }

    MouseArea {
        id: area
        anchors.fill: parent
        hoverEnabled: true
        onClicked: root.clicked()
    }
}
