import QtQuick
import QtQuick.Controls

// One colour: a box showing it, the picker in a popup, and a reset.
Item {
    id: root

    property color defaultColor: Colors.accent
    property color selectedColor: defaultColor

    signal colorChanged(string newColor)
    signal changeComplete(string newColor, bool isReset)

    function reset() {
        selectedColor = defaultColor
        popup.picker.selectedColor = selectedColor
        popup.picker.flushToColor(selectedColor)
        colorChanged(selectedColor.toString())
        changeComplete(selectedColor.toString(), true)
    }

    implicitWidth: 200
    implicitHeight: 32

    Row {
        anchors.fill: parent
        spacing: 10

        ComboBox {
            id: box
            objectName: "box"
            width: parent.width - resetButton.width - parent.spacing
            height: 32
            font.pixelSize: 16
            model: [root.selectedColor]

            background: Rectangle {
                color: "transparent"
                border.width: 1
                border.color: Colors.border
                radius: 6
                opacity: 0.5
            }

            indicator: Image {
                x: box.width - width - 10
                anchors.verticalCenter: parent.verticalCenter
                sourceSize: Qt.size(10, 6)
                source: "icons/down.svg"
            }

            contentItem: Item {
                Rectangle {
                    objectName: "colorBar"
                    x: 5
                    width: box.availableWidth - 30
                    height: 20
                    radius: 4
                    anchors.verticalCenter: parent.verticalCenter
                    color: root.selectedColor
                }
            }

            popup: ColorPopup {
                id: popup
                objectName: "popup"
                owner: root
                y: box.height + 3

                onAboutToShow: {
                    picker.selectedColor = root.selectedColor
                    picker.flushToColor(root.selectedColor)
                }
                onClosed: root.changeComplete(root.selectedColor.toString(), false)

                Connections {
                    target: popup.picker
                    function onColorSelected(newColor) {
                        root.selectedColor = newColor
                        root.colorChanged(newColor)
                    }
                }
            }
        }

        CustomButtonRect {
            id: resetButton
            objectName: "resetButton"
            width: 30
            height: 30
            anchors.verticalCenter: parent.verticalCenter
            isSelect: false
            src: "icons/flush.svg"
            iconSize: Qt.size(16, 16)
            onClick: root.reset()
        }
    }
}
