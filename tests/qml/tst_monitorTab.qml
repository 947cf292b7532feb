import QtQuick
import QtTest
import MediaControls
import VeloranDeck
import VeloranDeckSettings
import VeloranDeckHIDHotplug
import VeloranDeckTracker

// The monitor tab on the fakes: defaults by model, what a keyboard move and
// a drag of each slider store, publish and send, and the monitor strip that
// follows the volume.
TestCase {
    id: testCase
    name: "MonitorTab"
    width: 700
    height: 600
    when: windowShown
    visible: true

    readonly property var models: ({
        R7: { name: "Veloran R7", sn: "R7SN", version: "V2.12", dpid: 0x9829, pid: 28, vid: 1 },
        T40: { name: "Veloran T40", sn: "T40SN", version: "V1.05", dpid: 0x000D, pid: 28, vid: 1 }
    })
    property var volumeTopics: []

    Component {
        id: pageComponent
        Row {
            property alias tab: tab
            property alias strip: strip
            spacing: 10
            MonitorTab {
                id: tab
                width: 450
                height: 400
            }
            AudioController {
                id: strip
                height: 500
                showType: 1
                bundleIdentifier: "listen"
            }
        }
    }

    function onVolumeTopic(type, data) { volumeTopics.push(data) }

    function initTestCase() {
        MessageBus.subscribe(MessageBus.messageTypes.LISTEN_VOLUME_LEVEL, onVolumeTopic)
    }

    function cleanupTestCase() {
        MessageBus.unsubscribe(MessageBus.messageTypes.LISTEN_VOLUME_LEVEL, onVolumeTopic)
    }

    function init() {
        SettingsManager.setDeviceScope("")
        SettingsManager.clear()
        HIDDeviceMgr.deviceReady = false
        HIDDeviceMgr.messageCache = {}
        ConfigMgr.loadAllSettings()
        DataTrackerManager.deleteByIds(DataTrackerManager.queryEvents(0).map(function(event) { return event.id }))
    }

    function page(model, settings) {
        const info = models[model]
        HIDHotplugManager.deviceInfo = info
        HIDHotplugManager.deviceConnected(info, true)
        for (const key in (settings || {}))
            ConfigMgr.setValue(key, settings[key])
        const created = createTemporaryObject(pageComponent, testCase)
        verify(created)
        waitForRendering(created)
        HIDDeviceMgr.drainQueue()
        HIDHotplugManager.reset()
        volumeTopics = []
        return created
    }

    function sent() {
        HIDDeviceMgr.drainQueue()
        return JSON.stringify(HIDHotplugManager.callsTo("messageSend"))
    }

    function events() {
        return DataTrackerManager.queryEvents(0).map(function(e) {
            return [e.featureModule, e.featureItem, e.eventType, e.eventValue].join("|")
        }).sort()
    }

    function handleX(slider, value) {
        const handle = findChild(slider, "handle")
        const position = (value - slider.from) / (slider.to - slider.from)
        return slider.leftPadding + position * (slider.availableWidth - handle.width) + handle.width / 2
    }

    function drag(slider, from, to, beforeRelease) {
        const y = slider.height / 2
        mousePress(slider, handleX(slider, from), y)
        mouseMove(slider, handleX(slider, (from + to) / 2), y)
        mouseMove(slider, handleX(slider, to), y)
        if (beforeRelease)
            beforeRelease()
        mouseRelease(slider, handleX(slider, to), y)
    }

    function test_defaults_data() {
        return [
            { tag: "T40", model: "T40", ratio: 13, volume: 3, texts: ["100%", "23%"] },
            { tag: "R7", model: "R7", ratio: 13, volume: 22, texts: ["41%", "72%"] }
        ]
    }

    function test_defaults(data) {
        const tab = page(data.model).tab
        const ratio = findChild(tab, "micListenRatioSlider")
        const volume = findChild(tab, "mediaSlider")
        compare([ratio.value, volume.value], [data.ratio, data.volume])
        compare([ratio.bubbleText(), volume.bubbleText()], data.texts)
    }

    function test_keyboard_moves() {
        const tab = page("T40", { device_mic_ratio: 6, device_dB: 4 })
        const ratio = findChild(tab.tab, "micListenRatioSlider")
        const volume = findChild(tab.tab, "mediaSlider")
        volume.forceActiveFocus()
        keyClick(Qt.Key_Right)
        compare(volume.value, 5)
        compare(ConfigMgr.getValue("device_dB"), 5)
        compare(volumeTopics, [5])
        compare(findChild(tab.strip, "slider").value, 5)

        ratio.forceActiveFocus()
        keyClick(Qt.Key_Left)
        compare(ratio.value, 5)
        compare(ConfigMgr.getValue("device_mic_ratio"), 6)
        compare(volumeTopics, [5])
        wait(150)
        compare(sent(), "[]")
        compare(events(), [])
    }

    function test_drags() {
        const tab = page("T40", { device_mic_ratio: 2, device_dB: 3 })
        const ratio = findChild(tab.tab, "micListenRatioSlider")
        const volume = findChild(tab.tab, "mediaSlider")
        const strip = findChild(tab.strip, "slider")

        drag(volume, 3, 9, function() {
            compare(strip.value, 9)
            compare(ConfigMgr.getValue("device_dB"), 9)
        })
        compare(sent(), "[[6,[9]]]")
        compare(events(), ["监听|监听|监听音量|9"])
        compare(volumeTopics[volumeTopics.length - 1], 9)

        // The ratio is stored at release only; while it is held, a volume
        // echo leaves the volume slider where it was.
        HIDHotplugManager.reset()
        drag(ratio, 2, 10, function() {
            compare(ConfigMgr.getValue("device_mic_ratio"), 2)
            ConfigMgr.setValue("device_dB", 1)
            MessageBus.publishListenVolumeLevel(1)
        })
        compare(volume.value, 9)
        compare(ConfigMgr.getValue("device_mic_ratio"), 10)
        compare(sent(), "[[7,[10]]]")
        compare(events(), ["监听|监听|监听音量|9", "监听|监听|麦克风/电脑监听比|10"].sort())
        compare(volumeTopics.slice(-2), [9, 1])

        // Echoes after the release, and a reloaded store, are followed.
        ConfigMgr.setValue("device_mic_ratio", 4)
        MessageBus.publishMicListenRatio(4)
        compare(ratio.value, 4)
        ConfigMgr.setValue("device_dB", 12)
        ConfigMgr.setValue("device_mic_ratio", 11)
        MessageBus.publishUpdateConfigMessage("t40")
        compare([ratio.value, volume.value], [11, 12])
        compare(sent(), "[[7,[10]]]")
    }
}
