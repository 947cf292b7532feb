import QtQuick
import QtQuick.Window
import MediaControls
import VeloranDeck

// A tour of the control page on the emulated base, run by
// scripts/page-tour.sh from a copy of this file in build/tour/<model>/: it
// hosts the root window, enters the control page, opens the device drawer
// from the device strip, shows every tab and the secondary windows, and
// saves each view as a PNG file beside itself. Exits 0 when every view was
// saved, 1 otherwise.
QtObject {
    id: tour

    property var main: Main {}
    property var steps: []
    property int failures: 0
    property var controlPage: null

    // Items of one window, searched through their children.
    function find(item, name) {
        if (!item)
            return null
        if (item.objectName === name)
            return item
        const children = item.children || []
        for (let i = 0; i < children.length; ++i) {
            const found = find(children[i], name)
            if (found)
                return found
        }
        return null
    }

    function localPath(fileName) {
        return decodeURIComponent(String(Qt.resolvedUrl(fileName)).replace(/^file:\/\//, ""))
    }

    function fail(text) {
        console.warn("TOUR FAILED:", text)
        ++failures
    }

    // A window's own root item cannot be grabbed from QML: its title bar
    // and its content are grabbed apart and laid together on a sheet of the
    // window's size, which is saved; the next step waits for the file.
    function save(window, fileName) {
        const title = window ? find(window.contentItem, "titleBar") : null
        const body = window ? find(window.contentItem, "contentLoader") : null
        if (!title || !body) {
            fail("nothing to save as " + fileName)
            next()
            return
        }
        composer.width = window.width
        composer.height = window.height
        upperPart.source = ""
        lowerPart.source = ""
        lowerPart.y = body.y
        sheetTimer.fileName = fileName
        // Both at once: a grab asked for inside another's callback waits
        // for a frame that may never come.
        title.grabToImage(function(shot) { upperPart.source = shot.url })
        body.grabToImage(function(shot) { lowerPart.source = shot.url })
        sheetTimer.start()
    }

    function saveSheet(fileName) {
        sheet.grabToImage(function(result) {
            if (result.saveToFile(localPath(fileName)))
                console.log("TOUR SAVED", fileName)
            else
                fail("cannot write " + fileName)
            next()
        })
    }

    property Window composer: Window {
        visible: true
        flags: Qt.FramelessWindowHint
        color: "#000000"

        Item {
            id: sheet
            anchors.fill: parent

            Rectangle {
                anchors.fill: parent
                color: "#000000"
            }
            Image {
                id: upperPart
                cache: false
            }
            Image {
                id: lowerPart
                cache: false
            }
        }
    }

    property Timer sheetTimer: Timer {
        property string fileName
        interval: 300
        onTriggered: {
            if (upperPart.source != "" && lowerPart.source != ""
                    && upperPart.status === Image.Ready && lowerPart.status === Image.Ready)
                tour.saveSheet(fileName)
            else
                start()
        }
    }

    // Runs the next step after delayMs; a step either calls next() itself
    // or (save) when its picture is written.
    function next(delayMs) {
        stepTimer.interval = delayMs === undefined ? 400 : delayMs
        stepTimer.start()
    }

    // Waits up to timeoutMs for ready(), then goes on (or fails).
    function waitFor(what, ready, timeoutMs) {
        const started = Date.now()
        const poll = function() {
            if (ready()) {
                next(300)
            } else if (Date.now() - started > timeoutMs) {
                fail("timed out waiting for " + what)
                finish()
            } else {
                pollTimer.check = poll
                pollTimer.start()
            }
        }
        poll()
    }

    function drawer() {
        return controlPage ? find(controlPage, "deviceSettings") : null
    }

    function showTab(index, fileName) {
        drawer().tabRow.selectIndex = index
        steps.unshift(function() { save(main, fileName) })
        next()
    }

    function finish() {
        stepTimer.stop()
        pollTimer.stop()
        console.log("TOUR DONE, failures:", failures)
        Qt.exit(failures === 0 ? 0 : 1)
    }

    function showWindow(window, fileName, settleMs) {
        if (!window) {
            fail("no window for " + fileName)
            next()
            return
        }
        steps.unshift(function() {
            save(window, fileName)
            steps.unshift(function() { window.close(); next() })
        })
        next(settleMs)
    }

    // The model is known once the device is ready.
    function modelSteps() {
        const isT40 = HIDDeviceMgr.isT40()
        const list = [
            function() { showTab(0, "control_microphone.png") },
            function() { showTab(1, "control_monitor.png") }
        ]
        if (!isT40)
            list.push(function() { showTab(2, "control_lighting.png") })
        list.push(function() { showTab(isT40 ? 2 : 3, "control_general.png") })
        list.push(function() {
            showWindow(find(drawer(), "microphoneTab").equalizerWindow, "window_equalizer.png", 600)
            find(drawer(), "microphoneTab").equalizerWindow.visible = true
        })
        list.push(function() {
            showWindow(TvConfig.createWindow("ResetWindow.qml", controlPage), "window_reset.png", 600)
        })
        if (HIDDeviceMgr.isR7()) {
            list.push(function() {
                MessageBus.publishUpdateAutoGain(true)
                showWindow(controlPage.autoGainWindow, "window_auto_gain.png", 1500)
            })
        }
        return list
    }

    function plan() {
        return [
            function() { waitFor("the device", function() { return HIDDeviceMgr.deviceReady }, 20000) },
            function() {
                const start = find(main.contentItem, "button")
                waitFor("the start button", function() { return start && start.visible }, 10000)
            },
            function() {
                find(main.contentItem, "button").clicked()
                const stack = find(main.contentItem, "stackView")
                waitFor("the control page", function() {
                    return stack.currentItem && stack.currentItem.objectName === "mainLayout" && !stack.busy
                }, 5000)
            },
            function() {
                controlPage = find(main.contentItem, "stackView").currentItem
                find(controlPage, "deviceStrip").deviceIconClicked()
                waitFor("the drawer", function() { return controlPage.deviceSettingsDrawer.width === 450 }, 3000)
            },
            function() {
                steps = modelSteps().concat(steps)
                next(0)
            },
            function() { finish() }
        ]
    }

    property Timer stepTimer: Timer {
        repeat: false
        onTriggered: {
            const step = tour.steps.shift()
            if (step)
                step()
        }
    }

    property Timer pollTimer: Timer {
        property var check: null
        interval: 100
        repeat: false
        onTriggered: check()
    }

    // Nothing may keep the tour from ending.
    property Timer watchdog: Timer {
        interval: 90000
        running: true
        onTriggered: {
            tour.fail("the tour did not finish in time")
            tour.finish()
        }
    }

    Component.onCompleted: {
        steps = plan()
        next(0)
    }
}
