import QtQuick

// On/off switch. A click flips checked before toggled is emitted, so the
// handler reads the new state; setting checked from outside emits nothing.
Rectangle {
    id: root

    property bool checked: false

    signal toggled(bool checked)

    width: 30
    height: 16
    radius: 8
    color: checked ? Colors.accent : Colors.switchOff

    // Named objects of the switch, so that their timing can be checked.
    ColorAnimation { id: colorAnimation; objectName: "colorAnimation"; duration: 200 }
    NumberAnimation { id: thumbAnimation; objectName: "thumbAnimation"; duration: 200; easing.type: Easing.OutCubic }

    Behavior on color { animation: colorAnimation }

    Rectangle {
        objectName: "thumb"
        width: 12
        height: 12
        radius: 6
        color: Colors.knob
        anchors.verticalCenter: parent.verticalCenter
        x: root.checked ? root.width - width - 2 : 2

        Behavior on x { animation: thumbAnimation }
    }

    MouseArea {
        anchors.fill: parent
        onClicked: {
            root.checked = !root.checked
            root.toggled(root.checked)
        }
    }
}
