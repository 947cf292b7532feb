import QtQuick
import QtQuick.Controls
import MediaControls
import VeloranDeck

// Asks before a factory reset, resets the stored settings and the device,
// and reads the device back once it has had time to finish its own reset.
// Every close destroys the window, so each reset asks anew.
WindowFrame {
    id: resetWindow
    objectName: "resetWindow"

    title: qsTr("恢复出厂")
    width: 500
    height: 300
    minimumWidth: 500
    maximumWidth: 500
    minimumHeight: 300
    maximumHeight: 300
    visible: false
    modality: Qt.ApplicationModal

    // How long the device is given before it is read back.
    property int resetDuration: 3000
    // "asking", "resetting" or "done".
    property string phase: "asking"
    property bool closingStarted: false
    property real progressValue: 0
    // Outside the content, which the frame loads as a component of its own.
    property NumberAnimation progressAnimation: NumberAnimation {
        target: resetWindow
        property: "progressValue"
        from: 0
        to: 1
        duration: resetWindow.resetDuration
        easing.type: Easing.Linear
        onFinished: resetWindow.finish()
    }

    function loadView() {
        isDestroy = true
    }

    function confirm() {
        phase = "resetting"
        ConfigMgr.resetDeviceToDefaults()
        if (HIDDeviceMgr.isR7()) {
            console.log("发送恢复出产设置指令")
            HIDDeviceMgr.sendPriMessage(0x8004, [1])
        } else {
            HIDDeviceMgr.sendMessage(HIDDeviceMgr.attrs.reset_factory_settings, [1])
        }
        MessageBus.publishUpdateConfigMessage(true)
        progressAnimation.start()
    }

    function finish() {
        // A window closed meanwhile reads nothing back.
        if (closingStarted)
            return
        phase = "done"
        HIDDeviceMgr.syncDeviceInfo()
        MessageBus.publishUpdateConfigMessage(true)
    }

    onClosing: function(close) {
        closingStarted = true
        progressAnimation.stop()
    }

    Item {
        Item {
            anchors.fill: parent
            anchors.margins: 20

            Text {
                objectName: "question"
                visible: resetWindow.phase === "asking"
                anchors.top: parent.top
                anchors.topMargin: 60
                anchors.horizontalCenter: parent.horizontalCenter
                width: parent.width - 60
                text: qsTr("恢复出厂设置后，所有设置将恢复至默认状态，确定要恢复出厂设置吗？")
                color: Colors.text
                font.pixelSize: 16
                wrapMode: Text.Wrap
            }

            CustomProgress {
                id: progress
                objectName: "progress"
                visible: resetWindow.phase === "resetting"
                anchors.top: parent.top
                anchors.topMargin: 60
                anchors.horizontalCenter: parent.horizontalCenter
                width: parent.width - 60
                mainText.text: qsTr("设置中")
                from: 0
                to: 1
                value: resetWindow.progressValue
            }

            Column {
                objectName: "successView"
                visible: resetWindow.phase === "done"
                anchors.top: parent.top
                anchors.topMargin: 30
                anchors.horizontalCenter: parent.horizontalCenter
                spacing: 20

                Image {
                    anchors.horizontalCenter: parent.horizontalCenter
                    sourceSize: Qt.size(48, 48)
                    source: TvConfig.iconUrl("icons/success.svg")
                }

                Text {
                    anchors.horizontalCenter: parent.horizontalCenter
                    text: qsTr("成功")
                    color: Colors.text
                    font.pixelSize: 16
                }
            }

            Row {
                anchors.right: parent.right
                anchors.bottom: parent.bottom
                spacing: 20

                TvButton {
                    objectName: "cancelButton"
                    visible: resetWindow.phase === "asking"
                    height: 40
                    type: 1
                    leftPadding: 24
                    rightPadding: 24
                    text: qsTr("取消")
                    onClicked: resetWindow.close()
                }

                TvButton {
                    objectName: "confirmButton"
                    visible: resetWindow.phase === "asking"
                    height: 40
                    leftPadding: 24
                    rightPadding: 24
                    text: qsTr("确定")
                    onClicked: resetWindow.confirm()
                }

                TvButton {
                    objectName: "doneButton"
                    visible: resetWindow.phase === "done"
                    height: 40
                    leftPadding: 24
                    rightPadding: 24
                    text: qsTr("确定")
                    onClicked: resetWindow.close()
                }
            }
        }
    }
}
