import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import MediaControls
import VeloranDeck

// The first page of the main window: greets the user, shows the connected
// microphone and leads on to the control page once the device has reported
// itself completely.
Rectangle {
    id: welcomeLayout
    color: "transparent"

    property bool isUpdateFirmware: false
    property string downloadUrl: ""
    property bool deviceConnectedState: false
    property string connectedDeviceName: ""

    // "" is as missing as "N/A": an empty name must not read as connected.
    function reported(value) {
        return value != null && value != "N/A" && String(value).length > 0
    }

    Image {
        id: deviceImage
        objectName: "deviceImage"
        anchors.centerIn: parent
        fillMode: Image.PreserveAspectFit
        // The product id is read first, so a change of model alone
        // re-evaluates the picture.
        source: {
            const dpid = HIDDeviceMgr.deviceDPID
            if (welcomeLayout.isUpdateFirmware)
                return TvConfig.getDeviceImage(1)
            if (welcomeLayout.deviceConnectedState)
                return TvConfig.getDeviceImage(0)
            return TvConfig.iconUrl("icons/home_img.png")
        }
    }

    ColumnLayout {
        objectName: "homeView"
        anchors.fill: parent
        anchors.margins: 30
        visible: !welcomeLayout.isUpdateFirmware

        Image {
            source: TvConfig.iconUrl("icons/tarvo.svg")
        }

        Text {
            id: title
            objectName: "title"
            Layout.fillWidth: true
            Layout.topMargin: 30
            text: welcomeLayout.deviceConnectedState ? welcomeLayout.connectedDeviceName
                                                     : qsTr("连接你的 Veloran 设备")
            font.pixelSize: 35
            font.bold: true
            color: "#ffffff"
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
        }

        Text {
            id: statusText
            objectName: "statusText"
            Layout.fillWidth: true
            visible: false
            text: qsTr("已连接")
            font.pixelSize: 20
            color: "#ffffff"
            wrapMode: Text.WordWrap
            horizontalAlignment: Text.AlignHCenter
        }

        Item {
            Layout.fillWidth: true
            Layout.fillHeight: true
        }

        Rectangle {
            Layout.preferredWidth: 500
            Layout.preferredHeight: 100
            Layout.bottomMargin: 20
            Layout.alignment: Qt.AlignHCenter
            color: "transparent"

            Text {
                id: desc
                objectName: "desc"
                anchors.fill: parent
                text: qsTr("Veloran Deck 可将你的兼容设备变身为强大中枢\n支持低延迟混音，体验高清音质，享受每一次声音表达")
                font.pixelSize: 20
                color: "#ffffff"
                wrapMode: Text.WordWrap
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
            }

            TvButton {
                id: button
                objectName: "button"
                height: 50
                anchors.horizontalCenter: parent.horizontalCenter
                visible: false
                text: qsTr("开启高清音质之旅")
                onClicked: stackView.push("MainLayout.qml")
            }
        }
    }

    Connections {
        target: HIDDeviceMgr

        function onDeviceConnected(deviceInfo, connected) {
            const info = deviceInfo ? deviceInfo : ({})
            console.log("deviceInfo:  " + info.name)
            if (connected && welcomeLayout.reported(info.name) && welcomeLayout.reported(info.sn)) {
                welcomeLayout.deviceConnectedState = true
                welcomeLayout.connectedDeviceName = String(info.name)
                statusText.visible = true
                button.visible = true
                desc.visible = false
            } else if (!connected) {
                welcomeLayout.deviceConnectedState = false
                welcomeLayout.connectedDeviceName = ""
                if (welcomeLayout.isUpdateFirmware)
                    return
                stackView.pop()
                statusText.visible = false
                button.visible = false
                desc.visible = true
                MessageDialogMgr.closeDialogsByKind("firmware")
            }
        }
    }

    Component.onCompleted: MessageDialogMgr.startupAppUpdateCheck()
}
