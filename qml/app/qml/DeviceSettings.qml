import QtQuick
import QtQuick.Layouts
import MediaControls
import VeloranDeck

// The device drawer's page: the connected device with its picture, serial
// number and firmware version, and its settings in tabs. The T40 has no
// lighting tab; its pages stay in one stack all the same.
Rectangle {
    id: deviceSettings
    objectName: "deviceSettings"

    readonly property bool isT40: HIDDeviceMgr.isT40()
    readonly property var tabNames: isT40 ? [qsTr("话筒"), qsTr("监听"), qsTr("通用")]
                                          : [qsTr("话筒"), qsTr("监听"), qsTr("灯光"), qsTr("通用")]
    // Positions of the T40's buttons in the stack of all four pages.
    readonly property var t40Pages: [0, 1, 3]
    readonly property int stackIndex: isT40 ? t40Pages[Math.min(tabRow.selectIndex, t40Pages.length - 1)]
                                            : tabRow.selectIndex
    property alias tabRow: tabRow

    // The back button: the control page closes its drawer.
    signal backClicked()

    color: Colors.panel

    // The general tab is the T40's last one too.
    onIsT40Changed: {
        if (isT40 && tabRow.selectIndex >= t40Pages.length)
            tabRow.selectIndex = t40Pages.length - 1
    }

    Item {
        anchors.fill: parent
        anchors.leftMargin: 20
        anchors.rightMargin: 20

        Row {
            id: header
            objectName: "header"
            width: parent.width
            height: 24
            spacing: 20

            CustomButtonRect {
                objectName: "backButton"
                width: 24
                height: 24
                radius: 4
                rotation: 180
                isSelect: false
                src: TvConfig.iconUrl("icons/left.svg")
                iconSize: Qt.size(24, 24)
                onClick: {
                    console.log("返回按钮被点击")
                    deviceSettings.backClicked()
                }
            }

            Text {
                objectName: "deviceName"
                anchors.verticalCenter: parent.verticalCenter
                text: HIDDeviceMgr.deviceName
                color: Colors.text
                font.pixelSize: 20
                font.bold: true
            }
        }

        Item {
            id: pictureBox
            anchors.top: header.bottom
            width: parent.width
            height: 200 + 40

            Image {
                objectName: "deviceImage"
                anchors.fill: parent
                anchors.margins: 20
                fillMode: Image.PreserveAspectFit
                sourceSize: Qt.size(width, height)
                source: TvConfig.getDeviceImage(0)
            }
        }

        Row {
            id: infoRow
            anchors.top: pictureBox.bottom
            anchors.horizontalCenter: parent.horizontalCenter
            height: 18
            spacing: 8

            Text {
                objectName: "infoText"
                anchors.verticalCenter: parent.verticalCenter
                text: "SN:" + HIDDeviceMgr.deviceSN + "    " + HIDDeviceMgr.deviceVersion
                color: Colors.text
                opacity: 0.5
                font.pixelSize: 12
            }

            Rectangle {
                objectName: "firmwareBadge"
                visible: HIDDeviceMgr.hasNewFirmware
                width: badgeText.implicitWidth + 14
                height: 18
                radius: 9
                color: Colors.badge

                Text {
                    id: badgeText
                    anchors.centerIn: parent
                    text: qsTr("新版本")
                    color: Colors.text
                    font.pixelSize: 11
                    font.bold: true
                }
            }
        }

        Row {
            id: tabRow
            objectName: "tabRow"
            property int selectIndex: 0
            anchors.top: infoRow.bottom
            anchors.topMargin: 20
            anchors.horizontalCenter: parent.horizontalCenter
            height: 35
            spacing: 10

            Repeater {
                model: deviceSettings.tabNames

                Rectangle {
                    objectName: "tabButton" + index
                    readonly property bool selected: tabRow.selectIndex === index
                    width: Math.max(label.contentWidth + 10, 60)
                    height: 35
                    radius: 4
                    color: selected ? Colors.accent : "transparent"
                    border.width: tabArea.containsMouse ? 1 : 0
                    border.color: Colors.borderFaint

                    Text {
                        id: label
                        anchors.fill: parent
                        leftPadding: 5
                        rightPadding: 5
                        text: modelData
                        color: Colors.text
                        opacity: parent.selected ? 1 : 0.3
                        font.pixelSize: 14
                        horizontalAlignment: Text.AlignHCenter
                        verticalAlignment: Text.AlignVCenter
                    }

                    MouseArea {
                        id: tabArea
                        anchors.fill: parent
                        hoverEnabled: true
                        onClicked: {
                            tabRow.selectIndex = index
                            console.log("当前选中的下标:", index)
                        }
                    }
                }
            }
        }

        StackLayout {
            objectName: "tabStack"
            anchors.top: tabRow.bottom
            anchors.topMargin: 10
            anchors.bottom: parent.bottom
            width: parent.width
            currentIndex: deviceSettings.stackIndex

            MicrophoneTab {}
            MonitorTab {}
            LightingTab {}
            GeneralTab {}
        }
    }
}
