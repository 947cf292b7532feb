import QtQuick
import QtTest
import MediaControls
import VeloranDeck
import VeloranDeckHIDHotplug
import VeloranDeckSystemBridge
import VeloranDeckTranslation
import VeloranTestSupport

// The firmware upgrade screen of the root window in its views (installing on
// a T40 and an R7, download failed, upgrade failed, upgrade succeeded), over
// the fake device manager, saved as PNG files and probed pixel by pixel.
ShotsCase {
    id: testCase
    name: "UpgradeShots"

    readonly property var t40: ({ name: "Veloran T40", sn: "T40SN1", dpid: "13", pid: "13", vid: "4660" })
    readonly property var r7: ({ name: "Veloran R7", sn: "R7SN1", dpid: "38953", pid: "38953", vid: "4660" })

    Component {
        id: mainComponent
        Main {}
    }

    function init() {
        TranslationManager.setLanguage("zh_CN")
        SystemBridge.reset()
        HIDHotplugManager.reset()
        TestServer.reset()
        TestServer.route("GET", "/fw.bin", 200, "firmware image bytes")
        ConfigMgr.setValue("share_data", false)
    }

    function cleanup() {
        tryVerify(function() { return Object.keys(NetworkMgr.callbackMap).length === 0 }, 5000)
        HIDHotplugManager.deviceConnected({}, false)
        MessageDialogMgr.closeAllDialogs()
    }

    // The screen after a request for path on a device of that kind, the
    // download over (or failed) and the reports given to it.
    function upgradeScreen(info, path, reports) {
        const window = createTemporaryObject(mainComponent, testCase)
        tryCompare(window, "opacity", 1)
        HIDHotplugManager.deviceConnected(info, true)
        const home = findChild(window.contentItem, "stackView").currentItem
        MessageBus.publishUpdateFirmware(TestServer.url(path))
        tryVerify(function() { return HIDHotplugManager.callsTo("upgradeFirmware").length === 1
                               || findChild(home, "resetText").text === "失败" }, 5000)
        for (const report of reports)
            HIDHotplugManager.upgradeFirmwareProgress(report[0], report[1])
        const row = findChild(home, "upgradeMessageView")
        if (row.visible)
            waitForItemPolished(findChild(home, "btn1").parent)
        waitForRendering(window.contentItem)
        compare([window.width, window.height], [1300, 800])
        return { window: window, item: function(name) { return findChild(home, name) } }
    }

    function save(s, name) {
        const image = grabImage(s.window.contentItem)
        image.save(Shots.path(name))
        return image
    }

    function test_progress_data() {
        return [
            { tag: "t40", info: t40, file: "upgrade-progress-t40.png", lines: 1 },
            { tag: "r7", info: r7, file: "upgrade-progress-r7.png", lines: 2 },
        ]
    }

    function test_progress(data) {
        const s = upgradeScreen(data.info, "/fw.bin", [[0, "可以升级"], [37, "升级进度:37"]])
        const bar = s.item("progressBar")
        verify(bar.visible)
        compare(bar.mainText.text.split("\n").length, data.lines)
        const image = save(s, data.file)
        const fill = findChild(bar, "fill")
        compare(fill.width > 0, true)
        compare(colorAt(image, fill, fill.width / 2, fill.height / 2), "#f77f13")
        // Past the fill, the track.
        compare(colorAt(image, fill, fill.width + 20, fill.height / 2), "#383838")
    }

    function test_results_data() {
        return [
            { tag: "download failed", path: "/missing.bin", reports: [], file: "upgrade-download-failed.png",
              text: "失败", buttons: [true, false, true] },
            { tag: "failed", path: "/fw.bin", reports: [[100, "升级失败,版本低"]], file: "upgrade-failed.png",
              text: "升级失败", buttons: [true, false, true] },
            { tag: "succeeded", path: "/fw.bin", reports: [[50, "升级进度:50"], [100, "升级成功"]],
              file: "upgrade-succeeded.png", text: "升级成功", buttons: [false, true, false] },
        ]
    }

    function test_results(data) {
        const s = upgradeScreen(t40, data.path, data.reports)
        compare(s.item("resetText").text, data.text)
        compare([s.item("btn1").visible, s.item("btn2").visible, s.item("btn3").visible], data.buttons)
        verify(!s.item("progressBar").visible)
        const image = save(s, data.file)
        const colours = { btn1: "#434343", btn2: "#f77f13", btn3: "#f77f13" }
        for (const name of ["btn1", "btn2", "btn3"]) {
            const button = s.item(name)
            if (button.visible)
                compare(colorAt(image, button, 4, button.height / 2), colours[name], name)
        }
    }
}
