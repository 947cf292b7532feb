import QtQuick
import QtQuick.Controls
import QtQuick.Controls.Material
import QtQuick.Layouts
import QtQuick.Window
import MediaControls
import VeloranDeck
import VeloranDeckHIDHotplug
import VeloranDeckTranslation
import VeloranDeckSystemBridge

// The root window; its title-bar slot marks it as the main window, so
// closing it ends the application. The slot holds the "more" menu and the
// secondary windows it shows; they live for the whole run and keep their
// state between openings.
WindowFrame {
    id: root
    objectName: "root"
    visible: true
    title: qsTr("Veloran Deck")
    Material.theme: Material.Dark

    // Where the application hotkey goes without a program to start.
    readonly property string productHomeUrl: NetworkMgr.pageHost + "/"
    readonly property int knobHotkeyMessage: 0x8003

    // Bridges built without a member leave that action undone, with a
    // warning, instead of a TypeError in the handler.
    function callBridge(name, argument) {
        if (typeof SystemBridge[name] !== "function") {
            console.warn("SystemBridge lacks", name)
            return
        }
        if (argument === undefined)
            SystemBridge[name]()
        else
            SystemBridge[name](argument)
    }

    function openApplicationEntry() {
        const stored = ConfigMgr.getValue(ConfigMgr.keys.general_hotkey_value_app)
        const text = stored === undefined || stored === null ? "" : String(stored)
        if (text.length === 0) {
            Qt.openUrlExternally(productHomeUrl)
            return
        }
        let entry
        try {
            entry = JSON.parse(text)
        } catch (error) {
            console.warn("快捷键应用记录无效:", error)
            return
        }
        const path = entry !== null && typeof entry === "object" ? entry.executablePath : undefined
        if (typeof path === "string" && path.length > 0)
            callBridge("openApplication", path)
        else
            Qt.openUrlExternally(productHomeUrl)
    }

    function onKnobHotkey(msgid, value) {
        if (Number(msgid) !== knobHotkeyMessage)
            return
        const type = Number(ConfigMgr.getValue(ConfigMgr.keys.general_hotkey_type))
        if (type === 0) {
            openApplicationEntry()
        } else if (type === 1) {
            // A stored address is the user's text: the bridge opens only
            // absolute web, mail and file addresses.
            const url = String(ConfigMgr.getValue(ConfigMgr.keys.general_hotkey_value_url) || "")
            if (url.length > 0)
                callBridge("openUrl", url)
        } else if (type === 2) {
            const key = String(ConfigMgr.getValue(ConfigMgr.keys.general_hotkey_value_key) || "")
            if (key.length > 0)
                callBridge("simulateKeyPress", key)
        } else if (type === 3) {
            callBridge("takeScreenshot")
        } else if (type === 4) {
            callBridge("startScreenRecording")
        }
    }

    Component.onCompleted: {
        MessageDialogMgr.setParent(root)
        NetworkMgr.getTrackId(function() { NetworkMgr.startApp() })
        HIDHotplugManager.priMsgCallback.connect(root.onKnobHotkey)
    }

    Component.onDestruction: HIDHotplugManager.priMsgCallback.disconnect(root.onKnobHotkey)

    rightView: CustomButton {
        id: moreBtn
        objectName: "moreBtn"
        width: 18
        height: 14
        // The icon fills the button.
        padding: 0
        icon.source: TvConfig.iconUrl("icons/more.svg")
        onClicked: morePopup.open()

        // Menu widths by language; other codes get the narrowest.
        readonly property var popupWidths: ({
            "zh_CN": 110, "zh_TW": 110, "ja_JP": 150,
            "en_US": 180, "de_DE": 180, "fr_FR": 180, "it_IT": 180,
            "es_ES": 190, "ru_RU": 220
        })

        function setMorePopupWidth() {
            const language = TranslationManager.getCurrentLanguage()
            console.log("language:", language)
            const width = Object.prototype.hasOwnProperty.call(popupWidths, language) ? popupWidths[language] : 110
            morePopup.x = TvConfig.isWindowsPlatform() ? 0 : 30 - width
            morePopup.width = width
        }

        function openHelp() {
            console.log("打开帮助")
            Qt.openUrlExternally(TranslationManager.getCurrentLanguageIndex() === 0 ? NetworkMgr.help_url
                                                                                    : NetworkMgr.help_url_en)
        }

        Component.onCompleted: setMorePopupWidth()

        Connections {
            target: TranslationManager
            function onLanguageChanged() { moreBtn.setMorePopupWidth() }
        }

        SettingsWindow {
            id: settingsWindow
            objectName: "settingsWindow"
        }

        CustomerWindow {
            id: customerWindow
            objectName: "customerWindow"
        }

        Popup {
            id: morePopup
            objectName: "morePopup"
            modal: false
            focus: true
            padding: 10
            y: 30
            closePolicy: Popup.CloseOnEscape | Popup.CloseOnPressOutside

            background: Rectangle {
                objectName: "morePopupBackground"
                color: Colors.menu
                radius: 12
            }

            contentItem: Column {
                width: morePopup.availableWidth

                Repeater {
                    model: [
                        { label: qsTr("帮助"), icon: "icons/bz.svg" },
                        { label: qsTr("客服"), icon: "icons/kf.svg" },
                        { label: qsTr("设置"), icon: "icons/sz.svg" }
                    ]

                    delegate: Rectangle {
                        objectName: "menuRow" + index
                        width: parent ? parent.width : 0
                        height: 30
                        radius: 6
                        color: rowMouse.containsMouse ? Colors.hover : "transparent"

                        RowLayout {
                            anchors.fill: parent
                            anchors.leftMargin: 5
                            anchors.rightMargin: 5
                            spacing: 8

                            Image {
                                Layout.preferredWidth: 15
                                Layout.preferredHeight: 15
                                Layout.alignment: Qt.AlignVCenter
                                fillMode: Image.PreserveAspectFit
                                sourceSize: Qt.size(15, 15)
                                source: TvConfig.iconUrl(modelData.icon)
                            }
                            Text {
                                objectName: "menuLabel"
                                Layout.fillWidth: true
                                Layout.alignment: Qt.AlignVCenter
                                text: modelData.label
                                color: Colors.text
                                font.pixelSize: 14
                                elide: Text.ElideRight
                            }
                        }

                        MouseArea {
                            id: rowMouse
                            anchors.fill: parent
                            hoverEnabled: true
                            onClicked: {
                                morePopup.close()
                                if (index === 0)
                                    moreBtn.openHelp()
                                else if (index === 1)
                                    customerWindow.visible = true
                                else
                                    settingsWindow.visible = true
                            }
                        }
                    }
                }
            }
        }
    }

    StackView {
        id: stackView
        objectName: "stackView"
        anchors.fill: parent
        initialItem: WelcomeLayout {
            id: welcomeLayout
            objectName: "welcomeLayout"
        }

        pushEnter: Transition {
            PropertyAnimation { property: "opacity"; from: 0; to: 1; duration: 200; easing.type: Easing.InOutQuad }
        }
        pushExit: Transition {
            PropertyAnimation { property: "opacity"; from: 1; to: 0; duration: 200; easing.type: Easing.InOutQuad }
        }
        popEnter: Transition {
            PropertyAnimation { property: "opacity"; from: 0; to: 1; duration: 200; easing.type: Easing.InOutQuad }
        }
        popExit: Transition {
            PropertyAnimation { property: "opacity"; from: 1; to: 0; duration: 200; easing.type: Easing.InOutQuad }
        }
    }
}
