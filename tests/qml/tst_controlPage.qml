import QtQuick
import QtTest
import MediaControls
import VeloranDeck
import VeloranDeckSettings
import VeloranDeckSystemBridge
import VeloranDeckHIDHotplug
import VeloranDeckTranslation

// The control page on the fakes: the drawer and its tabs by model, the
// device facts, the display-power monitor and the lights it switches, the
// automatic-gain window and the firmware-check gate.
TestCase {
    id: testCase
    name: "ControlPage"
    width: 1300
    height: 800
    when: windowShown
    visible: true

    readonly property var models: ({
        R7: { name: "Veloran R7", sn: "R7SN", version: "V2.12", dpid: 0x9829, pid: 28, vid: 1 },
        T40: { name: "Veloran T40", sn: "T40SN", version: "V1.05", dpid: 0x000D, pid: 28, vid: 1 },
        U20: { name: "Veloran U20", sn: "U20SN", version: "V1.02", dpid: 0x000E, pid: 28, vid: 1 }
    })

    Component {
        id: pageComponent
        MainLayout {}
    }

    function init() {
        TranslationManager.setLanguage("zh_CN")
        // Every model's file: a page reads the scope of its model.
        const scopes = ["r7", "t40", "u20", ""]
        for (let i = 0; i < scopes.length; ++i) {
            SettingsManager.setDeviceScope(scopes[i])
            SettingsManager.clear()
        }
        HIDDeviceMgr.deviceReady = false
        HIDDeviceMgr.hasNewFirmware = false
        HIDDeviceMgr.messageCache = {}
        ConfigMgr.loadAllSettings()
    }

    function connect(model) {
        const info = model ? models[model] : {}
        HIDHotplugManager.deviceInfo = info
        HIDHotplugManager.deviceConnected(info, model !== undefined)
    }

    function page(model, settings) {
        connect(model)
        for (const key in (settings || {}))
            ConfigMgr.setValue(key, settings[key])
        SystemBridge.reset()
        const created = createTemporaryObject(pageComponent, testCase)
        verify(created)
        waitForRendering(created)
        HIDDeviceMgr.drainQueue()
        HIDHotplugManager.reset()
        return created
    }

    function named(item, name) {
        const found = findChild(item, name)
        verify(found, name)
        return found
    }

    function buttonTexts(p) {
        const names = []
        for (let i = 0; findChild(p, "tabButton" + i); ++i)
            names.push(findChild(p, "tabButton" + i).children[0].text)
        return names
    }

    function openDrawer(p) {
        mouseClick(named(named(p, "deviceStrip"), "iconBox"))
        tryCompare(p.deviceSettingsDrawer, "width", 450, 2000)
    }

    function test_drawer_opens_from_the_device_strip() {
        const p = page("T40")
        const drawer = p.deviceSettingsDrawer
        const mixer = named(p, "mixer")
        compare([drawer.width, mixer.width], [0, 1300])
        const opened = Date.now()
        mouseClick(named(named(p, "deviceStrip"), "iconBox"))
        verify(drawer.isOpen)
        verify(drawer.width < 450)
        tryCompare(drawer, "width", 450, 2000)
        verify(Date.now() - opened >= 150)
        compare(mixer.width, 1300 - 450)
        compare(String(drawer.color), "#181818")

        mouseClick(named(p, "tabButton2"))
        compare(named(p, "tabStack").currentIndex, 3)
        mouseClick(named(p, "backButton"))
        verify(!drawer.isOpen)
        tryCompare(drawer, "width", 0, 2000)
        compare(mixer.width, 1300)
        openDrawer(p)
        compare(named(p, "tabRow").selectIndex, 2)
        compare(named(p, "tabStack").currentIndex, 3)
    }

    function test_tabs_by_model_data() {
        return [
            { tag: "T40", model: "T40", names: ["话筒", "监听", "通用"], third: 3 },
            { tag: "U20", model: "U20", names: ["话筒", "监听", "灯光", "通用"], third: 2 },
            { tag: "R7", model: "R7", names: ["话筒", "监听", "灯光", "通用"], third: 2 },
            { tag: "R7 en_US", model: "R7", language: "en_US", names: ["Mic", "Monitor", "Lighting", "General"],
              third: 2 }
        ]
    }

    function test_tabs_by_model(data) {
        if (data.language)
            TranslationManager.setLanguage(data.language)
        const p = page(data.model)
        openDrawer(p)
        compare(buttonTexts(p), data.names)
        // At least 60 px wide, else as wide as the label and its margins.
        for (let i = 0; i < data.names.length; ++i) {
            const button = named(p, "tabButton" + i)
            const needed = button.children[0].contentWidth + 10
            verify(button.width >= 60, data.names[i] + " " + button.width)
            verify(Math.abs(button.width - Math.max(60, needed)) < 1, data.names[i] + " " + button.width + " for " + needed)
        }
        const stack = named(p, "tabStack")
        compare(stack.children.length, 4)
        mouseClick(named(p, "tabButton2"))
        compare(stack.currentIndex, data.third)
        mouseClick(named(p, "tabButton1"))
        compare(stack.currentIndex, 1)
        compare(String(named(p, "tabButton1").color), "#f77f13")
        compare(named(p, "tabButton0").color.a, 0)
    }

    function test_device_facts() {
        const p = page()
        openDrawer(p)
        compare(named(p, "deviceName").text, "N/A")
        compare(named(p, "infoText").text, "SN:N/A    N/A")
        verify(String(named(p, "deviceImage").source).endsWith("icons/home_img.png"))
        compare(buttonTexts(p).length, 4)
        const badge = named(p, "firmwareBadge")
        verify(!badge.visible)
        HIDDeviceMgr.hasNewFirmware = true
        verify(badge.visible)
        HIDDeviceMgr.hasNewFirmware = false
        verify(!badge.visible)

        // A T40 replacing a model whose general tab was shown shows it too.
        connect("U20")
        compare(named(p, "infoText").text, "SN:U20SN    V1.02")
        mouseClick(named(p, "tabButton3"))
        compare(named(p, "tabStack").currentIndex, 3)
        connect("T40")
        compare(buttonTexts(p).length, 3)
        compare(named(p, "tabRow").selectIndex, 2)
        compare(named(p, "tabStack").currentIndex, 3)
        verify(String(named(p, "deviceImage").source).endsWith("icons/device_t40.png"))
    }

    function test_power_monitor_starts_once() {
        const p = page("T40")
        compare(SystemBridge.callsTo("startPowerEventMonitor").length, 0)
        // The lighting tab stores the option, then publishes it.
        const steps = [true, false, true]
        for (let i = 0; i < steps.length; ++i) {
            ConfigMgr.setValue("color_bg_other_close_lighting", steps[i])
            MessageBus.publishScreenPowerStateChanged(steps[i])
            compare(SystemBridge.callsTo("startPowerEventMonitor").length, 1)
        }
        // Switched off: the handler stays and sends nothing.
        ConfigMgr.setValue("color_bg_other_close_lighting", false)
        SystemBridge.screenPowerStateChanged(false)
        compare(HIDHotplugManager.callsTo("messageSend"), [])

        const second = page("T40", { color_bg_other_close_lighting: true })
        compare(SystemBridge.callsTo("startPowerEventMonitor").length, 1)
    }

    // Sent at once, without the queue; echo: the device answers the
    // display-off message as a real base does, over the stored choice.
    function test_lights_follow_the_display_data() {
        return [
            { tag: "R7", model: "R7", settings: { color_bg_other_brightness: 0.5 }, id: 19, off: [0], on: [50] },
            { tag: "T40", model: "T40", settings: {}, id: 26, off: [1], on: [0] },
            { tag: "T40 echo", model: "T40", settings: {}, id: 26, off: [1], on: [0], echo: true,
              key: "color_bg_other_lighting" },
            { tag: "U20 RGB off", model: "U20", settings: { color_bg_other_close_rgb: true }, id: 26,
              off: [1], on: [1], echo: true, key: "color_bg_other_close_rgb" }
        ]
    }

    function test_lights_follow_the_display(data) {
        const settings = Object.assign({ color_bg_other_close_lighting: true }, data.settings)
        let p = page(data.model, settings)
        compare(SystemBridge.callsTo("startPowerEventMonitor").length, 1)
        const stored = data.key ? ConfigMgr.getValue(data.key) : undefined
        for (let round = 0; round < 2; ++round) {
            HIDHotplugManager.reset()
            SystemBridge.screenPowerStateChanged(false)
            compare(HIDHotplugManager.callsTo("messageSend"), [[data.id, data.off]])
            if (data.echo) {
                HIDHotplugManager.messageReceived(26, [1])
                SystemBridge.screenPowerStateChanged(false)
            }
            SystemBridge.screenPowerStateChanged(true)
            const sends = HIDHotplugManager.callsTo("messageSend")
            compare(sends[sends.length - 1], [data.id, data.on])
            compare(sends.length, data.echo ? 3 : 2)
            if (data.echo)
                compare(ConfigMgr.getValue(data.key), stored)
            // A page made again sends once per change.
            p.destroy()
            wait(0)
            p = page(data.model)
        }
        p.destroy()
    }

    function test_auto_gain_window_and_firmware_gate() {
        const p = page("R7")
        compare(MessageDialogMgr.controlPageActive, true)
        MessageBus.publishUpdateAutoGain(2)
        compare(p.autoGainWindow, null)
        MessageBus.publishUpdateAutoGain(1)
        const first = p.autoGainWindow
        verify(first)
        verify(first.visible)
        MessageBus.publishUpdateAutoGain(1)
        MessageBus.publishUpdateAutoGain(true)
        verify(p.autoGainWindow === first)
        // The device's off closes it; the next request makes a new one.
        MessageBus.publishUpdateAutoGain(0)
        tryVerify(function() { return !first || first.visible !== true }, 2000)
        MessageBus.publishUpdateAutoGain(true)
        verify(p.autoGainWindow && p.autoGainWindow !== first)
        verify(p.autoGainWindow.visible)
        p.autoGainWindow.close()
        p.destroy()
        tryCompare(MessageDialogMgr, "controlPageActive", false, 2000)
    }
}
