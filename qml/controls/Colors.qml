pragma Singleton
import QtQuick

// The interface's colours by role, each value written here once; a role
// sharing another's value names that role. The device's own light colours
// (presets, defaults) are settings and live in ConfigMgr.
QtObject {
    // Backgrounds, darkest first.
    readonly property color window: "#000000"
    readonly property color titleBar: "#1a1a1a"
    readonly property color windowsFrame: "#1e1e1e"
    readonly property color panel: "#181818"
    readonly property color field: "#202020"
    readonly property color rowHover: "#212121"
    readonly property color menu: "#222121"
    readonly property color tile: "#222222"
    readonly property color card: "#242424"
    readonly property color tileHover: "#262626"
    readonly property color strip: "#272727"
    readonly property color picker: "#292929"
    readonly property color popup: "#2a2a2a"
    readonly property color dialog: "#323232"
    readonly property color iconBox: "#373737"
    readonly property color hover: "#383838"
    readonly property color control: "#3E3E3E"
    readonly property color listHover: "#404040"
    readonly property color controlHover: "#5E5E5E"
    readonly property color track: hover
    readonly property color switchOff: listHover
    readonly property color sliderTrack: window
    readonly property color tooltip: window
    readonly property color neutralButton: "#434343"
    readonly property color neutralButtonHover: "#535353"

    // Text.
    readonly property color text: "#ffffff"
    readonly property color textDim: "#88ffffff"
    readonly property color placeholder: "#80ffffff"
    readonly property color textDisabled: "#808080"
    readonly property color axisText: "#888888"

    // Accents.
    readonly property color accent: "#F77F13"
    readonly property color accentHover: "#f68522"
    readonly property color accentFill: "#66F77F13"
    readonly property color highlight: "#2B8CFF"
    readonly property color warning: "#991010"
    readonly property color badge: "#FF3B30"

    // Borders, marks and shades.
    readonly property color border: text
    readonly property color borderDim: textDim
    readonly property color borderFaint: "#33ffffff"
    readonly property color fieldBorder: placeholder
    readonly property color grid: "#333333"
    readonly property color knob: text
    readonly property color shadow: "#80000000"
    readonly property color handleShadow: window
    readonly property color overlay: "#AA000000"

    // Level meters: the bar's gradient from quiet to loud, its dark part and
    // the clip lamp.
    readonly property color meterLow: "#75B646"
    readonly property color meterMid: "#F89625"
    readonly property color meterHigh: "#D73327"
    readonly property color meterClip: "#DF3E2B"
    readonly property color meterOff: "#232323"
    readonly property color meterBack: window
}
