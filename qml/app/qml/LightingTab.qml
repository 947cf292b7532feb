import QtQuick
import QtQuick.Controls
import MediaControls
import "ledpayload.js" as Led

// The lighting page of the device drawer: background effect and its page,
// input sound-wave light, knob indicator colours, brightness and the
// lights-off choices. Every choice is stored and, where the device holds
// it, sent at once.
ScrollView {
    id: tab

    readonly property bool isU20: HIDDeviceMgr.isU20()
    readonly property string inputCustomKey: ConfigMgr.keys.color_bg_input_illusory_color + "_"
    // An effect click whose echo has not come within this time no longer
    // waits for one, so later device reports are shown again.
    property int echoTimeoutMs: 1500

    function chooseEffect(index, label) {
        typeSelect.selectIndex = index
        typeSelect.isClickedIndex += 1
        echoTimer.restart()
        ConfigMgr.setValue(ConfigMgr.keys.color_bg_effect, index)
        HIDDeviceMgr.sendMessage(HIDDeviceMgr.attrs.background_light_off, [index === 3 ? 0 : index + 1])
        DataTrackerMgr.storeEventNow("灯光", "背景", "效果", label, "software")
    }

    function onEffectReport(value) {
        if (typeSelect.isClickedIndex > 0) {
            typeSelect.isClickedIndex -= 1
            return
        }
        typeSelect.selectIndex = value === 0 ? 3 : value - 1
    }

    function sendInputColors(index, stops) {
        const count = Led.inputLedCount(isU20)
        const colors = index === 0 ? Led.inputPresetZeroColors(stops, count)
                                   : inputIllusoryColor.getCurrentGradientXColors(count)
        HIDDeviceMgr.sendMessage(HIDDeviceMgr.attrs.input_sound_wave_light_color, Led.colorPayload(colors))
    }

    function chooseInputDirection(index) {
        inputDirSelect.selectIndex = index
        ConfigMgr.setValue(ConfigMgr.keys.color_bg_input_illusory_dir_index, index)
        HIDDeviceMgr.sendMessage(HIDDeviceMgr.attrs.input_sound_wave_direction, [!index])
        DataTrackerMgr.storeEventNow("灯光", "输入", "方向", String(!index), "software")
    }

    function knobColorChanged(key, attribute, color) {
        if (color === ConfigMgr.getValue(key))
            return
        HIDDeviceMgr.sendMessage(attribute, TvConfig.hexToRgb(color))
        ConfigMgr.setValue(key, color)
    }

    // A microphone preset's reload keeps the custom gradient; a reset or a
    // change of model removes it.
    function reload(reason) {
        gainColorSelect.selectedColor = ConfigMgr.getValue(ConfigMgr.keys.color_bg_knob_gain_color)
        volumeColorSelect.selectedColor = ConfigMgr.getValue(ConfigMgr.keys.color_bg_knob_volume_color)
        micRatioColorSelect.selectedColor = ConfigMgr.getValue(ConfigMgr.keys.color_bg_knob_mic_ratio_color)
        muteColorSelect.selectedColor = ConfigMgr.getValue(ConfigMgr.keys.color_bg_knob_mute_color)
        typeSelect.selectIndex = ConfigMgr.getValue(ConfigMgr.keys.color_bg_effect)
        brightnessSlider.value = ConfigMgr.getValue(ConfigMgr.keys.color_bg_other_brightness)
        closeLightingSwitch.checked = ConfigMgr.getValue(ConfigMgr.keys.color_bg_other_close_lighting)
        closeRgbSwitch.checked = ConfigMgr.getValue(ConfigMgr.keys.color_bg_other_close_rgb)
        if (reason !== "audio_enhancement")
            ConfigMgr.removeValue(inputCustomKey)
        inputIllusoryColor.selectedGradient = Array.from(ConfigMgr.getStringList(ConfigMgr.keys.color_bg_input_illusory_color))
        inputIllusoryColor.selectedPresetIndex = ConfigMgr.getValue(ConfigMgr.keys.color_bg_input_illusory_color_index)
        inputDirSelect.selectIndex = ConfigMgr.getValue(ConfigMgr.keys.color_bg_input_illusory_dir_index)
    }

    Component.onCompleted: reload("audio_enhancement")
    contentWidth: availableWidth
    // Set, not derived: the listener is a second child of the view.
    contentHeight: sections.implicitHeight
    clip: true
    // Nothing scrolls sideways; the style's idle bar would still take
    // presses along the view's bottom edge.
    ScrollBar.horizontal.policy: ScrollBar.AlwaysOff

    ScrollBar.vertical: PageScrollBar {
        objectName: "scrollBar"
        x: tab.width - width
        height: tab.availableHeight
        radius: 4
    }

    Timer {
        id: echoTimer
        objectName: "echoTimer"
        interval: tab.echoTimeoutMs
        onTriggered: typeSelect.isClickedIndex = 0
    }

    MessageListener {
        messageTypes: [MessageBus.messageTypes.UPDATE_CONFIG_MESSAGE, MessageBus.messageTypes.BACKGROUND_LIGHT_MODE,
                       MessageBus.messageTypes.UPDATE_OTHER_LIGHT_OFF]
        onMessage: function(topic, data) {
            if (topic === MessageBus.messageTypes.UPDATE_CONFIG_MESSAGE)
                tab.reload(data)
            else if (topic === MessageBus.messageTypes.BACKGROUND_LIGHT_MODE)
                tab.onEffectReport(data)
            else
                closeRgbSwitch.checked = data === 1
        }
    }

    component Header: CustomText {
        textPpixelSize: 14
        textOpacity: 0.5
    }

    component Card: Rectangle {
        default property alias content: inner.data
        width: parent.width
        height: inner.implicitHeight + 40
        radius: 6
        color: Colors.card
        Column {
            id: inner
            x: 20
            y: 20
            width: parent.width - 40
            spacing: 10
        }
    }

    Column {
        id: sections
        width: tab.availableWidth - 12
        spacing: 10

        Header {
            text: qsTr("背景")
            tips: qsTr("声卡接电时显示背景灯光")
        }

        Card {
            objectName: "backgroundCard"
            LightingLabel { text: qsTr("效果") }

            // Wraps where a language's labels are wider than the card; a
            // little closer than other rows, so English keeps one line.
            Flow {
                id: typeSelect
                objectName: "typeSelect"
                property int selectIndex: 2
                property int isClickedIndex: 0
                width: parent.width
                spacing: 8

                Repeater {
                    model: [qsTr("静态"), qsTr("呼吸"), qsTr("波浪"), qsTr("关闭")]
                    LightingButton {
                        required property string modelData
                        required property int index
                        objectName: "effect" + index
                        text: modelData
                        selected: typeSelect.selectIndex === index
                        onClicked: tab.chooseEffect(index, text)
                    }
                }
            }

            LightingSub1 {
                objectName: "staticPage"
                width: parent.width
                visible: typeSelect.selectIndex === 0
            }
            LightingSub2 {
                objectName: "breathingPage"
                width: parent.width
                visible: typeSelect.selectIndex === 1
            }
            LightingSub3 {
                objectName: "wavePage"
                width: parent.width
                visible: typeSelect.selectIndex === 2
            }
        }

        Header {
            text: qsTr("输入")
            tips: qsTr("话筒输入时，根据音量大小动态显示")
        }

        Card {
            LightingLabel { text: qsTr("颜色") }

            CustomMultColorSelect {
                id: inputIllusoryColor
                objectName: "inputIllusoryColor"
                width: parent.width
                presetGradients: ConfigMgr.color_illusory_color_list2
                customKey: tab.inputCustomKey
                onGradientChanged: function(index, stops) {
                    ConfigMgr.setValue(ConfigMgr.keys.color_bg_input_illusory_color_index, index)
                    ConfigMgr.setStringList(ConfigMgr.keys.color_bg_input_illusory_color, stops)
                    tab.sendInputColors(index, stops)
                }
                onChangeComplete: function(index, stops, isReset) {
                    DataTrackerMgr.storeEventNow("灯光", "输入", "颜色", isReset ? "重置" : JSON.stringify(stops),
                                                 "software")
                }
            }

            LightingLabel { text: qsTr("方向") }

            LightingChoiceRow {
                id: inputDirSelect
                objectName: "inputDirSelect"
                selectIndex: 1
                icons: TvConfig.lightDirectionIcons
                buttonName: "inputDirection"
                onChosen: function(index) { tab.chooseInputDirection(index) }
            }
        }

        Header { text: qsTr("指示灯") }

        Card {
            LightingLabel { text: qsTr("麦克风增益") }
            CustomColorSelect {
                id: gainColorSelect
                objectName: "gainColorSelect"
                width: parent.width
                defaultColor: ConfigMgr.defaults.color_bg_knob_gain_color
                onColorChanged: function(color) {
                    tab.knobColorChanged(ConfigMgr.keys.color_bg_knob_gain_color,
                                         HIDDeviceMgr.attrs.mic_gain_light_color, color)
                }
                onChangeComplete: function(color, isReset) {
                    DataTrackerMgr.storeEventNow("灯光", "指示灯", "麦克风增益", isReset ? "重置" : color, "software")
                }
            }
            LightingLabel { text: qsTr("监听音量") }
            CustomColorSelect {
                id: volumeColorSelect
                objectName: "volumeColorSelect"
                width: parent.width
                defaultColor: ConfigMgr.defaults.color_bg_knob_volume_color
                onColorChanged: function(color) {
                    tab.knobColorChanged(ConfigMgr.keys.color_bg_knob_volume_color,
                                         HIDDeviceMgr.attrs.listen_volume_light_color, color)
                }
            }
            LightingLabel { text: qsTr("麦克风/电脑音量监听比") }
            CustomColorSelect {
                id: micRatioColorSelect
                objectName: "micRatioColorSelect"
                width: parent.width
                defaultColor: ConfigMgr.defaults.color_bg_knob_mic_ratio_color
                onColorChanged: function(color) {
                    tab.knobColorChanged(ConfigMgr.keys.color_bg_knob_mic_ratio_color,
                                         HIDDeviceMgr.attrs.mic_listen_ratio_light_color, color)
                }
            }
            LightingLabel { text: qsTr("静音") }
            CustomColorSelect {
                id: muteColorSelect
                objectName: "muteColorSelect"
                width: parent.width
                defaultColor: ConfigMgr.defaults.color_bg_knob_mute_color
                onColorChanged: function(color) {
                    tab.knobColorChanged(ConfigMgr.keys.color_bg_knob_mute_color, HIDDeviceMgr.attrs.rgb_light_off, color)
                }
            }
        }

        Header { text: qsTr("其他") }

        Card {
            LightingLabel { text: qsTr("亮度") }
            CustomSlider {
                id: brightnessSlider
                objectName: "brightnessSlider"
                width: parent.width
                backgroundColor: Colors.sliderTrack
                from: 0.01
                to: 1.0
                stepSize: 0.01
                snapToStep: true
                onMoved: {
                    ConfigMgr.setValue(ConfigMgr.keys.color_bg_other_brightness, value)
                    HIDDeviceMgr.sendMessage(HIDDeviceMgr.attrs.rgb_light_brightness, [value * 100])
                }
                onChangeComplete: function(v) {
                    DataTrackerMgr.storeEventNow("灯光", "其他", "亮度", String(v * 100), "software")
                }
            }
            LightingLabel { text: qsTr("关闭灯光") }
            CustomCheckBox {
                id: closeLightingSwitch
                objectName: "closeLightingSwitch"
                text: qsTr("关闭显示屏时自动关灯")
                onClicked: {
                    ConfigMgr.setValue(ConfigMgr.keys.color_bg_other_close_lighting, checked)
                    DataTrackerMgr.storeEventNow("灯光", "其他", "关闭灯光", String(checked), "software")
                    MessageBus.publishScreenPowerStateChanged(checked)
                }
            }
            CustomCheckBox {
                id: closeRgbSwitch
                objectName: "closeRgbSwitch"
                visible: tab.isU20
                text: qsTr("关闭RGB灯")
                onClicked: {
                    ConfigMgr.setValue(ConfigMgr.keys.color_bg_other_close_rgb, checked)
                    DataTrackerMgr.storeEventNow("灯光", "其他", "关闭RGB灯", String(checked), "software")
                    HIDDeviceMgr.sendMessage(HIDDeviceMgr.attrs.other_light_off, [checked ? 1 : 0])
                }
            }
        }
    }
}
