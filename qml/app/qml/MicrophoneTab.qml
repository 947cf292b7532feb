import QtQuick
import QtQuick.Controls
import MediaControls
import VeloranDeck
import VeloranDeckSystemBridge
import VeloranDeckTranslation
import "eqcurve.js" as EqCurve

// The microphone settings of the connected device: gain, automatic gain,
// mute and phantom power, the audio-enhancement presets with AI noise
// reduction, anti-pop limiter and the software compressor, and the entry to
// the equaliser window. Device settings are stored and queued for the
// device; software settings are stored and applied by the system bridge.
Item {
    id: microphoneTab
    objectName: "microphoneTab"

    readonly property bool isR7: HIDDeviceMgr.isR7()
    // The presets and the AI echo belong to the models that have them.
    readonly property bool hasPresets: HIDDeviceMgr.isT40() || HIDDeviceMgr.isU20()
    readonly property var attrs: HIDDeviceMgr.attrs
    property string equalizerText: ""
    readonly property alias equalizerWindow: equalizerWindow
    readonly property int customPreset: 4

    // A switch that stores its key and records its usage event whenever its
    // state changes, whoever changed it; an echo finds the value already
    // stored and records nothing.
    component SettingSwitch: SwitchBox {
        property string key
        property var usageEvent: null
        onCheckedChanged: {
            if (ConfigMgr.getValue(key) === checked)
                return
            ConfigMgr.setValue(key, checked)
            if (usageEvent !== null)
                microphoneTab.recordEvent(usageEvent[0], usageEvent[1], String(checked))
        }
    }

    component Heading: Text {
        color: Colors.text
        opacity: 0.5
        font.pixelSize: 14
    }

    // A titled switch with its tip, the switch at the row's right end.
    component SwitchRow: Item {
        id: titled
        // Names the switch: name + "Switch".
        property string name
        property alias title: titleText.text
        property alias tips: titleText.tips
        property alias key: titledSwitch.key
        property alias usageEvent: titledSwitch.usageEvent
        readonly property alias toggle: titledSwitch

        signal toggled()

        width: parent.width
        height: 24
        CustomText {
            id: titleText
            anchors.verticalCenter: parent.verticalCenter
            textPpixelSize: 16
        }
        SettingSwitch {
            id: titledSwitch
            objectName: titled.name + "Switch"
            anchors.right: parent.right
            anchors.verticalCenter: parent.verticalCenter
            onToggled: titled.toggled()
        }
    }

    // An audio-enhancement row: a switch with its title and tip and, while
    // switched on, a dB slider over its scale. The slider's value is stored
    // and its usage recorded when a drag ends.
    component SliderRow: Column {
        id: row
        // Names the switch and the slider: name + "Switch", name + "Slider".
        property string name
        property alias title: switchRow.title
        property alias tips: switchRow.tips
        property alias key: switchRow.key
        property string switchEvent
        property string valueKey
        property string valueEvent
        property alias from: rowSlider.from
        readonly property alias toggle: switchRow.toggle
        readonly property alias slider: rowSlider

        signal toggled()
        signal movedByUser()
        signal valueStored()

        width: parent.width
        spacing: 10
        visible: microphoneTab.hasPresets

        SwitchRow {
            id: switchRow
            name: row.name
            usageEvent: ["音频增强", row.switchEvent]
            onToggled: row.toggled()
        }

        CustomSlider {
            id: rowSlider
            objectName: row.name + "Slider"
            property bool isManually: false
            visible: switchRow.toggle.checked
            width: parent.width
            to: 0
            stepSize: 1
            snapToStep: true
            formatedValueFunc: function(v) { return Math.round(v) + "dB" }
            onPressedChanged: if (pressed) isManually = true
            onMoved: {
                if (isManually)
                    row.movedByUser()
            }
            onChangeComplete: function(released) {
                ConfigMgr.setValue(row.valueKey, value)
                row.valueStored()
                microphoneTab.recordEvent("音频增强", row.valueEvent, value)
                isManually = false
            }
        }

        ScaleLabels {
            width: parent.width
            visible: switchRow.toggle.checked
        }
    }

    component ScaleLabels: Item {
        height: 16
        Repeater {
            model: [qsTr("高"), qsTr("中"), qsTr("低")]
            Text {
                x: index === 0 ? 0 : index === 1 ? (parent.width - width) / 2 : parent.width - width
                text: modelData
                color: Colors.textDim
                font.pixelSize: 12
            }
        }
    }

    function recordEvent(item, type, value) {
        DataTrackerMgr.storeEventNow("话筒", item, type, String(value), "software")
    }

    function send(attribute, value) {
        HIDDeviceMgr.sendMessage(attribute, [value])
    }

    function updateSelectIndex(index) {
        selectRowType.selectIndex = index
        console.log("当前选中的下标:", index)
        ConfigMgr.setValue("audio_enhancement_index", index)
    }

    function updateAIType() {
        const value = aiNoiseRow.toggle.checked ? noiseSelect2.selectIndex + 1 : 0
        send(attrs.ai_jianzao, value)
        recordEvent("音频增强", "AI降噪", value)
    }

    function translateName(name) {
        return EqCurve.translateName(name)
    }

    // Null when the stored record cannot be read: the row keeps its text.
    function formatName() {
        if (ConfigMgr.getValue("device_equalizer") !== true)
            return qsTr("关闭")
        const index = Number(ConfigMgr.getValue("device_equalizer_current_index"))
        const record = EqCurve.parsePreset(ConfigMgr.getValue("device_equalizer_current"))
        if (record === null) {
            console.warn("当前均衡器预设无法解析")
            return null
        }
        const name = translateName(String(record.name))
        return index >= EqCurve.builtInCount ? name + " " + (index - EqCurve.builtInCount + 1) : name
    }

    function refreshEqualizerText() {
        const text = formatName()
        if (text !== null)
            equalizerText = text
    }

    // ai, strength, anti-pop on, anti-pop dB, compressor on, compressor dB,
    // equaliser on
    readonly property var presets: [
        { ai: false, strength: 0, boom: false, boomValue: -20, compressor: false, compressorValue: -40, eq: false },
        { ai: true, strength: 1, boom: true, boomValue: -5, compressor: true, compressorValue: -10, eq: true },
        { ai: true, strength: 1, boom: true, boomValue: -4, compressor: true, compressorValue: -15, eq: false },
        { ai: true, strength: 0, boom: true, boomValue: -3, compressor: true, compressorValue: -18, eq: true }
    ]

    function selectConfig(index, sendToDevice) {
        if (sendToDevice === undefined)
            sendToDevice = true
        if (index !== customPreset) {
            selectRowType.applyingPreset = true
            applyPresetTimer.restart()
        }
        const preset = presets[index]
        if (preset !== undefined) {
            aiNoiseRow.toggle.checked = preset.ai
            noiseSelect2.selectIndex = preset.strength
            boomRow.toggle.checked = preset.boom
            boomRow.slider.value = preset.boomValue
            compressorRow.toggle.checked = preset.compressor
            compressorRow.slider.value = preset.compressorValue
            if (sendToDevice) {
                updateAIType()
                send(attrs.anti_noise, index === 0 ? 0 : 1)
                if (index !== 0)
                    send(attrs.device_boom_value, preset.boomValue)
            }
            ConfigMgr.setValue("device_equalizer", preset.eq)
            if (preset.eq) {
                ConfigMgr.setValue("device_equalizer_current_index", 1)
                ConfigMgr.setValue("device_equalizer_current", ConfigMgr.defaults.device_equalizer_values[1])
            }
            MessageBus.publishUpdateDeviceEqualizerCurrentChangeByType(preset.eq)
            if (index !== 0)
                ConfigMgr.setValue("ai_jianzao_type", preset.strength)
            ConfigMgr.setValue("device_boom", preset.boom)
            ConfigMgr.setValue("device_boom_value", preset.boomValue)
            ConfigMgr.setValue("device_compressor", preset.compressor)
            ConfigMgr.setValue("device_compressor_value", preset.compressorValue)
        }
        SystemBridge.updateMonitorDevice()
    }

    function clickPreset(index) {
        selectRowType.selectIndex = index
        console.log("当前选中的下标:", index)
        ConfigMgr.setValue("audio_enhancement_index", index)
        selectConfig(index, true)
        // Listeners re-read their settings; the lighting pages must not take
        // it for a reset.
        MessageBus.publishUpdateConfigMessage("audio_enhancement")
    }

    // At creation and after a reload of the store every control shows what
    // is stored.
    function rereadControls() {
        autoGainSlider.value = ConfigMgr.getValue("auto_gain")
        autoGainSwitch.checked = ConfigMgr.getValue("auto_gain_on") === true
        muteSwitch.checked = ConfigMgr.getValue("device_mute") === true
        powerSwitch.checked = ConfigMgr.getValue("device_phantom") === true
        aiNoiseRow.toggle.checked = ConfigMgr.getValue("ai_jianzao") === true
        noiseSelect2.selectIndex = Number(ConfigMgr.getValue("ai_jianzao_type"))
        boomRow.toggle.checked = ConfigMgr.getValue("device_boom") === true
        boomRow.slider.value = ConfigMgr.getValue("device_boom_value")
        compressorRow.toggle.checked = ConfigMgr.getValue("device_compressor") === true
        compressorRow.slider.value = ConfigMgr.getValue("device_compressor_value")
        antiNoiseRow.toggle.checked = ConfigMgr.getValue("device_boom") === true
        selectRowType.selectIndex = Number(ConfigMgr.getValue("audio_enhancement_index"))
    }

    function gainText(value) {
        return Math.floor((value - ConfigMgr.auto_gain_min) * 99 / ConfigMgr.auto_gain_count + 1 + 0.5) + "%"
    }

    // Every control starts from the store; no preset is applied.
    Component.onCompleted: {
        rereadControls()
        refreshEqualizerText()
    }

    Timer {
        id: applyPresetTimer
        objectName: "applyPresetTimer"
        interval: 1500
        repeat: false
        onTriggered: selectRowType.applyingPreset = false
    }

    Connections {
        target: TranslationManager
        function onLanguageChanged(languageCode) { microphoneTab.refreshEqualizerText() }
    }

    MessageListener {
        messageTypes: [MessageBus.messageTypes.UPDATE_MIC_GAIN_LEVEL]
        onMessage: function(messageType, data) {
            if (!autoGainSlider.isManually)
                autoGainSlider.value = ConfigMgr.getValue("auto_gain")
        }
    }
    MessageListener {
        messageTypes: [MessageBus.messageTypes.MUTE_STATE]
        onMessage: function(messageType, data) { muteSwitch.checked = data == 1 }
    }
    MessageListener {
        messageTypes: [MessageBus.messageTypes.POWER_STATE]
        onMessage: function(messageType, data) { powerSwitch.checked = data == 1 }
    }
    MessageListener {
        messageTypes: [MessageBus.messageTypes.UPDATE_AUTO_GAIN_ON]
        onMessage: function(messageType, data) { autoGainSwitch.checked = data == 1 }
    }
    MessageListener {
        messageTypes: [MessageBus.messageTypes.ANTI_NOISE_STATE]
        onMessage: function(messageType, data) { boomRow.toggle.checked = data == 1 }
    }
    MessageListener {
        messageTypes: [MessageBus.messageTypes.AI_JIANZAO_STATE]
        onMessage: function(messageType, data) {
            if (!microphoneTab.hasPresets)
                return
            const value = Number(data)
            ConfigMgr.setValue("ai_jianzao", value !== 0)
            aiNoiseRow.toggle.checked = value !== 0
            if (value !== 0) {
                ConfigMgr.setValue("ai_jianzao_type", value - 1)
                noiseSelect2.selectIndex = value - 1
            }
            // Only a change made on the device leaves the preset; the
            // answer to a read of the device's state does not, however late.
            if (!selectRowType.applyingPreset && !HIDDeviceMgr.reportAnswersRead)
                microphoneTab.updateSelectIndex(microphoneTab.customPreset)
        }
    }
    MessageListener {
        messageTypes: [MessageBus.messageTypes.UPDATE_CONFIG_MESSAGE]
        onMessage: function(messageType, data) {
            microphoneTab.rereadControls()
            if (microphoneTab.hasPresets)
                microphoneTab.selectConfig(selectRowType.selectIndex, false)
            microphoneTab.refreshEqualizerText()
        }
    }
    MessageListener {
        messageTypes: [MessageBus.messageTypes.UPDATE_DEVICE_EQUALIZER_CURRENT,
                       MessageBus.messageTypes.UPDATE_DEVICE_EQUALIZER_CURRENT_CHANGE_BY_TYPE]
        onMessage: function(messageType, data) { microphoneTab.refreshEqualizerText() }
    }

    EqualizerWindow {
        id: equalizerWindow
    }

    ScrollView {
        id: scrollView
        objectName: "scrollView"
        anchors.fill: parent
        contentWidth: availableWidth
        clip: true
        // Nothing scrolls sideways; the style's idle bar would still take
        // presses along the view's bottom edge.
        ScrollBar.horizontal.policy: ScrollBar.AlwaysOff

        ScrollBar.vertical: PageScrollBar {
            objectName: "verticalBar"
            parent: scrollView
            anchors.top: scrollView.top
            anchors.right: scrollView.right
            anchors.bottom: scrollView.bottom
            width: 8
            visible: !microphoneTab.isR7
        }

        Column {
            id: page
            width: scrollView.availableWidth
            spacing: 0

            Heading {
                objectName: "inputHeading"
                text: microphoneTab.isR7 ? qsTr("XLR输入") : qsTr("话筒")
            }

            Rectangle {
                id: inputCard
                objectName: "inputCard"
                width: parent.width
                height: microphoneTab.isR7 ? 220 : 180
                radius: 6
                color: Colors.card

                Column {
                    anchors.fill: parent
                    anchors.margins: 20
                    spacing: 10

                    CustomText {
                        text: qsTr("增益")
                        textPpixelSize: 16
                        tips: qsTr("提高增益，避免声音过小。\n降低增益，避免声音失真。")
                    }

                    CustomSlider {
                        id: autoGainSlider
                        objectName: "autoGainSlider"
                        property bool isManually: false
                        width: parent.width
                        from: ConfigMgr.auto_gain_min
                        to: ConfigMgr.auto_gain_max
                        stepSize: 1
                        snapToStep: true
                        formatedValueFunc: microphoneTab.gainText
                        onPressedChanged: if (pressed) isManually = true
                        onMoved: {
                            if (value !== Number(ConfigMgr.getValue("auto_gain"))) {
                                ConfigMgr.setValue("auto_gain", value)
                                MessageBus.publishUpdateMicGainLevel(value)
                            }
                            if (isManually)
                                microphoneTab.send(microphoneTab.attrs.mic_gain, value)
                        }
                        onChangeComplete: function(released) {
                            microphoneTab.recordEvent("XLR输入", "增益", value)
                            isManually = false
                        }
                    }

                    Item {
                        width: parent.width
                        height: 30

                        CustomText {
                            anchors.left: parent.left
                            anchors.verticalCenter: parent.verticalCenter
                            text: qsTr("自动增益")
                            textPpixelSize: 16
                            tips: qsTr("开启后，话筒音量将自动调节至最佳增益。")
                        }

                        SettingSwitch {
                            id: autoGainSwitch
                            objectName: "autoGainSwitch"
                            anchors.right: parent.right
                            anchors.verticalCenter: parent.verticalCenter
                            visible: !microphoneTab.isR7
                            key: "auto_gain_on"
                            usageEvent: ["XLR输入", "自动增益"]
                            onToggled: microphoneTab.send(microphoneTab.attrs.auto_gain_on, autoGainSwitch.checked ? 1 : 0)
                        }

                        Item {
                            anchors.right: parent.right
                            anchors.top: parent.top
                            width: 150
                            height: 30
                            visible: microphoneTab.isR7

                            BwButton {
                                objectName: "startDetectButton"
                                anchors.right: parent.right
                                height: 30
                                leftPadding: 16
                                rightPadding: 16
                                text: qsTr("开始检测")
                                onClicked: {
                                    MessageBus.publishUpdateAutoGain(true)
                                    microphoneTab.recordEvent("XLR输入", "自动增益", "1")
                                }
                            }
                        }
                    }

                    Item {
                        width: parent.width
                        height: 24
                        Text {
                            anchors.verticalCenter: parent.verticalCenter
                            text: qsTr("静音")
                            color: Colors.text
                            font.pixelSize: 16
                        }
                        SettingSwitch {
                            id: muteSwitch
                            objectName: "muteSwitch"
                            anchors.right: parent.right
                            anchors.verticalCenter: parent.verticalCenter
                            key: "device_mute"
                            usageEvent: ["XLR输入", "静音"]
                            onToggled: {
                                console.log("点击静音")
                                microphoneTab.send(microphoneTab.attrs.mute, muteSwitch.checked ? 1 : 0)
                            }
                        }
                    }

                    Item {
                        width: parent.width
                        height: 24
                        visible: microphoneTab.isR7
                        Text {
                            anchors.verticalCenter: parent.verticalCenter
                            text: qsTr("48V幻象电源")
                            color: Colors.text
                            font.pixelSize: 16
                        }
                        SettingSwitch {
                            id: powerSwitch
                            objectName: "powerSwitch"
                            anchors.right: parent.right
                            anchors.verticalCenter: parent.verticalCenter
                            key: "device_phantom"
                            usageEvent: ["XLR输入", "48V幻象电源"]
                            onToggled: {
                                console.log("点击48V幻象电源")
                                microphoneTab.send(microphoneTab.attrs.power, powerSwitch.checked ? 1 : 0)
                            }
                        }
                    }
                }
            }

            Item { width: 1; height: 15 }

            Heading {
                text: qsTr("音频增强")
            }

            Rectangle {
                id: enhancementCard
                objectName: "enhancementCard"
                width: parent.width
                height: enhancementRows.height + 40
                radius: 6
                color: Colors.card

                Column {
                    id: enhancementRows
                    x: 20
                    y: 20
                    width: parent.width - 40
                    spacing: 15

                    Row {
                        id: selectRowType
                        objectName: "selectRowType"
                        property int selectIndex: 0
                        property bool applyingPreset: false
                        visible: microphoneTab.hasPresets
                        width: parent.width
                        spacing: 5

                        Repeater {
                            model: [
                                { text: qsTr("原声"), icon: "icons/ae_ys.svg" },
                                { text: qsTr("播客"), icon: "icons/ae_bk.svg" },
                                { text: qsTr("游戏"), icon: "icons/ae_yx.svg" },
                                { text: qsTr("直播"), icon: "icons/ae_zb.svg" },
                                { text: qsTr("自定义"), icon: "icons/ae_zdy.svg" }
                            ]
                            Rectangle {
                                objectName: "preset" + index
                                width: (selectRowType.width - 20) / 5
                                height: 60
                                radius: 8
                                color: selectRowType.selectIndex === index ? Colors.accent : Colors.control
                                border.width: presetArea.containsMouse ? 1 : 0
                                border.color: Colors.borderDim

                                Column {
                                    anchors.centerIn: parent
                                    width: parent.width - 8
                                    spacing: 4
                                    Image {
                                        anchors.horizontalCenter: parent.horizontalCenter
                                        width: 16
                                        height: 16
                                        sourceSize: Qt.size(16, 16)
                                        source: TvConfig.iconUrl(modelData.icon)
                                    }
                                    Text {
                                        width: parent.width
                                        text: modelData.text
                                        color: Colors.text
                                        font.pixelSize: 12
                                        wrapMode: Text.Wrap
                                        horizontalAlignment: Text.AlignHCenter
                                    }
                                }

                                MouseArea {
                                    id: presetArea
                                    anchors.fill: parent
                                    hoverEnabled: true
                                    onClicked: microphoneTab.clickPreset(index)
                                }
                            }
                        }
                    }

                    Column {
                        width: parent.width
                        spacing: 10
                        visible: microphoneTab.hasPresets

                        SwitchRow {
                            id: aiNoiseRow
                            name: "aiNoise"
                            title: qsTr("AI降噪")
                            tips: qsTr("弱降噪可以在消除环境噪音的同时，保持高音质收音效果。强降噪可以更好的消除环境噪音，音质损失较弱降噪略大")
                            key: "ai_jianzao"
                            onToggled: {
                                microphoneTab.updateAIType()
                                console.log("AI降噪")
                                microphoneTab.updateSelectIndex(microphoneTab.customPreset)
                            }
                        }

                        Row {
                            id: noiseSelect2
                            objectName: "noiseSelect2"
                            property int selectIndex: 0
                            visible: aiNoiseRow.toggle.checked
                            width: parent.width
                            spacing: 5
                            Repeater {
                                model: [qsTr("弱降噪"), qsTr("强降噪")]
                                Rectangle {
                                    objectName: "strength" + index
                                    width: (noiseSelect2.width - 5) / 2
                                    height: 30
                                    radius: 4
                                    color: noiseSelect2.selectIndex === index ? Colors.accent : Colors.control
                                    Text {
                                        anchors.centerIn: parent
                                        text: modelData
                                        color: Colors.text
                                        font.pixelSize: 14
                                    }
                                    MouseArea {
                                        anchors.fill: parent
                                        onClicked: {
                                            noiseSelect2.selectIndex = index
                                            ConfigMgr.setValue("ai_jianzao_type", index)
                                            microphoneTab.updateAIType()
                                            microphoneTab.updateSelectIndex(microphoneTab.customPreset)
                                        }
                                    }
                                }
                            }
                        }
                    }

                    SliderRow {
                        id: boomRow
                        name: "fanbaoYin"
                        title: qsTr("防爆音")
                        tips: qsTr("用于限制音频信号的最大音量，开启后，动态控制话筒音量，防止突发爆音")
                        key: "device_boom"
                        switchEvent: "防爆音开关"
                        valueKey: "device_boom_value"
                        valueEvent: "防爆音"
                        from: -40
                        onToggled: {
                            microphoneTab.send(microphoneTab.attrs.anti_noise, boomRow.toggle.checked ? 1 : 0)
                            microphoneTab.updateSelectIndex(microphoneTab.customPreset)
                        }
                        onMovedByUser: {
                            microphoneTab.send(microphoneTab.attrs.device_boom_value, boomRow.slider.value)
                            microphoneTab.updateSelectIndex(microphoneTab.customPreset)
                        }
                    }

                    SliderRow {
                        id: compressorRow
                        name: "yasuoQi"
                        title: qsTr("压缩器")
                        tips: qsTr("压缩器用于控制音频信号的动态范围，开启后，可避免音量过高导致失真或听感刺耳。")
                        key: "device_compressor"
                        switchEvent: "压缩器开关"
                        valueKey: "device_compressor_value"
                        valueEvent: "压缩器"
                        from: -80
                        onToggled: {
                            SystemBridge.updateMonitorDevice()
                            microphoneTab.updateSelectIndex(microphoneTab.customPreset)
                        }
                        onMovedByUser: microphoneTab.updateSelectIndex(microphoneTab.customPreset)
                        // The compressor runs in the system bridge, which reads the stored value.
                        onValueStored: SystemBridge.updateMonitorDevice()
                    }

                    // Follows the user's clicks only, not the device's reports.
                    SwitchRow {
                        id: antiNoiseRow
                        name: "antiNoise"
                        visible: microphoneTab.isR7
                        title: qsTr("防爆音")
                        tips: qsTr("用于限制音频信号的最大音量，开启后，动态控制话筒音量，防止突发爆音")
                        key: "device_boom"
                        usageEvent: ["音频增强", "防爆音"]
                        onToggled: microphoneTab.send(microphoneTab.attrs.anti_noise, antiNoiseRow.toggle.checked ? 1 : 0)
                    }

                    Item {
                        width: parent.width
                        height: 25
                        CustomText {
                            anchors.verticalCenter: parent.verticalCenter
                            text: qsTr("均衡器")
                            textPpixelSize: 16
                            tips: qsTr("调节不同频率的音色，让你的声音更清晰、更有个性。")
                        }
                        Item {
                            objectName: "equalizerRow"
                            anchors.right: parent.right
                            width: 100
                            height: 25
                            Row {
                                anchors.right: parent.right
                                anchors.verticalCenter: parent.verticalCenter
                                spacing: 10
                                Text {
                                    objectName: "equalizerName"
                                    anchors.verticalCenter: parent.verticalCenter
                                    text: microphoneTab.equalizerText
                                    color: Colors.text
                                    font.pixelSize: 16
                                }
                                Image {
                                    anchors.verticalCenter: parent.verticalCenter
                                    width: 16
                                    height: 16
                                    sourceSize: Qt.size(16, 16)
                                    source: TvConfig.iconUrl("icons/right.svg")
                                }
                            }
                            MouseArea {
                                anchors.fill: parent
                                onClicked: {
                                    equalizerWindow.visible = true
                                    microphoneTab.recordEvent("音频增强", "均衡器", "1")
                                }
                            }
                        }
                    }
                }
            }
        }
    }
}
