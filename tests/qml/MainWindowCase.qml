import QtQuick
import QtTest
import MediaControls
import VeloranDeck
import VeloranDeckHIDHotplug
import VeloranDeckSystemBridge
import VeloranDeckTranslation
import VeloranTestSupport

// The root window over the fakes. Each test starts in Chinese on reset fakes
// and server, with a stored id and no usage sharing so that the start-up
// stays off the server.
TestCase {
    id: testCase
    when: windowShown

    Component {
        id: mainComponent
        Main {}
    }

    function initTestCase() {
        LogSpy.start()
    }

    // What every test's init() starts with.
    function resetWorld() {
        TranslationManager.setLanguage("zh_CN")
        SystemBridge.reset()
        HIDHotplugManager.reset()
        TestServer.reset()
        ConfigMgr.setValue("trackId", "stored-id")
        ConfigMgr.setValue("share_data", false)
    }

    // A root window, faded in.
    function mainWindow() {
        const window = createTemporaryObject(mainComponent, testCase)
        verify(window)
        tryCompare(window, "opacity", 1)
        return window
    }
}
