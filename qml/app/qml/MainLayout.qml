import QtQuick
import MediaControls
import VeloranDeck
import VeloranDeckSystemBridge

// The device control page pushed from the home page: the mixer with the
// device drawer at its right edge. It also opens the automatic-gain window
// when asked, switches the device's lights off and on with the display when
// the user chose so, and while it exists the firmware check may ask about
// the connected device.
Item {
    id: mainLayout
    objectName: "mainLayout"

    property bool screenPowerMonitor: false
    property var autoGainWindow: null
    // The lights-off choice of a T40 or U20 while the display is off: the
    // device's echo of the off message overwrites the stored one.
    property var lightsOffBeforeDisplayOff: null
    property alias deviceSettingsDrawer: deviceSettingsDrawer

    width: parent ? parent.width : 0
    height: parent ? parent.height : 0

    function startScreenPowerMonitor() {
        if (ConfigMgr.getValue("color_bg_other_close_lighting") !== true || screenPowerMonitor)
            return
        screenPowerMonitor = true
        SystemBridge.startPowerEventMonitor()
    }

    function lightsOffKey() {
        return HIDDeviceMgr.isU20() ? "color_bg_other_close_rgb" : "color_bg_other_lighting"
    }

    // Sent at once: the system throttles the interface's timers while the
    // display is off, so a queued message would wait for it to come back.
    function followDisplay(screenOn) {
        const enabled = ConfigMgr.getValue("color_bg_other_close_lighting") === true
        console.log("屏幕状态改变:", screenOn)
        if (!enabled)
            return
        if (HIDDeviceMgr.isR7()) {
            const brightness = screenOn ? Number(ConfigMgr.getValue("color_bg_other_brightness")) * 100 : 0
            HIDDeviceMgr.sendMessageNow(HIDDeviceMgr.attrs.rgb_light_brightness, [brightness])
        } else if (HIDDeviceMgr.isU20() || HIDDeviceMgr.isT40()) {
            const key = lightsOffKey()
            if (!screenOn) {
                if (lightsOffBeforeDisplayOff === null)
                    lightsOffBeforeDisplayOff = ConfigMgr.getValue(key) === true
                HIDDeviceMgr.sendMessageNow(HIDDeviceMgr.attrs.other_light_off, [1])
            } else {
                const off = lightsOffBeforeDisplayOff !== null ? lightsOffBeforeDisplayOff
                                                                : ConfigMgr.getValue(key) === true
                lightsOffBeforeDisplayOff = null
                ConfigMgr.setValue(key, off)
                HIDDeviceMgr.sendMessageNow(HIDDeviceMgr.attrs.other_light_off, [off ? 1 : 0])
            }
        } else {
            console.log("[ScreenPowerMonitor] 当前设备型号未识别，跳过自动关灯指令")
        }
    }

    function openAutoGainWindow(data) {
        if (Number(data) !== 1)
            return
        if (autoGainWindow !== null && autoGainWindow.visible === true)
            return
        autoGainWindow = TvConfig.createWindow("AutoGainWindow.qml", mainLayout)
    }

    Component.onCompleted: {
        startScreenPowerMonitor()
        MessageDialogMgr.controlPageActive = true
        MessageDialogMgr.checkFirmwareIfReady()
    }

    Component.onDestruction: MessageDialogMgr.controlPageActive = false

    // Ends with the page; a new page starts the monitor again.
    Connections {
        target: SystemBridge
        enabled: mainLayout.screenPowerMonitor
        function onScreenPowerStateChanged(screenOn) { mainLayout.followDisplay(screenOn) }
    }

    MessageListener {
        messageTypes: [MessageBus.messageTypes.UPDATE_AUTO_GAIN]
        onMessage: function(messageType, data) { mainLayout.openAutoGainWindow(data) }
    }

    MessageListener {
        messageTypes: [MessageBus.messageTypes.SCREEN_POWER_STATE_CHANGED]
        onMessage: function(messageType, data) {
            console.log("屏幕状态开关改变:", data)
            mainLayout.startScreenPowerMonitor()
        }
    }

    MainSettings {
        id: mixer
        objectName: "mixer"
        anchors.left: parent.left
        anchors.top: parent.top
        anchors.bottom: parent.bottom
        anchors.right: deviceSettingsDrawer.left
        onOpenDeviceSettings: deviceSettingsDrawer.open()
    }

    Rectangle {
        id: deviceSettingsDrawer
        objectName: "deviceSettingsDrawer"

        property bool isOpen: false

        function open() { isOpen = true }
        function close() { isOpen = false }

        anchors.right: parent.right
        anchors.top: parent.top
        anchors.bottom: parent.bottom
        width: isOpen ? 450 : 0
        color: Colors.panel
        clip: true

        Behavior on width {
            NumberAnimation {
                duration: 200
                easing.type: Easing.OutCubic
            }
        }

        DeviceSettings {
            objectName: "deviceSettings"
            x: 0
            y: 20
            width: 450
            height: parent.height - 40
            onBackClicked: deviceSettingsDrawer.close()
        }
    }
}
