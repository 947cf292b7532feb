import QtQuick
import QtQuick.Controls
import VeloranDeckSystemBridge

// The program that the device knob's hotkey starts. A choice is stored at
// once under general_hotkey_value_app.
AppComboBox {
    id: control

    property var systemApps: []

    signal itemSelected(int index, var app)

    function translateAppName(name) {
        return name === "系统浏览器" ? qsTr("系统浏览器") : name
    }

    // The stored program is found by its program file, since names repeat
    // (two "Task Manager"s) and follow the language; only a record without
    // one (the browser) by name. A hand-edited value that is no JSON object
    // counts as nothing stored.
    function storedIndex() {
        const stored = ConfigMgr.getValue(ConfigMgr.keys.general_hotkey_value_app)
        if (stored === "" || stored === undefined || stored === null)
            return 0
        let record = null
        try {
            record = JSON.parse(stored)
        } catch (error) {
            record = null
        }
        if (record === null || typeof record !== "object" || Array.isArray(record)) {
            console.warn("CustomComAppBox: stored hotkey application is not a JSON object:", stored)
            return 0
        }
        const path = record.executablePath
        return systemApps.findIndex(function(app) {
            return path ? app.executablePath === path : app.name === record.name
        })
    }

    model: systemApps
    // A new address at every rendering: a picture redrawn under the same
    // name (its source changed) shows afresh.
    rowIcon: function(record) {
        if (record.isSystemBrowser)
            return "icons/audio.svg"
        return record.iconFilePath ? record.iconFilePath + "?cache=" + Date.now() : "icons/tarvologo.svg"
    }
    rowText: function(record) { return translateAppName(record.name) }

    property bool loaded: false

    // Shows the stored choice again: no choice of the user, so nothing is
    // stored (a stored record could otherwise give way to its look-alike).
    function restoreStored() {
        loaded = false
        currentIndex = storedIndex()
        loaded = true
    }

    // The list the bridge has; a scan it starts may bring another.
    function showApps(apps) {
        loaded = false
        systemApps = apps
        restoreStored()
    }

    Component.onCompleted: showApps(SystemBridge.getRunningApplicationsByQt())

    Connections {
        target: SystemBridge
        function onInstalledAppsChanged(apps) { control.showApps(apps) }
    }

    onCurrentIndexChanged: {
        if (!loaded || currentIndex < 0 || currentIndex >= count)
            return
        itemSelected(currentIndex, systemApps[currentIndex])
        ConfigMgr.setValue(ConfigMgr.keys.general_hotkey_value_app, JSON.stringify(systemApps[currentIndex]))
    }

    // Type-ahead search would jump rows on letters and digits; only the
    // arrows, Enter, Escape and Space keep the base behaviour.
    Keys.onPressed: event => {
        const letter = event.key >= Qt.Key_A && event.key <= Qt.Key_Z
        const digit = event.key >= Qt.Key_0 && event.key <= Qt.Key_9
        if ((event.modifiers & Qt.MetaModifier) || letter || digit)
            event.accepted = true
    }

    background: Rectangle {
        color: "transparent"
        border.width: 1
        border.color: Colors.border
        radius: 6
        opacity: 0.5
    }

    contentItem: Text {
        objectName: "closedText"
        leftPadding: 10
        rightPadding: 30
        width: control.width - 30
        text: qsTr(control.displayText)
        font: control.font
        color: Colors.text
        verticalAlignment: Text.AlignVCenter
        elide: Text.ElideMiddle
        maximumLineCount: 1
    }
}
