import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// What the two application combo boxes share: rows with an icon and a name,
// the tick on the current row, and the list popup under the box.
ComboBox {
    id: control

    property real rowWidth: width
    property real nameWidth: width - 60
    property real popupX: 0
    property real popupWidth: width + 10
    // Icon address and shown name of a row's record.
    property var rowIcon: function(record) { return "" }
    property var rowText: function(record) { return record.name }
    // When set, a row's own click calls it (index, record) and the base
    // selection logic does not run.
    property var rowClicked: null

    textRole: "name"
    font.pixelSize: 16
    Layout.alignment: Qt.AlignRight

    indicator: Image {
        x: control.width - width - 10
        y: control.topPadding + (control.availableHeight - height) / 2
        sourceSize: Qt.size(10, 6)
        source: "icons/down.svg"
    }

    delegate: ItemDelegate {
        id: row

        required property var modelData
        required property int index

        width: control.rowWidth
        height: control.height + 10
        padding: 0
        highlighted: control.highlightedIndex === index

        contentItem: Item {
            Row {
                anchors.left: parent.left
                anchors.leftMargin: 10
                anchors.verticalCenter: parent.verticalCenter
                spacing: 8

                Image {
                    objectName: "rowIcon"
                    width: 22
                    height: 22
                    fillMode: Image.PreserveAspectFit
                    sourceSize: Qt.size(22, 22)
                    source: control.rowIcon(row.modelData)
                }

                Text {
                    objectName: "rowText"
                    width: control.nameWidth
                    anchors.verticalCenter: parent.verticalCenter
                    text: control.rowText(row.modelData)
                    color: Colors.text
                    font: control.font
                    elide: Text.ElideMiddle
                }
            }

            Image {
                anchors.right: parent.right
                anchors.rightMargin: 10
                anchors.verticalCenter: parent.verticalCenter
                sourceSize: Qt.size(15, 15)
                source: "icons/right2.svg"
                visible: control.currentIndex === row.index
            }
        }

        background: Rectangle {
            radius: 8
            color: row.hovered ? Colors.listHover : "transparent"
        }

        MouseArea {
            anchors.fill: parent
            enabled: control.rowClicked !== null
            onClicked: control.rowClicked(row.index, row.modelData)
        }
    }

    popup: Popup {
        x: control.popupX
        y: control.height + 5
        width: control.popupWidth
        implicitHeight: contentItem.implicitHeight + 10
        padding: 5

        contentItem: ListView {
            objectName: "appList"
            clip: true
            implicitHeight: 200
            model: control.popup.visible ? control.delegateModel : null
            currentIndex: control.highlightedIndex

            ScrollIndicator.vertical: ScrollIndicator {
                id: scrollIndicator
                contentItem: Rectangle {
                    implicitWidth: 6
                    implicitHeight: 6
                    radius: 3
                    color: Colors.textDisabled
                    opacity: scrollIndicator.active ? 1.0 : 0.3
                }
            }
        }

        background: Rectangle {
            color: Colors.popup
            radius: 12
        }
    }
}
