import QtQuick
import QtQuick.Window
import QtTest
import MediaControls
import VeloranDeck
import VeloranDeckTranslation

// A tour of the program as a user walks it, run by scripts/page-tour.sh
// from a copy of this file in build/tour/<model>/: it hosts the root window
// and goes from the home page to the control page, every tab (at its top and
// scrolled to its end) and every window, by clicks and wheel turns sent
// through the windows' own input. At each view it writes "TOUR SHOT" with
// the geometry of the window and of the items that tell the view apart (in
// the screen's device pixels); page-tour.sh then pictures the X screen as it
// is and writes <name>.png beside this file, for which the tour waits.
// Every picture (Image) shown is checked to be drawn from at least as many
// pixels as it covers. Exits 0 when every view was pictured and nothing
// failed, 1 otherwise.
QtObject {
    id: tour

    property var main: Main {}
    property var steps: []
    property int failures: 0
    property int shotCount: 0
    property var controlPage: null
    property var checkedImages: ({})

    property TestEvent input: TestEvent {}

    // Shows the next picture of the screen once page-tour.sh wrote it.
    property Image shotFile: Image {
        cache: false
    }

    // An object below item by name: through items, the objects they hold
    // (windows, popups) and those objects' own content.
    function find(item, name) {
        if (!item)
            return null
        if (item.objectName === name)
            return item
        if (item.mapToGlobal === undefined)
            return item.contentItem ? find(item.contentItem, name) : null
        const held = item.data || []
        for (let i = 0; i < held.length; ++i) {
            const found = find(held[i], name)
            if (found)
                return found
        }
        return null
    }

    // The window's own title bar (a window may hold other windows).
    function titleBar(window) {
        const children = window.contentItem.children
        for (let i = 0; i < children.length; ++i) {
            if (children[i].objectName === "titleBar")
                return children[i]
        }
        return null
    }

    function fail(text) {
        console.warn("TOUR FAILED:", text)
        ++failures
    }

    function dpr() {
        return main.screen ? main.screen.devicePixelRatio : 1
    }

    // An item's box on the screen, in device pixels.
    function box(item) {
        const at = item.mapToGlobal(0, 0)
        const s = dpr()
        return [Math.round(at.x * s), Math.round(at.y * s), Math.round(item.width * s), Math.round(item.height * s)]
    }

    // The title's painted text, centred in its item.
    function titleBox(window) {
        const text = find(titleBar(window), "titleText")
        const at = text.mapToGlobal((text.width - text.contentWidth) / 2, (text.height - text.contentHeight) / 2)
        const s = dpr()
        return [Math.round(at.x * s), Math.round(at.y * s), Math.round(text.contentWidth * s),
                Math.round(text.contentHeight * s)]
    }

    // The lowest visible row of a tab's scrolled content.
    function lastRow(flickable) {
        let row = flickable.contentItem
        for (let depth = 0; depth < 3; ++depth) {
            let lowest = null
            const children = row.children || []
            for (let i = 0; i < children.length; ++i) {
                const child = children[i]
                if (!child.visible || child.height < 10 || child.width < 10)
                    continue
                if (!lowest || child.y + child.height > lowest.y + lowest.height)
                    lowest = child
            }
            if (!lowest)
                break
            row = lowest
        }
        return row
    }

    function flickableOf(item) {
        if (item.contentItem && item.contentItem.contentHeight !== undefined)
            return item.contentItem
        return item.contentHeight !== undefined ? item : null
    }

    // Runs the next step after delayMs.
    function next(delayMs) {
        stepTimer.interval = delayMs === undefined ? 400 : delayMs
        stepTimer.start()
    }

    function then(list) {
        steps = list.concat(steps)
        next()
    }

    // Waits up to timeoutMs for ready(), then goes on; a timeout ends the
    // tour, since what follows needs it, unless goOn is set.
    function waitFor(what, ready, timeoutMs, goOn) {
        const started = Date.now()
        const poll = function() {
            let done = false
            try {
                done = ready()
            } catch (error) {
                done = false
            }
            if (done) {
                next(300)
            } else if (Date.now() - started > timeoutMs) {
                fail("timed out waiting for " + what)
                if (goOn)
                    next()
                else
                    finish()
            } else {
                pollTimer.check = poll
                pollTimer.start()
            }
        }
        poll()
    }

    // A click in the middle of the item, as the window system delivers one;
    // a user reaches only what lies inside the window and on the screen.
    function click(item, what) {
        if (!item || !item.visible) {
            fail("cannot click " + what)
            finish()
            return
        }
        const at = item.mapToGlobal(item.width / 2, item.height / 2)
        const window = item.Window.window
        const screen = window.screen
        if (at.x < window.x || at.y < window.y || at.x >= window.x + window.width || at.y >= window.y + window.height
                || at.x < screen.virtualX || at.y < screen.virtualY
                || at.x >= screen.virtualX + screen.width || at.y >= screen.virtualY + screen.height)
            fail(what + " at " + Math.round(at.x) + "," + Math.round(at.y) + " lies off the window or the screen")
        else if (clippedAway(item))
            fail(what + " at " + Math.round(at.x) + "," + Math.round(at.y) + " lies outside the view that shows it")
        // The pointer travels there first, so what it leaves stops showing
        // its hover and what it reaches shows it, as under a user's mouse.
        input.mouseMove(item, item.width / 2, item.height / 2, -1, Qt.NoButton)
        input.mouseClick(item, item.width / 2, item.height / 2, Qt.LeftButton, Qt.NoModifier, -1)
        next(500)
    }

    // Whether the item's centre lies outside a clipping item above it, so
    // that a user sees something else there.
    function clippedAway(item) {
        for (let above = item.parent; above; above = above.parent) {
            if (!above.clip)
                continue
            const at = item.mapToItem(above, item.width / 2, item.height / 2)
            if (at.x < 0 || at.y < 0 || at.x >= above.width || at.y >= above.height)
                return true
        }
        return false
    }

    // One wheel turn with the pointer over the middle of the view.
    function wheel(view, delta) {
        input.mouseMove(view, view.width / 2, view.height / 2, -1, Qt.NoButton)
        input.mouseWheel(view, view.width / 2, view.height / 2, Qt.NoButton, Qt.NoModifier, 0, delta, -1)
    }

    // Wheel turns over the view until the item inside it shows; where a
    // notch goes past it (a short view), finer turns, as a touchpad sends.
    function scrollIntoView(view, item, what) {
        const flickable = flickableOf(view)
        let turns = 0
        let step = 120
        let wasUp = null
        const turn = function() {
            // A turn's scroll runs on for a while: it is judged where it ends.
            if (flickable.moving) {
                pollTimer.check = turn
                pollTimer.start()
                return
            }
            if (!clippedAway(item) || turns > 80) {
                if (clippedAway(item))
                    fail(what + " does not scroll into view")
                next(600)
                return
            }
            ++turns
            const up = item.mapToItem(flickable, 0, item.height / 2).y < 0
            if (wasUp !== null && up !== wasUp)
                step = Math.max(15, step / 2)
            wasUp = up
            wheel(view, up ? step : -step)
            pollTimer.check = turn
            pollTimer.start()
        }
        turn()
    }

    // Wheel turns over the view until it shows its end.
    function scrollToEnd(view, what) {
        const flickable = flickableOf(view)
        if (!flickable) {
            fail("no scrolled view in " + what)
            next()
            return
        }
        let turns = 0
        const turn = function() {
            if (flickable.atYEnd || flickable.contentHeight <= flickable.height || turns > 80) {
                if (!flickable.atYEnd && flickable.contentHeight > flickable.height)
                    fail(what + " does not scroll to its end")
                next(600)
                return
            }
            ++turns
            wheel(view, -120)
            pollTimer.check = turn
            pollTimer.start()
        }
        turn()
    }

    // The ratio of the file Qt picks for a raster picture on this screen:
    // 2 where it picked a 2x file, else 1. A picture without sourceSize
    // reports the picked file's pixels as its sourceSize.
    property var fileRatios: ({})
    property var probeImage: null

    function pickedFileRatio(url) {
        if (fileRatios[url] === undefined) {
            if (!probeImage)
                probeImage = Qt.createQmlObject("import QtQuick; Image { asynchronous: false; cache: false }", tour)
            probeImage.source = url
            fileRatios[url] = probeImage.implicitWidth > 0 ? probeImage.sourceSize.width / probeImage.implicitWidth : 1
            probeImage.source = ""
        }
        return fileRatios[url]
    }

    // Every picture drawn in the window must come from at least as many
    // pixels as it covers on this screen: a vector source rendered at its
    // shown size, a raster one with a 2x version where the ratio asks.
    function checkImages(item, window) {
        if (!item || !item.visible || item.opacity === 0)
            return
        if (item.sourceSize !== undefined && item.paintedWidth !== undefined && item.status === Image.Ready)
            checkImage(item, window)
        const children = item.children || []
        for (let i = 0; i < children.length; ++i)
            checkImages(children[i], window)
    }

    // The pixels a picture is drawn from. Qt renders a vector source at its
    // shown source size (sourceSize, or the file's own size) times the
    // screen's ratio, so its implicit size times the ratio. A raster source
    // is never enlarged: Qt reads its file, or the 2x file it picks on a
    // scaled screen, shrunk to fit sourceSize times that file's ratio where
    // sourceSize is set, and gives it the implicit size of those pixels
    // divided by the file's ratio. (sourceSize reports the set size, not
    // the pixels, so it cannot tell them.)
    function checkImage(image, window) {
        const url = String(image.source)
        if (!/^(qrc|file):/.test(url) || image.paintedWidth <= 0 || image.paintedHeight <= 0)
            return
        const ratio = dpr()
        const fileRatio = /\.svg$/i.test(url) ? ratio : pickedFileRatio(url)
        const drawn = Qt.size(image.implicitWidth * fileRatio, image.implicitHeight * fileRatio)
        const needWidth = Math.floor(image.paintedWidth * ratio)
        const needHeight = Math.floor(image.paintedHeight * ratio)
        if (drawn.width + 0.5 >= needWidth && drawn.height + 0.5 >= needHeight)
            return
        const key = url + " " + needWidth + "x" + needHeight
        if (checkedImages[key])
            return
        checkedImages[key] = true
        fail("picture " + url + " (" + (image.objectName || "unnamed") + " in " + window.objectName + ") is drawn from "
             + Math.round(drawn.width) + "x" + Math.round(drawn.height) + " pixels over " + needWidth + "x"
             + needHeight)
    }

    // Under a language written without Chinese characters, no text shown
    // may hold any (an unfinished catalogue shows its Chinese source).
    readonly property var cjk: /[\u1100-\u11ff\u2e80-\u9fff\uac00-\ud7af\uf900-\ufaff\uff00-\uffef]/
    property var reportedTexts: ({})

    function checkTexts(item, view) {
        if (!item || !item.visible || item.opacity === 0)
            return
        if (typeof item.text === "string" && item.contentWidth !== undefined && cjk.test(item.text)
                && !reportedTexts[item.text]) {
            reportedTexts[item.text] = true
            fail(view + " shows Chinese under " + TranslationManager.getCurrentLanguage() + ": " + item.text)
        }
        const children = item.children || []
        for (let i = 0; i < children.length; ++i)
            checkTexts(children[i], view)
    }

    // The device picture as painted must leave the texts and buttons around
    // it uncovered, however small the window.
    function checkPictureClear(view, names) {
        const image = find(main.contentItem, "deviceImage")
        const left = (image.width - image.paintedWidth) / 2
        const top = (image.height - image.paintedHeight) / 2
        const at = image.mapToItem(null, left, top)
        for (const name of names) {
            const item = find(main.contentItem, name)
            if (!item || !item.visible)
                continue
            const other = item.mapToItem(null, 0, 0)
            if (at.x < other.x + item.width && other.x < at.x + image.paintedWidth
                    && at.y < other.y + item.height && other.y < at.y + image.paintedHeight)
                fail(view + ": the device picture covers " + name)
        }
    }

    // The part of the item's box (x, y, width, height from its own origin)
    // that the window and every clipping item above it let show, in device
    // pixels; null where nothing shows.
    function shownBox(item, x, y, width, height, window) {
        const s = dpr()
        const at = item.mapToGlobal(x, y)
        let left = at.x, top = at.y, right = at.x + width, bottom = at.y + height
        const cut = function(l, t, r, b) {
            left = Math.max(left, l); top = Math.max(top, t)
            right = Math.min(right, r); bottom = Math.min(bottom, b)
        }
        cut(window.x, window.y, window.x + window.width, window.y + window.height)
        for (let above = item.parent; above; above = above.parent) {
            if (above.clip) {
                const corner = above.mapToGlobal(0, 0)
                cut(corner.x, corner.y, corner.x + above.width, corner.y + above.height)
            }
        }
        if (right - left < 1 || bottom - top < 1)
            return null
        return [left * s, top * s, (right - left) * s, (bottom - top) * s].map(Math.round)
    }

    // Every text a view shows (its painted lines, not its item) and every
    // control, for check-shots.sh to find a text that runs into another.
    // Named kind_number[_objectName].
    function layoutProbes(window) {
        const found = {}
        let count = 0
        const visit = function(item) {
            if (!item || !item.visible || item.opacity === 0 || item.mapToGlobal === undefined)
                return
            const isControl = item.background !== undefined
            const isText = typeof item.text === "string" && item.truncated !== undefined && item.text.trim() !== ""
            let shown = null
            if (isText) {
                const room = Qt.size(item.width - item.leftPadding - item.rightPadding,
                                     item.height - item.topPadding - item.bottomPadding)
                const along = { [Text.AlignHCenter]: 0.5, [Text.AlignRight]: 1 }[item.effectiveHorizontalAlignment] || 0
                const down = { [Text.AlignVCenter]: 0.5, [Text.AlignBottom]: 1 }[item.verticalAlignment] || 0
                shown = shownBox(item, item.leftPadding + (room.width - item.contentWidth) * along,
                                 item.topPadding + (room.height - item.contentHeight) * down,
                                 item.contentWidth, item.contentHeight, window)
            } else if (isControl) {
                shown = shownBox(item, 0, 0, item.width, item.height, window)
            }
            if (shown) {
                const name = String(item.objectName).replace(/[^A-Za-z0-9]/g, "")
                found[(isText ? "text_" : "control_") + count++ + (name ? "_" + name : "")] = shown.join(",")
            }
            const children = item.children || []
            for (let i = 0; i < children.length; ++i)
                visit(children[i])
        }
        visit(window.contentItem)
        return found
    }

    // Asks page-tour.sh for a picture of the screen and waits for it.
    function shot(name, window, probes, facts) {
        if (!window || !window.visible) {
            fail("no window for " + name)
            next()
            return
        }
        checkImages(window.contentItem, window)
        if (["zh_CN", "zh_TW", "ja_JP"].indexOf(TranslationManager.getCurrentLanguage()) < 0)
            checkTexts(window.contentItem, name)
        const s = dpr()
        let line = "TOUR SHOT " + name + " scale=" + s
                + " window=" + [window.x * s, window.y * s, window.width * s, window.height * s].map(Math.round).join(",")
                + " title=" + titleBox(window).join(",")
        for (const label in probes) {
            const item = probes[label]
            if (!item || !item.visible) {
                fail(name + ": " + label + " not shown")
                continue
            }
            line += " " + label + "=" + box(item).join(",")
        }
        for (const fact in facts || {})
            line += " " + fact + "=" + facts[fact]
        const laidOut = layoutProbes(window)
        for (const label in laidOut)
            line += " " + label + "=" + laidOut[label]
        console.log(line)
        ++shotCount
        const url = Qt.resolvedUrl(name + ".png")
        const started = Date.now()
        const poll = function() {
            shotFile.source = ""
            shotFile.source = url
            if (shotFile.status === Image.Ready) {
                shotFile.source = ""
                next(100)
            } else if (Date.now() - started > 15000) {
                fail("no picture of the screen for " + name)
                next()
            } else {
                pollTimer.check = poll
                pollTimer.start()
            }
        }
        pollTimer.check = poll
        pollTimer.start()
    }

    function drawer() {
        return controlPage ? find(controlPage, "deviceSettings") : null
    }

    function tabButtons() {
        const result = {}
        for (let i = 0; i < 4; ++i) {
            const button = find(drawer(), "tabButton" + i)
            if (button)
                result["tab" + i] = button
        }
        return result
    }

    // The shown tab's scrolled view.
    function tabView() {
        const tab = find(drawer(), "tabStack").children[drawer().stackIndex]
        if (!tab)
            return null
        return flickableOf(tab) && tab.contentItem ? tab : find(tab, "scrollView")
    }

    // A tab pictured at its top and at its end.
    function tabSteps(index, name) {
        return [
            function() { click(find(drawer(), "tabButton" + index), "tab " + name) },
            function() {
                const selected = find(drawer(), "tabRow").selectIndex === index
                if (!selected)
                    fail("tab " + name + " not selected by its click")
                shot("control_" + name, main, tabButtons())
            },
            function() { scrollToEnd(tabView(), name) },
            function() {
                const probes = tabButtons()
                const flickable = flickableOf(tabView())
                probes.lastRow = lastRow(flickable)
                shot("control_" + name + "_end", main, probes,
                     { scrolled: flickable.contentHeight > flickable.height + 1 ? 1 : 0 })
            }
        ]
    }

    // Opens a window by a click, pictures it and closes it by its title
    // bar's close button.
    function windowSteps(name, open, windowOf, probesOf) {
        let window = null
        return [
            open,
            function() {
                waitFor(name, function() {
                    window = windowOf()
                    return window && window.visible && window.opacity === 1
                }, 5000)
            },
            function() { shot(name, window, probesOf(window)) },
            function() { click(find(titleBar(window), "closeButton"), "the close button of " + name) },
            function() {
                waitFor(name + " closing", function() {
                    try {
                        return !window.visible
                    } catch (error) {
                        return true
                    }
                }, 3000)
            }
        ]
    }

    function moreMenuRow(index) {
        const popup = find(main.contentItem, "morePopup")
        return [
            function() { click(find(main.contentItem, "moreBtn"), "the more button") },
            function() { waitFor("the more menu", function() { return popup.opened }, 3000) },
            function() { click(find(popup.contentItem, "menuRow" + index), "menu row " + index) }
        ]
    }

    // The knob's program picker, opened: this machine's installed programs
    // with their pictures, once the bridge's scan has brought them. The
    // last value editor is brought into view first, so that on a short
    // screen, too, every label beside an editor is pictured.
    function hotkeyProgramSteps() {
        let box = null
        return [
            function() {
                box = find(drawer(), "appBox")
                then([function() { scrollIntoView(tabView(), find(drawer(), "keyField"), "the hotkey key field") },
                      function() { scrollIntoView(tabView(), box, "the hotkey program box") },
                      function() { click(box, "the hotkey program box") }])
            },
            function() {
                waitFor("the installed programs", function() { return box.popup.opened && box.count > 1 }, 10000)
            },
            function() {
                shot("control_hotkey_programs", main, { programs: find(box.popup.contentItem, "appList") },
                     { count: box.count })
            },
            function() { click(box, "the hotkey program box") },
            function() { waitFor("the program list closing", function() { return !box.popup.visible }, 3000) },
            // Back where the general tab's pictures left it.
            function() { scrollToEnd(tabView(), "general") }
        ]
    }

    function controlSteps() {
        const isT40 = HIDDeviceMgr.isT40()
        const isR7 = HIDDeviceMgr.isR7()
        let list = tabSteps(0, "microphone")
        list = list.concat(windowSteps("window_equalizer",
            function() { click(find(drawer(), "equalizerRow"), "the equaliser row") },
            function() { return find(drawer(), "microphoneTab").equalizerWindow },
            function(window) { return { chart: find(window.contentItem, "chart") } }))
        if (isR7) {
            list = list.concat(windowSteps("window_auto_gain",
                function() {
                    const button = find(drawer(), "startDetectButton")
                    then([function() { scrollIntoView(tabView(), button, "the automatic-gain button") },
                          function() { click(button, "the automatic-gain button") }])
                },
                function() { return controlPage.autoGainWindow },
                function(window) {
                    return { progress: find(window.contentItem, "resetProgress"),
                             cancel: find(window.contentItem, "cancelButton") }
                }))
        }
        list = list.concat(tabSteps(1, "monitor"))
        if (!isT40)
            list = list.concat(tabSteps(2, "lighting"))
        list = list.concat(tabSteps(isT40 ? 2 : 3, "general"))
        if (isR7)
            list = list.concat(hotkeyProgramSteps())
        list = list.concat(windowSteps("window_reset",
            function() { click(find(drawer(), "resetArea"), "factory reset") },
            function() { return find(drawer(), "generalTab").resetWindow },
            function(window) {
                return { confirm: find(window.contentItem, "confirmButton"),
                         cancel: find(window.contentItem, "cancelButton") }
            }))
        return list
    }

    function menuSteps() {
        const settings = find(main.contentItem, "settingsWindow")
        const support = find(main.contentItem, "customerWindow")
        const failure = find(settings.contentItem, "upgradeWindow")
        let list = windowSteps("window_support", function() { then(moreMenuRow(1)) },
            function() { return support },
            function(window) {
                const page = find(window.contentItem, "chinesePage")
                return page && page.visible ? { code: find(window.contentItem, "qrCode") }
                                            : { chat: find(window.contentItem, "onlineSupport") }
            })
        list = list.concat(windowSteps("window_settings", function() { then(moreMenuRow(2)) },
            function() { return settings },
            function(window) { return { update: find(window.contentItem, "checkUpdateButton") } }))
        // A failed application upgrade has no click of its own here (it
        // needs an update from the server): the settings window is opened
        // again and this window shown as the settings window shows it.
        list = list.concat(moreMenuRow(2))
        list = list.concat(windowSteps("window_upgrade_failure",
            function() {
                waitFor("the settings window", function() { return settings.visible && settings.opacity === 1 }, 3000)
                steps.unshift(function() { failure.visible = true; next() })
            },
            function() { return failure },
            function(window) {
                return { restart: find(window.contentItem, "restartButton"),
                         download: find(window.contentItem, "downloadButton") }
            }))
        list.push(function() { click(find(titleBar(settings), "closeButton"), "the settings close button") })
        list.push(function() { waitFor("the settings closing", function() { return !settings.visible }, 3000) })
        return list
    }

    function finish() {
        stepTimer.stop()
        pollTimer.stop()
        console.log("TOUR DONE, shots:", shotCount, "failures:", failures)
        Qt.exit(failures === 0 ? 0 : 1)
    }

    function plan() {
        return [
            function() { waitFor("the device", function() { return HIDDeviceMgr.deviceReady }, 20000) },
            function() {
                waitFor("the start button", function() {
                    const start = find(main.contentItem, "button")
                    return start && start.visible && main.opacity === 1
                }, 10000)
            },
            function() {
                checkPictureClear("home", ["title", "statusText", "button"])
                shot("home", main, { start: find(main.contentItem, "button"), heading: find(main.contentItem, "title") })
            },
            function() { click(find(main.contentItem, "button"), "the start button") },
            function() {
                const stack = find(main.contentItem, "stackView")
                waitFor("the control page", function() {
                    return stack.currentItem && stack.currentItem.objectName === "mainLayout" && !stack.busy
                }, 5000)
            },
            function() {
                controlPage = find(main.contentItem, "stackView").currentItem
                const strip = find(controlPage, "deviceStrip")
                // The emulated microphone's tone reaches the strip's meter.
                waitFor("the device strip's meter", function() {
                    const bar = find(find(strip, "meter"), "bar")
                    return bar && bar.displayedLevel > 0.05
                }, 8000, true)
            },
            function() {
                const strip = find(controlPage, "deviceStrip")
                shot("control_mixer", main, { meter: find(strip, "meter"), stripIcon: find(strip, "iconBox") })
            },
            function() { click(find(find(controlPage, "deviceStrip"), "iconBox"), "the device strip's icon") },
            function() {
                waitFor("the drawer", function() {
                    const drawerItem = controlPage.deviceSettingsDrawer
                    return drawerItem.width === 450 && drawerItem.x + drawerItem.width <= main.width + 1
                }, 3000)
            },
            function() { then(controlSteps()) },
            function() { then(menuSteps()) },
            // The firmware upgrade screen is reached from a server's offer,
            // which this closed world never makes: the offer is passed on as
            // the general tab does (to an address nobody answers).
            function() {
                MessageBus.publishUpdateFirmware("http://127.0.0.1:9/firmware.bin")
                const stack = find(main.contentItem, "stackView")
                waitFor("the upgrade screen", function() {
                    return stack.depth === 1 && !stack.busy && find(main.contentItem, "upgradeView").visible
                }, 5000)
            },
            // Nobody answers, so the screen ends at its failure and its
            // retry button.
            function() {
                waitFor("the upgrade's failure", function() { return find(main.contentItem, "btn3").visible }, 15000)
            },
            function() {
                checkPictureClear("upgrade", ["upgradeTitle", "resetText", "btn1", "btn3"])
                shot("upgrade", main, { heading: find(main.contentItem, "upgradeTitle"),
                                        retry: find(main.contentItem, "btn3") })
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
        interval: 240000
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
