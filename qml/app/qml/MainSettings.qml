import QtQuick
import QtQuick.Controls
import MediaControls
import VeloranDeckSystemBridge
import "routing.js" as Routing

// The mixer: the two output strips, the device strip and up to eight
// application or input strips. Their state becomes the routing list of
// the audio side, and the audio side's level reports come back to the
// strips' meters as bus topics.
Item {
    id: page

    readonly property var eventTypes: ["声音音量", "solo只听", "监听静音", "直播静音"]
    property alias audioControllersRow: audioControllersRow

    // The device strip's picture asks for the device drawer.
    signal openDeviceSettings()

    function deviceName() {
        return HIDDeviceMgr.getDeviceName().replace("N/A", "")
    }

    function storeStripEvent(item, type, value) {
        DataTrackerMgr.storeEventNow("首页", item, eventTypes[type], String(value), "software")
    }

    // The device's own input this page added to the bridge; forgotten when
    // the device leaves, since the bridge drops it then.
    property string addedDeviceInput: ""

    Component.onCompleted: {
        audioControllersRow.audioControlles = audioControllersRow.getAudioControlles()
        const name = deviceName()
        if (name !== "") {
            SystemBridge.AddInputDevice(name, 0)
            addedDeviceInput = name
        }
        audioControllersRow.audioInputLevelConnection = audioControllersRow.routeLevels
        SystemBridge.audioInputLevelChanged.connect(audioControllersRow.audioInputLevelConnection)
        audioControllersRow.sendAudioConfig()
    }

    Component.onDestruction: {
        if (page.addedDeviceInput !== "")
            SystemBridge.RemoveInputDevice(page.addedDeviceInput)
        if (audioControllersRow.audioInputLevelConnection) {
            SystemBridge.audioInputLevelChanged.disconnect(audioControllersRow.audioInputLevelConnection)
            audioControllersRow.audioInputLevelConnection = null
        }
    }

    Connections {
        target: HIDDeviceMgr
        function onDeviceConnected(info, connected) {
            if (!connected)
                page.addedDeviceInput = ""
        }
    }

    Connections {
        target: SystemBridge
        function onRunningAppsChanged() {
            const entries = audioControllersRow.audioControlles
            if (Routing.refreshProcessIds(entries, SystemBridge.getRunningApplicationsCached()))
                audioControllersRow.sendAudioConfig()
        }
    }

    Item {
        anchors.fill: parent
        anchors.margins: 20

        Column {
            id: outputColumn
            width: 130 * 2 + 10
            height: parent.height

            Text {
                height: 30
                text: qsTr("输出")
                color: Colors.text
                font.pixelSize: 20
                verticalAlignment: Text.AlignVCenter
            }

            Row {
                height: parent.height - 30
                spacing: 10

                AudioController {
                    objectName: "liveStrip"
                    height: parent.height
                    showType: 0
                    bundleIdentifier: "mix"
                    onVolumeChanged: audioControllersRow.sendAudioConfig()
                    onEventsChanged: function(type, value) { page.storeStripEvent("直播输出", type, value) }
                }

                AudioController {
                    objectName: "monitorStrip"
                    height: parent.height
                    showType: 1
                    bundleIdentifier: "listen"
                    onVolumeChanged: audioControllersRow.sendAudioConfig()
                    onEventsChanged: function(type, value) { page.storeStripEvent("监听输出", type, value) }
                }
            }
        }

        Column {
            x: outputColumn.width + 30
            width: parent.width - x
            height: parent.height

            Text {
                height: 30
                text: qsTr("输入")
                color: Colors.text
                font.pixelSize: 20
                verticalAlignment: Text.AlignVCenter
            }

            Row {
                width: parent.width
                height: parent.height - 30
                spacing: 10

                AudioController {
                    id: deviceStrip
                    objectName: "deviceStrip"
                    height: parent.height
                    showType: 2
                    bundleIdentifier: "device"
                    title: HIDDeviceMgr.deviceName.replace("N/A", "").replace("Tarvo ", "").replace("Veloran ", "")
                    visible: HIDDeviceMgr.isDeviceReady()
                    onVolumeChanged: audioControllersRow.sendAudioConfig()
                    onEventsChanged: function(type, value) { page.storeStripEvent("声卡通道", type, value) }
                    onDeviceIconClicked: page.openDeviceSettings()
                }

                Flickable {
                    id: stripView
                    objectName: "stripView"
                    width: parent.width - deviceStrip.width - 10
                    height: parent.height
                    clip: true
                    contentWidth: audioControllersRow.width
                    contentHeight: height
                    flickableDirection: Flickable.HorizontalFlick
                    boundsBehavior: Flickable.StopAtBounds

                    ScrollBar.horizontal: PageScrollBar {
                        objectName: "scrollBar"
                        height: 8
                        radius: 4
                        policy: stripView.contentWidth > stripView.width ? ScrollBar.AlwaysOn : ScrollBar.AlwaysOff
                        background: Item {}
                    }

                    Row {
                        id: audioControllersRow
                        objectName: "audioControllersRow"
                        height: stripView.height
                        spacing: 10

                        property var audioControlles: []
                        readonly property int maxAudioControllers: Routing.maxStrips
                        property var processIDMap: ({})
                        property var audioInputLevelConnection: null

                        // A stored text that names no strip would throw at every
                        // start: it is dropped from the list instead.
                        function getAudioControlles() {
                            const key = ConfigMgr.keys.appList
                            const parsed = Routing.entriesOf(ConfigMgr.getStringList(key))
                            for (let i = parsed.damaged.length - 1; i >= 0; --i) {
                                console.warn("appList 条目无效, 已移除:", parsed.damaged[i])
                                ConfigMgr.removeStringListIndex(key, parsed.damaged[i])
                            }
                            for (let i = 0; i < parsed.entries.length; ++i) {
                                const entry = parsed.entries[i]
                                if (entry.isInput === true) {
                                    console.log("AddInputDevice", entry.name, entry.streamID)
                                    SystemBridge.AddInputDevice(entry.name, entry.streamID)
                                }
                            }
                            return parsed.entries
                        }

                        function sendAudioConfig() {
                            const listen = ConfigMgr.getValue("listen")
                            const name = page.deviceName()
                            Routing.refreshProcessIds(audioControlles, SystemBridge.getRunningApplicationsCached())
                            Routing.recordProcessIds(processIDMap, audioControlles)
                            const list = Routing.configList(audioControlles, function(key, fallback) {
                                return ConfigMgr.getValue(key, fallback)
                            }, listen, name)
                            console.log("configList", JSON.stringify(list))
                            SystemBridge.setAudioConfig(list)
                        }

                        function deleteApp(index) {
                            const copy = audioControlles.slice()
                            copy.splice(index, 1)
                            audioControlles = copy
                            ConfigMgr.removeStringListIndex(ConfigMgr.keys.appList, index)
                        }

                        function routeLevels(levels) {
                            for (let i = 0; levels && i < levels.length; ++i) {
                                const topic = Routing.levelTopic(levels[i], processIDMap)
                                if (topic !== "")
                                    MessageBus.publish(topic, levels[i])
                            }
                        }

                        function addApp(app) {
                            if (!Routing.canAdd(audioControlles, app)) {
                                // The tile stores its pick after this returns.
                                const stored = JSON.stringify(app)
                                Qt.callLater(function() {
                                    const key = ConfigMgr.keys.appList
                                    const list = ConfigMgr.getStringList(key)
                                    if (list.length > 0 && list[list.length - 1] === stored)
                                        ConfigMgr.removeStringListIndex(key, list.length - 1)
                                })
                                return
                            }
                            if (app.isInput === true) {
                                app.streamID = Routing.freeInputNumber(audioControlles)
                                console.log("AddInputDevice", app.name, app.streamID)
                                SystemBridge.AddInputDevice(app.name, app.streamID)
                            }
                            audioControlles = audioControlles.concat([app])
                            sendAudioConfig()
                            DataTrackerMgr.storeEventNow("首页", "虚拟通道", "数量", String(audioControlles.length),
                                                         "software")
                        }

                        function removeStrip(index) {
                            const entry = audioControlles[index]
                            if (!entry)
                                return
                            if (entry.isInput === true)
                                SystemBridge.RemoveInputDevice(entry.name)
                            deleteApp(index)
                            sendAudioConfig()
                            DataTrackerMgr.storeEventNow("首页", entry.name, "删除", "", "software")
                            DataTrackerMgr.storeEventNow("首页", "虚拟通道", "数量", String(audioControlles.length),
                                                         "software")
                        }

                        function changeApp(strip, index, createdName) {
                            const old = audioControlles[index]
                            const app = strip.currentApp
                            if (!old || !app || old.name === app.name)
                                return
                            console.log("onCurrentAppChanged", JSON.stringify(app))
                            const entry = Object.assign({}, app)
                            if (entry.isInput === true && !(Number(entry.streamID) > 0)) {
                                const others = audioControlles.filter(function(e, i) { return i !== index })
                                entry.streamID = Routing.freeInputNumber(others)
                            }
                            strip.streamID = entry.isInput === true ? (Number(entry.streamID) || 0) : 0
                            audioControlles[index] = entry
                            if (old.isInput === true)
                                SystemBridge.RemoveInputDevice(old.name)
                            if (entry.isInput === true)
                                SystemBridge.AddInputDevice(entry.name, entry.streamID)
                            if (ConfigMgr.getValue("listen") === old.bundleIdentifier) {
                                ConfigMgr.setValue("listen", "listen")
                                MessageBus.publishListenModeChanged("listen")
                            }
                            sendAudioConfig()
                            DataTrackerMgr.storeEventNow("首页", createdName, "修改应用", old.name + "->" + app.name,
                                                         "software")
                        }

                        Repeater {
                            model: audioControllersRow.audioControlles

                            AudioController {
                                id: strip

                                required property var modelData
                                required property int index
                                readonly property string createdName: modelData.name || ""

                                height: audioControllersRow.height
                                showType: 3
                                currentApp: modelData
                                streamID: modelData.isInput === true ? (Number(modelData.streamID) || 0) : 0
                                onVolumeChanged: audioControllersRow.sendAudioConfig()
                                onEventsChanged: function(type, value) {
                                    page.storeStripEvent(strip.createdName, type, value)
                                }
                                onDeleteApp: audioControllersRow.removeStrip(strip.index)
                                onCurrentAppChanged: audioControllersRow.changeApp(strip, strip.index, strip.createdName)
                            }
                        }

                        CustomComAppPlus {
                            objectName: "addTile"
                            height: audioControllersRow.height
                            visible: audioControllersRow.audioControlles.length < audioControllersRow.maxAudioControllers
                            onClickApp: function(app) { audioControllersRow.addApp(app) }
                        }
                    }
                }
            }
        }
    }
}
