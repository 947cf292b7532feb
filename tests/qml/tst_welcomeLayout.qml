import QtQuick
import QtTest
import MediaControls
import VeloranDeck
import VeloranDeckHIDHotplug
import VeloranDeckSystemBridge
import VeloranDeckTranslation
import VeloranTestSupport

// The home page inside the root window: connect and disconnect reports,
// the device picture and the way to the control page.
MainWindowCase {
    name: "WelcomeLayout"

    // No version: the device layer never calls this device ready, so only
    // the page itself reacts to the reports.
    readonly property var t40: ({ name: "Veloran T40", sn: "T40SN1", dpid: "13", pid: "13", vid: "4660" })

    function init() {
        resetWorld()
        LogSpy.clear()
    }

    function cleanup() {
        HIDHotplugManager.deviceConnected({}, false)
        MessageDialogMgr.closeAllDialogs()
        TranslationManager.setLanguage("zh_CN")
    }

    function page() {
        const window = mainWindow()
        const stack = findChild(window.contentItem, "stackView")
        const home = stack.currentItem
        verify(home)
        return { window: window, stack: stack, home: home,
                 item: function(name) { const found = findChild(home, name); verify(found, name); return found } }
    }

    function picture(p) {
        const source = String(p.item("deviceImage").source)
        return source.substring(source.lastIndexOf("/") + 1)
    }

    function verifyWaiting(p) {
        verify(!p.home.deviceConnectedState)
        compare(p.home.connectedDeviceName, "")
        compare(p.item("title").text, "连接你的 Veloran 设备")
        verify(!p.item("statusText").visible)
        verify(!p.item("button").visible)
        verify(p.item("desc").visible)
        compare(picture(p), "home_img.png")
    }

    function test_incomplete_reports_data() {
        return [
            { tag: "name N/A", info: { name: "N/A", sn: "X1", dpid: "13" } },
            { tag: "no sn", info: { name: "Veloran T40", dpid: "13" } },
            { tag: "sn N/A", info: { name: "Veloran T40", sn: "N/A", dpid: "13" } },
            { tag: "empty name", info: { name: "", sn: "X1", dpid: "13" } },
            { tag: "empty sn", info: { name: "Veloran T40", sn: "", dpid: "13" } }
        ]
    }

    function test_incomplete_reports(data) {
        const p = page()
        HIDHotplugManager.deviceConnected(data.info, true)
        verifyWaiting(p)
        verify(LogSpy.count("deviceInfo:  " + data.info.name) > 0)
    }

    function test_complete_report_and_model_change() {
        const p = page()
        HIDHotplugManager.deviceConnected(t40, true)
        verify(p.home.deviceConnectedState)
        compare(p.item("title").text, "Veloran T40")
        verify(p.item("statusText").visible)
        verify(p.item("button").visible)
        verify(!p.item("desc").visible)
        compare(picture(p), "device_t40.png")
        compare(LogSpy.count("deviceInfo:  Veloran T40"), 1)

        const u20 = Object.assign({}, t40, { name: "Veloran U20", dpid: "14" })
        HIDHotplugManager.deviceConnected(u20, true)
        compare(p.item("title").text, "Veloran U20")
        compare(picture(p), "device_u20.png")
    }

    function test_control_page_and_disconnect() {
        const p = page()
        HIDHotplugManager.deviceConnected(t40, true)
        mouseClick(p.item("button"))
        tryCompare(p.stack, "depth", 2)
        tryCompare(p.stack, "busy", false)
        verify(MessageDialogMgr.controlPageActive)

        MessageDialogMgr.showCustomDialogNew("firmware?", null, null, "", "", "firmware")
        MessageDialogMgr.showCustomDialogNew("application?", null, null, "", "", "app")
        compare(MessageDialogMgr.openDialogs.map(function(e) { return e.kind }), ["firmware"])

        HIDHotplugManager.deviceConnected(t40, false)
        tryCompare(p.stack, "depth", 1)
        tryCompare(MessageDialogMgr, "controlPageActive", false)
        verifyWaiting(p)
        tryVerify(function() {
            return JSON.stringify(MessageDialogMgr.openDialogs.map(function(e) { return e.kind })) === "[\"app\"]"
        })
    }

    function test_english_texts() {
        TranslationManager.setLanguage("en_US")
        const p = page()
        compare(p.item("title").text, "Connect Your Veloran Device")
        HIDHotplugManager.deviceConnected(t40, true)
        compare(p.item("statusText").text, "Connected")
        compare(p.item("button").text, "Get Started")
    }

    // The picture shows at its natural size in a window of the designed
    // size; a window made smaller to fit the screen shrinks it clear of the
    // heading and the start button.
    function test_picture_between_heading_and_button_data() {
        return [
            { tag: "designed size", width: 1300, height: 800, natural: true },
            { tag: "smallest window", width: 800, height: 500, natural: false }
        ]
    }

    function test_picture_between_heading_and_button(data) {
        const p = page()
        HIDHotplugManager.deviceConnected(t40, true)
        p.window.width = data.width
        p.window.height = data.height
        const image = p.item("deviceImage")
        tryCompare(p.home, "height", data.height - 30)
        tryCompare(image, "status", Image.Ready)
        const top = image.mapToItem(p.home, 0, (image.height - image.paintedHeight) / 2).y
        const bottom = top + image.paintedHeight
        const above = p.item("statusText")
        const below = p.item("button")
        verify(top >= above.mapToItem(p.home, 0, above.height).y, "picture under the heading, top " + top)
        verify(bottom <= below.mapToItem(p.home, 0, 0).y, "picture above the button, bottom " + bottom)
        verify(image.paintedHeight > 100, "picture still shown")
        if (data.natural)
            compare(Qt.size(image.paintedWidth, image.paintedHeight), Qt.size(image.implicitWidth, image.implicitHeight))
    }
}
