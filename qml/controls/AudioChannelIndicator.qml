import QtQuick

// One vertical level bar with a clip lamp. The page pushes levels in; the bar
// smooths only what it shows, never the number.
Rectangle {
    id: root

    property real level: 0.0
    property bool clipping: false
    property real clippingThreshold: 1
    property int clippingDuration: 10000
    property string channelName: "L"
    property int autoResetTimeout: 100
    property real lastLevelValue: 0.0

    // A payload without a level gives NaN through parseFloat: it reads as
    // silence, so the bar falls and the lamp stays out.
    function clampLevel(value) {
        const number = Number(value)
        if (!isFinite(number))
            return 0
        return Math.min(1, Math.max(0, number))
    }

    function setLevel(newLevel) {
        const clamped = clampLevel(newLevel)
        level = clamped
        if (clamped >= clippingThreshold && !clipping) {
            clipping = true
            clipTimer.restart()
        }
    }

    function animateTo(target, rise) {
        levelAnimation.stop()
        if (rise) {
            const far = Math.abs(target - bar.displayedLevel) > 0.05
            levelAnimation.duration = far ? 60 : 100
            levelAnimation.easing.type = far ? Easing.OutQuart : Easing.OutQuad
        } else {
            const low = target < 0.1
            levelAnimation.duration = low ? 1200 : 600
            levelAnimation.easing.type = low ? Easing.OutQuart : Easing.OutQuad
        }
        levelAnimation.to = target
        levelAnimation.start()
    }

    function setLevelFillHeight(targetHeight) {
        if (bar.height <= 0)
            return
        const target = clampLevel(targetHeight / bar.height)
        bar.targetLevel = target
        animateTo(target, target > bar.displayedLevel)
    }

    function clearClipping() {
        clipping = false
        clipTimer.stop()
    }

    onLevelChanged: {
        if (!isFinite(level)) {
            level = 0
            return
        }
        if (bar.height <= 0)
            return
        const rise = level > bar.previousLevel
        bar.previousLevel = level
        bar.targetLevel = clampLevel(level)
        animateTo(bar.targetLevel, rise)

        const changed = Math.abs(level - lastLevelValue) > 0.001
        lastLevelValue = level
        if (level <= 0)
            autoZeroTimer.stop()
        else if (changed)
            autoZeroTimer.restart()
    }

    // A meter created with a level shows it at once, without an animation.
    Component.onCompleted: {
        levelAnimation.stop()
        bar.displayedLevel = clampLevel(level)
        bar.targetLevel = bar.displayedLevel
        bar.previousLevel = level
    }
    Component.onDestruction: clearClipping()

    width: 9
    color: "transparent"

    Column {
        anchors.fill: parent
        spacing: 3

        Rectangle {
            objectName: "clipLamp"
            width: parent.width
            height: 6.5
            color: root.clipping ? Colors.meterClip : Colors.meterBack
        }

        Rectangle {
            width: parent.width
            height: Math.max(0, parent.height - 6.5 - parent.spacing)
            color: Colors.meterBack

            Canvas {
                id: bar
                objectName: "bar"
                anchors.fill: parent

                property real displayedLevel: 0
                property real targetLevel: 0
                property real previousLevel: 0

                onDisplayedLevelChanged: requestPaint()
                onWidthChanged: requestPaint()
                onHeightChanged: requestPaint()

                onPaint: {
                    const ctx = getContext("2d")
                    ctx.clearRect(0, 0, width, height)
                    if (height <= 0 || displayedLevel <= 0)
                        return
                    // The gradient spans the whole bar, not the lit part, so
                    // red only shows near full scale.
                    const gradient = ctx.createLinearGradient(0, height, 0, 0)
                    gradient.addColorStop(0.0, Colors.meterLow)
                    gradient.addColorStop(0.4, Colors.meterLow)
                    gradient.addColorStop(0.7, Colors.meterMid)
                    gradient.addColorStop(1.0, Colors.meterHigh)
                    ctx.fillStyle = gradient
                    const lit = displayedLevel * height
                    ctx.fillRect(0, height - lit, width, lit)
                }

                NumberAnimation {
                    id: levelAnimation
                    objectName: "levelAnimation"
                    target: bar
                    property: "displayedLevel"
                    onFinished: bar.targetLevel = bar.displayedLevel
                }
            }
        }
    }

    Timer {
        id: autoZeroTimer
        objectName: "autoZeroTimer"
        interval: root.autoResetTimeout
        onTriggered: {
            if (root.level > 0)
                root.level = 0.0
        }
    }

    Timer {
        id: clipTimer
        objectName: "clipTimer"
        interval: root.clippingDuration
        onTriggered: root.clipping = false
    }
}
