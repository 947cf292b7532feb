import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import MediaControls
import VeloranDeck
import VeloranDeckTranslation

// How to reach support: a page for the Simplified-Chinese interface and an
// international one for every other language.
WindowFrame {
    id: customerWindow
    objectName: "customerWindow"

    title: qsTr("客服")
    width: 540
    height: 430
    minimumWidth: 540
    maximumWidth: 540
    minimumHeight: 430
    maximumHeight: 430
    visible: false
    modality: Qt.ApplicationModal

    component FieldLabel: Text {
        color: Colors.text
        font.pixelSize: 16
        font.weight: 500
        font.bold: true
        Layout.topMargin: 20
    }

    component Value: Text {
        color: Colors.text
        font.pixelSize: 16
    }

    component Panel: Rectangle {
        default property alias items: panelColumn.data
        color: Colors.panel
        radius: 8
        Layout.topMargin: 10
        Layout.fillWidth: true
        Layout.fillHeight: true

        ColumnLayout {
            id: panelColumn
            anchors.fill: parent
            anchors.margins: 20
            spacing: 0
        }
    }

    Item {
        Rectangle {
            anchors.fill: parent
            anchors.margins: 20
            color: "transparent"

            StackLayout {
                id: stackLayout
                objectName: "stackLayout"
                anchors.fill: parent

                function pageForLanguage() {
                    return TranslationManager.getCurrentLanguageIndex() === 0 ? 0 : 1
                }

                Component.onCompleted: currentIndex = pageForLanguage()

                Connections {
                    target: TranslationManager
                    function onLanguageChanged(languageCode) {
                        console.log("CustomerWindow: Language changed to", languageCode)
                        stackLayout.currentIndex = stackLayout.pageForLanguage()
                    }
                }

                ColumnLayout {
                    objectName: "chinesePage"
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    spacing: 0

                    Text {
                        text: qsTr("联系我们")
                        color: Colors.text
                        font.pixelSize: 16
                        font.bold: true
                    }
                    Text {
                        text: qsTr("周一到周日：9:00-12:00，13:00-18:00 (GMT+8)")
                        color: Colors.text
                        font.pixelSize: 14
                        opacity: 0.5
                    }
                    Panel {
                        Text {
                            text: qsTr("电话")
                            color: Colors.text
                            font.pixelSize: 16
                            font.bold: true
                        }
                        Value {
                            text: qsTr("400-000-0000")
                        }
                        FieldLabel {
                            text: qsTr("企业微信（请扫码添加客服）")
                        }
                        Rectangle {
                            color: "transparent"
                            Layout.preferredWidth: 100
                            Layout.preferredHeight: 100

                            Image {
                                objectName: "qrCode"
                                width: 100
                                height: 100
                                fillMode: Image.PreserveAspectFit
                                source: TvConfig.iconUrl("icons/erweima.png")
                            }
                        }
                        FieldLabel {
                            text: qsTr("邮箱")
                        }
                        Value {
                            text: qsTr("support@example.com")
                            Layout.fillWidth: true
                            Layout.fillHeight: true
                        }
                    }
                }

                ColumnLayout {
                    objectName: "internationalPage"
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    spacing: 0

                    Text {
                        text: qsTr("Support")
                        color: Colors.text
                        font.pixelSize: 16
                        font.bold: true
                    }
                    Text {
                        text: qsTr("Mon to Sun.9:00-12:00,13:00-18:30 (GMT+8)")
                        color: Colors.text
                        font.pixelSize: 14
                        opacity: 0.5
                    }
                    Panel {
                        Rectangle {
                            objectName: "onlineSupport"
                            color: "transparent"
                            Layout.fillWidth: true
                            Layout.preferredHeight: 30

                            Text {
                                anchors.verticalCenter: parent.verticalCenter
                                text: qsTr("Online Support")
                                color: Colors.text
                                font.pixelSize: 16
                                font.bold: true
                            }
                            MouseArea {
                                anchors.fill: parent
                                hoverEnabled: true
                                cursorShape: Qt.PointingHandCursor
                                onClicked: Qt.openUrlExternally(NetworkMgr.custome_url)
                            }
                        }
                        FieldLabel {
                            text: qsTr("WhatsApp")
                        }
                        Value {
                            text: qsTr("+1 555 0100")
                        }
                        FieldLabel {
                            text: qsTr("Email")
                        }
                        Value {
                            text: qsTr("support@example.com")
                            Layout.fillWidth: true
                            Layout.fillHeight: true
                        }
                    }
                }
            }
        }
    }
}
