import QtQuick
import QtTest
import MediaControls
import VeloranDeck
import VeloranDeckSettings
import VeloranDeckSystemBridge
import VeloranDeckHIDHotplug
import VeloranTestSupport

// The mixer page of an R7 at 1300 x 800, empty and with eight strips, saved
// as PNG files and probed pixel by pixel.
ShotsCase {
    id: testCase
    name: "MixerShots"
    width: 1300
    height: 800

    Component {
        id: pageComponent
        Rectangle {
            property alias page: page
            width: 1300
            height: 800
            color: "#000000"
            MainSettings {
                id: page
                anchors.fill: parent
            }
        }
    }

    function init() {
        connectFresh(r7Info)
    }

    function record(i) {
        return JSON.stringify({ name: "Application " + i, iconFilePath: "", bundleIdentifier: "file:///usr/bin/app" + i,
                                processIdentifier: 100 + i, isInput: false, streamID: 0 })
    }

    function strips(page) {
        const row = page.audioControllersRow
        const result = []
        for (let i = 0; i < row.children.length; ++i) {
            if (row.children[i].showType === 3)
                result.push(row.children[i])
        }
        return result
    }

    function test_empty() {
        const frame = createTemporaryObject(pageComponent, testCase)
        waitForRendering(frame)
        const image = grabImage(frame)
        image.save(Shots.path("mixer_r7_empty.png"))
        const page = frame.page
        compare(colorAt(image, findChild(page, "liveStrip"), 4, 200), "#272727")
        compare(colorAt(image, findChild(page, "monitorStrip"), 4, 200), "#272727")
        compare(colorAt(image, findChild(page, "deviceStrip"), 4, 200), "#222222")
        verify(findChild(page, "addTile").visible)
        verify(!findChild(page, "scrollBar").visible)
        compare(colorAt(image, findChild(findChild(page, "monitorStrip"), "soloButton"), 3, 15), "#f77f13")
    }

    function test_eight_strips() {
        const list = []
        for (let i = 0; i < 8; ++i)
            list.push(record(i))
        ConfigMgr.setStringList(ConfigMgr.keys.appList, list)
        ConfigMgr.setValue("listen", "file:///usr/bin/app1")
        ConfigMgr.setValue("file:///usr/bin/app2_monitor", true)
        ConfigMgr.setValue("file:///usr/bin/app2_mix", true)
        const frame = createTemporaryObject(pageComponent, testCase)
        const page = frame.page
        waitForRendering(frame)
        const row = strips(page)
        compare(row.length, 8)
        findChild(row[0], "meter").setLevels(1.0, 1.0)
        verify(!findChild(page, "addTile").visible)
        for (let i = 0; i < row.length; ++i) {
            compare(row[i].width, 130)
            if (i > 0)
                compare(row[i].x - row[i - 1].x, 140)
        }
        const bar = findChild(page, "scrollBar")
        verify(bar.visible)
        mouseMove(bar, bar.width / 4, bar.height / 2)
        waitForRendering(frame)
        const image = grabImage(frame)
        image.save(Shots.path("mixer_r7_eight.png"))
        compare(colorAt(image, row[0], 4, 200), "#222222")
        compare(colorAt(image, findChild(row[1], "soloButton"), 3, 15), "#f77f13")
        compare(colorAt(image, findChild(row[2], "monitorMuteButton"), 3, 15), "#991010")
        compare(colorAt(image, findChild(row[2], "liveMuteButton"), 3, 15), "#991010")
        compare(colorAt(image, findChild(row[3], "liveMuteButton"), 3, 15), "#3e3e3e")
        compare(colorAt(image, bar.contentItem, bar.contentItem.width / 2, 4), "#808080")
    }
}
