import QtQuick
import QtTest
import MediaControls
import VeloranDeck
import VeloranDeckTranslation
import VeloranTestSupport

// The root window with the real device manager on the emulated base of the
// run's model: the start button leads to the control page, the device strip
// opens the drawer, every tab of the model shows, and a drag of the monitor
// volume reaches the base. Each file of a model runs it within its own test.
TestCase {
    id: testCase
    name: "ControlPageEmulated"
    when: windowShown

    // The base's message id of an attribute read.
    readonly property int attributeGet: 31
    property var window: null
    property var controlPage: null

    Component {
        id: mainComponent
        Main {}
    }

    function named(item, name) {
        const found = findChild(item, name)
        verify(found, name)
        return found
    }

    // The connection's reads are all answered: a change the base makes
    // afterwards arrives after their answers.
    function settle() {
        tryVerify(function() { return EmulatedDevice.receivedCount(attributeGet) >= HIDDeviceMgr.queriedAttributes.length }, 5000)
        verify(EmulatedDevice.changeAttribute(6, [4]))
        tryVerify(function() { return ConfigMgr.getValue("device_dB") === 4 }, 5000)
    }

    // Main, the control page entered and its drawer open; beforeStart runs
    // once the device is ready, before the start button is pressed.
    function enter(beforeStart) {
        TranslationManager.setLanguage("zh_CN")
        TestServer.route("POST", "/tarvo/pc/save/connect", 200, { code: 0 })
        ConfigMgr.setValue("share_data", false)
        window = createTemporaryObject(mainComponent, testCase)
        const stackView = named(window.contentItem, "stackView")
        tryCompare(HIDDeviceMgr, "deviceReady", true, 10000)
        settle()
        if (beforeStart)
            beforeStart()
        const start = named(stackView.currentItem, "button")
        tryCompare(start, "visible", true, 5000)
        mouseClick(start)
        tryCompare(stackView.currentItem, "objectName", "mainLayout", 3000)
        tryCompare(stackView, "busy", false, 3000)
        controlPage = stackView.currentItem
        waitForRendering(controlPage)
        mouseClick(named(named(controlPage, "deviceStrip"), "iconBox"))
        tryCompare(controlPage.deviceSettingsDrawer, "width", 450, 2000)
        return controlPage
    }

    function handleX(slider, value) {
        const handle = findChild(slider, "handle")
        const position = (value - slider.from) / (slider.to - slider.from)
        return slider.leftPadding + position * (slider.availableWidth - handle.width) + handle.width / 2
    }

    // One root window per process: the home page shows its start button
    // when the device connects, which happens once.
    function checkTabsAndMonitorVolume(page) {
        const expected = HIDDeviceMgr.isT40() ? ["话筒", "监听", "通用"] : ["话筒", "监听", "灯光", "通用"]
        const pages = HIDDeviceMgr.isT40() ? [0, 1, 3] : [0, 1, 2, 3]
        const stack = named(page, "tabStack")
        for (let i = 0; i < expected.length; ++i) {
            const button = named(page, "tabButton" + i)
            compare(button.children[0].text, expected[i])
            mouseClick(button)
            compare(stack.currentIndex, pages[i])
            verify(stack.children[pages[i]].visible)
        }
        verify(!findChild(page, "tabButton" + expected.length))

        mouseClick(named(page, "tabButton1"))
        const slider = named(page, "mediaSlider")
        waitForRendering(slider)
        const from = slider.value
        const to = from === slider.to ? slider.from + 2 : slider.to - 1
        const y = slider.height / 2
        mousePress(slider, handleX(slider, from), y)
        mouseMove(slider, handleX(slider, (from + to) / 2), y)
        mouseMove(slider, handleX(slider, to), y)
        mouseRelease(slider, handleX(slider, to), y)
        tryVerify(function() { return EmulatedDevice.attribute(6)[0] === to }, 3000)
        compare(ConfigMgr.getValue("device_dB"), to)
    }
}
