pragma Singleton
import QtQuick
import QtQml
import MediaControls

// Constants and small helpers shared by every window and page of the module;
// every colour payload sent to a device is built by hexToRgb.
QtObject {
    id: tvConfig

    enum Theme {
        Light = 0,
        Dark = 1
    }

    property int activeTheme: TvConfig.Dark
    readonly property color mainColor: Colors.window
    readonly property color secondaryColor: Colors.accent
    readonly property color highlightColor: Colors.highlight
    // The two directions of a moving light, leftwards first.
    readonly property var lightDirectionIcons: Object.freeze(["icons/left_aw.svg", "icons/right_aw.svg"])

    // Picture tables by picture type (0 home, 1 firmware upgrade, 2 small
    // icon), keyed by the decimal text of the USB product id.
    readonly property var deviceMap: Object.freeze([
        Object.freeze({ "38953": "icons/device_r7.png", "13": "icons/device_t40.png", "14": "icons/device_u20.png" }),
        Object.freeze({ "38953": "icons/device2_r7.png", "13": "icons/device2_t40.png", "14": "icons/device2_u20.png" }),
        Object.freeze({ "38953": "icons/device1_r7.png", "13": "icons/device1_t40.png", "14": "icons/device1_u20.png" })
    ])

    // Operating-system name the platform test compares; tests set another.
    property string platformOs: Qt.platform.os

    function getDeviceImage(type) {
        const key = String(HIDDeviceMgr.getDeviceDPID())
        const table = deviceMap[type]
        // Own keys only: "constructor" and friends are no product ids.
        if (table !== undefined && Object.prototype.hasOwnProperty.call(table, key))
            return iconUrl(table[key])
        if (type === 1 || type === 2)
            return iconUrl(deviceMap[type]["38953"])
        return iconUrl("icons/home_img.png")
    }

    function iconUrl(url, path = '') {
        return Qt.resolvedUrl(path === '' ? "../" + url : path + url)
    }

    function isWindowsPlatform() {
        return platformOs === "windows"
    }

    function createWindow(qmlName, parent) {
        const component = Qt.createComponent(Qt.resolvedUrl(qmlName))
        if (component.status !== Component.Ready) {
            console.warn("创建 Window 失败:", component.errorString())
            return null
        }
        const window = component.createObject(parent === undefined ? null : parent)
        if (!window)
            return null
        window.visible = true
        return window
    }

    function intToByteArray(value) {
        return [value & 0xFF]
    }

    function intToByteArray16LE(value) {
        return [value & 0xFF, (value >> 8) & 0xFF]
    }

    function intToByteArray16BE(value) {
        return [(value >> 8) & 0xFF, value & 0xFF]
    }

    function intToByteArray32LE(value) {
        return [value & 0xFF, (value >> 8) & 0xFF, (value >> 16) & 0xFF, (value >> 24) & 0xFF]
    }

    function intToByteArray32BE(value) {
        return [(value >> 24) & 0xFF, (value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF]
    }

    // Beyond four bytes comes the sign extension: a shift by 32 or more
    // would wrap around in JavaScript and repeat the low bytes.
    function intToByteArrayN(value, byteCount) {
        const bytes = []
        for (let i = 0; i < byteCount; ++i)
            bytes.push(i < 4 ? (value >> (8 * i)) & 0xFF : ((value | 0) < 0 ? 0xFF : 0))
        return bytes
    }

    // Bytes 0..3 only: further bytes would wrap onto the low ones.
    function byteArrayToInt(byteArray) {
        const count = byteArray ? Math.min(byteArray.length, 4) : 0
        let result = 0
        for (let i = 0; i < count; ++i)
            result |= (byteArray[i] & 0xFF) << (8 * i)
        return result
    }

    function byteArrayToIntBE(byteArray) {
        const count = byteArray ? byteArray.length : 0
        let result = 0
        for (let i = 0; i < count; ++i)
            result = (result << 8) | (byteArray[i] & 0xFF)
        return result
    }

    function hexToRgb(hexColor) {
        const value = parseInt(String(hexColor).replace("#", "0x"), 16)
        return intToByteArray32LE(isNaN(value) ? 0 : value)
    }

    function rgbToHex(rgbArray) {
        const isList = Array.isArray(rgbArray)
                || (rgbArray !== null && typeof rgbArray === "object" && typeof rgbArray.length === "number")
        if (!isList || rgbArray.length < 3) {
            console.warn("无效的 RGB 数组:", rgbArray)
            return "#000000"
        }
        let text = "#"
        for (let i = 0; i < 3; ++i) {
            const number = Number(rgbArray[i])
            const channel = isNaN(number) ? 0 : Math.min(255, Math.max(0, Math.round(number)))
            text += (channel < 16 ? "0" : "") + channel.toString(16)
        }
        return text
    }
}
