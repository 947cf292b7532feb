import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import MediaControls
import VeloranDeck
import VeloranDeckTranslation

// Preferences: update state and check, automatic install, language, usage
// data. The update logic and state belong to MessageDialogMgr; every switch
// is stored the moment it changes.
WindowFrame {
    id: settingsWindow
    objectName: "settingsWindow"

    title: qsTr("设置")
    width: 600
    height: 450
    minimumWidth: 600
    maximumWidth: 600
    minimumHeight: 450
    maximumHeight: 450
    visible: false
    modality: Qt.ApplicationModal

    component Header: Text {
        color: Colors.text
        font.pixelSize: 14
        font.bold: true
        opacity: 0.5
    }

    component Panel: Rectangle {
        color: Colors.panel
        radius: 8
        Layout.topMargin: 10
        Layout.fillWidth: true
    }

    component WhiteText: Text {
        color: Colors.text
        font.pixelSize: 16
    }

    Item {
        Rectangle {
            anchors.fill: parent
            anchors.margins: 20
            color: "transparent"

            ColumnLayout {
                anchors.fill: parent
                spacing: 0

                Header {
                    text: qsTr("关于 Veloran Deck")
                }

                Panel {
                    objectName: "aboutPanel"
                    Layout.fillHeight: true

                    // Rows share the spare height but never shrink below
                    // their wrapped texts, whatever the language.
                    ColumnLayout {
                        anchors.fill: parent
                        anchors.margins: 20
                        spacing: 10

                        RowLayout {
                            id: checkUpdateRow
                            objectName: "checkUpdateRow"
                            Layout.fillWidth: true
                            Layout.fillHeight: true
                            Layout.minimumHeight: Math.max(textColumn.implicitHeight, 32)

                            // Checks without a dialog; what comes of it shows
                            // through the manager's state.
                            function checkUpdate() {
                                MessageDialogMgr.checkAppUpdate({
                                    showDialog: false,
                                    onNoUpdate: function() {},
                                    onError: function() {},
                                    onDownloaded: function() {},
                                    onCancelled: function() {}
                                })
                            }

                            function description(stat) {
                                switch (stat) {
                                case 1:
                                    return qsTr("正在检测更新")
                                case 2:
                                    return qsTr("新版本下载失败，请检查网络环境或稍后重试")
                                case 3:
                                    return qsTr("新版本 %1 下载完成，重新启动以进行升级").arg(MessageDialogMgr.newVersionInfo)
                                case 4:
                                    return qsTr("正在下载新版本 %1").arg(MessageDialogMgr.newVersionInfo)
                                default:
                                    return Application.name + " " + qsTr("当前已是最新版本")
                                }
                            }

                            function buttonText(stat) {
                                if (stat === 2)
                                    return qsTr("重试")
                                if (stat === 3)
                                    return qsTr("立即更新")
                                return qsTr("检查更新")
                            }

                            Rectangle {
                                color: "transparent"
                                Layout.preferredWidth: 20
                                Layout.preferredHeight: 20
                                Layout.alignment: Qt.AlignTop
                                Layout.topMargin: 5

                                CustomStatBox {
                                    id: statBox
                                    objectName: "statBox"
                                    width: 18
                                    height: 18
                                    stat: MessageDialogMgr.appUpdateStat
                                }
                            }

                            Column {
                                id: textColumn
                                objectName: "textColumn"
                                Layout.alignment: Qt.AlignTop
                                Layout.fillWidth: true

                                WhiteText {
                                    id: descriptionText
                                    objectName: "descriptionText"
                                    width: textColumn.width - checkUpdateButton.width - 20
                                    wrapMode: Text.Wrap
                                    text: checkUpdateRow.description(statBox.stat)
                                }

                                WhiteText {
                                    id: currentVersionText
                                    objectName: "currentVersionText"
                                    text: Application.version
                                }
                            }

                            UpgradeWindow {
                                id: upgradeWindow
                            }

                            Rectangle {
                                color: "transparent"
                                Layout.preferredHeight: 32
                                Layout.preferredWidth: 0
                                Layout.alignment: Qt.AlignTop

                                BwButton {
                                    id: checkUpdateButton
                                    objectName: "checkUpdateButton"
                                    height: 32
                                    anchors.right: parent.right
                                    leftPadding: 16
                                    rightPadding: 16
                                    text: checkUpdateRow.buttonText(statBox.stat)
                                    enabled: statBox.stat !== 1 && statBox.stat !== 4
                                    onClicked: {
                                        if (statBox.stat !== 3) {
                                            checkUpdateRow.checkUpdate()
                                            return
                                        }
                                        if (!MessageDialogMgr.installAppPackage(MessageDialogMgr.downloadedFilePath))
                                            upgradeWindow.visible = true
                                    }
                                }
                            }
                        }

                        RowLayout {
                            Layout.fillWidth: true
                            Layout.fillHeight: true
                            Layout.minimumHeight: autoInstallColumn.implicitHeight

                            Rectangle {
                                color: "transparent"
                                Layout.preferredWidth: 20
                                Layout.preferredHeight: 20
                                Layout.alignment: Qt.AlignTop
                                Layout.topMargin: 5

                                CustomCheckBox {
                                    id: autoInstallCheckBox
                                    objectName: "autoInstallCheckBox"
                                    width: 18
                                    height: 18
                                    padding: 0
                                    checked: ConfigMgr.getValue(ConfigMgr.keys.auto_install)
                                    onClicked: ConfigMgr.setValue(ConfigMgr.keys.auto_install, checked)
                                }
                            }

                            Column {
                                id: autoInstallColumn
                                objectName: "autoInstallColumn"
                                Layout.fillWidth: true
                                Layout.fillHeight: true

                                WhiteText {
                                    text: qsTr("自动安装最新版本")
                                }

                                WhiteText {
                                    width: autoInstallColumn.width - 20
                                    font.pixelSize: 13
                                    wrapMode: Text.Wrap
                                    text: qsTr("如关闭自动安装，你仍会收到新版本提示，但需手动点击“立即升级”后才可升级")
                                }
                            }
                        }

                        RowLayout {
                            id: languageRow
                            objectName: "languageRow"
                            Layout.fillWidth: true
                            Layout.fillHeight: true

                            WhiteText {
                                Layout.fillWidth: true
                                text: qsTr("语言")
                            }

                            Rectangle {
                                color: "transparent"
                                Layout.preferredWidth: 130
                                Layout.preferredHeight: 32

                                // Every change of the index switches the
                                // language: building the list must only ever
                                // select the current one.
                                CustomComboBox {
                                    objectName: "languageComboBox"
                                    anchors.fill: parent
                                    model: ["中文", "繁體中文", "English", "日本語", "Русский", "Deutsch", "Français",
                                        "Español", "Italiano"]
                                    currentIndex: TranslationManager.getCurrentLanguageIndex()
                                    onItemSelected: function(index, text) {
                                        console.log("Setting language to:", index)
                                        TranslationManager.setLanguageIndex(index)
                                    }
                                }
                            }
                        }
                    }
                }

                Header {
                    Layout.topMargin: 20
                    text: qsTr("分析")
                }

                Panel {
                    objectName: "analyticsPanel"
                    Layout.preferredHeight: 90

                    Row {
                        id: shareRow
                        anchors.fill: parent
                        anchors.margins: 20
                        spacing: 10

                        CustomCheckBox {
                            id: shareDataCheckBox
                            objectName: "shareDataCheckBox"
                            width: 18
                            height: 18
                            padding: 0
                            checked: ConfigMgr.getValue(ConfigMgr.keys.share_data)
                            onClicked: ConfigMgr.setValue(ConfigMgr.keys.share_data, checked)
                        }

                        Column {
                            width: shareRow.width - 30
                            height: shareRow.height

                            WhiteText {
                                text: qsTr("与Veloran分享使用数据")
                            }

                            Rectangle {
                                objectName: "privacyLink"
                                width: parent.width
                                height: privacyText.height
                                color: "transparent"

                                WhiteText {
                                    id: privacyText
                                    text: qsTr("隐私政策")
                                    font.underline: true
                                }

                                MouseArea {
                                    anchors.fill: parent
                                    hoverEnabled: true
                                    cursorShape: Qt.PointingHandCursor
                                    onClicked: {
                                        const addresses = {
                                            "zh_CN": NetworkMgr.privacy_url_zh,
                                            "it_IT": NetworkMgr.privacy_url_it,
                                            "zh_TW": NetworkMgr.privacy_url_tw,
                                            "ru_RU": NetworkMgr.privacy_url_ru,
                                            "ja_JP": NetworkMgr.privacy_url_jp,
                                            "fr_FR": NetworkMgr.privacy_url_fr,
                                            "de_DE": NetworkMgr.privacy_url_de,
                                            "es_ES": NetworkMgr.privacy_url_es
                                        }
                                        const code = TranslationManager.getCurrentLanguage()
                                        Qt.openUrlExternally(Object.prototype.hasOwnProperty.call(addresses, code)
                                                             ? addresses[code] : NetworkMgr.privacy_url_en)
                                    }
                                }
                            }
                        }
                    }
                }
            }
        }
    }
}
