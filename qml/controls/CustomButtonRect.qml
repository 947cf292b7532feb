import QtQuick

// Toggle tile with an icon. The colour is set at the moments below only, not
// bound to isActive: callers that change the state from outside use setActive.
Rectangle {
    id: root

    property alias src: button.icon.source
    // The icon's shown size, in the middle of the tile (unset: its file's).
    property size iconSize
    property bool isActive: false
    property bool isWorn: false
    property bool isSelect: true

    signal click()

    function getColor(defaultColor) {
        if (isActive && isSelect && isWorn)
            return Colors.warning
        if (isActive && isSelect)
            return Colors.accent
        return defaultColor
    }

    function setActive(newIsActive) {
        isActive = newIsActive
        color = getColor(Colors.control)
    }

    radius: 5
    Component.onCompleted: color = getColor(Colors.control)

    CustomButton {
        id: button
        anchors.centerIn: parent
        icon.width: root.iconSize.width
        icon.height: root.iconSize.height
    }

    // Laid over the inner button so that it never shows its pressed look.
    MouseArea {
        anchors.fill: parent
        hoverEnabled: true
        onEntered: {
            root.color = root.getColor(Colors.controlHover)
            if (root.Window.window)
                root.Window.window.requestActivate()
        }
        onExited: root.color = root.getColor(Colors.control)
        onClicked: {
            if (root.isSelect)
                root.isActive = !root.isActive
            root.color = root.getColor(Colors.controlHover)
            root.click()
        }
    }
}
