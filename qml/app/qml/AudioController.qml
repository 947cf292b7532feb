import QtQuick
import QtQuick.Controls
import MediaControls
import VeloranDeckSystemBridge
import "routing.js" as Routing

// One strip of the mixer. The live and application strips change software
// volumes of the routing list; the monitor and device strips drive the
// device's own monitor volume and microphone gain.
Rectangle {
    id: root

    // 0 live output, 1 monitor output, 2 device, 3 application or input.
    property int showType: 0
    property var currentApp: null
    property string title: currentApp && currentApp.name ? currentApp.name : qsTr("title")
    property string bundleIdentifier: currentApp && currentApp.bundleIdentifier ? currentApp.bundleIdentifier : ""
    property int streamID: 0
    property bool appIsFound: false
    property bool isManually: false

    readonly property string levelTopic: Routing.stripTopic(showType, streamID, bundleIdentifier)
    readonly property bool isDeviceStrip: showType === 2
    readonly property bool isMonitorStrip: showType === 1
    readonly property bool usesDeviceRange: showType === 1 || showType === 2

    signal deleteApp()
    signal volumeChanged()
    signal eventsChanged(int type, var value)
    // The device strip's picture was clicked: its page opens the device drawer.
    signal deviceIconClicked()

    function roundHalfUp(value) {
        return Math.floor(value + 0.5)
    }

    function sliderText(v) {
        if (showType === 1)
            return roundHalfUp((v - ConfigMgr.auto_device_min) * 100 / ConfigMgr.auto_device_count) + "%"
        if (showType === 2)
            return roundHalfUp((v - ConfigMgr.auto_gain_min) * 99 / ConfigMgr.auto_gain_count + 1) + "%"
        return roundHalfUp(v * 100) + "%"
    }

    function storedVolume() {
        if (showType === 1)
            return Number(ConfigMgr.getValue("device_dB"))
        if (showType === 2)
            return Number(ConfigMgr.getValue("auto_gain"))
        return Number(ConfigMgr.getValue(bundleIdentifier + "_dB", ConfigMgr.defaults.auto_app))
    }

    function onSliderMoved(v) {
        if (showType === 2) {
            if (v !== Number(ConfigMgr.getValue("auto_gain"))) {
                ConfigMgr.setValue("auto_gain", v)
                MessageBus.publishUpdateMicGainLevel(v)
            }
            if (isManually)
                HIDDeviceMgr.sendMessage(HIDDeviceMgr.attrs.mic_gain, [v])
        } else if (showType === 1) {
            if (v !== Number(ConfigMgr.getValue("device_dB"))) {
                ConfigMgr.setValue("device_dB", v)
                MessageBus.publishListenVolumeLevel(v)
            }
            if (isManually)
                HIDDeviceMgr.sendMessage(HIDDeviceMgr.attrs.listen_volume, [v])
        } else {
            ConfigMgr.setValue(bundleIdentifier + "_dB", v)
            volumeChanged()
        }
    }

    function onSliderReleased(v) {
        eventsChanged(0, v)
        if (showType === 2)
            DataTrackerMgr.storeEventNow("话筒", "XLR输入", "增益", String(v), "software")
        else if (showType === 1)
            DataTrackerMgr.storeEventNow("监听", "监听", "监听音量", String(v), "software")
        isManually = false
    }

    // Device echoes follow the stored value, never under the user's hand.
    function followDevice() {
        if (!slider.pressed && !isManually)
            slider.value = storedVolume()
    }

    function checkCurrentAppStatus() {
        if (showType !== 3 || !currentApp)
            return
        const running = SystemBridge.getRunningApplicationsCached()
        const ownPid = currentApp.processIdentifier
        const hasPid = ownPid !== undefined && ownPid !== null && ownPid !== 0 && ownPid !== ""
        let found = null
        for (let i = 0; running && i < running.length; ++i) {
            const item = running[i]
            if (item && (item.bundleIdentifier === currentApp.bundleIdentifier
                         || (hasPid && item.processIdentifier === ownPid))) {
                found = item
                break
            }
        }
        if (found === null) {
            appIsFound = false
            return
        }
        if (appIsFound)
            return
        currentApp = {
            name: found.name,
            iconFilePath: found.iconFilePath,
            bundleIdentifier: found.bundleIdentifier,
            processIdentifier: found.processIdentifier,
            isInput: found.isInput,
            streamID: currentApp.streamID !== undefined ? currentApp.streamID : 0
        }
        appIsFound = true
        appBox.currentApp = currentApp
        appBox.updateAppModels()
    }

    function refreshAppControls() {
        if (showType !== 3 || bundleIdentifier === "")
            return
        soloButton.setActive(ConfigMgr.getValue("listen") === bundleIdentifier)
        monitorMuteButton.setActive(ConfigMgr.getValue(bundleIdentifier + "_monitor", false) === true)
        liveMuteButton.setActive(ConfigMgr.getValue(bundleIdentifier + "_mix", false) === true)
        slider.value = storedVolume()
    }

    function iconSource() {
        if (showType === 0)
            return TvConfig.iconUrl("icons/zb.svg")
        if (showType === 1)
            return TvConfig.iconUrl("icons/jt.svg")
        if (showType === 2)
            return TvConfig.getDeviceImage(2)
        if (currentApp && currentApp.iconFilePath)
            return currentApp.iconFilePath + "?cache=" + Date.now()
        return "qrc:/qt/qml/MediaControls/icons/audio.svg"
    }

    width: 130
    radius: 6
    color: showType <= 1 ? Colors.strip : Colors.tile

    onBundleIdentifierChanged: refreshAppControls()

    Component.onCompleted: {
        if (showType === 3 && currentApp) {
            appBox.currentApp = currentApp
            checkCurrentAppStatus()
        }
        if (showType !== 3) {
            const id = bundleIdentifier
            soloButton.setActive(ConfigMgr.getValue("listen") === id)
            monitorMuteButton.setActive(ConfigMgr.getValue(id + "_monitor", false) === true)
            liveMuteButton.setActive(ConfigMgr.getValue(id + "_mix", false) === true)
            slider.value = storedVolume()
        }
        refreshAppControls()
    }

    Connections {
        target: SystemBridge
        enabled: root.showType === 3 && root.currentApp !== null
        function onRunningAppsChanged() { root.checkCurrentAppStatus() }
    }

    MessageListener {
        messageTypes: [root.levelTopic]
        onMessage: function(topic, data) {
            if (data)
                meter.setLevels(Number(data.levelLeft), Number(data.levelRight))
        }
    }

    MessageListener {
        messageTypes: [MessageBus.messageTypes.UPDATE_MIC_GAIN_LEVEL, MessageBus.messageTypes.LISTEN_VOLUME_LEVEL,
                       MessageBus.messageTypes.LISTEN_MODE_CHANGED]
        onMessage: function(topic, data) {
            if (topic === MessageBus.messageTypes.LISTEN_MODE_CHANGED) {
                soloButton.setActive(ConfigMgr.getValue("listen") === root.bundleIdentifier)
            } else if (topic === MessageBus.messageTypes.UPDATE_MIC_GAIN_LEVEL && root.isDeviceStrip) {
                root.followDevice()
            } else if (topic === MessageBus.messageTypes.LISTEN_VOLUME_LEVEL && root.isMonitorStrip) {
                console.log("收到监听音量消息:", data)
                root.followDevice()
            }
        }
    }

    Column {
        anchors.fill: parent
        anchors.topMargin: 30
        anchors.bottomMargin: 20

        Rectangle {
            id: iconBox
            objectName: "iconBox"
            width: 67
            height: 67
            radius: 6
            anchors.horizontalCenter: parent.horizontalCenter
            color: root.showType <= 1 ? Colors.iconBox : "transparent"

            Image {
                objectName: "icon"
                anchors.fill: parent
                fillMode: Image.PreserveAspectFit
                // Drawn at the box's size, not stretched from the picture's own.
                sourceSize: Qt.size(iconBox.width, iconBox.height)
                source: root.iconSource()
            }

            Rectangle {
                objectName: "settingsOverlay"
                anchors.fill: parent
                radius: 6
                color: Colors.overlay
                visible: root.isDeviceStrip && iconArea.containsMouse

                Image {
                    anchors.centerIn: parent
                    sourceSize: Qt.size(28, 28)
                    source: TvConfig.iconUrl("icons/settings.svg")
                }
            }

            MouseArea {
                id: iconArea
                anchors.fill: parent
                enabled: root.isDeviceStrip
                hoverEnabled: true
                onClicked: root.deviceIconClicked()
            }
        }

        Item {
            width: parent.width
            height: 40

            Text {
                objectName: "titleText"
                anchors.fill: parent
                anchors.leftMargin: 5
                anchors.rightMargin: 5
                visible: root.showType !== 3 || !root.appIsFound
                text: root.showType === 0 ? qsTr("直播") : root.showType === 1 ? qsTr("监听") : root.title
                color: Colors.text
                font.pixelSize: 16
                horizontalAlignment: Text.AlignHCenter
                verticalAlignment: Text.AlignVCenter
                elide: Text.ElideRight
                maximumLineCount: 1
            }

            CustomComAppBox2 {
                id: appBox
                objectName: "appBox"
                x: 15
                width: parent.width - 30
                height: 30
                anchors.verticalCenter: parent.verticalCenter
                visible: root.showType === 3 && root.appIsFound
                onItemSelected: function(index, app) {
                    if (!app || (root.currentApp && app.bundleIdentifier === root.currentApp.bundleIdentifier))
                        return
                    root.currentApp = app
                    root.bundleIdentifier = app.bundleIdentifier
                }
            }
        }

        Item {
            width: parent.width
            height: parent.height - iconBox.height - 40 - buttons.height

            Row {
                anchors.horizontalCenter: parent.horizontalCenter
                anchors.top: parent.top
                anchors.bottom: parent.bottom
                anchors.topMargin: 10
                anchors.bottomMargin: 10
                spacing: 10

                AudioLevelIndicator {
                    id: meter
                    objectName: "meter"
                    height: parent.height
                }

                CustomSlider {
                    id: slider
                    objectName: "slider"
                    orientation: Qt.Vertical
                    height: parent.height
                    width: 20
                    leftPadding: 8
                    backgroundColor: Colors.sliderTrack
                    snapToStep: true
                    from: root.usesDeviceRange
                          ? (root.isDeviceStrip ? ConfigMgr.auto_gain_min : ConfigMgr.auto_device_min)
                          : ConfigMgr.auto_app_min
                    to: root.usesDeviceRange
                        ? (root.isDeviceStrip ? ConfigMgr.auto_gain_max : ConfigMgr.auto_device_max)
                        : ConfigMgr.auto_app_max
                    stepSize: root.usesDeviceRange ? 1 : 0.01
                    formatedValueFunc: function(v) { return root.sliderText(v) }
                    onPressedChanged: {
                        if (pressed)
                            root.isManually = true
                    }
                    onMoved: root.onSliderMoved(value)
                    onChangeComplete: function(v) { root.onSliderReleased(v) }
                }
            }
        }

        Row {
            id: buttons
            height: 30
            spacing: 5
            anchors.horizontalCenter: parent.horizontalCenter

            CustomButtonRect {
                id: soloButton
                objectName: "soloButton"
                width: 30
                height: 30
                src: TvConfig.iconUrl("icons/jt_btn.svg")
                iconSize: Qt.size(18, 18)
                onClick: {
                    ConfigMgr.setValue("listen", root.bundleIdentifier)
                    MessageBus.publishListenModeChanged(root.bundleIdentifier)
                    root.volumeChanged()
                    root.eventsChanged(1, true)
                }
            }

            CustomButtonRect {
                id: monitorMuteButton
                objectName: "monitorMuteButton"
                width: 30
                height: 30
                isWorn: true
                visible: root.showType !== 0
                src: TvConfig.iconUrl("icons/zt_btn.svg")
                iconSize: Qt.size(18, 18)
                onClick: {
                    ConfigMgr.setValue(root.bundleIdentifier + "_monitor", isActive)
                    root.volumeChanged()
                    root.eventsChanged(2, isActive)
                }
            }

            CustomButtonRect {
                id: liveMuteButton
                objectName: "liveMuteButton"
                width: 30
                height: 30
                isWorn: true
                visible: root.showType !== 1
                src: TvConfig.iconUrl("icons/zb_btn.svg")
                iconSize: Qt.size(18, 18)
                onClick: {
                    ConfigMgr.setValue(root.bundleIdentifier + "_mix", isActive)
                    root.volumeChanged()
                    root.eventsChanged(3, isActive)
                }
            }
        }
    }

    CustomButton {
        objectName: "deleteButton"
        visible: root.showType === 3
        width: 20
        height: 20
        padding: 0
        anchors.top: parent.top
        anchors.right: parent.right
        anchors.topMargin: 10
        anchors.rightMargin: 10
        icon.source: TvConfig.iconUrl("icons/del2.svg")
        icon.width: 20
        icon.height: 20
        onClicked: {
            if (ConfigMgr.getValue("listen") === root.bundleIdentifier) {
                ConfigMgr.setValue("listen", "listen")
                MessageBus.publishListenModeChanged("listen")
            }
            root.deleteApp()
        }
    }
}
