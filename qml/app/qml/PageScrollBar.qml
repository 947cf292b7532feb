import QtQuick
import QtQuick.Controls
import MediaControls

// The pages' thin grey scroll bar: fully opaque while in use (scrolled, held
// or under the pointer), half opaque at rest. The style fades its handle out
// after use by animating the handle's opacity, which would outlive our
// binding, so its states and transitions go.
ScrollBar {
    id: control

    property real radius: 2.5

    // Whatever the platform's hint, the pointer over the bar counts as use.
    hoverEnabled: true
    states: []
    transitions: []

    contentItem: Rectangle {
        implicitWidth: 8
        implicitHeight: 8
        radius: control.radius
        color: Colors.textDisabled
        opacity: control.active || control.pressed || control.hovered ? 1.0 : 0.5
    }
}
