import QtQuick
import QtTest
import MediaControls
import VeloranDeck
import VeloranDeckSystemBridge
import VeloranDeckTranslation
import VeloranTestSupport

// The root window over the real device manager and the emulated T40.
TestCase {
    id: testCase
    name: "MainEmulated"
    when: windowShown

    Component {
        id: mainComponent
        Main {}
    }

    function test_home_follows_the_device_and_the_knob() {
        TranslationManager.setLanguage("zh_CN")
        TestServer.route("POST", "/tarvo/pc/save/connect", 200, { code: 0 })
        ConfigMgr.setValue("share_data", false)
        const window = createTemporaryObject(mainComponent, testCase)
        const home = findChild(window.contentItem, "stackView").currentItem
        const title = findChild(home, "title")
        const image = findChild(home, "deviceImage")
        const picture = function() { return String(image.source).replace(/.*\//, "") }

        tryCompare(title, "text", "Veloran T40", 10000)
        compare(picture(), "device_t40.png")

        // The hotkey belongs to the device's own settings, chosen once it is ready.
        tryCompare(HIDDeviceMgr, "deviceReady", true, 5000)
        ConfigMgr.setValue(ConfigMgr.keys.general_hotkey_type, 3)
        SystemBridge.reset()
        verify(EmulatedDevice.pressKnob(1))
        tryVerify(function() { return SystemBridge.callsTo("takeScreenshot").length === 1 }, 5000)

        EmulatedDevice.unplug()
        tryCompare(title, "text", "连接你的 Veloran 设备", 10000)
        compare(picture(), "home_img.png")

        EmulatedDevice.plug()
        tryCompare(title, "text", "Veloran T40", 10000)
        compare(picture(), "device_t40.png")
    }
}
