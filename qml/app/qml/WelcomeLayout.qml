import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import MediaControls
import VeloranDeck

// The first page of the main window: greets the user, shows the connected
// microphone and leads on to the control page once the device has reported
// itself completely. The same page hosts the firmware upgrade screen.
Rectangle {
    id: welcomeLayout
    color: "transparent"

    property bool isUpdateFirmware: false
    property string downloadUrl: ""
    property bool deviceConnectedState: false
    property string connectedDeviceName: ""
    property bool deviceLostWhileUpgrading: false

    // "" is as missing as "N/A": an empty name must not read as connected.
    function reported(value) {
        return value != null && value != "N/A" && String(value).length > 0
    }

    // The bar never leaves 0..1, whatever a report or a download says.
    function setProgress(fraction) {
        const value = Number(fraction)
        progressBar.value = isFinite(value) ? Math.min(1, Math.max(0, value)) : 0
    }

    function showProgressView() {
        progressBar.visible = true
        upgradeMessageView.visible = false
        resetText.visible = true
        btn1.visible = false
        btn2.visible = false
        btn3.visible = false
        resetText.text = qsTr("升级中")
    }

    function showResultView(text, cancel, ok, retry) {
        progressBar.visible = false
        upgradeMessageView.visible = true
        resetText.visible = true
        resetText.text = text
        btn1.visible = cancel
        btn2.visible = ok
        btn3.visible = retry
    }

    function showDownloadFailed() { showResultView(qsTr("失败"), true, false, true) }
    function showUpgradeFailed() { showResultView(qsTr("升级失败"), true, false, true) }

    function storedFirmwarePath() {
        const path = ConfigMgr.getValue(ConfigMgr.keys.upgradeFirmwareFilePath)
        return path === undefined || path === null ? "" : String(path)
    }

    function onUpgradeRequest(url) {
        isUpdateFirmware = true
        stackView.pop()
        downloadUrl = url === undefined || url === null ? "" : String(url)
        progressBar.visible = true
        upgradeMessageView.visible = false
        downloadFirmwareFile(downloadUrl)
    }

    function downloadFirmwareFile(url) {
        // A watchdog left from an earlier installation must not fail this
        // download; it starts again when the image is handed over.
        upgradeTimeoutTimer.stop()
        setProgress(0)
        ConfigMgr.setValue(ConfigMgr.keys.upgradeFirmwareFilePath, "")
        if (!url) {
            console.warn("升级包下载失败:", "empty url")
            showDownloadFailed()
            return
        }
        resetText.text = qsTr("升级中")
        let path = ""
        path = NetworkMgr.downloadFile(url, function(isSuccess, response) {
            if (!isSuccess) {
                console.warn("升级包下载失败:", JSON.stringify(response))
                showDownloadFailed()
                return
            }
            console.log("升级包下载成功:", path)
            ConfigMgr.setValue(ConfigMgr.keys.upgradeFirmwareFilePath, path)
            showProgressView()
            setProgress(0)
            upgradeTimeoutTimer.restart()
            HIDDeviceMgr.upgradeFirmware(path)
        }, function(bytesReceived, bytesTotal) {
            // An unknown size (total -1 or 0) keeps the bar where it is.
            setProgress(bytesTotal > 0 ? bytesReceived / bytesTotal : 0)
        }, function(errorCode) {
            showDownloadFailed()
            console.warn("升级包下载失败:", errorCode)
            setProgress(0)
        })
    }

    function startUpgradeFirmware() {
        const path = storedFirmwarePath()
        if (path.length === 0) {
            console.log("升级固件文件路径为空")
            return
        }
        isUpdateFirmware = true
        showProgressView()
        setProgress(0)
        upgradeTimeoutTimer.restart()
        HIDDeviceMgr.upgradeFirmware(path)
    }

    function onProgressReport(progress, message) {
        upgradeTimeoutTimer.restart()
        const text = typeof message === "string" ? message : ""
        if (text.indexOf("失败") >= 0 || text.indexOf("不可以") >= 0) {
            upgradeTimeoutTimer.stop()
            showUpgradeFailed()
            return
        }
        setProgress(progress / 100)
        if (progress === 100) {
            upgradeTimeoutTimer.stop()
            showResultView(qsTr("升级成功"), false, true, false)
        }
    }

    // A device that restarted early in the installation gets the image again,
    // once per return: the manager reports a connection complete several
    // times (login, name, serial), and each new start would restart the run.
    function applyReconnectRule() {
        const returned = deviceLostWhileUpgrading
        deviceLostWhileUpgrading = false
        if (!returned || !isUpdateFirmware || !progressBar.visible || progressBar.value >= 0.05)
            return
        const path = storedFirmwarePath()
        if (path.length === 0)
            return
        console.log("[Upgrade] 设备重连，自动重新触发升级:", path)
        upgradeTimeoutTimer.restart()
        HIDDeviceMgr.upgradeFirmware(path)
    }

    function leaveUpgrade() {
        isUpdateFirmware = false
        HIDDeviceMgr.startAndConnectDevice()
    }

    Timer {
        id: upgradeTimeoutTimer
        objectName: "upgradeTimeoutTimer"
        interval: 60000
        repeat: false
        onTriggered: {
            if (!welcomeLayout.isUpdateFirmware)
                return
            console.warn("[Upgrade] 升级超时未收到任何进度回调，判定升级失败")
            welcomeLayout.showUpgradeFailed()
        }
    }

    MessageListener {
        messageTypes: [MessageBus.messageTypes.UPDATE_FIRMWARE]
        onMessage: function(messageType, url) { welcomeLayout.onUpgradeRequest(url) }
    }

    Image {
        id: deviceImage
        objectName: "deviceImage"
        anchors.centerIn: parent
        // Natural size where the page holds it; a page made smaller to fit
        // the screen shrinks the picture (aspect kept) to the band between
        // the heading and the box below, so that it covers neither.
        readonly property Item above: welcomeLayout.isUpdateFirmware ? upgradeTitle
                                                                    : statusText.visible ? statusText : title
        readonly property Item below: welcomeLayout.isUpdateFirmware ? upgradeBox : homeBox
        readonly property real band: 2 * Math.min(welcomeLayout.height / 2 - (above.parent.y + above.y + above.height),
                                                  below.parent.y + below.y - welcomeLayout.height / 2)
        width: Math.min(implicitWidth, welcomeLayout.width)
        height: Math.max(0, Math.min(implicitHeight, band))
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
            sourceSize: Qt.size(120, 28)
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
            color: Colors.text
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
            color: Colors.text
            wrapMode: Text.WordWrap
            horizontalAlignment: Text.AlignHCenter
        }

        Item {
            Layout.fillWidth: true
            Layout.fillHeight: true
        }

        Rectangle {
            id: homeBox
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
                color: Colors.text
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

    ColumnLayout {
        objectName: "upgradeView"
        anchors.fill: parent
        anchors.margins: 30
        visible: welcomeLayout.isUpdateFirmware

        Image {
            sourceSize: Qt.size(120, 28)
            source: TvConfig.iconUrl("icons/tarvo.svg")
        }

        Text {
            id: upgradeTitle
            objectName: "upgradeTitle"
            Layout.fillWidth: true
            Layout.topMargin: 30
            text: welcomeLayout.deviceConnectedState ? welcomeLayout.connectedDeviceName
                                                     : qsTr("连接你的 Veloran 设备")
            font.pixelSize: 35
            font.bold: true
            color: Colors.text
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
        }

        Item {
            Layout.fillWidth: true
            Layout.fillHeight: true
        }

        Rectangle {
            id: upgradeBox
            Layout.preferredWidth: 500
            Layout.preferredHeight: 150
            Layout.bottomMargin: 20
            Layout.alignment: Qt.AlignHCenter
            color: "transparent"

            Text {
                id: resetText
                objectName: "resetText"
                anchors.top: parent.top
                anchors.horizontalCenter: parent.horizontalCenter
                text: qsTr("升级中")
                color: Colors.text
                font.pixelSize: 20
                wrapMode: Text.WordWrap
            }

            CustomProgress {
                id: progressBar
                objectName: "progressBar"
                anchors.horizontalCenter: parent.horizontalCenter
                y: 40
                width: upgradeBox.width - 60
                mainText.text: HIDDeviceMgr.isR7()
                               ? qsTr("请不要断开设备连接或关闭应用。\n升级期间监听比灯亮属于正常自检，不会修改设置。")
                               : qsTr("请不要断开设备连接或关闭应用")
            }

            Column {
                id: upgradeMessageView
                objectName: "upgradeMessageView"
                anchors.fill: parent
                anchors.topMargin: 60
                spacing: 30
                visible: false

                Row {
                    anchors.horizontalCenter: parent.horizontalCenter
                    spacing: 20

                    TvButton {
                        id: btn1
                        objectName: "btn1"
                        height: 40
                        type: 1
                        visible: false
                        text: qsTr("取消")
                        onClicked: welcomeLayout.leaveUpgrade()
                    }
                    TvButton {
                        id: btn2
                        objectName: "btn2"
                        height: 40
                        visible: false
                        text: qsTr("确定")
                        onClicked: welcomeLayout.leaveUpgrade()
                    }
                    TvButton {
                        id: btn3
                        objectName: "btn3"
                        height: 40
                        visible: false
                        text: qsTr("重试")
                        onClicked: {
                            progressBar.visible = true
                            upgradeMessageView.visible = false
                            if (welcomeLayout.downloadUrl.length > 0)
                                welcomeLayout.downloadFirmwareFile(welcomeLayout.downloadUrl)
                            else
                                welcomeLayout.startUpgradeFirmware()
                        }
                    }
                }
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
                welcomeLayout.applyReconnectRule()
            } else if (!connected) {
                welcomeLayout.deviceConnectedState = false
                welcomeLayout.connectedDeviceName = ""
                if (welcomeLayout.isUpdateFirmware) {
                    welcomeLayout.deviceLostWhileUpgrading = true
                    console.log("[Upgrade] 升级过程中设备断开，等待自动重连或超时")
                    return
                }
                stackView.pop()
                statusText.visible = false
                button.visible = false
                desc.visible = true
                MessageDialogMgr.closeDialogsByKind("firmware")
            }
        }

        function onUpgradeFirmwareProgress(progress, message) { welcomeLayout.onProgressReport(progress, message) }
        function onUpgradeFirmwareSignal() { welcomeLayout.startUpgradeFirmware() }
    }

    Component.onCompleted: MessageDialogMgr.startupAppUpdateCheck()
}
