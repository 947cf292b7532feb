import QtQuick
import QtQuick.Window
import QtTest
import VeloranDeck
import VeloranDeckSystemBridge
import VeloranTestSupport

TestCase {
    id: testCase
    name: "WindowFrame"
    when: windowShown

    // Content whose state must survive hiding.
    Component {
        id: secondaryComponent
        WindowFrame {
            title: "Secondary"
            Rectangle {
                property int clicks: 0
                color: "#202020"
            }
        }
    }

    Component {
        id: mainComponent
        WindowFrame {
            title: "Main"
            rightView: Item {
            }
        }
    }

    Component {
        id: destroyingComponent
        WindowFrame {
            title: "Destroying"
            function loadView() {
                isDestroy = true
            }
        }
    }

    // Records the resizes handed to the window system.
    Component {
        id: resizeProbeComponent
        WindowFrame {
            property var resizeEdges: []
            function startSystemResize(edges) {
                resizeEdges.push(edges)
                return false
            }
        }
    }

    // A fixed-size dialog, as the secondary windows are.
    Component {
        id: dialogComponent
        WindowFrame {
            title: "Dialog"
            width: 550
            height: 480
            minimumWidth: 550
            maximumWidth: 550
            minimumHeight: 480
            maximumHeight: 480
        }
    }

    property QtObject watched: null

    function initTestCase() {
        LogSpy.start()
    }

    function init() {
        SystemBridge.reset()
        LogSpy.clear()
    }

    function cleanup() {
        TvConfig.platformOs = Qt.platform.os
    }

    function named(frame, name) {
        const found = findChild(frame.contentItem, name)
        verify(found, name)
        return found
    }

    function shown(component) {
        const frame = createTemporaryObject(component, testCase)
        verify(frame)
        frame.visible = true
        tryCompare(frame, "opacity", 1)
        return frame
    }

    function test_close_fades_then_hides_and_keeps_the_content() {
        const frame = shown(secondaryComponent)
        const content = named(frame, "contentLoader").item
        content.clicks = 3

        const closedAt = Date.now()
        frame.close()
        wait(100)
        verify(frame.visible, "hidden before the fade ended")
        verify(frame.opacity < 1)
        tryCompare(frame, "visible", false, 1000)
        verify(Date.now() - closedAt >= 190, "hidden after " + (Date.now() - closedAt) + " ms")
        compare(LogSpy.count("  loadView false"), 1)
        compare(SystemBridge.callsTo("quitApplication").length, 0)

        frame.visible = true
        tryCompare(frame, "opacity", 1)
        compare(named(frame, "contentLoader").item, content)
        compare(content.clicks, 3)
    }

    function test_window_that_asks_to_be_destroyed_is_gone_after_the_fade() {
        watched = shown(destroyingComponent)
        verify(watched.isDestroy)
        watched.close()
        tryVerify(function() { return watched === null }, 1000)
        compare(LogSpy.count("  loadView true"), 1)
    }

    function test_showing_again_during_the_fade_still_ends_hidden() {
        const frame = shown(secondaryComponent)
        frame.close()
        wait(50)
        frame.visible = true
        tryCompare(frame, "visible", false, 1000)
        wait(300)
        verify(!frame.visible)
    }

    function test_completed_frame_is_frameless_and_not_on_top() {
        const frame = shown(secondaryComponent)
        verify(frame.flags & Qt.FramelessWindowHint)
        verify(!(frame.flags & Qt.WindowStaysOnTopHint))

        const image = grabImage(frame.contentItem)
        image.save(Shots.path("windowframe-secondary.png"))
        compare(image.width, frame.width)
        for (const y of [0, 15, 29])
            verify(Qt.colorEqual(image.pixel(5, y), "#1a1a1a"), "title bar at y " + y + ": " + image.pixel(5, y))
        verify(!Qt.colorEqual(image.pixel(5, 30), "#1a1a1a"), "title bar taller than 30 px")
        compare(named(frame, "titleText").text, "Secondary")
    }

    function test_close_rule_data() {
        return [
            { tag: "main window, close button", main: true, button: true, quits: 1, hidesAfterFade: false },
            { tag: "main window, system close", main: true, button: false, quits: 1, hidesAfterFade: true },
            { tag: "secondary window, close button", main: false, button: true, quits: 0, hidesAfterFade: true },
            { tag: "secondary window, system close", main: false, button: false, quits: 0, hidesAfterFade: true }
        ]
    }

    function test_close_rule(data) {
        const frame = shown(data.main ? mainComponent : secondaryComponent)
        if (data.button)
            mouseClick(named(frame, "closeButton"))
        else
            frame.close()
        compare(SystemBridge.callsTo("quitApplication").length, data.quits)
        wait(300)
        compare(frame.visible, !data.hidesAfterFade)
        compare(SystemBridge.callsTo("quitApplication").length, data.quits)
    }

    function test_title_bar_drag_moves_the_window() {
        const frame = shown(secondaryComponent)
        const dragArea = named(frame, "dragArea")
        frame.x = 100
        frame.y = 80
        mousePress(dragArea, 10, 10)
        mouseMove(dragArea, 50, 35, -1, Qt.LeftButton)
        mouseRelease(dragArea, 50, 35)
        compare(frame.x, 140)
        compare(frame.y, 105)
    }

    function test_platform_rows_data() {
        return [
            { tag: "other", os: "linux", main: false, left: 105, right: 25, buttons: "toolBut", color: "#000000" },
            { tag: "other, main", os: "linux", main: true, left: 105, right: 105, buttons: "toolBut", color: "#000000" },
            { tag: "windows", os: "windows", main: false, left: 25, right: 105, buttons: "toolBut_win", color: "#000000" },
            { tag: "windows, main", os: "windows", main: true, left: 105, right: 105, buttons: "toolBut_win", color: "#1e1e1e" }
        ]
    }

    function test_platform_rows(data) {
        TvConfig.platformOs = data.os
        const frame = shown(data.main ? mainComponent : secondaryComponent)
        const titleBar = named(frame, "titleBar")
        const dragArea = named(frame, "dragArea")
        compare(dragArea.x, data.left)
        compare(titleBar.width - dragArea.x - dragArea.width, data.right)
        verify(Qt.colorEqual(frame.color, data.color), String(frame.color))

        const isWindows = data.os === "windows"
        compare(named(frame, "toolBut").visible, !isWindows)
        compare(named(frame, "toolBut_win").visible, isWindows)
        // Buttons at the left end elsewhere, at the right end on Windows;
        // the slot at the other end.
        const buttons = named(frame, data.buttons)
        const slot = named(frame, "rightSlot")
        const buttonsX = buttons.mapToItem(titleBar, 0, 0).x
        const slotX = slot.mapToItem(titleBar, 0, 0).x
        compare(buttonsX, isWindows ? titleBar.width - 15 - 80 : 15)
        compare(slotX, isWindows ? 15 : titleBar.width - 15 - 80)
    }

    function test_resize_borders_data() {
        return [
            { tag: "left strip", x: 2, y: 400, edges: Qt.LeftEdge },
            { tag: "bottom strip", x: 600, y: 797, edges: Qt.BottomEdge },
            { tag: "top-right corner", x: 1297, y: 2, edges: Qt.RightEdge | Qt.TopEdge },
            { tag: "bottom-left corner", x: 2, y: 797, edges: Qt.LeftEdge | Qt.BottomEdge }
        ]
    }

    function test_resize_borders(data) {
        const frame = shown(resizeProbeComponent)
        mousePress(frame.contentItem, data.x, data.y)
        mouseRelease(frame.contentItem, data.x, data.y)
        compare(frame.resizeEdges, [data.edges])

        frame.showMaximized()
        tryCompare(frame, "visibility", Window.Maximized)
        named(frame, "resizeBorders").beginResize(data.edges)
        compare(frame.resizeEdges, [data.edges])
    }

    // Screens in logical pixels (1920 x 1080 at 100, 150 and 200 %), as the
    // window reads them: the free area's size, not where its panels are.
    function screenOf(x, y, width, height, freeWidth, freeHeight) {
        return { virtualX: x, virtualY: y, width: width, height: height,
                 desktopAvailableWidth: freeWidth, desktopAvailableHeight: freeHeight }
    }

    function test_windows_fit_the_screen_data() {
        return [
            { tag: "100 %", screen: screenOf(0, 0, 1920, 1080, 1920, 1080),
              main: [310, 140, 1300, 800], dialog: [685, 300, 550, 480] },
            { tag: "150 %", screen: screenOf(0, 0, 1280, 720, 1280, 720),
              main: [0, 0, 1280, 720], dialog: [365, 120, 550, 480] },
            { tag: "150 % with a 40 px panel", screen: screenOf(0, 0, 1280, 720, 1280, 680),
              main: [0, 40, 1280, 640], dialog: [365, 120, 550, 480] },
            { tag: "150 % with a 48 px dock at a side", screen: screenOf(0, 0, 1280, 720, 1232, 720),
              main: [48, 0, 1184, 720], dialog: [365, 120, 550, 480] },
            { tag: "200 %", screen: screenOf(0, 0, 960, 540, 960, 540),
              main: [0, 0, 960, 540], dialog: [205, 30, 550, 480] },
            { tag: "200 % right of another screen", screen: screenOf(1920, 0, 960, 540, 2880, 1080),
              main: [1920, 0, 960, 540], dialog: [2125, 30, 550, 480] },
            { tag: "smaller than the minimum", screen: screenOf(0, 0, 683, 384, 683, 384),
              main: [-58, -58, 800, 500], dialog: [67, -48, 550, 480] },
            { tag: "owner moved to the right edge", screen: screenOf(0, 0, 1920, 1080, 1920, 1080),
              main: [310, 140, 1300, 800], moveMainTo: [1500, 900], dialog: [1370, 600, 550, 480] }
        ]
    }

    function test_windows_fit_the_screen(data) {
        const main = createTemporaryObject(mainComponent, testCase)
        main.visible = true
        main.fitToScreen(data.screen)
        compare([main.x, main.y, main.width, main.height], data.main)
        if (data.moveMainTo) {
            main.x = data.moveMainTo[0]
            main.y = data.moveMainTo[1]
        }
        const dialog = createTemporaryObject(dialogComponent, testCase)
        dialog.transientParent = main
        dialog.visible = true
        dialog.fitToScreen(data.screen)
        compare([dialog.x, dialog.y, dialog.width, dialog.height], data.dialog)
    }
}
