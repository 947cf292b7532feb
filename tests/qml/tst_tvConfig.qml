import QtQuick
import QtTest
import MediaControls
import VeloranDeck
import VeloranDeckHIDHotplug
import VeloranTestSupport

TestCase {
    id: testCase
    name: "TvConfig"

    readonly property string icons: "qrc:/qt/qml/VeloranDeck/icons/"
    property QtObject created: null

    function initTestCase() {
        LogSpy.start()
    }

    function init() {
        LogSpy.clear()
        HIDHotplugManager.reset()
        HIDDeviceMgr.deviceInfo = {}
    }

    function cleanup() {
        TvConfig.platformOs = Qt.platform.os
    }

    function loads(url) {
        const image = createTemporaryQmlObject("import QtQuick; Image {}", testCase)
        image.source = url
        tryVerify(function() { return image.status !== Image.Loading }, 2000)
        compare(image.status, Image.Ready, String(url))
        verify(image.implicitWidth > 0)
    }

    function test_declared_as_module_singleton() {
        const request = new XMLHttpRequest()
        request.open("GET", "qrc:/qt/qml/VeloranDeck/qmldir", false)
        request.send()
        const lines = request.responseText.split("\n").map(function(line) { return line.trim() })
        verify(lines.indexOf("singleton TvConfig 1.0 qml/TvConfig.qml") >= 0, request.responseText)
        compare(TvConfig.activeTheme, TvConfig.Dark)
        compare(TvConfig.Dark, 1)
        verify(Qt.colorEqual(TvConfig.secondaryColor, "#F77F13"))
    }

    function test_device_image_data() {
        return [
            { tag: "no device, home", dpid: undefined, type: 0, path: "home_img.png" },
            { tag: "no device, upgrade", dpid: undefined, type: 1, path: "device2_r7.png" },
            { tag: "no device, small", dpid: undefined, type: 2, path: "device1_r7.png" },
            { tag: "U20, small", dpid: 14, type: 2, path: "device1_u20.png" },
            { tag: "U20, home", dpid: 14, type: 0, path: "device_u20.png" },
            { tag: "T40, upgrade", dpid: 13, type: 1, path: "device2_t40.png" },
            { tag: "R7 as number", dpid: 38953, type: 0, path: "device_r7.png" },
            { tag: "R7 as text", dpid: "38953", type: 0, path: "device_r7.png" },
            { tag: "R7 in hexadecimal", dpid: "0x9829", type: 0, path: "home_img.png" },
            { tag: "hexadecimal, upgrade", dpid: "0x9829", type: 1, path: "device2_r7.png" },
            { tag: "other id, small", dpid: 99, type: 2, path: "device1_r7.png" },
            { tag: "inherited key", dpid: "constructor", type: 0, path: "home_img.png" }
        ]
    }

    function test_device_image(data) {
        const info = data.dpid === undefined ? {} : { dpid: data.dpid }
        HIDHotplugManager.deviceConnected(info, true)
        compare(String(TvConfig.getDeviceImage(data.type)), icons + data.path)
    }

    function test_every_picture_and_frame_icon_loads() {
        const urls = [TvConfig.iconUrl("icons/home_img.png")]
        for (const table of TvConfig.deviceMap) {
            for (const id in table)
                urls.push(TvConfig.iconUrl(table[id]))
        }
        compare(urls.length, 10)
        for (const button of ["close", "min", "max"]) {
            for (const style of ["_mac1", "_mac2", "_win"])
                urls.push(TvConfig.iconUrl("icons/" + button + style + ".svg"))
        }
        for (const url of urls)
            loads(url)
    }

    // Every picture, the support code too, has a twin of twice its size
    // that screens scaled above 100 % pick.
    function test_pictures_have_sharp_twins() {
        const names = ["icons/home_img.png", "icons/erweima.png"]
        for (const table of TvConfig.deviceMap) {
            for (const id in table)
                names.push(table[id])
        }
        for (const name of names) {
            const one = createTemporaryQmlObject("import QtQuick; Image {}", testCase)
            const two = createTemporaryQmlObject("import QtQuick; Image {}", testCase)
            one.source = TvConfig.iconUrl(name)
            two.source = TvConfig.iconUrl(name.replace(".png", "@2x.png"))
            tryVerify(function() { return one.status === Image.Ready && two.status === Image.Ready }, 2000, name)
            compare(two.sourceSize.width, 2 * one.sourceSize.width, name)
            compare(two.sourceSize.height, 2 * one.sourceSize.height, name)
            compare(two.implicitWidth, one.implicitWidth, name)
        }
    }

    function test_icon_url_and_platform() {
        compare(String(TvConfig.iconUrl("icons/more.svg")), icons + "more.svg")
        compare(String(TvConfig.iconUrl("more.svg", "../icons/")), icons + "more.svg")
        compare(TvConfig.isWindowsPlatform(), Qt.platform.os === "windows")
        TvConfig.platformOs = "windows"
        verify(TvConfig.isWindowsPlatform())
    }

    function test_conversions_data() {
        return [
            { tag: "1 byte", fn: "intToByteArray", args: [0x1234], result: [0x34] },
            { tag: "16LE", fn: "intToByteArray16LE", args: [0x1234], result: [0x34, 0x12] },
            { tag: "16BE", fn: "intToByteArray16BE", args: [0x1234], result: [0x12, 0x34] },
            { tag: "16LE negative", fn: "intToByteArray16LE", args: [-2], result: [254, 255] },
            { tag: "32BE", fn: "intToByteArray32BE", args: [258], result: [0, 0, 1, 2] },
            { tag: "32LE -1", fn: "intToByteArray32LE", args: [-1], result: [255, 255, 255, 255] },
            { tag: "32LE unsigned", fn: "intToByteArray32LE", args: [0xFFFFFFFE], result: [254, 255, 255, 255] },
            { tag: "N 2", fn: "intToByteArrayN", args: [0x01020304, 2], result: [4, 3] },
            { tag: "N 6 positive", fn: "intToByteArrayN", args: [0x01020304, 6], result: [4, 3, 2, 1, 0, 0] },
            { tag: "N 6 negative", fn: "intToByteArrayN", args: [-2, 6], result: [254, 255, 255, 255, 255, 255] },
            { tag: "N 0", fn: "intToByteArrayN", args: [7, 0], result: [] },
            { tag: "LE 2 bytes", fn: "byteArrayToInt", args: [[0x34, 0x12]], result: 4660 },
            { tag: "LE sign", fn: "byteArrayToInt", args: [[0, 0, 0, 0x80]], result: -2147483648 },
            { tag: "LE empty", fn: "byteArrayToInt", args: [[]], result: 0 },
            { tag: "LE 5 bytes", fn: "byteArrayToInt", args: [[1, 2, 3, 4, 5]], result: 0x04030201 },
            { tag: "LE masks", fn: "byteArrayToInt", args: [[0x1FF]], result: 255 },
            { tag: "BE 2 bytes", fn: "byteArrayToIntBE", args: [[0x12, 0x34]], result: 4660 },
            { tag: "BE sign", fn: "byteArrayToIntBE", args: [[0x80, 0, 0, 0]], result: -2147483648 },
            { tag: "BE 5 bytes", fn: "byteArrayToIntBE", args: [[1, 2, 3, 4, 5]], result: 0x02030405 },
            { tag: "BE empty", fn: "byteArrayToIntBE", args: [[]], result: 0 },
            { tag: "colour", fn: "hexToRgb", args: ["#FF8000"], result: [0, 128, 255, 0] },
            { tag: "black", fn: "hexToRgb", args: ["#000000"], result: [0, 0, 0, 0] },
            { tag: "colour without #", fn: "hexToRgb", args: ["FF8000"], result: [0, 128, 255, 0] },
            { tag: "not hexadecimal", fn: "hexToRgb", args: ["#zz"], result: [0, 0, 0, 0] },
            { tag: "AARRGGBB", fn: "hexToRgb", args: ["#80FF8000"], result: [0, 128, 255, 0x80] },
            { tag: "rgb rounded and clamped", fn: "rgbToHex", args: [[255.6, -3, 16]], result: "#ff0010" },
            { tag: "rgb halves up", fn: "rgbToHex", args: [[0.5, 254.5, 15.49]], result: "#01ff0f" },
            { tag: "rgb non-numeric", fn: "rgbToHex", args: [["a", {}, 7]], result: "#000007" },
            { tag: "rgb too short", fn: "rgbToHex", args: [[1, 2]], result: "#000000", warns: true },
            { tag: "rgb text", fn: "rgbToHex", args: ["abc"], result: "#000000", warns: true },
            { tag: "rgb nothing", fn: "rgbToHex", args: [undefined], result: "#000000", warns: true }
        ]
    }

    function test_conversions(data) {
        compare(TvConfig[data.fn].apply(TvConfig, data.args), data.result)
        compare(LogSpy.count("无效的 RGB 数组:"), data.warns ? 1 : 0)
    }

    function test_create_window() {
        verify(TvConfig.createWindow("NoSuchWindow.qml", testCase) === null)
        compare(LogSpy.count("创建 Window 失败:"), 1)

        // The parent owns the window: it goes with its parent.
        const owner = createTemporaryQmlObject("import QtQuick; Item {}", testCase)
        created = TvConfig.createWindow("WindowFrame.qml", owner)
        verify(created)
        verify(created.visible)
        owner.destroy()
        tryVerify(function() { return created === null })

        created = TvConfig.createWindow("WindowFrame.qml")
        verify(created && created.visible)
        created.destroy()
        compare(LogSpy.count("创建 Window 失败:"), 1)
    }
}
