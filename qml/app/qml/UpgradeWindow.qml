import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import MediaControls
import VeloranDeck
import VeloranDeckSystemBridge
import VeloranDeckTranslation

// Shown when a downloaded installer could not be started: the download page
// or a restart. Only hidden when closed, so its owner can show it again.
WindowFrame {
    id: upgradeWindow
    objectName: "upgradeWindow"

    title: qsTr("软件升级")
    width: 500
    height: 300
    minimumWidth: 500
    maximumWidth: 500
    minimumHeight: 300
    maximumHeight: 300
    visible: false
    modality: Qt.ApplicationModal

    Item {
        Item {
            id: content
            anchors.fill: parent
            anchors.margins: 20

            Text {
                objectName: "messageText"
                anchors.top: parent.top
                anchors.topMargin: 60
                anchors.horizontalCenter: parent.horizontalCenter
                width: parent.width - 60
                text: qsTr("在升级过程中发生错误，建议您重新启动应用，或从官网下载最新版手动安装。")
                color: Colors.text
                font.pixelSize: 16
                wrapMode: Text.Wrap
            }

            Row {
                id: buttonRow
                anchors.right: parent.right
                anchors.bottom: parent.bottom
                spacing: 20

                TvButton {
                    objectName: "downloadButton"
                    // A long translation gets what the restart button leaves
                    // of the row, and its text shrinks to that.
                    width: Math.min(implicitWidth, content.width - buttonRow.spacing - restartButton.width)
                    height: 40
                    type: 1
                    leftPadding: 16
                    rightPadding: 16
                    text: qsTr("前往官网下载")
                    onClicked: Qt.openUrlExternally(TranslationManager.getCurrentLanguageIndex() === 0
                                                    ? NetworkMgr.default_url : NetworkMgr.default_url_en)
                }

                TvButton {
                    id: restartButton
                    objectName: "restartButton"
                    height: 40
                    leftPadding: 16
                    rightPadding: 16
                    text: qsTr("立即重启")
                    onClicked: SystemBridge.restartApplication()
                }
            }
        }
    }
}
