import QtQuick
import QtQuick.Controls
import VeloranDeckSystemBridge
import "AppRecords.js" as AppRecords

// The application of one mixer strip: lists the running applications and
// inputs that are on no other strip, and a pick rewrites that strip's
// element of appList in place.
AppComboBox {
    id: control

    property var currentApp: null
    property var appModels: findCurrentAppList()

    signal itemSelected(int index, var app)

    function findCurrentAppList() {
        const records = AppRecords.mixerRecords(SystemBridge.getRunningApplicationsCached())
        const onStrips = AppRecords.storedIdentifiers(ConfigMgr.getStringList(ConfigMgr.keys.appList))
        const own = currentApp ? currentApp.bundleIdentifier : undefined
        return records.filter(function(record) {
            return onStrips.indexOf(record.bundleIdentifier) < 0
                   || (currentApp && record.bundleIdentifier === own)
        })
    }

    function updateAppModels() {
        appModels = findCurrentAppList()
        const at = currentApp ? appModels.findIndex(function(record) {
            return record.bundleIdentifier === currentApp.bundleIdentifier
        }) : -1
        currentIndex = at >= 0 ? at : 0
    }

    function onCurrentIndexModel(index, modelData) {
        // The strip sets currentApp before the box is shown.
        if (!currentApp)
            return
        const key = ConfigMgr.keys.appList
        const at = AppRecords.indexOfStored(ConfigMgr.getStringList(key), currentApp.bundleIdentifier)
        ConfigMgr.replaceStringListIndex(key, at, JSON.stringify(modelData))
        currentApp = modelData
        itemSelected(index, modelData)
        updateAppModels()
    }

    model: appModels
    rowWidth: width + 140
    nameWidth: width + 75
    popupX: -75
    popupWidth: width + 150
    // A new address at every rendering, so a rewritten icon file shows afresh.
    rowIcon: function(record) {
        return record.iconFilePath ? record.iconFilePath + "?cache=" + Date.now() : "icons/audio.svg"
    }
    rowClicked: function(index, record) {
        control.popup.close()
        // The record as listed, not the delegate's converted copy.
        control.onCurrentIndexModel(index, control.appModels[index])
    }

    Component.onCompleted: updateAppModels()
    onPressedChanged: {
        if (pressed && !popup.visible)
            updateAppModels()
    }

    Connections {
        target: SystemBridge
        function onRunningAppsChanged() { control.updateAppModels() }
        function onAudioDeviceListChanged() { control.updateAppModels() }
    }

    Connections {
        target: control.popup
        function onAboutToShow() { control.updateAppModels() }
    }

    background: Rectangle {
        color: Colors.window
        radius: 6
    }

    // Keeps naming the strip's application after it left the running list.
    contentItem: Text {
        objectName: "closedText"
        x: 10
        width: control.width - 30
        text: control.currentApp && control.currentApp.name ? control.currentApp.name : control.displayText
        font: control.font
        color: Colors.text
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideMiddle
        maximumLineCount: 1
    }
}
