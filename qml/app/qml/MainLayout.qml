import QtQuick
import MediaControls

// The device control page pushed from the home page. While it exists the
// firmware check may ask about the connected device.
Item {
    id: mainLayout
    objectName: "mainLayout"

    Component.onCompleted: {
        MessageDialogMgr.controlPageActive = true
        MessageDialogMgr.checkFirmwareIfReady()
    }

    Component.onDestruction: MessageDialogMgr.controlPageActive = false
}
