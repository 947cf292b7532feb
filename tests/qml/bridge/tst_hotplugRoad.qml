import QtQuick
import QtTest
import VeloranDeckSystemBridge
import VeloranTestSupport

// The audio road on the emulated T40: a routing list handed over while the
// device is away, the device plugged, and the microphone's levels coming
// back through the bridge until it is unplugged again.
TestCase {
    id: testCase
    name: "HotplugRoad"

    property int reports: 0
    property bool microphoneHeard: false

    Connections {
        target: SystemBridge
        function onAudioInputLevelChanged(levels) {
            testCase.reports++
            for (const level of levels) {
                if (level.processID === 0 && level.levelLeft > 0.05 && level.levelRight > 0.05)
                    testCase.microphoneHeard = true
            }
        }
    }

    function initTestCase() {
        LogSpy.start()
    }

    function unplugAndWaitForTheStop() {
        const stopsBefore = LogSpy.count("[SystemBridge] All audio services stopped")
        EmulatedDevice.unplug()
        tryVerify(function() { return LogSpy.count("[SystemBridge] All audio services stopped") > stopsBefore }, 10000)
    }

    // Parked while stopped, replayed at the next start.
    function route() {
        const bus = { enabled: true, volume: 1.0, muted: false }
        SystemBridge.setAudioConfig([
            { processID: 0, input1: bus, input2: bus, solo: false },
            { processID: 4294967295, input1: bus, input2: bus },
            { processID: 4294967294, input1: bus, input2: bus }
        ])
        microphoneHeard = false
    }

    function test_levels_follow_the_device() {
        // The device is found at start-up; take it away first.
        tryVerify(function() { return LogSpy.count("[SystemBridge] LivestreamForwarder started") > 0 }, 10000)
        unplugAndWaitForTheStop()
        route()

        EmulatedDevice.plug()
        tryVerify(function() { return testCase.microphoneHeard }, 10000, "source 0 heard after the plug")

        unplugAndWaitForTheStop()
        wait(2000)
        const settled = reports
        wait(1000)
        compare(reports, settled, "no reports once unplugged")

        route()
        EmulatedDevice.plug()
        tryVerify(function() { return testCase.microphoneHeard }, 10000, "heard again after a replug")
    }
}
