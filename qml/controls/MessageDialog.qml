import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// A slim, non-modal prompt near the top of its window: a message, a cancel
// and a confirm button. Only its buttons close it.
Popup {
    id: messageDialog

    property string title: qsTr("有新版本可升级,是否重启并升级软件?")
    property string cancelText: qsTr("取消")
    property string confirmText: qsTr("立即升级")
    property color dialogColor: Colors.dialog

    signal confirmed()
    signal cancelled()

    function showCustomDialog(msg) {
        title = msg
        open()
    }

    height: 55
    width: parent ? Math.min(parent.width - 40, 900) : 600
    x: parent ? (parent.width - width) / 2 : 0
    y: 20
    z: 1000
    modal: false
    closePolicy: Popup.NoAutoClose
    padding: 12

    background: Rectangle {
        color: messageDialog.dialogColor
        radius: 8
    }

    contentItem: RowLayout {
        spacing: 5

        Image {
            source: "icons/info2.svg"
            sourceSize: Qt.size(20, 20)
            fillMode: Image.PreserveAspectFit
            Layout.preferredHeight: 20
            Layout.preferredWidth: 20
        }

        Text {
            text: messageDialog.title
            color: Colors.text
            font.pixelSize: 16
            wrapMode: Text.WordWrap
            verticalAlignment: Text.AlignVCenter
            elide: Text.ElideRight
            Layout.fillWidth: true
            Layout.fillHeight: true
        }

        Row {
            spacing: 10
            Layout.leftMargin: 30
            Layout.alignment: Qt.AlignVCenter

            Repeater {
                model: [
                    { text: messageDialog.cancelText, confirm: false },
                    { text: messageDialog.confirmText, confirm: true }
                ]
                delegate: Button {
                    id: button
                    objectName: modelData.confirm ? "confirmButton" : "cancelButton"
                    text: modelData.text
                    height: 26
                    leftPadding: 8
                    rightPadding: 8
                    topPadding: 0
                    bottomPadding: 0
                    width: implicitContentWidth + leftPadding + rightPadding
                    background: Rectangle {
                        color: "transparent"
                        border.color: Colors.border
                        border.width: 1
                        radius: 5
                    }
                    contentItem: Text {
                        text: button.text
                        color: Colors.text
                        font.pixelSize: 14
                        horizontalAlignment: Text.AlignHCenter
                        verticalAlignment: Text.AlignVCenter
                    }
                    onClicked: {
                        if (modelData.confirm)
                            messageDialog.confirmed()
                        else
                            messageDialog.cancelled()
                        messageDialog.close()
                    }
                }
            }
        }
    }
}
