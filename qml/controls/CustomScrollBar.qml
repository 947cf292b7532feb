import QtQuick
import QtQuick.Controls

// The pages' thin grey scroll bar: fully opaque while in use, half opaque at
// rest. The style fades its handle out after use by animating the handle's
// opacity, which would outlive our binding, so its states and transitions go.
ScrollBar {
    id: control

    property real radius: 2.5

    states: []
    transitions: []

    contentItem: Rectangle {
        implicitWidth: 8
        implicitHeight: 8
        radius: control.radius
        color: "#808080"
        opacity: control.active ? 1.0 : 0.5
    }
}
