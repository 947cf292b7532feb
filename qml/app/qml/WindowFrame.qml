import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import QtQuick.Window
import MediaControls
import VeloranDeck
import VeloranDeckSystemBridge

// Base of every top-level window: frameless, with our own title bar, fades
// in and out, and the close rule: the main window (the one with a rightView)
// ends the application, every other window only hides or destroys itself.
ApplicationWindow {
    id: windowFrame
    objectName: "windowFrame"

    default property alias content: contentLoader.sourceComponent
    property alias rightView: rightLoader.sourceComponent
    property bool isDestroy: false
    property alias titleColor: titleText.color

    width: 1300
    height: 800
    minimumWidth: 800
    minimumHeight: 500
    // Stays on top while being created, which keeps text services quiet.
    flags: Qt.Window | Qt.FramelessWindowHint | Qt.WindowStaysOnTopHint
    color: Colors.window
    opacity: 0

    Behavior on opacity {
        NumberAnimation {
            duration: 200
            easing.type: Easing.InOutQuad
        }
    }

    // The size the window is declared with; it opens smaller only where the
    // screen cannot hold it.
    property size designedSize: Qt.size(0, 0)

    // One rule for every window: the declared size where the screen's free
    // area holds it, otherwise the largest size that fits (never below the
    // window's minimum), centred on its owner (or the screen) and pulled
    // wholly inside the free area. The screen tells the free area's size but
    // not on which side its panels sit, so their room is kept clear on both
    // sides. Logical pixels throughout.
    function fitToScreen(screen) {
        if (screen === undefined)
            screen = windowFrame.screen
        if (!screen || screen.width <= 0 || screen.height <= 0)
            return
        if (visibility === Window.Maximized || visibility === Window.FullScreen)
            return
        const panelX = screen.width - Math.min(screen.width, screen.desktopAvailableWidth)
        const panelY = screen.height - Math.min(screen.height, screen.desktopAvailableHeight)
        const roomWidth = screen.width - 2 * panelX
        const roomHeight = screen.height - 2 * panelY
        const wanted = designedSize.width > 0 ? designedSize : Qt.size(width, height)
        width = Math.max(minimumWidth, Math.min(wanted.width, roomWidth))
        height = Math.max(minimumHeight, Math.min(wanted.height, roomHeight))

        // A window larger than the room is centred on it.
        function inside(start, size, low, span) {
            if (size >= span)
                return Math.round(low + (span - size) / 2)
            return Math.round(Math.min(Math.max(start, low), low + span - size))
        }
        const owner = rightView === null ? transientParent : null
        const centreX = owner && owner.visible ? owner.x + owner.width / 2 : screen.virtualX + screen.width / 2
        const centreY = owner && owner.visible ? owner.y + owner.height / 2 : screen.virtualY + screen.height / 2
        x = inside(centreX - width / 2, width, screen.virtualX + panelX, roomWidth)
        y = inside(centreY - height / 2, height, screen.virtualY + panelY, roomHeight)
    }

    function loadView() {
    }

    onVisibleChanged: {
        if (visible) {
            // Secondary windows are shown long after their creation; the
            // owner may have moved since.
            if (rightView === null)
                windowFrame.fitToScreen()
            opacity = 1
        }
    }

    onClosing: function(close) {
        const isMain = rightView !== null
        close.accepted = isMain
        opacity = 0
        closeTimer.start()
        if (isMain)
            frame.endApplication()
    }

    Component.onCompleted: {
        windowFrame.designedSize = Qt.size(width, height)
        windowFrame.fitToScreen()
        flags = Qt.Window | Qt.FramelessWindowHint
        if (rightView !== null) {
            if (TvConfig.platformOs === "osx")
                visibility = Window.Windowed
            if (TvConfig.isWindowsPlatform())
                color = Colors.windowsFrame
        }
        if (visible)
            requestActivate()
        windowFrame.loadView()
    }

    contentData: [
        QtObject {
            id: frame

            // What the main window's close button does, and every accepted
            // close of the main window: a secondary window that was shown
            // once could otherwise keep Qt's automatic quit from ending the
            // program. Bridges without quitApplication end the loop here.
            function endApplication() {
                if (TvConfig.isWindowsPlatform() || typeof SystemBridge.quitApplication !== "function")
                    Qt.exit(0)
                else
                    SystemBridge.quitApplication()
            }

            function toggleMaximized() {
                if (windowFrame.visibility === Window.Maximized)
                    windowFrame.showNormal()
                else
                    windowFrame.showMaximized()
            }
        },

        Rectangle {
            objectName: "shadow"
            anchors.fill: parent
            anchors.margins: -10
            z: -1
            color: "transparent"

            Rectangle {
                anchors.fill: parent
                anchors.margins: 10
                color: Colors.window
                opacity: 0.3
                radius: 8
            }
        },

        Loader {
            id: contentLoader
            objectName: "contentLoader"
            anchors.fill: parent
            anchors.topMargin: 30
        },

        Rectangle {
            id: titleBar
            objectName: "titleBar"
            anchors.top: parent.top
            anchors.left: parent.left
            anchors.right: parent.right
            height: 30
            z: 1000
            color: Colors.titleBar

            Text {
                id: titleText
                objectName: "titleText"
                anchors.centerIn: parent
                text: windowFrame.title
                font.pixelSize: 12
                font.bold: true
                color: Colors.text
            }

            MouseArea {
                id: dragArea
                objectName: "dragArea"
                anchors.fill: parent
                anchors.leftMargin: TvConfig.isWindowsPlatform() ? (windowFrame.rightView !== null ? 105 : 25) : 105
                anchors.rightMargin: TvConfig.isWindowsPlatform() ? 105 : (windowFrame.rightView !== null ? 105 : 25)
                acceptedButtons: Qt.LeftButton

                property point pressPoint: Qt.point(0, 0)
                // Set when the window system took the move over.
                property bool systemMove: false

                onPressed: function(mouse) {
                    pressPoint = Qt.point(mouse.x, mouse.y)
                    // A frameless window has no system edges here; the
                    // window system moves it where it can.
                    systemMove = windowFrame.startSystemMove()
                    mouse.accepted = true
                }
                onPositionChanged: function(mouse) {
                    if (systemMove || !pressed)
                        return
                    windowFrame.x += mouse.x - pressPoint.x
                    windowFrame.y += mouse.y - pressPoint.y
                }
            }

            RowLayout {
                anchors.fill: parent
                anchors.leftMargin: 15
                anchors.rightMargin: 15
                spacing: 0

                Row {
                    id: toolBut
                    objectName: "toolBut"
                    visible: !TvConfig.isWindowsPlatform()
                    spacing: 6
                    Layout.preferredWidth: 80
                    Layout.alignment: Qt.AlignLeft | Qt.AlignVCenter

                    FrameIcon {
                        id: closeButton
                        objectName: "closeButton"
                        normalIcon: "icons/close_mac1.svg"
                        hoverIcon: "icons/close_mac2.svg"
                        onClicked: {
                            if (windowFrame.rightView !== null)
                                frame.endApplication()
                            else
                                windowFrame.close()
                        }
                    }
                    FrameIcon {
                        id: minimizeButton
                        objectName: "minimizeButton"
                        normalIcon: "icons/min_mac1.svg"
                        hoverIcon: "icons/min_mac2.svg"
                        onClicked: windowFrame.showMinimized()
                    }
                    FrameIcon {
                        id: maximizeButton
                        objectName: "maximizeButton"
                        normalIcon: "icons/max_mac1.svg"
                        hoverIcon: "icons/max_mac2.svg"
                        onClicked: frame.toggleMaximized()
                    }
                }

                Item {
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    visible: !TvConfig.isWindowsPlatform()
                }

                // The slot balances the buttons on the other side; the view
                // keeps its own size inside it rather than being stretched.
                Item {
                    objectName: "rightSlot"
                    Layout.preferredWidth: 80
                    Layout.fillHeight: true

                    Loader {
                        id: rightLoader
                        objectName: "rightLoader"
                        anchors.verticalCenter: parent.verticalCenter
                        x: TvConfig.isWindowsPlatform() ? 0 : parent.width - width
                    }
                }

                Item {
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    visible: TvConfig.isWindowsPlatform()
                }

                Row {
                    id: toolBut_win
                    objectName: "toolBut_win"
                    visible: TvConfig.isWindowsPlatform()
                    spacing: 10
                    Layout.preferredWidth: 80
                    Layout.alignment: Qt.AlignRight | Qt.AlignVCenter

                    CustomButton {
                        objectName: "minimizeButtonWin"
                        width: 18
                        height: 9
                        padding: 0
                        icon.width: 18
                        icon.height: 9
                        anchors.verticalCenter: parent.verticalCenter
                        icon.source: TvConfig.iconUrl("icons/min_win.svg")
                        onClicked: windowFrame.showMinimized()
                    }
                    CustomButton {
                        objectName: "maximizeButtonWin"
                        width: 18
                        height: 18
                        padding: 0
                        icon.width: 18
                        icon.height: 18
                        icon.source: TvConfig.iconUrl("icons/max_win.svg")
                        onClicked: frame.toggleMaximized()
                    }
                    CustomButton {
                        objectName: "closeButtonWin"
                        width: 18
                        height: 18
                        padding: 0
                        icon.width: 18
                        icon.height: 18
                        icon.source: TvConfig.iconUrl("icons/close_win.svg")
                        onClicked: {
                            if (windowFrame.rightView !== null)
                                frame.endApplication()
                            else
                                windowFrame.close()
                        }
                    }
                }
            }
        },

        Item {
            id: resizeBorders
            objectName: "resizeBorders"
            anchors.fill: parent
            z: 2000

            property int border: 6

            function beginResize(edges) {
                if (windowFrame.visibility === Window.Maximized)
                    return
                windowFrame.startSystemResize(edges)
            }

            // The four strips and four corners; each takes the border along
            // its edges and the span between the corners otherwise.
            Repeater {
                model: [
                    { edges: Qt.LeftEdge, cursor: Qt.SizeHorCursor },
                    { edges: Qt.RightEdge, cursor: Qt.SizeHorCursor },
                    { edges: Qt.TopEdge, cursor: Qt.SizeVerCursor },
                    { edges: Qt.BottomEdge, cursor: Qt.SizeVerCursor },
                    { edges: Qt.LeftEdge | Qt.TopEdge, cursor: Qt.SizeFDiagCursor },
                    { edges: Qt.RightEdge | Qt.TopEdge, cursor: Qt.SizeBDiagCursor },
                    { edges: Qt.LeftEdge | Qt.BottomEdge, cursor: Qt.SizeBDiagCursor },
                    { edges: Qt.RightEdge | Qt.BottomEdge, cursor: Qt.SizeFDiagCursor }
                ]

                delegate: MouseArea {
                    readonly property int edges: modelData.edges
                    readonly property int border: resizeBorders.border
                    readonly property bool horizontal: edges & (Qt.LeftEdge | Qt.RightEdge)
                    readonly property bool vertical: edges & (Qt.TopEdge | Qt.BottomEdge)

                    x: (edges & Qt.RightEdge) ? resizeBorders.width - border : (horizontal ? 0 : border)
                    y: (edges & Qt.BottomEdge) ? resizeBorders.height - border : (vertical ? 0 : border)
                    width: horizontal ? border : resizeBorders.width - 2 * border
                    height: vertical ? border : resizeBorders.height - 2 * border
                    cursorShape: modelData.cursor
                    onPressed: function(mouse) {
                        mouse.accepted = true
                        resizeBorders.beginResize(edges)
                    }
                }
            }
        },

        Timer {
            id: closeTimer
            objectName: "closeTimer"
            interval: 200
            repeat: false
            running: false
            onTriggered: {
                windowFrame.visible = false
                windowFrame.opacity = 0
                if (windowFrame.isDestroy)
                    windowFrame.destroy()
                console.log("  loadView " + windowFrame.isDestroy)
            }
        }
    ]

    component FrameIcon: Image {
        id: frameIcon
        signal clicked

        property string normalIcon
        property string hoverIcon

        width: 12
        height: 12
        anchors.verticalCenter: parent ? parent.verticalCenter : undefined
        fillMode: Image.PreserveAspectFit
        smooth: true
        sourceSize: Qt.size(12, 12) // logical: the image is loaded for the screen's pixel ratio
        source: TvConfig.iconUrl(iconMouse.containsMouse ? hoverIcon : normalIcon)

        MouseArea {
            id: iconMouse
            anchors.fill: parent
            hoverEnabled: true
            cursorShape: Qt.PointingHandCursor
            onClicked: frameIcon.clicked()
        }
    }
}
