import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// Drop-down list of strings.
ComboBox {
    id: control

    // Also emitted for programmatic changes, but only for a valid index.
    signal itemSelected(int index, string text)

    currentIndex: 0
    font.pixelSize: 16
    Layout.alignment: Qt.AlignRight

    onCurrentIndexChanged: {
        if (currentIndex >= 0 && currentIndex < count) {
            // displayText still holds the previous entry at this point, so
            // the text is taken from the model.
            itemSelected(currentIndex, textAt(currentIndex))
        }
    }

    background: Rectangle {
        implicitWidth: 140
        implicitHeight: 40
        color: Colors.field
        border.width: 1
        border.color: Colors.border
        radius: 8
        opacity: 0.5
    }

    contentItem: Text {
        leftPadding: 10
        rightPadding: 30
        text: control.displayText
        font: control.font
        color: Colors.text
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideRight
        wrapMode: Text.NoWrap
    }

    indicator: Image {
        x: control.width - width - 10
        y: control.topPadding + (control.availableHeight - height) / 2
        sourceSize: Qt.size(10, 6)
        source: "icons/down.svg"
    }

    delegate: ItemDelegate {
        id: entry

        required property var modelData
        required property int index

        width: control.width
        height: control.height
        padding: 0
        leftPadding: 30
        highlighted: control.highlightedIndex === index

        contentItem: Text {
            text: entry.modelData
            font: control.font
            color: Colors.text
            verticalAlignment: Text.AlignVCenter
            elide: Text.ElideRight
        }

        background: Rectangle {
            radius: 8
            color: entry.hovered ? Colors.listHover : "transparent"
        }

        Image {
            x: 10
            anchors.verticalCenter: parent.verticalCenter
            sourceSize: Qt.size(15, 15)
            source: "icons/right2.svg"
            visible: control.currentIndex === entry.index
        }
    }

    popup: Popup {
        y: control.height + 5
        // Every window has its 30 px title bar on top: a list too long for
        // the room below moves up only as far as that bar, and scrolls.
        topMargin: 30
        bottomMargin: 5
        width: control.width + 10
        implicitHeight: contentItem.implicitHeight + 10
        padding: 5

        contentItem: ListView {
            clip: true
            implicitHeight: contentHeight
            model: control.popup.visible ? control.delegateModel : null
            currentIndex: control.highlightedIndex

            ScrollIndicator.vertical: ScrollIndicator {
                id: scrollIndicator
                contentItem: Rectangle {
                    implicitWidth: 6
                    radius: 3
                    color: Colors.textDisabled
                    opacity: scrollIndicator.active ? 1 : 0.3
                }
            }
        }

        background: Rectangle {
            color: Colors.popup
            radius: 8
            clip: true
        }
    }
}
