import QtQuick
import QtQuick.Controls

// The popup that the colour selectors open their picker in. While it is
// open, scrolling the nearest Flickable above the owner closes it, so it
// never hangs detached from its control.
Popup {
    id: popup

    // The selector that opens the popup; its ancestors are searched.
    property Item owner: null
    property alias picker: picker
    property Item flickable: null

    function nearestFlickable() {
        for (let item = owner ? owner.parent : null; item; item = item.parent) {
            if (item.contentY !== undefined && item.flickableDirection !== undefined)
                return item
        }
        return null
    }

    width: 210
    implicitHeight: 330
    padding: 0
    modal: false
    closePolicy: Popup.CloseOnEscape | Popup.CloseOnPressOutside

    onOpened: flickable = nearestFlickable()
    onClosed: flickable = null

    background: Rectangle {
        color: Colors.popup
        radius: 8
    }

    contentItem: ColorPicker {
        id: picker
        objectName: "picker"
    }

    Connections {
        target: popup.flickable
        enabled: popup.visible
        function onContentYChanged() {
            popup.close()
        }
    }
}
