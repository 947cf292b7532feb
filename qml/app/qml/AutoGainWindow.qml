import QtQuick
import QtQuick.Controls
import MediaControls
import VeloranDeck
import VeloranDeckHIDHotplug

// One automatic-gain measurement of the device: starts it, shows the live
// input level while the user speaks, counts down and then shows the gain the
// device settled on. The measurement runs in the device; the window only
// starts or cancels it.
WindowFrame {
    id: autoGainWindow
    objectName: "autoGainWindow"

    // Tests shorten it; the text still counts ten steps.
    property int countdownDuration: 10000
    property bool measurementDone: false
    property bool autoGainCompleted: false
    property string resultText: ""

    readonly property int privateAutoGainLevel: 0x8002

    title: qsTr("自动增益")
    width: 500
    height: 300
    minimumWidth: 500
    maximumWidth: 500
    minimumHeight: 300
    maximumHeight: 300
    modality: Qt.ApplicationModal

    // The listener's own clean-up comes too late when the window destroys
    // itself: its subscriptions end here.
    Component.onDestruction: topics.messageTypes = []

    function loadView() {
        isDestroy = true
        measurementDone = false
        autoGainCompleted = false
        HIDDeviceMgr.sendMessage(HIDDeviceMgr.attrs.auto_gain, [1])
        countdown.start()
    }

    function remainingSeconds(value) {
        return Math.ceil((1 - value) * 10)
    }

    function showLevel(value) {
        const gainView = autoGainWindow.gainView
        if (!gainView) {
            console.warn("AutoGainWindow: gain_view 未初始化，忽略 setLevel 调用")
            return
        }
        gainView.setLevel(value === 0 ? 0 : value / 30.0)
    }

    // The device began a measurement itself: nothing is sent.
    function restartMeasurement() {
        measurementDone = false
        autoGainCompleted = false
        countdown.stop()
        autoGainWindow.progressValue = 0
        countdown.start()
    }

    function showResult(gain) {
        if (!measurementDone || autoGainCompleted)
            return
        const percent = Math.floor((gain - ConfigMgr.auto_gain_min) * 99 / ConfigMgr.auto_gain_count + 1 + 0.5)
        resultText = qsTr("设置成功\n增益为 %1").arg(percent + "%")
        autoGainCompleted = true
    }

    function cancel() {
        close()
        HIDDeviceMgr.sendMessage(HIDDeviceMgr.attrs.auto_gain, [0])
    }

    // The loaded content is a component of its own: what the functions
    // above reach lives here.
    property var gainView: null
    property real progressValue: 0
    readonly property NumberAnimation countdown: NumberAnimation {
        target: autoGainWindow
        property: "progressValue"
        from: 0
        to: 1
        duration: autoGainWindow.countdownDuration
        onFinished: autoGainWindow.measurementDone = true
    }
    // Owned by the window, so that they end with it; the loaded content may
    // outlive it until the collector takes it.
    readonly property Connections levelHandler: Connections {
        target: HIDHotplugManager
        function onPriMsgCallback(msgid, value) {
            if (msgid === autoGainWindow.privateAutoGainLevel)
                autoGainWindow.showLevel(value)
        }
    }
    readonly property MessageListener topics: MessageListener {
        messageTypes: [MessageBus.messageTypes.UPDATE_AUTO_GAIN, MessageBus.messageTypes.UPDATE_MIC_GAIN_LEVEL]
        onMessage: function(messageType, data) {
            if (messageType === MessageBus.messageTypes.UPDATE_MIC_GAIN_LEVEL)
                autoGainWindow.showResult(Number(data))
            else if (Number(data) === 0)
                autoGainWindow.close()
            else
                autoGainWindow.restartMeasurement()
        }
    }

    Item {
        Item {
            anchors.fill: parent
            anchors.margins: 20

            AudioChannelIndicatorSingle {
                id: gainView
                objectName: "gain_view"
                anchors.horizontalCenter: parent.horizontalCenter
                y: 30
                width: parent.width - 60
                height: 22
                visible: !autoGainWindow.autoGainCompleted
                Component.onCompleted: autoGainWindow.gainView = gainView
            }

            CustomProgress {
                id: resetProgress
                objectName: "resetProgress"
                anchors.horizontalCenter: parent.horizontalCenter
                y: 80
                width: parent.width - 60
                visible: !autoGainWindow.autoGainCompleted
                value: autoGainWindow.progressValue
                subText.text: qsTr("使用正常的音量讲话\n倒计时 ") + autoGainWindow.remainingSeconds(value) + "s"
            }

            Column {
                objectName: "resultView"
                anchors.horizontalCenter: parent.horizontalCenter
                y: 30
                spacing: 20
                visible: autoGainWindow.autoGainCompleted

                Image {
                    anchors.horizontalCenter: parent.horizontalCenter
                    sourceSize: Qt.size(48, 48)
                    source: TvConfig.iconUrl("icons/success.svg")
                }

                Text {
                    objectName: "resultText"
                    anchors.horizontalCenter: parent.horizontalCenter
                    height: 30
                    text: autoGainWindow.resultText
                    color: Colors.text
                    font.pixelSize: 16
                    horizontalAlignment: Text.AlignHCenter
                }
            }

            Row {
                anchors.right: parent.right
                anchors.bottom: parent.bottom
                spacing: 20

                TvButton {
                    objectName: "cancelButton"
                    height: 40
                    type: 1
                    leftPadding: 16
                    rightPadding: 16
                    visible: !autoGainWindow.autoGainCompleted
                    text: qsTr("取消")
                    onClicked: autoGainWindow.cancel()
                }

                TvButton {
                    objectName: "okButton"
                    height: 40
                    leftPadding: 16
                    rightPadding: 16
                    visible: autoGainWindow.autoGainCompleted
                    text: qsTr("确定")
                    onClicked: autoGainWindow.close()
                }
            }
        }
    }
}
