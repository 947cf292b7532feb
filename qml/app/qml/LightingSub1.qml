import QtQuick
import MediaControls
import "ledpayload.js" as Led

// Colours of the static background effect: one solid colour or a gradient
// over the LEDs.
LightingEffectPage {
    id: page

    readonly property int ledCount: Led.backgroundLedCount(HIDDeviceMgr.isU20())
    readonly property string customKey: ConfigMgr.keys.color_bg_static_illusory_color + "_"

    function send(colors) {
        HIDDeviceMgr.sendMessage(HIDDeviceMgr.attrs.background_static_effect, Led.colorPayload(colors))
    }

    function chooseType(index, label) {
        typeSelect2.selectIndex = index
        ConfigMgr.setValue(ConfigMgr.keys.color_bg_static_type, index)
        if (index === 0)
            send(Led.copies(signalColor.selectedColor.toString(), ledCount))
        else
            send(mutableColor.getCurrentGradientXColors(ledCount))
        DataTrackerMgr.storeEventNow("灯光", "背景", "颜色", label, "software")
    }

    // A microphone preset's reload keeps the custom gradient; a reset or a
    // change of model removes it.
    onReload: function(reason) {
        signalColor.selectedColor = ConfigMgr.getValue(ConfigMgr.keys.color_bg_static_single_color)
        typeSelect2.selectIndex = ConfigMgr.getValue(ConfigMgr.keys.color_bg_static_type)
        if (reason !== "audio_enhancement")
            ConfigMgr.removeValue(customKey)
        mutableColor.selectedGradient = Array.from(ConfigMgr.getStringList(ConfigMgr.keys.color_bg_static_illusory_color))
        mutableColor.selectedPresetIndex = ConfigMgr.getValue(ConfigMgr.keys.color_bg_static_illusory_color_index)
    }

    LightingChoiceRow {
        id: typeSelect2
        objectName: "typeSelect2"
        labels: [qsTr("单色"), qsTr("幻彩")]
        onChosen: function(index, label) { page.chooseType(index, label) }
    }

    CustomColorSelect {
        id: signalColor
        objectName: "signalColor"
        width: parent.width
        visible: typeSelect2.selectIndex === 0
        defaultColor: ConfigMgr.defaults.color_bg_static_single_color
        onColorChanged: function(newColor) {
            if (newColor === ConfigMgr.getValue(ConfigMgr.keys.color_bg_static_single_color))
                return
            page.send(Led.copies(newColor, page.ledCount))
            ConfigMgr.setValue(ConfigMgr.keys.color_bg_static_single_color, newColor)
        }
        onChangeComplete: function(newColor, isReset) {
            DataTrackerMgr.storeEventNow("灯光", "背景", "颜色-单色", isReset ? "重置" : newColor, "software")
        }
    }

    CustomMultColorSelect {
        id: mutableColor
        objectName: "mutableColor"
        width: parent.width
        visible: typeSelect2.selectIndex === 1
        customKey: page.customKey
        onGradientChanged: function(index, stops) {
            ConfigMgr.setValue(ConfigMgr.keys.color_bg_static_illusory_color_index, index)
            ConfigMgr.setStringList(ConfigMgr.keys.color_bg_static_illusory_color, stops)
            page.send(getCurrentGradientXColors(page.ledCount))
        }
        onChangeComplete: function(index, stops, isReset) {
            DataTrackerMgr.storeEventNow("灯光", "背景", "颜色-幻彩", isReset ? "重置" : JSON.stringify(stops), "software")
        }
    }
}
