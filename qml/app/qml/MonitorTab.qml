import QtQuick
import QtQuick.Controls
import MediaControls

// The device's monitor mix: the microphone/computer ratio and the monitor
// output volume. The volume is stored and published on every move, so the
// mixer's monitor strip follows a drag; the ratio is stored only at release.
Item {
    id: monitorTab
    objectName: "monitorTab"

    // One flag for both sliders: while either handle is held, neither
    // follows the device's echoes.
    property bool isManually: false

    // The control presses itself while an arrow key is down; only a press
    // of the handle counts as the user holding it.
    component MonitorSlider: CustomSlider {
        property bool keyHeld: false
        property bool heldByHand: false

        signal handleReleased()

        width: parent.width
        from: ConfigMgr.auto_device_min
        to: ConfigMgr.auto_device_max
        stepSize: 1
        snapToStep: true
        formatedValueFunc: monitorTab.percentText
        Keys.onPressed: function(event) {
            keyHeld = true
            event.accepted = false
        }
        Keys.onReleased: function(event) {
            keyHeld = false
            event.accepted = false
        }
        onPressedChanged: {
            if (pressed && !keyHeld) {
                heldByHand = true
                monitorTab.isManually = true
            }
        }
        onChangeComplete: function(released) {
            if (!heldByHand)
                return
            heldByHand = false
            handleReleased()
            monitorTab.isManually = false
        }
    }

    function percentText(value) {
        return Math.floor((value - ConfigMgr.auto_device_min) * 100 / ConfigMgr.auto_device_count + 0.5) + "%"
    }

    function recordEvent(type, value) {
        DataTrackerMgr.storeEventNow("监听", "监听", type, String(value), "software")
    }

    function rereadRatio() {
        micListenRatioSlider.value = Number(ConfigMgr.getValue("device_mic_ratio"))
    }

    function rereadVolume() {
        mediaSlider.value = Number(ConfigMgr.getValue("device_dB"))
    }

    Component.onCompleted: {
        rereadRatio()
        rereadVolume()
    }

    MessageListener {
        messageTypes: [MessageBus.messageTypes.MIC_LISTEN_RATIO]
        onMessage: function(messageType, data) {
            if (!monitorTab.isManually)
                monitorTab.rereadRatio()
        }
    }
    MessageListener {
        messageTypes: [MessageBus.messageTypes.LISTEN_VOLUME_LEVEL]
        onMessage: function(messageType, data) {
            if (!monitorTab.isManually)
                monitorTab.rereadVolume()
        }
    }
    // A reloaded store (device scope, factory reset) is shown as it is.
    MessageListener {
        messageTypes: [MessageBus.messageTypes.UPDATE_CONFIG_MESSAGE]
        onMessage: function(messageType, data) {
            monitorTab.rereadRatio()
            monitorTab.rereadVolume()
        }
    }

    ScrollView {
        id: scrollView
        objectName: "scrollView"
        anchors.fill: parent
        contentWidth: availableWidth
        clip: true
        ScrollBar.horizontal.policy: ScrollBar.AlwaysOff
        ScrollBar.vertical.policy: ScrollBar.AlwaysOff

        Column {
            width: scrollView.availableWidth

            Text {
                text: qsTr("监听")
                color: Colors.text
                opacity: 0.5
                font.pixelSize: 14
            }

            Rectangle {
                objectName: "monitorCard"
                width: parent.width
                height: 140
                radius: 6
                color: Colors.card

                Column {
                    anchors.fill: parent
                    anchors.margins: 20

                    Text {
                        text: qsTr("麦克风/电脑监听比")
                        color: Colors.text
                        font.pixelSize: 16
                    }

                    MonitorSlider {
                        id: micListenRatioSlider
                        objectName: "micListenRatioSlider"
                        onMoved: {
                            if (monitorTab.isManually)
                                HIDDeviceMgr.sendMessage(HIDDeviceMgr.attrs.mic_listen_ratio, [value])
                        }
                        onHandleReleased: {
                            ConfigMgr.setValue("device_mic_ratio", value)
                            monitorTab.recordEvent("麦克风/电脑监听比", value)
                        }
                    }

                    Item { width: 1; height: 10 }

                    Text {
                        text: qsTr("监听音量")
                        color: Colors.text
                        font.pixelSize: 16
                    }

                    MonitorSlider {
                        id: mediaSlider
                        objectName: "mediaSlider"
                        onMoved: {
                            if (value !== Number(ConfigMgr.getValue("device_dB"))) {
                                ConfigMgr.setValue("device_dB", value)
                                MessageBus.publishListenVolumeLevel(value)
                            }
                            if (monitorTab.isManually)
                                HIDDeviceMgr.sendMessage(HIDDeviceMgr.attrs.listen_volume, [value])
                        }
                        onHandleReleased: {
                            ConfigMgr.setValue("device_dB", value)
                            monitorTab.recordEvent("监听音量", value)
                        }
                    }
                }
            }
        }
    }
}
