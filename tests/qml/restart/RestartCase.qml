import QtQuick
import QtTest
import MediaControls
import VeloranTestSupport

// One process of a restart pair, in a shown window: the first process of a
// pair chooses on its page, the second finds it again on the same folder.
TestCase {
    id: testCase
    when: windowShown
    visible: true

    // The page under test, declared by each file at its own size.
    property Component page: null
    // Installed programs as two real packages name them: one name twice.
    readonly property var programsOfOneName: [
        { bundlePath: "", executablePath: "", isSystemBrowser: true, name: "系统浏览器" },
        { bundlePath: "file:///usr/share/applications/lxtask.desktop",
          executablePath: "/usr/share/applications/lxtask.desktop", name: "Task Manager" },
        { bundlePath: "file:///usr/share/applications/xfce4-taskmanager.desktop",
          executablePath: "/usr/share/applications/xfce4-taskmanager.desktop", name: "Task Manager" }
    ]
    // The base's message id of an attribute read.
    readonly property int attributeGet: 31

    function openPage() {
        const item = createTemporaryObject(page, testCase)
        verify(item)
        return item
    }

    function waitForDevice() {
        tryCompare(HIDDeviceMgr, "deviceReady", true, 10000)
    }

    // Every read of the connection has been answered by the emulated base.
    function waitForConnectionReads() {
        tryVerify(function() { return EmulatedDevice.receivedCount(attributeGet) >= HIDDeviceMgr.queriedAttributes.length }, 5000)
    }
}
