import QtQuick
import MediaControls
import "ledpayload.js" as Led

// Colours of the breathing background effect: one solid colour or a cycle
// of up to seven, always seven slots on the device.
LightingEffectPage {
    id: page

    function getInitColor(colors) {
        return Led.breathingPayload(colors)
    }

    function send(colors) {
        HIDDeviceMgr.sendMessage(HIDDeviceMgr.attrs.background_breath_effect, getInitColor(colors))
    }

    function chooseType(index, label) {
        typeSelect2.selectIndex = index
        ConfigMgr.setValue(ConfigMgr.keys.color_bg_bln_type, index)
        DataTrackerMgr.storeEventNow("灯光", "背景", "颜色", label, "software")
        send(index === 0 ? [signalColor.selectedColor.toString()] : mutableColor.colorList)
    }

    onReload: {
        signalColor.selectedColor = ConfigMgr.getValue(ConfigMgr.keys.color_bg_bln_single_color)
        typeSelect2.selectIndex = ConfigMgr.getValue(ConfigMgr.keys.color_bg_bln_type)
        mutableColor.colorList = Array.from(ConfigMgr.getStringList(ConfigMgr.keys.color_bg_bln_cyc_color))
        mutableColor.selectedIndex = 0
    }

    LightingChoiceRow {
        id: typeSelect2
        objectName: "typeSelect2"
        selectIndex: 1
        labels: [qsTr("单色"), qsTr("循环")]
        onChosen: function(index, label) { page.chooseType(index, label) }
    }

    CustomColorSelect {
        id: signalColor
        objectName: "signalColor"
        width: parent.width
        visible: typeSelect2.selectIndex === 0
        defaultColor: ConfigMgr.defaults.color_bg_bln_single_color
        onColorChanged: function(newColor) {
            if (newColor === ConfigMgr.getValue(ConfigMgr.keys.color_bg_bln_single_color))
                return
            page.send([newColor])
            ConfigMgr.setValue(ConfigMgr.keys.color_bg_bln_single_color, newColor)
        }
        onChangeComplete: function(newColor, isReset) {
            DataTrackerMgr.storeEventNow("灯光", "背景", "颜色-单色", isReset ? "重置" : newColor, "software")
        }
    }

    LightingLabel {
        visible: typeSelect2.selectIndex === 1
        text: qsTr("循环顺序")
    }

    CustomCycColorSelect {
        id: mutableColor
        objectName: "mutableColor"
        width: parent.width
        visible: typeSelect2.selectIndex === 1
        onColorsChanged: function(colors) {
            const key = ConfigMgr.keys.color_bg_bln_cyc_color
            if (JSON.stringify(Array.from(ConfigMgr.getStringList(key))) === JSON.stringify(Array.from(colors)))
                return
            page.send(colors)
            ConfigMgr.setStringList(key, colors)
        }
        onChangeComplete: function(colors, isReset) {
            DataTrackerMgr.storeEventNow("灯光", "背景", "颜色-循环", isReset ? "重置" : Array.from(colors).join(","),
                                         "software")
        }
    }
}
