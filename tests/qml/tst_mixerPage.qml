import QtQuick
import QtTest
import MediaControls
import VeloranDeck
import VeloranDeckSettings
import VeloranDeckSystemBridge
import VeloranDeckHIDHotplug

// The mixer page on the fakes: the routing list it hands to the audio
// side, its inputs, adds and deletes, and where level reports go.
TestCase {
    id: testCase
    name: "MixerPage"
    width: 1300
    height: 800
    when: windowShown
    visible: true

    readonly property var r7Info: ({ name: "Veloran R7", sn: "R7SN", version: "V2.12", dpid: 0x9829, pid: 28, vid: 1 })
    property var order: []

    function app(letter, pid) {
        return { name: "App " + letter, iconFilePath: "", bundleIdentifier: "file:///usr/bin/app" + letter,
                 processIdentifier: pid, isInput: false, streamID: 0 }
    }
    function input(name) {
        return { name: name, iconFilePath: "", bundleIdentifier: name, processIdentifier: name, isInput: true,
                 streamID: 0 }
    }
    function texts(records) { return records.map(function(r) { return JSON.stringify(r) }) }

    Component {
        id: pageComponent
        MainSettings {
            width: 1300
            height: 800
        }
    }

    function connectDevice(info) {
        HIDHotplugManager.deviceInfo = info
        HIDHotplugManager.deviceConnected(info, info.name !== undefined)
    }

    function init() {
        SystemBridge.reset()
        HIDHotplugManager.reset()
        SettingsManager.setDeviceScope("")
        SettingsManager.clear()
        HIDDeviceMgr.deviceReady = false
        connectDevice({})
        ConfigMgr.loadAllSettings()
        SystemBridge.runningApplications = []
        order = []
    }

    function makePage(appList) {
        ConfigMgr.setStringList(ConfigMgr.keys.appList, texts(appList))
        return createTemporaryObject(pageComponent, testCase)
    }

    function sends() { return SystemBridge.callsTo("setAudioConfig") }
    function lastList() {
        const all = sends()
        return all[all.length - 1][0]
    }
    function strips(page) {
        const row = page.audioControllersRow
        const result = []
        for (let i = 0; i < row.children.length; ++i) {
            if (row.children[i].showType === 3)
                result.push(row.children[i])
        }
        return result
    }

    function test_fixed_entries_data() {
        return [
            { tag: "device", info: r7Info, name: "Veloran R7", deviceInputs: [["Veloran R7", 0]] },
            { tag: "no device", info: {}, name: "", deviceInputs: [] }
        ]
    }

    function test_fixed_entries(data) {
        connectDevice(data.info)
        makePage([])
        const list = lastList()
        compare(list.map(function(e) { return e.processID }), [4294967294, 4294967295, 0])
        compare(list.map(function(e) { return e.bundleID }), ["__input2_device__", "__input1_device__", "0"])
        compare(list.map(function(e) { return e.deviceName }), [data.name, data.name, data.name])
        compare(list[1].input1.volume, 1)
        compare(list[1].input2, undefined)
        compare(list[0].input1, undefined)
        compare(list.map(function(e) { return e.solo }), [false, true, false])
        compare(SystemBridge.callsTo("AddInputDevice"), data.deviceInputs)
    }

    function test_applications_and_inputs_in_list_order() {
        ConfigMgr.setValue("file:///usr/bin/appA_dB", 1.7)
        ConfigMgr.setValue("file:///usr/bin/appB_dB", -0.2)
        ConfigMgr.setValue("M_monitor", true)
        ignoreWarning(/appList 条目无效, 已移除: 2/)
        const page = makePage([app("A", 101), input("M"), "{\"name\": \"broken", app("B", 102), input("N")])
        compare(SystemBridge.callsTo("AddInputDevice"), [["M", 2], ["N", 4]])
        compare(strips(page).length, 4)
        compare(ConfigMgr.getStringList(ConfigMgr.keys.appList).length, 4)
        const list = lastList()
        compare(list.map(function(e) { return e.bundleID }),
                ["file:///usr/bin/appA", 2, "file:///usr/bin/appB", 4, "__input2_device__", "__input1_device__", "0"])
        compare(list.map(function(e) { return e.processID }), [101, 2, 102, 4, 4294967294, 4294967295, 0])
        compare([list[0].input1.volume, list[0].input2.volume, list[2].input1.volume], [1, 1, 0])
        compare([list[1].input1.muted, list[1].input2.muted], [true, false])
        compare(list.map(function(e) { return e.deviceName }), ["", "", "", "", "", "", ""])
    }

    function test_inputs_keep_distinct_numbers_and_eight_is_the_limit() {
        const page = makePage([input("M"), input("N"), app("A", 101)])
        const tile = findChild(page, "addTile")
        strips(page)[0].deleteApp()
        compare(SystemBridge.callsTo("RemoveInputDevice"), [["M"]])
        tile.isProcessing = false
        tile.pick(input("P"))
        compare(SystemBridge.callsTo("AddInputDevice").slice(-1), [["P", 1]])
        const numbers = lastList().slice(0, 3).map(function(e) { return e.processID })
        compare(numbers, [2, 101, 1])

        for (let i = 0; i < 5; ++i) {
            tile.isProcessing = false
            tile.pick(app("X" + i, 200 + i))
        }
        compare(page.audioControllersRow.audioControlles.length, 8)
        verify(!tile.visible)
        const before = sends().length
        tile.isProcessing = false
        tile.pick(app("Z", 300))
        wait(0)
        compare(sends().length, before)
        compare(ConfigMgr.getStringList(ConfigMgr.keys.appList).length, 8)
        compare(page.audioControllersRow.audioControlles.length, 8)
    }

    function test_deleting_the_soloed_strip_moves_the_solo_first() {
        const page = makePage([app("A", 101), app("B", 102)])
        ConfigMgr.setValue("listen", "file:///usr/bin/appB")
        const listener = function(topic, data) { testCase.order.push(["listen", data, sends().length]) }
        MessageBus.subscribe(MessageBus.messageTypes.LISTEN_MODE_CHANGED, listener)
        const before = sends().length
        mouseClick(findChild(strips(page)[1], "deleteButton"))
        MessageBus.unsubscribe(MessageBus.messageTypes.LISTEN_MODE_CHANGED, listener)
        compare(order, [["listen", "listen", before]])
        compare(sends().length, before + 1)
        const list = lastList()
        compare(list.filter(function(e) { return e.solo }).map(function(e) { return e.bundleID }), ["__input1_device__"])
        compare(ConfigMgr.getStringList(ConfigMgr.keys.appList), texts([app("A", 101)]))
    }

    function test_new_process_id_and_level_routing() {
        SystemBridge.runningApplications = [app("A", 101)]
        const page = makePage([app("A", 101), input("M")])
        const before = sends().length
        SystemBridge.runningApplications = [app("A", 202)]
        SystemBridge.runningAppsChanged()
        compare(sends().length, before + 1)
        compare(lastList()[0].processID, 202)

        const meters = {
            app: findChild(strips(page)[0], "meter"), input: findChild(strips(page)[1], "meter"),
            live: findChild(findChild(page, "liveStrip"), "meter"),
            monitor: findChild(findChild(page, "monitorStrip"), "meter"),
            device: findChild(findChild(page, "deviceStrip"), "meter")
        }
        const cases = [
            { pid: 202, moved: "app" }, { pid: 2, moved: "input" }, { pid: 4294967294, moved: "live" },
            { pid: 4294967295, moved: "monitor" }, { pid: 0, moved: "device" }, { pid: 999, moved: "" },
            { pid: 101, moved: "app" }
        ]
        for (let i = 0; i < cases.length; ++i) {
            for (const name in meters)
                meters[name].setLevels(0, 0)
            SystemBridge.audioInputLevelChanged([{ processID: cases[i].pid, levelLeft: 0.5, levelRight: 0.25 }])
            for (const name in meters) {
                compare([meters[name].leftLevel, meters[name].rightLevel],
                        name === cases[i].moved ? [0.5, 0.25] : [0, 0], cases[i].pid + " " + name)
            }
        }
    }
}
