import QtQuick
import QtTest
import MediaControls
import VeloranDeck
import VeloranTestSupport

// The microphone tab against the emulated U20, which echoes the host's
// writes: a preset reaches the base and stays selected through the echoes,
// mute reaches it, and a gain changed on the base moves the slider.
MicrophoneTabCase {
    name: "MicrophoneTabEmulatedU20"

    function test_preset_mute_and_gain() {
        tryCompare(HIDDeviceMgr, "deviceReady", true, 10000)
        verify(HIDDeviceMgr.isU20())
        // The connection's reads have settled before the tab exists.
        tryVerify(function() { return ConfigMgr.getValue("auto_gain") === EmulatedDevice.attribute(5)[0] }, 5000)
        wait(300)
        EmulatedDevice.setEchoWrites(true)
        const tab = shownTab()

        mouseClick(findChild(tab, "preset1"))
        tryVerify(function() { return EmulatedDevice.attribute(25)[0] === 0xFB }, 2000)
        compare(EmulatedDevice.attribute(24), [2])
        compare(EmulatedDevice.attribute(23), [1])
        // The echoes came back inside the guard.
        tryVerify(function() { return ConfigMgr.getValue("ai_jianzao_type") === 1 }, 1000)
        wait(200)
        compare(findChild(tab, "selectRowType").selectIndex, 1)
        compare(ConfigMgr.getValue("audio_enhancement_index"), 1)

        mouseClick(findChild(tab, "muteSwitch"))
        tryVerify(function() { return EmulatedDevice.attribute(1)[0] === 1 }, 2000)
        compare(ConfigMgr.getValue("device_mute"), true)

        verify(EmulatedDevice.changeAttribute(5, [9]))
        tryCompare(findChild(tab, "autoGainSlider"), "value", 9, 2000)
        EmulatedDevice.setEchoWrites(false)
    }
}
