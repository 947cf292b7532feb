import QtQuick
import QtQuick.Controls
import VeloranDeckSystemBridge
import "AppRecords.js" as AppRecords

// The "+" tile at the end of the strip row: lists the running applications
// and inputs on no strip yet and appends the one picked to appList.
Rectangle {
    id: root

    property var systemApps: []
    property bool isProcessing: false
    readonly property var appModel: {
        const onStrips = AppRecords.storedIdentifiers(ConfigMgr.getStringList(ConfigMgr.keys.appList))
        return systemApps.filter(function(record) { return onStrips.indexOf(record.bundleIdentifier) < 0 })
    }

    signal clickApp(var app)

    function openList() {
        systemApps = AppRecords.mixerRecords(SystemBridge.getRunningApplicationsCached())
        // Centred in the application window.
        const window = root.Window.window
        if (window) {
            const tile = root.mapToGlobal(0, 0)
            popup.x = (window.width - 380) / 2 - (tile.x - window.x)
            popup.y = (window.height - 400) / 2 - (tile.y - window.y)
        }
        popup.open()
    }

    // Cleared only when the list opens again, so a second click that lands
    // while it closes adds nothing.
    function pick(record) {
        if (isProcessing)
            return
        isProcessing = true
        clickApp(record)
        popup.close()
        ConfigMgr.addStringList(ConfigMgr.keys.appList, JSON.stringify(record))
    }

    width: 70
    radius: 6
    color: tileArea.containsMouse ? Colors.tileHover : Colors.tile

    Image {
        anchors.centerIn: parent
        sourceSize: Qt.size(24, 24)
        source: "icons/plus2.svg"
    }

    MouseArea {
        id: tileArea
        anchors.fill: parent
        hoverEnabled: true
        onClicked: root.openList()
    }

    Popup {
        id: popup
        objectName: "popup"
        width: 380
        height: 400
        modal: true
        focus: true
        closePolicy: Popup.CloseOnEscape | Popup.CloseOnPressOutside

        onOpened: root.isProcessing = false

        background: Rectangle {
            color: Colors.panel
            radius: 12
        }

        contentItem: ListView {
            id: list
            objectName: "appList"
            clip: true
            spacing: 2
            model: root.appModel

            delegate: Rectangle {
                id: row

                required property var modelData
                required property int index

                width: list.width
                height: 40
                radius: 4
                color: rowArea.containsMouse ? Colors.rowHover : "transparent"

                Row {
                    anchors.left: parent.left
                    anchors.leftMargin: 10
                    anchors.verticalCenter: parent.verticalCenter
                    spacing: 8

                    Image {
                        width: 22
                        height: 22
                        fillMode: Image.PreserveAspectFit
                        sourceSize: Qt.size(22, 22)
                        source: row.modelData.iconFilePath
                                ? row.modelData.iconFilePath + "?cache=" + Date.now() : "icons/audio.svg"
                    }

                    Text {
                        width: list.width - 56
                        anchors.verticalCenter: parent.verticalCenter
                        text: row.modelData.name
                        color: Colors.text
                        font.pixelSize: 14
                        elide: Text.ElideMiddle
                    }
                }

                MouseArea {
                    id: rowArea
                    anchors.fill: parent
                    hoverEnabled: true
                    // The record as listed, not the delegate's converted copy.
                    onClicked: root.pick(root.appModel[row.index])
                }
            }

            ScrollIndicator.vertical: ScrollIndicator {
                id: scrollIndicator
                contentItem: Rectangle {
                    implicitWidth: 6
                    implicitHeight: 6
                    radius: 3
                    color: Colors.textDisabled
                    opacity: scrollIndicator.active ? 1.0 : 0.3
                }
            }
        }
    }
}
