import QtQuick
import QtTest
import MediaControls
import VeloranDeck
import VeloranDeckHIDHotplug
import VeloranDeckSystemBridge
import VeloranDeckTranslation
import VeloranTestSupport

// The firmware upgrade screen of the home page over the fake device manager;
// images come from the local test server.
MainWindowCase {
    name: "UpgradeScreen"

    readonly property var t40: ({ name: "Veloran T40", sn: "T40SN1", dpid: "13", pid: "13", vid: "4660" })
    readonly property var r7: ({ name: "Veloran R7", sn: "R7SN1", dpid: "38953", pid: "38953", vid: "4660" })

    function init() {
        resetWorld()
        TestServer.route("GET", "/fw.bin", 200, "firmware image bytes")
        ConfigMgr.setValue(ConfigMgr.keys.upgradeFirmwareFilePath, "")
        LogSpy.clear()
    }

    function cleanup() {
        // No download may end in a page that is gone.
        tryVerify(function() { return Object.keys(NetworkMgr.callbackMap).length === 0 }, 5000)
        HIDHotplugManager.deviceConnected({}, false)
        MessageDialogMgr.closeAllDialogs()
    }

    function screen() {
        const window = mainWindow()
        const stack = findChild(window.contentItem, "stackView")
        const home = stack.currentItem
        const item = function(name) { const found = findChild(home, name); verify(found, name); return found }
        return { window: window, stack: stack, home: home, item: item, timer: item("upgradeTimeoutTimer"),
                 bar: item("progressBar") }
    }

    // A result row just shown is laid out before it is clicked.
    function click(item) {
        waitForItemPolished(item.parent)
        mouseClick(item)
    }

    function upgrades() {
        return HIDHotplugManager.callsTo("upgradeFirmware").map(function(args) { return args[0] })
    }

    // What the screen shows: text, bar, buttons, watchdog.
    function view(s) {
        const shown = function(name) { return s.item(name).visible }
        return { text: s.item("resetText").text, bar: shown("progressBar"), row: shown("upgradeMessageView"),
                 buttons: [shown("btn1"), shown("btn2"), shown("btn3")], watchdog: s.timer.running }
    }

    readonly property var failedView: ({ text: "升级失败", bar: false, row: true, buttons: [true, false, true] })
    readonly property var downloadFailedView: ({ text: "失败", bar: false, row: true, buttons: [true, false, true],
                                                  watchdog: false })

    function compareView(s, expected) {
        const actual = view(s)
        for (const key in expected)
            compare(actual[key], expected[key], key)
    }

    // Installing: the stored image handed to the device, watchdog running.
    function installing(s) {
        const before = upgrades().length
        ConfigMgr.setValue(ConfigMgr.keys.upgradeFirmwareFilePath, "/tmp/fw-stored.bin")
        HIDHotplugManager.upgradeFirmwareSignal()
        compare(upgrades().length, before + 1)
        compare(upgrades()[before], "/tmp/fw-stored.bin")
        verify(s.home.isUpdateFirmware)
    }

    function test_request_downloads_and_installs() {
        const s = screen()
        HIDHotplugManager.deviceConnected(t40, true)
        mouseClick(s.item("button"))
        tryCompare(s.stack, "depth", 2)
        ConfigMgr.setValue(ConfigMgr.keys.upgradeFirmwareFilePath, "/tmp/old.bin")

        MessageBus.publishUpdateFirmware(TestServer.url("/fw.bin"))
        verify(s.home.isUpdateFirmware)
        tryCompare(s.stack, "depth", 1)
        compare(ConfigMgr.getValue(ConfigMgr.keys.upgradeFirmwareFilePath), "")
        verify(!s.timer.running)

        tryVerify(function() { return upgrades().length === 1 }, 5000)
        const path = upgrades()[0]
        compare(ConfigMgr.getValue(ConfigMgr.keys.upgradeFirmwareFilePath), path)
        compareView(s, { text: "升级中", bar: true, row: false, buttons: [false, false, false], watchdog: true })
        compare(s.bar.value, 0)
        verify(LogSpy.count("升级包下载成功: " + path) === 1)
    }

    function test_download_failures_data() {
        return [
            { tag: "404", url: function() { return TestServer.url("/missing.bin") } },
            { tag: "refused", url: function() { return TestServer.closedPortUrl() + "/fw.bin" } },
            { tag: "empty url", url: function() { return "" } }
        ]
    }

    function test_download_failures(data) {
        const s = screen()
        MessageBus.publishUpdateFirmware(data.url())
        tryCompare(s.item("resetText"), "text", "失败", 5000)
        compareView(s, downloadFailedView)
        compare(ConfigMgr.getValue(ConfigMgr.keys.upgradeFirmwareFilePath), "")
        compare(upgrades(), [])
        verify(LogSpy.count("升级包下载失败:") >= 1)
    }

    function test_reports_data() {
        const progress = { text: "升级中", bar: true, row: false, buttons: [false, false, false], watchdog: true }
        return [
            { tag: "accepted", reports: [[0, "可以升级"]], view: progress, percent: "0%" },
            { tag: "progress 37", reports: [[0, "可以升级"], [37, "升级进度:37"]], view: progress, percent: "37%" },
            { tag: "version low then checksum", reports: [[100, "升级失败,版本低"], [100, "升级失败,校验失败"]],
              view: Object.assign({ watchdog: false }, failedView) },
            { tag: "busy", reports: [[0, "不可以升级设备忙"]], view: Object.assign({ watchdog: false }, failedView) },
            { tag: "battery low", reports: [[0, "不可以升级电量低"]], view: failedView },
            { tag: "start failed", reports: [[0, "升级失败"]], view: failedView },
            { tag: "success", reports: [[50, "升级进度:50"], [100, "升级成功"]],
              view: { text: "升级成功", bar: false, row: true, buttons: [false, true, false], watchdog: false } },
            { tag: "out of range", reports: [[250, "升级进度:250"]], view: progress, percent: "100%" }
        ]
    }

    function test_reports(data) {
        const s = screen()
        installing(s)
        for (let i = 0; i < data.reports.length; ++i)
            HIDHotplugManager.upgradeFirmwareProgress(data.reports[i][0], data.reports[i][1])
        compareView(s, data.view)
        if (data.percent)
            compare(s.bar.subText.text, data.percent)
    }

    function test_watchdog() {
        const s = screen()
        // A minute of silence from the device, counted once.
        compare([s.timer.interval, s.timer.repeat], [60000, false])
        installing(s)
        s.timer.triggered()
        compareView(s, failedView)
        compare(LogSpy.count("[Upgrade] 升级超时未收到任何进度回调，判定升级失败"), 1)

        click(s.item("btn1"))
        verify(!s.home.isUpdateFirmware)
        s.timer.triggered()
        compare(LogSpy.count("[Upgrade] 升级超时未收到任何进度回调，判定升级失败"), 1)

        // A watchdog left running stops when a new download starts.
        installing(s)
        verify(s.timer.running)
        TestServer.route("GET", "/slow.bin", 200, "image", { delayMs: 400 })
        MessageBus.publishUpdateFirmware(TestServer.url("/slow.bin"))
        verify(!s.timer.running)
        tryVerify(function() { return upgrades().length === 3 }, 5000)
        compareView(s, { text: "升级中", bar: true, row: false, buttons: [false, false, false], watchdog: true })
    }

    function test_reconnect_data() {
        return [
            { tag: "at 3 %", progress: 3, again: true },
            { tag: "at 5 %", progress: 5, again: false },
            { tag: "downloading", progress: -1, again: false }
        ]
    }

    function test_reconnect(data) {
        const s = screen()
        if (data.progress >= 0) {
            installing(s)
            HIDHotplugManager.upgradeFirmwareProgress(data.progress, "升级进度:" + data.progress)
        } else {
            TestServer.route("GET", "/slow.bin", 200, "image", { delayMs: 2000 })
            MessageBus.publishUpdateFirmware(TestServer.url("/slow.bin"))
        }
        const before = upgrades().length
        HIDHotplugManager.deviceConnected(t40, false)
        compare(LogSpy.count("[Upgrade] 升级过程中设备断开，等待自动重连或超时"), 1)
        verify(s.home.isUpdateFirmware)
        compare(s.item("upgradeTitle").text, "连接你的 Veloran 设备")
        // The manager reports the returned device complete more than once.
        HIDHotplugManager.deviceConnected(t40, true)
        HIDHotplugManager.deviceConnected(t40, true)
        compare(upgrades().length - before, data.again ? 1 : 0)
        compare(LogSpy.count("[Upgrade] 设备重连，自动重新触发升级:"), data.again ? 1 : 0)
        compare(s.item("upgradeTitle").text, "Veloran T40")
    }

    function test_disconnect_while_installing_keeps_screen_and_stack() {
        const s = screen()
        HIDHotplugManager.deviceConnected(t40, true)
        installing(s)
        HIDHotplugManager.deviceConnected(t40, false)
        verify(s.home.isUpdateFirmware)
        compare(s.stack.depth, 1)
        compareView(s, { text: "升级中", bar: true, row: false })
        compare(s.item("upgradeTitle").text, "连接你的 Veloran 设备")
    }

    function test_buttons_data() {
        return [
            { tag: "cancel T40", button: "btn1", home: true, info: t40, scans: 0 },
            { tag: "ok R7", button: "btn2", home: true, info: r7, scans: 1 },
            { tag: "retry with url", button: "btn3", url: true },
            { tag: "retry without url", button: "btn3", url: false }
        ]
    }

    function test_buttons(data) {
        const s = screen()
        if (data.info)
            HIDHotplugManager.deviceConnected(data.info, true)
        if (data.url) {
            MessageBus.publishUpdateFirmware(TestServer.url("/fw.bin"))
            tryVerify(function() { return upgrades().length === 1 }, 5000)
        } else {
            installing(s)
        }
        // Every button shown, as a result view would.
        HIDHotplugManager.upgradeFirmwareProgress(0, "升级失败")
        s.item("btn2").visible = true
        click(s.item(data.button))
        if (data.home) {
            verify(!s.home.isUpdateFirmware)
            verify(s.item("homeView").visible)
            // The facade resumes the scan where the device layer stopped it.
            compare(HIDHotplugManager.callsTo("startAndConnectDevice").length, data.scans)
            return
        }
        compare(HIDHotplugManager.callsTo("startAndConnectDevice").length, 0)
        if (data.url) {
            compare(ConfigMgr.getValue(ConfigMgr.keys.upgradeFirmwareFilePath), "")
            tryVerify(function() { return upgrades().length === 2 }, 5000)
            verify(upgrades()[1] !== upgrades()[0])
        } else {
            compare(upgrades(), ["/tmp/fw-stored.bin", "/tmp/fw-stored.bin"])
        }
        compareView(s, { text: "升级中", bar: true, row: false, buttons: [false, false, false], watchdog: true })
    }

    function test_hint_and_texts_data() {
        return [
            { tag: "T40 zh", info: t40, language: "zh_CN", lines: 1 },
            { tag: "R7 zh", info: r7, language: "zh_CN", lines: 2 },
            { tag: "T40 en", info: t40, language: "en_US", lines: 1,
              texts: { resetText: "Updating", btn1: "Cancel", btn2: "OK", btn3: "Retry" }, failed: "Failed" }
        ]
    }

    function test_hint_and_texts(data) {
        TranslationManager.setLanguage(data.language)
        const s = screen()
        HIDHotplugManager.deviceConnected(data.info, true)
        compare(s.bar.mainText.text.split("\n").length, data.lines)
        for (const name in data.texts)
            compare(s.item(name).text, data.texts[name])
        if (data.failed) {
            installing(s)
            HIDHotplugManager.upgradeFirmwareProgress(0, "升级失败")
            compare(s.item("resetText").text, data.failed)
        }
    }
}
