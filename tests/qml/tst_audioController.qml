import QtQuick
import QtTest
import MediaControls
import VeloranDeck
import VeloranDeckSettings
import VeloranDeckSystemBridge
import VeloranDeckHIDHotplug
import VeloranDeckTracker

// One mixer strip of each kind on the fakes: labels by model, the device
// sliders' sends, solo and mutes, and the application picker's return.
TestCase {
    id: testCase
    name: "AudioController"
    width: 800
    height: 600
    when: windowShown
    visible: true

    readonly property var r7Info: ({ name: "Veloran R7", sn: "R7SN", version: "V2.12", dpid: 0x9829, pid: 28, vid: 1 })
    readonly property var t40Info: ({ name: "Veloran T40", sn: "T40SN", version: "V1.05", dpid: 0x000D, pid: 28, vid: 1 })
    readonly property var appA: ({ name: "App A", iconFilePath: "", bundleIdentifier: "file:///usr/bin/appA",
                                   processIdentifier: 101, isInput: false, streamID: 0 })

    Component {
        id: stripComponent
        AudioController {
            height: 500
        }
    }

    Component {
        id: spyComponent
        SignalSpy {}
    }

    function connectDevice(info) {
        HIDHotplugManager.deviceInfo = info
        HIDHotplugManager.deviceConnected(info, true)
    }

    function init() {
        SystemBridge.reset()
        HIDHotplugManager.reset()
        SettingsManager.setDeviceScope("")
        SettingsManager.clear()
        HIDDeviceMgr.deviceReady = false
        HIDDeviceMgr.messageCache = {}
        ConfigMgr.loadAllSettings()
        ConfigMgr.setStringList(ConfigMgr.keys.appList, [JSON.stringify(appA)])
        DataTrackerManager.deleteByIds(DataTrackerManager.queryEvents(0).map(function(event) { return event.id }))
    }

    function strip(props) {
        return createTemporaryObject(stripComponent, testCase, props)
    }

    function events(type) {
        return DataTrackerManager.queryEvents(0).filter(function(e) { return e.eventType === type })
    }

    function test_labels_data() {
        return [
            { tag: "R7 device low", info: r7Info, kind: 2, value: 1, text: "1%" },
            { tag: "R7 device high", info: r7Info, kind: 2, value: 30, text: "100%" },
            { tag: "T40 device low", info: t40Info, kind: 2, value: 0, text: "1%" },
            { tag: "T40 device high", info: t40Info, kind: 2, value: 18, text: "100%" },
            { tag: "R7 monitor low", info: r7Info, kind: 1, value: 1, text: "0%" },
            { tag: "T40 monitor high", info: t40Info, kind: 1, value: 13, text: "100%" },
            { tag: "live half up", info: t40Info, kind: 0, value: 0.305, text: "31%" }
        ]
    }

    function test_labels(data) {
        connectDevice(data.info)
        const s = strip({ showType: data.kind, bundleIdentifier: ["mix", "listen", "device"][data.kind] })
        const slider = findChild(s, "slider")
        slider.value = data.value
        compare(slider.value, data.value)
        compare(slider.bubbleText(), data.text)
    }

    // Vertical: the top is the maximum.
    function yFor(slider, value) {
        const handle = findChild(slider, "handle")
        const position = (value - slider.from) / (slider.to - slider.from)
        return slider.topPadding + (1 - position) * (slider.availableHeight - handle.height) + handle.height / 2
    }

    function test_device_slider_sends_while_held_only() {
        connectDevice(t40Info)
        ConfigMgr.setValue("auto_gain", 10)
        const s = strip({ showType: 2, bundleIdentifier: "device" })
        const slider = findChild(s, "slider")
        compare(slider.value, 10)
        const x = slider.width / 2
        HIDHotplugManager.reset()
        mousePress(slider, x, yFor(slider, 10))
        mouseMove(slider, x, yFor(slider, 11))
        mouseMove(slider, x, yFor(slider, 12))
        compare(ConfigMgr.getValue("auto_gain"), 12)
        // A device report meanwhile leaves the held slider alone.
        ConfigMgr.setValue("auto_gain", 3)
        MessageBus.publishUpdateMicGainLevel(3)
        compare(slider.value, 12)
        mouseRelease(slider, x, yFor(slider, 12))
        tryVerify(function() {
            return JSON.stringify(HIDHotplugManager.callsTo("messageSend").slice(-1)) === "[[5,[12]]]"
        }, 150)
        compare(events("增益").length, 1)
        compare(events("增益")[0].featureModule, "话筒")

        // Moves from code (keyboard, echoes) send nothing.
        HIDHotplugManager.reset()
        ConfigMgr.setValue("auto_gain", 7)
        MessageBus.publishUpdateMicGainLevel(7)
        compare(slider.value, 7)
        wait(250)
        compare(HIDHotplugManager.callsTo("messageSend"), [])
    }

    function args(spy) {
        return spy.signalArguments.map(function(a) { return Array.from(a) })
    }

    function test_solo_and_mutes() {
        const strips = [strip({ showType: 0, bundleIdentifier: "mix" }),
                        strip({ x: 140, showType: 1, bundleIdentifier: "listen" }),
                        strip({ x: 280, showType: 3, currentApp: appA })]
        const solos = strips.map(function(s) { return findChild(s, "soloButton") })
        function states() { return solos.map(function(b) { return b.isActive }) }
        compare(states(), [false, true, false])
        const volume = createTemporaryObject(spyComponent, testCase, { target: strips[2], signalName: "volumeChanged" })
        const eventsSpy = createTemporaryObject(spyComponent, testCase, { target: strips[2], signalName: "eventsChanged" })
        mouseClick(solos[2])
        compare(states(), [false, false, true])
        compare(ConfigMgr.getValue("listen"), "file:///usr/bin/appA")
        mouseClick(solos[2])
        compare(states(), [false, false, true])
        mouseClick(solos[0])
        compare(states(), [true, false, false])
        compare(volume.count, 2)
        compare(args(eventsSpy)[1], [1, true])

        mouseClick(findChild(strips[2], "monitorMuteButton"))
        mouseClick(findChild(strips[2], "liveMuteButton"))
        mouseClick(findChild(strips[2], "liveMuteButton"))
        compare(ConfigMgr.getValue("file:///usr/bin/appA_monitor", false), true)
        compare(ConfigMgr.getValue("file:///usr/bin/appA_mix", false), false)
        compare(args(eventsSpy).slice(2), [[2, true], [3, true], [3, false]])
        compare(volume.count, 5)
        verify(!findChild(strips[0], "monitorMuteButton").visible)
        verify(!findChild(strips[1], "liveMuteButton").visible)
    }

    function test_application_leaves_and_returns() {
        SystemBridge.runningApplications = [appA]
        const s = strip({ showType: 3, currentApp: appA })
        const box = findChild(s, "appBox")
        const title = findChild(s, "titleText")
        verify(box.visible && !title.visible)

        SystemBridge.runningApplications = []
        SystemBridge.runningAppsChanged()
        verify(!box.visible && title.visible)
        compare(title.text, "App A")

        const other = { name: "App B", bundleIdentifier: "file:///usr/bin/appB", processIdentifier: 102 }
        SystemBridge.runningApplications = [other, appA]
        SystemBridge.runningAppsChanged()
        verify(box.visible && !title.visible)
        compare(box.appModels[box.currentIndex].bundleIdentifier, "file:///usr/bin/appA")
    }
}
