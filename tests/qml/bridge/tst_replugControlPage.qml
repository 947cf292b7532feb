import QtQuick
import QtTest
import MediaControls
import VeloranDeck
import VeloranDeckTranslation
import VeloranTestSupport

// The emulated T40 unplugged and plugged again twenty times while the root
// window shows the control page: settled, while its drawer opens, right
// after a tab switch, and while the stack is still popping home when the
// device comes back. Every teardown of the page happens after the bridge has
// stopped the device's audio; none may ask it for an input that is gone.
TestCase {
    id: testCase
    name: "ReplugControlPage"
    when: windowShown

    property var window: null

    Component {
        id: mainComponent
        Main {}
    }

    function named(item, name) {
        const found = findChild(item, name)
        verify(found, name)
        return found
    }

    function stackView() { return named(window.contentItem, "stackView") }

    function enterControlPage() {
        tryCompare(HIDDeviceMgr, "deviceReady", true, 15000)
        const start = named(stackView().currentItem, "button")
        tryCompare(start, "visible", true, 5000)
        mouseClick(start)
        tryCompare(stackView().currentItem, "objectName", "mainLayout", 3000)
        tryCompare(stackView(), "busy", false, 3000)
        waitForRendering(stackView().currentItem)
        return stackView().currentItem
    }

    function unplugAndWaitForHome() {
        const stops = LogSpy.count("[SystemBridge] All audio services stopped")
        EmulatedDevice.unplug()
        tryCompare(stackView(), "depth", 1, 5000)
        tryVerify(function() { return LogSpy.count("[SystemBridge] All audio services stopped") > stops }, 10000)
    }

    function initTestCase() {
        LogSpy.start()
        TranslationManager.setLanguage("zh_CN")
        TestServer.route("POST", "/tarvo/pc/save/connect", 200, { code: 0 })
        ConfigMgr.setValue("share_data", false)
        window = createTemporaryObject(mainComponent, testCase)
    }

    function test_replug_twenty_times() {
        for (let cycle = 0; cycle < 20; ++cycle) {
            const page = enterControlPage()
            const situation = cycle % 4
            if (situation === 1) {
                mouseClick(named(named(page, "deviceStrip"), "iconBox"))
                verify(page.deviceSettingsDrawer.width < 450, "the drawer is still opening")
            } else if (situation === 2) {
                mouseClick(named(named(page, "deviceStrip"), "iconBox"))
                tryCompare(page.deviceSettingsDrawer, "width", 450, 2000)
                mouseClick(named(page, "tabButton1"))
            }
            if (situation === 3) {
                EmulatedDevice.unplug()
                tryCompare(stackView(), "busy", true, 3000)
                EmulatedDevice.plug()
                tryCompare(stackView(), "depth", 1, 5000)
                tryVerify(function() { return !HIDDeviceMgr.deviceReady || stackView().depth === 1 }, 5000)
            } else {
                unplugAndWaitForHome()
                EmulatedDevice.plug()
            }
        }
        enterControlPage()
        compare(LogSpy.count("Device not found"), 0)
        compare(LogSpy.count("RemoveInputDevice"), 0, "a page of a device that left asks nothing")
    }
}
