import QtQuick
import QtTest
import VeloranDeckSystemBridge
import VeloranTestSupport
import VeloranDeckSettings

// The real bridge on the simulated system: every member of its QML
// interface is reachable and gives its declared type.
TestCase {
    name: "SystemBridgeTable"

    SignalSpy { id: deviceListSpy; target: SystemBridge; signalName: "audioDeviceListChanged" }
    SignalSpy { id: runningAppsSpy; target: SystemBridge; signalName: "runningAppsChanged" }
    SignalSpy { id: installedAppsSpy; target: SystemBridge; signalName: "installedAppsChanged" }
    SignalSpy { id: powerSpy; target: SystemBridge; signalName: "screenPowerStateChanged" }

    function names(list) {
        return list.map(function(entry) { return entry.name })
    }

    function typeOf(value) {
        if (value === undefined)
            return "void"
        if (Array.isArray(value))
            return "list"
        if (typeof value === "object" && value !== null)
            return "map"
        return typeof value
    }

    function test_signals_can_be_connected_data() {
        return [
            { tag: "permissionChanged" }, { tag: "systemInfoUpdated" }, { tag: "networkStatusChanged" },
            { tag: "audioInputLevelChanged" }, { tag: "audioDeviceListChanged" }, { tag: "runningAppsChanged" },
            { tag: "screenPowerStateChanged" }, { tag: "virtualDriverStatusChanged" },
            { tag: "deviceSampleRateChanged" }
        ]
    }

    function test_signals_can_be_connected(data) {
        const handler = function() {}
        const signal = SystemBridge[data.tag]
        verify(signal !== undefined, data.tag)
        signal.connect(handler)
        signal.disconnect(handler)
    }

    function test_methods_give_their_declared_types_data() {
        return [
            { tag: "getSystemInfo", args: [], type: "map" },
            { tag: "getAudioDeviceInfo", args: [], type: "map" },
            { tag: "showNotification", args: ["title", "message"], type: "void" },
            { tag: "checkSystemPermissions", args: [], type: "map" },
            { tag: "getNetworkInterfaces", args: [], type: "list" },
            { tag: "getStorageInfo", args: [], type: "map" },
            { tag: "getCurrentUserInfo", args: [], type: "map" },
            { tag: "isAppInForeground", args: [], type: "boolean" },
            { tag: "bringAppToFront", args: [], type: "void" },
            { tag: "openSystemPreferences", args: [], type: "void" },
            { tag: "openUrl", args: ["https://example.invalid/"], type: "void" },
            { tag: "openApplication", args: [""], type: "boolean" },
            { tag: "simulateKeyPress", args: ["Ctrl+A"], type: "boolean" },
            { tag: "takeScreenshot", args: [], type: "boolean" },
            { tag: "startScreenRecording", args: [], type: "boolean" },
            { tag: "getTempDirectory", args: [], type: "string" },
            { tag: "installFile", args: ["/nonexistent/setup.exe"], type: "boolean" },
            { tag: "requestNotificationPermission", args: [], type: "void" },
            { tag: "getRunningApplications", args: [], type: "list" },
            { tag: "getRunningApplicationsCached", args: [], type: "list" },
            { tag: "getRunningApplicationsByQt", args: [], type: "list" },
            { tag: "getOutputStreamIDs", args: [], type: "list" },
            { tag: "getPlatform", args: [], type: "string" },
            { tag: "startPowerEventMonitor", args: [], type: "void" },
            { tag: "stopPowerEventMonitor", args: [], type: "void" },
            { tag: "setAudioConfig", args: [[]], type: "void" },
            { tag: "Start", args: [], type: "boolean" },
            { tag: "Stop", args: [], type: "void" },
            { tag: "Restart", args: [], type: "boolean" },
            { tag: "IsRunning", args: [], type: "boolean" },
            { tag: "SetSampleRate", args: [48000], type: "boolean" },
            { tag: "GetSampleRate", args: [], type: "number" },
            { tag: "AddInputDevice", args: ["USB Mic", 1], type: "boolean" },
            { tag: "RemoveInputDevice", args: ["USB Mic"], type: "boolean" },
            { tag: "GetInputDevices", args: [], type: "list" },
            { tag: "GetDeviceList", args: [0], type: "list" },
            { tag: "updateMonitorDevice", args: [], type: "void" },
            { tag: "SetDeviceSampleRate", args: ["Veloran T40", 48000], type: "boolean" },
            { tag: "SetDeviceSampleRateAsync", args: ["Veloran T40", 48000], type: "void" },
            { tag: "GetDeviceCurrentRateKHz", args: ["Veloran T40"], type: "string" }
        ]
    }

    function test_methods_give_their_declared_types(data) {
        const method = SystemBridge[data.tag]
        compare(typeof method, "function", data.tag)
        compare(typeOf(method.apply(SystemBridge, data.args)), data.type, data.tag)
    }

    // These two end the run; they are only looked up.
    function test_members_that_end_the_run_exist() {
        compare(typeof SystemBridge.restartApplication, "function")
        compare(typeof SystemBridge.quitApplication, "function")
    }

    function test_constant_values() {
        compare(SystemBridge.isWindows, true)
        compare(SystemBridge.isMacOS, false)
        compare(SystemBridge.getOutputStreamIDs().length, 0)
        verify(SystemBridge.getPlatform().length > 0)
    }

    function test_system_info_has_exactly_its_five_texts() {
        const info = SystemBridge.getSystemInfo()
        compare(Object.keys(info).sort(), ["kernelType", "kernelVersion", "machineType", "osName", "platform"])
        for (const key in info)
            compare(typeof info[key], "string", key)
        compare(info.platform, SystemBridge.getPlatform())
    }

    // The bridge's workers run on the simulated world's real clock: a
    // debounce of 150 ms, a refresh every 2 s.
    function test_an_added_endpoint_is_announced_once() {
        wait(300) // what earlier rows changed has been announced
        deviceListSpy.clear()
        SimWorld.addEndpoint("Table Test Microphone", true)
        deviceListSpy.wait(3000)
        wait(500)
        compare(deviceListSpy.count, 1)
        verify(names(SystemBridge.GetDeviceList(1)).indexOf("Table Test Microphone") >= 0)
    }

    function test_a_new_process_is_listed_with_its_icon() {
        const image = "/opt/table/player.exe"
        SimWorld.setVersionStrings(image, [{ language: 0x0804, codePage: 1200, productName: "播放器",
                                             fileDescription: "" }])
        // Sessions play on the default output.
        SimWorld.addEndpoint("Table Test Speakers", false)
        runningAppsSpy.clear()
        verify(SimWorld.addProcess(4242, image, "player", "Active"))
        tryVerify(function() { return runningAppsSpy.count > 0 }, 6000)
        const apps = SystemBridge.getRunningApplicationsCached().filter(function(entry) {
            return entry.processIdentifier === 4242
        })
        compare(apps.length, 1)
        compare(apps[0].name, "播放器")
        compare(apps[0].bundleIdentifier, "file://" + image)
        compare(apps[0].isActive, true)
        verify(/^file:\/\/.*\/VeloranDeck\/icons\/player\.png$/.test(apps[0].iconFilePath), apps[0].iconFilePath)
        SimWorld.removeProcess(4242)
    }

    function test_installed_programs_follow_the_browser_entry() {
        const folder = SimWorld.makeFolder(["Tools/tabletool.exe", "viewer.exe", "notes.txt"])
        verify(folder.length > 0)
        SimWorld.setApplicationFolders([folder])
        installedAppsSpy.clear()
        compare(names(SystemBridge.getRunningApplicationsByQt()), ["系统浏览器"])
        installedAppsSpy.wait(5000)
        SimWorld.setApplicationFolders([])
        const list = installedAppsSpy.signalArguments[0][0]
        compare(names(list), ["系统浏览器", "tabletool", "viewer"])
        compare(list[0].isSystemBrowser, true)
        compare(list[1].executablePath, folder + "/Tools/tabletool.exe")
        compare(list[2].bundlePath, "file://" + folder + "/viewer.exe")
    }

    // The engine runs on the machine's PortAudio; the microphone router only
    // with the device, so unknown inputs are refused once the device's
    // services have started (on a busy machine, after this test begins).
    function test_engine_controls() {
        verify(SystemBridge.Start())
        verify(SystemBridge.IsRunning())
        compare(SystemBridge.GetSampleRate(), 48000)
        compare(SystemBridge.GetInputDevices(), [])
        SystemBridge.Stop()
        verify(!SystemBridge.IsRunning())
        tryVerify(function() { return SystemBridge.RemoveInputDevice("No Such Microphone") === false }, 30000)
    }

    // The emulated T40's microphone plays 250 Hz: a stored preset lifting
    // 250 Hz by 6 dB raises source 0's reported level by as much.
    property var micLevels: []
    Connections {
        target: SystemBridge
        function onAudioInputLevelChanged(levels) {
            for (const level of levels)
                if (level.processID === 0)
                    micLevels.push(level.levelLeft)
        }
    }
    function meanMicLevel() {
        micLevels = []
        wait(1500)
        micLevels = []
        tryVerify(function() { return micLevels.length >= 10 }, 15000)
        let sum = 0
        for (const l of micLevels) sum += l
        return sum / micLevels.length
    }
    function test_equaliser_preset_lifts_the_microphone_level() {
        const bus = { enabled: true, volume: 1.0, muted: false }
        SystemBridge.setAudioConfig([{ processID: 0, input1: bus, input2: bus, solo: false },
                                     { processID: 4294967295, input1: bus, input2: bus },
                                     { processID: 4294967294, input1: bus, input2: bus }])
        SettingsManager.setValue("device_equalizer", false)
        SettingsManager.setValue("device_compressor", false)
        SystemBridge.updateMonitorDevice()
        const flat = meanMicLevel()
        verify(flat > 0.05, flat)
        SettingsManager.setValue("device_equalizer_current",
                                 '{"name":"自定义","type":0,"value":[0,0,6,0,0,0,0,0,0,0,0,0],"img":"icons/zdy.svg"}')
        SettingsManager.setValue("device_equalizer", true)
        SystemBridge.updateMonitorDevice()
        const lifted = meanMicLevel()
        SettingsManager.setValue("device_equalizer", false)
        SystemBridge.updateMonitorDevice()
        const gainDb = 20 * Math.log(lifted / flat) / Math.LN10
        verify(Math.abs(gainDb - 6) <= 0.5, "lifted by " + gainDb + " dB")
    }

    // The microphone router holds the device's endpoints, so a rate change
    // stops it around the write; source 0 must be heard again afterwards.
    SignalSpy { id: sampleRateSpy; target: SystemBridge; signalName: "deviceSampleRateChanged" }
    property bool micHeard: false
    Connections {
        target: SystemBridge
        function onAudioInputLevelChanged(levels) {
            for (const level of levels)
                if (level.processID === 0 && level.levelLeft > 0.05 && level.levelRight > 0.05)
                    micHeard = true
        }
    }
    function reported(name, rate) {
        return sampleRateSpy.signalArguments.some(function(args) {
            return args[0] === name && args[1] === rate && args[2] === true
        })
    }
    function test_sample_rate_change_brings_the_microphone_back() {
        const bus = { enabled: true, volume: 1.0, muted: false }
        SystemBridge.setAudioConfig([{ processID: 0, input1: bus, input2: bus, solo: false },
                                     { processID: 4294967295, input1: bus, input2: bus },
                                     { processID: 4294967294, input1: bus, input2: bus }])
        micHeard = false
        tryVerify(function() { return micHeard }, 10000, "source 0 heard before the change")

        sampleRateSpy.clear()
        SystemBridge.SetDeviceSampleRateAsync("Veloran T40", 44100)
        tryVerify(function() { return reported("Veloran T40", 44100) }, 10000, "44100 reported")
        compare(SystemBridge.GetDeviceCurrentRateKHz("Veloran T40"), "44.1")
        wait(300) // levels queued before the router stopped are delivered
        micHeard = false
        tryVerify(function() { return micHeard }, 10000, "source 0 heard after the router restarted")

        verify(SystemBridge.SetDeviceSampleRate("Veloran T40", 48000))
        compare(SystemBridge.GetDeviceCurrentRateKHz("Veloran T40"), "48")
    }

    // Keys reach the system's injector; display power comes back queued.
    function test_keys_and_display_power_reach_the_system() {
        const before = SimWorld.sentKeys().length
        verify(SystemBridge.simulateKeyPress("Meta+Shift+S"))
        compare(SimWorld.sentKeys().slice(before).map(function(k) { return k.key + (k.up ? "^" : "") }),
                ["91", "16", "83", "83^", "91^", "16^"])

        powerSpy.clear()
        SystemBridge.startPowerEventMonitor()
        compare(SimWorld.firePowerEvent("display-off"), 1)
        powerSpy.wait(5000)
        compare(powerSpy.count, 1)
        compare(powerSpy.signalArguments[0][0], false)
        SystemBridge.stopPowerEventMonitor()
        compare(SimWorld.firePowerEvent("display-on"), 0)
    }
}
