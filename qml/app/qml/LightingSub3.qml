import QtQuick
import MediaControls
import "ledpayload.js" as Led

// Colours and direction of the wave background effect. Its first preset is
// shown as three stops but sent as the twelve fixed wave colours.
LightingEffectPage {
    id: page

    readonly property int ledCount: Led.backgroundLedCount(HIDDeviceMgr.isU20())
    readonly property string customKey: ConfigMgr.keys.color_bg_wave_color + "_"

    function chooseDirection(index) {
        typeSelect3.selectIndex = index
        ConfigMgr.setValue(ConfigMgr.keys.color_bg_wave_dir_index, index)
        HIDDeviceMgr.sendMessage(HIDDeviceMgr.attrs.background_wave_light_direction, [!index])
        DataTrackerMgr.storeEventNow("灯光", "背景", "颜色-方向", String(!index), "software")
    }

    onReload: function(reason) {
        if (reason !== "audio_enhancement")
            ConfigMgr.removeValue(customKey)
        colorSelect.selectedGradient = Array.from(ConfigMgr.getStringList(ConfigMgr.keys.color_bg_wave_color))
        colorSelect.selectedPresetIndex = ConfigMgr.getValue(ConfigMgr.keys.color_bg_wave_type)
        typeSelect3.selectIndex = ConfigMgr.getValue(ConfigMgr.keys.color_bg_wave_dir_index)
    }

    CustomMultColorSelect {
        id: colorSelect
        objectName: "colorSelect"
        width: parent.width
        presetGradients: ConfigMgr.color_illusory_color_list3
        customKey: page.customKey
        onGradientChanged: function(index, stops) {
            ConfigMgr.setValue(ConfigMgr.keys.color_bg_wave_type, index)
            ConfigMgr.setStringList(ConfigMgr.keys.color_bg_wave_color, stops)
            const colors = index === 0 ? ConfigMgr.color_wave_send_colors : getCurrentGradientXColors(page.ledCount)
            HIDDeviceMgr.sendMessage(HIDDeviceMgr.attrs.background_wave_effect, Led.colorPayload(colors))
        }
        onChangeComplete: function(index, stops, isReset) {
            DataTrackerMgr.storeEventNow("灯光", "背景", "颜色", isReset ? "重置" : Array.from(stops).join(","),
                                         "software")
        }
    }

    LightingLabel {
        text: qsTr("方向")
    }

    LightingChoiceRow {
        id: typeSelect3
        objectName: "typeSelect3"
        selectIndex: 1
        icons: TvConfig.lightDirectionIcons
        buttonName: "direction"
        onChosen: function(index) { page.chooseDirection(index) }
    }
}
