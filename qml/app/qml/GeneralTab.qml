import QtQuick
import QtQuick.Controls
import MediaControls
import VeloranDeck
import VeloranDeckSystemBridge
import "hotkeytext.js" as Hotkey

// The last page of the device drawer: the knob hotkey (R7), the firmware
// version and update, the sample rate (R7), the indicator light (T40) and
// the factory reset. The hotkey is only stored here; the root window runs it
// when the knob reports it.
ScrollView {
    id: generalTab
    objectName: "generalTab"

    readonly property bool isR7: HIDDeviceMgr.isR7()
    readonly property bool isT40: HIDDeviceMgr.isT40()
    readonly property var keys: ConfigMgr.keys
    readonly property var hotkeyRows: [
        { label: qsTr("App"), icon: "icons/app1.svg" },
        { label: qsTr("URL"), icon: "icons/app2.svg" },
        { label: qsTr("热键"), icon: "icons/app3.svg" },
        { label: qsTr("系统截图"), icon: "icons/app4.svg" },
        { label: qsTr("系统录屏"), icon: "icons/app5.svg" }
    ]
    // Set while the page itself puts values into its controls: such changes
    // are no choices of the user and store nothing.
    property bool loading: false
    property bool urlRewriting: false
    property bool keyWriting: false
    // The factory-reset window while it is open (it destroys itself when
    // closed).
    property var resetWindow: null

    function recordEvent(item, type, value) {
        DataTrackerMgr.storeEventNow("通用", item, type, String(value), "software")
    }

    // Reads every setting into the controls; sends and stores nothing.
    function reload() {
        loading = true
        const type = Number(ConfigMgr.getValue(keys.general_hotkey_type))
        for (let i = 0; i < hotkeyButtons.count; ++i)
            hotkeyButtons.itemAt(i).checked = i === type
        urlRewriting = true
        urlField.text = String(ConfigMgr.getValue(keys.general_hotkey_value_url))
        urlRewriting = false
        setKeyText(String(ConfigMgr.getValue(keys.general_hotkey_value_key)))
        appBox.restoreStored()
        indicatorSwitch.checked = ConfigMgr.getValue(keys.color_bg_other_lighting) === true
        refreshRate()
        loading = false
    }

    function hotkeyChosen(button) {
        if (loading || button === null)
            return
        ConfigMgr.setValue(keys.general_hotkey_type, button.rowIndex)
        recordEvent("热键", "旋钮按键", button.rowIndex)
    }

    function urlEdited() {
        if (urlRewriting)
            return
        const result = Hotkey.normaliseUrl(urlField.text, urlField.cursorPosition)
        if (result.text !== urlField.text) {
            urlRewriting = true
            urlField.text = result.text
            urlField.cursorPosition = result.cursor
            urlRewriting = false
        }
        if (result.store)
            ConfigMgr.setValue(keys.general_hotkey_value_url, result.text)
    }

    function setKeyText(text) {
        keyWriting = true
        keyField.text = text
        keyWriting = false
    }

    function keyPressed(event) {
        event.accepted = true
        const text = Hotkey.combination(event.key, event.modifiers, TvConfig.platformOs)
        if (text === "")
            return
        setKeyText(text)
        ConfigMgr.setValue(keys.general_hotkey_value_key, text)
        console.log("捕获到的快捷键:", text)
    }

    // Pastes and input methods: only a text that looks like a combination
    // may stay, and none is stored.
    function keyTextEdited() {
        if (keyWriting)
            return
        const old = keyField.text
        const verdict = Hotkey.foreignTextVerdict(old)
        if (verdict === "chinese")
            console.log("清空中文字符:", old)
        else if (verdict === "invalid")
            console.log("清空非法输入:", old)
        else
            return
        setKeyText("")
    }

    // The endpoint's own rate first, so that a change made elsewhere shows.
    function shownRate() {
        const name = HIDDeviceMgr.getDeviceName()
        if (name !== "" && name !== "N/A") {
            const rate = SystemBridge.GetDeviceCurrentRateKHz(name)
            if (rate !== "")
                return rate
        }
        return String(ConfigMgr.getValue(keys.general_rate))
    }

    function refreshRate() {
        rateBox.currentIndex = ConfigMgr.rate_list.indexOf(shownRate())
    }

    function rateChosen(index) {
        const rate = ConfigMgr.rate_list[index]
        if (rate === undefined)
            return
        const name = HIDDeviceMgr.getDeviceName()
        console.log("Sample rate selected:", index, rate, "for device:", name)
        ConfigMgr.setValue(keys.general_rate, rate)
        recordEvent("通用", "采样率", rate + " kHz")
        SystemBridge.SetDeviceSampleRateAsync(name, Hotkey.rateHz(rate))
    }

    function firmwareClicked() {
        if (MessageDialogMgr.firmwareUpdateStat !== 3) {
            checkFirmwareSilently()
            return
        }
        // Read first: the device's loss of readiness clears it.
        const url = MessageDialogMgr.firmwareDownloadUrl
        HIDDeviceMgr.stopAndDisconnectDevice()
        MessageBus.publishUpdateFirmware(url)
    }

    function indicatorChanged(on) {
        if (loading || on === (ConfigMgr.getValue(keys.color_bg_other_lighting) === true))
            return
        ConfigMgr.setValue(keys.color_bg_other_lighting, on)
        recordEvent("通用", "指示灯", on)
    }

    function checkFirmwareSilently() {
        MessageDialogMgr.checkFirmwareUpdate({ showDialog: false })
    }

    function openReset() {
        console.log("恢复出厂")
        resetWindow = TvConfig.createWindow("ResetWindow.qml", generalTab)
        recordEvent("通用", "恢复出厂", 1)
    }

    Component.onCompleted: {
        reload()
        console.log("GeneralTab 已加载")
        forceActiveFocus()
        // A turn later, so that the control page's own check, made as it is
        // completed, comes first and may prompt. A method of the page: a
        // page gone by then checks nothing.
        Qt.callLater(checkFirmwareSilently)
    }

    contentWidth: availableWidth
    contentHeight: sections.implicitHeight
    clip: true
    // Nothing scrolls sideways; the style's idle bar would still take
    // presses along the view's bottom edge.
    ScrollBar.horizontal.policy: ScrollBar.AlwaysOff

    ScrollBar.vertical: PageScrollBar {
        objectName: "scrollBar"
        x: generalTab.width - width
        height: generalTab.availableHeight
        radius: 4
        policy: generalTab.isR7 ? ScrollBar.AsNeeded : ScrollBar.AlwaysOff
        visible: generalTab.isR7 && size < 1.0
    }

    Timer {
        id: rateRefreshTimer
        objectName: "rateRefreshTimer"
        interval: 500
        repeat: false
        onTriggered: generalTab.refreshRate()
    }

    Connections {
        target: HIDDeviceMgr
        function onDeviceConnected(info, connected) { rateRefreshTimer.restart() }
    }

    Connections {
        target: SystemBridge
        function onDeviceSampleRateChanged(deviceName, sampleRate, success) {
            if (success)
                console.log("SetDeviceSampleRateAsync ok:", deviceName, sampleRate)
            else
                console.warn("SetDeviceSampleRateAsync failed:", deviceName, sampleRate)
            rateRefreshTimer.restart()
        }
    }

    MessageListener {
        messageTypes: [MessageBus.messageTypes.UPDATE_CONFIG_MESSAGE, MessageBus.messageTypes.UPDATE_OTHER_LIGHT_OFF]
        onMessage: function(topic, data) {
            if (topic === MessageBus.messageTypes.UPDATE_CONFIG_MESSAGE)
                generalTab.reload()
            else
                indicatorSwitch.checked = Number(data) === 1
        }
    }

    ButtonGroup {
        id: hotkeyGroup
        onCheckedButtonChanged: generalTab.hotkeyChosen(checkedButton)
    }

    component Header: CustomText {
        textPpixelSize: 14
        textOpacity: 0.5
    }

    component Card: Rectangle {
        width: parent.width
        radius: 6
        color: Colors.card
    }

    component Label: Text {
        color: Colors.text
        font.pixelSize: 14
    }

    component ValueField: TextField {
        height: 32
        color: Colors.text
        placeholderTextColor: Colors.placeholder
        font.pixelSize: 14
        leftPadding: 10
        rightPadding: 10
        topPadding: 0
        bottomPadding: 0
        verticalAlignment: TextInput.AlignVCenter
        selectByMouse: true
        background: Rectangle {
            color: "transparent"
            radius: 6
            border.width: 1
            border.color: Colors.fieldBorder
        }
    }

    Column {
        id: sections
        width: generalTab.availableWidth - 12
        spacing: 10

        Header {
            text: qsTr("热键")
            visible: generalTab.isR7
        }

        Card {
            id: hotkeyCard
            objectName: "hotkeyCard"
            height: 280
            visible: generalTab.isR7

            CustomText {
                x: 20
                y: 20
                text: qsTr("旋钮按键")
                textPpixelSize: 14
                tips: qsTr("当Veloran Deck 在后台运行时，双击旋钮可执行自定义功能。")
            }

            Column {
                x: 20
                y: 56
                width: parent.width - 40
                spacing: 12

                Repeater {
                    id: hotkeyButtons
                    model: generalTab.hotkeyRows

                    CustomRadioButton {
                        required property var modelData
                        required property int index
                        readonly property int rowIndex: index
                        objectName: "hotkeyButton" + index
                        ButtonGroup.group: hotkeyGroup
                        height: 32
                        width: parent.width

                        Image {
                            x: 26
                            anchors.verticalCenter: parent.verticalCenter
                            width: 20
                            height: 20
                            sourceSize: Qt.size(20, 20)
                            source: TvConfig.iconUrl(parent.modelData.icon)
                        }

                        Label {
                            objectName: "hotkeyLabel" + parent.index
                            x: 54
                            // A label beside an editor ends short of it.
                            width: (parent.index < editors.besideRows ? editors.x - 20 - editors.gap : parent.width) - x
                            anchors.verticalCenter: parent.verticalCenter
                            text: parent.modelData.label
                            elide: Text.ElideRight
                        }
                    }
                }
            }

            FontMetrics {
                id: labelMetrics
                font.pixelSize: 14
            }

            // The value editors stand over the rows' right ends, clear of the
            // widest label beside them (translations run long) but never
            // narrower than 160; they stay live whichever row is checked.
            Item {
                id: editors
                readonly property int besideRows: 3
                readonly property int gap: 12
                readonly property real widestLabel: Math.max.apply(null,
                    generalTab.hotkeyRows.slice(0, besideRows).map(function(row) {
                        return Math.ceil(labelMetrics.advanceWidth(row.label))
                    }))
                x: 20 + Math.min(Math.max(150, 54 + widestLabel + gap), parent.width - 40 - 160)
                y: 56
                width: parent.width - 20 - x
                height: 32 * 3 + 24

                CustomComAppBox {
                    id: appBox
                    objectName: "appBox"
                    width: parent.width
                    height: 32
                    font.pixelSize: 14
                }

                ValueField {
                    id: urlField
                    objectName: "urlField"
                    y: 44
                    width: parent.width
                    placeholderText: activeFocus || text !== "" ? "" : qsTr("请输入URL")
                    onTextChanged: generalTab.urlEdited()
                }

                ValueField {
                    id: keyField
                    objectName: "keyField"
                    y: 88
                    width: parent.width
                    placeholderText: activeFocus || text !== "" ? "" : qsTr("请输入键位")
                    Keys.onShortcutOverride: function(event) { event.accepted = true }
                    Keys.onPressed: function(event) { generalTab.keyPressed(event) }
                    onTextChanged: generalTab.keyTextEdited()
                }
            }
        }

        Header { text: qsTr("通用") }

        Card {
            objectName: "firmwareCard"
            height: 90

            CustomStatBox {
                objectName: "firmwareStat"
                x: 20
                anchors.verticalCenter: parent.verticalCenter
                stat: MessageDialogMgr.firmwareUpdateStat
            }

            Column {
                x: 50
                anchors.verticalCenter: parent.verticalCenter
                width: parent.width - 50 - firmwareButton.width - 30
                spacing: 6

                Label {
                    objectName: "firmwareText"
                    width: parent.width
                    wrapMode: Text.WordWrap
                    text: MessageDialogMgr.firmwareUpdateStat === 3
                          ? qsTr("有固件可升级") : HIDDeviceMgr.deviceName + " " + qsTr("当前已是最新版本")
                }

                Label {
                    objectName: "firmwareVersion"
                    text: HIDDeviceMgr.deviceVersion
                    opacity: 0.5
                    font.pixelSize: 12
                }
            }

            BwButton {
                id: firmwareButton
                objectName: "firmwareButton"
                anchors.right: parent.right
                anchors.rightMargin: 20
                anchors.verticalCenter: parent.verticalCenter
                height: 30
                leftPadding: 12
                rightPadding: 12
                enabled: MessageDialogMgr.firmwareUpdateStat !== 1
                text: MessageDialogMgr.firmwareUpdateStat === 3 ? qsTr("立即更新") : qsTr("检查更新")
                onClicked: generalTab.firmwareClicked()
            }
        }

        Card {
            objectName: "rateCard"
            height: 60
            visible: generalTab.isR7

            Label {
                x: 20
                anchors.verticalCenter: parent.verticalCenter
                text: qsTr("采样率")
            }

            CustomComboBox {
                id: rateBox
                objectName: "rateBox"
                anchors.right: parent.right
                anchors.rightMargin: 20
                anchors.verticalCenter: parent.verticalCenter
                width: 130
                height: 30
                font.pixelSize: 14
                currentIndex: -1
                model: ConfigMgr.rate_list.map(function(rate) { return rate + " kHz" })
                // Only a choice of the user writes the endpoint: the page's
                // own refreshes would restart the microphone router.
                onActivated: function(index) { generalTab.rateChosen(index) }
            }
        }

        Card {
            objectName: "indicatorCard"
            height: 60
            visible: generalTab.isT40

            Label {
                x: 20
                anchors.verticalCenter: parent.verticalCenter
                text: qsTr("指示灯")
            }

            SwitchBox {
                id: indicatorSwitch
                objectName: "indicatorSwitch"
                anchors.right: parent.right
                anchors.rightMargin: 20
                anchors.verticalCenter: parent.verticalCenter
                onToggled: function(on) {
                    HIDDeviceMgr.sendMessage(HIDDeviceMgr.attrs.other_light_off, [on ? 1 : 0])
                }
                onCheckedChanged: generalTab.indicatorChanged(checked)
            }
        }

        Card {
            id: resetCard
            objectName: "resetCard"
            height: 60
            color: resetArea.containsMouse ? Colors.hover : Colors.card

            Label {
                x: 20
                anchors.verticalCenter: parent.verticalCenter
                text: qsTr("恢复出厂")
            }

            Image {
                anchors.right: parent.right
                anchors.rightMargin: 20
                anchors.verticalCenter: parent.verticalCenter
                sourceSize: Qt.size(24, 24)
                source: TvConfig.iconUrl("icons/right.svg")
            }

            MouseArea {
                id: resetArea
                objectName: "resetArea"
                anchors.fill: parent
                hoverEnabled: true
                cursorShape: Qt.PointingHandCursor
                onClicked: generalTab.openReset()
            }
        }
    }
}
