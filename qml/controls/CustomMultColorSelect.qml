import QtQuick

// A three-stop gradient chosen from presets or edited as a custom gradient,
// expanded to as many device colours as the page needs. Lists are always
// copied before a change: they may be shared with the configuration cache.
Column {
    id: root

    property var presetGradients: ConfigMgr.color_illusory_color_list
    property var selectedGradient: presetGradients[0]
    property int selectedPresetIndex: 0
    property int selectedColorIndex: 0
    property string customKey: ""
    readonly property bool customMode: selectedPresetIndex === presetGradients.length

    signal gradientChanged(int index, var gradientData)
    signal changeComplete(int index, var gradientData, bool isReset)

    function rgbToHex(r, g, b) {
        function hex(value) {
            const channel = Math.min(255, Math.max(0, Math.round(value)))
            return (channel < 16 ? "0" : "") + channel.toString(16)
        }
        return "#" + hex(r) + hex(g) + hex(b)
    }

    function parseColor(colorStr) {
        let digits = String(colorStr).replace("#", "")
        if (digits.length === 3)
            digits = digits[0] + digits[0] + digits[1] + digits[1] + digits[2] + digits[2]
        // Stops may come from a hand-edited store: only hex digits count.
        if (digits.length !== 6 || !/^[0-9A-Fa-f]{6}$/.test(digits)) {
            console.warn("无效的颜色格式:", colorStr)
            return { r: 0, g: 0, b: 0 }
        }
        return {
            r: parseInt(digits.substring(0, 2), 16),
            g: parseInt(digits.substring(2, 4), 16),
            b: parseInt(digits.substring(4, 6), 16)
        }
    }

    function interpolateColor(color1, color2, t) {
        const f = Math.min(1, Math.max(0, t))
        const a = parseColor(color1)
        const b = parseColor(color2)
        // Math.round takes halves upwards.
        return rgbToHex(Math.round(a.r + (b.r - a.r) * f),
                        Math.round(a.g + (b.g - a.g) * f),
                        Math.round(a.b + (b.b - a.b) * f))
    }

    function generateGradientColors(gradientColors, steps) {
        if (!gradientColors || gradientColors.length < 2) {
            console.warn("渐变色数组至少需要2个颜色")
            return []
        }
        const stops = gradientColors
        const result = []
        if (stops.length === 3 && steps >= 3) {
            const mid = Math.floor((steps - 1) / 2)
            for (let i = 0; i < steps; ++i) {
                if (i === 0)
                    result.push(stops[0])
                else if (i === mid)
                    result.push(stops[1])
                else if (i === steps - 1)
                    result.push(stops[2])
                else if (i < mid)
                    result.push(interpolateColor(stops[0], stops[1], i / mid))
                else
                    result.push(interpolateColor(stops[1], stops[2], (i - mid) / (steps - 1 - mid)))
            }
            return result
        }
        const segments = stops.length - 1
        for (let k = 0; k < steps; ++k) {
            const t = steps - 1 === 0 ? 0 : k / (steps - 1)
            if (stops.length === 2) {
                result.push(interpolateColor(stops[0], stops[1], t))
                continue
            }
            const segment = Math.floor(t * segments)
            if (segment >= segments)
                result.push(stops[segments])
            else
                result.push(interpolateColor(stops[segment], stops[segment + 1], t * segments - segment))
        }
        return result
    }

    function getCurrentGradientXColors(steps) {
        return generateGradientColors(selectedGradient, steps)
    }

    function getPresetGradient30Colors(presetIndex) {
        if (!(presetIndex >= 0 && presetIndex < presetGradients.length)) {
            console.warn("无效的预设索引:", presetIndex)
            return []
        }
        return generateGradientColors(presetGradients[presetIndex], 30)
    }

    function updateGradientColor(colorIndex, newColor) {
        const stops = Array.from(selectedGradient)
        stops[colorIndex] = newColor
        selectedGradient = stops
        gradientChanged(selectedPresetIndex, selectedGradient)
    }

    function storeCustom() {
        if (customKey !== "")
            ConfigMgr.setStringList(customKey, selectedGradient)
    }

    function choosePreset(index) {
        selectedPresetIndex = index
        selectedGradient = Array.from(presetGradients[index])
        gradientChanged(index, selectedGradient)
        changeComplete(index, selectedGradient, false)
    }

    // The custom gradient starts from the stops showing unless three are stored.
    function chooseCustom() {
        const custom = presetGradients.length
        selectedPresetIndex = custom
        if (customKey !== "") {
            const stored = ConfigMgr.getStringList(customKey, [])
            if (stored && stored.length === 3)
                selectedGradient = Array.from(stored)
        }
        gradientChanged(custom, selectedGradient)
        changeComplete(custom, selectedGradient, false)
        storeCustom()
    }

    function reset() {
        selectedPresetIndex = 0
        selectedGradient = Array.from(presetGradients[0])
        if (customKey !== "")
            ConfigMgr.removeValue(customKey)
        gradientChanged(0, selectedGradient)
        changeComplete(0, selectedGradient, true)
    }

    function markerX(colorIndex) {
        if (colorIndex === 0)
            return 0
        return colorIndex === 1 ? gradientBar.width / 2 - 10 : gradientBar.width - 20
    }

    function showColorPicker(colorIndex) {
        popup.colorIndex = colorIndex
        popup.openingColor = selectedGradient[colorIndex]
        const baseY = gradientBar.height + 30 + 10
        const parentWidth = root.parent ? root.parent.width : 400
        const parentHeight = root.parent ? root.parent.height : 300
        let x = markerX(colorIndex)
        if (x + 210 > parentWidth)
            x = parentWidth - 210 - 10
        if (x < 0)
            x = 10
        let y = baseY
        if (baseY + 330 > parentHeight)
            y = baseY - 330 - 20
        popup.x = x
        popup.y = y
        popup.picker.selectedColor = selectedGradient[colorIndex]
        popup.picker.flushToColor(selectedGradient[colorIndex])
        popup.open()
    }

    spacing: 0

    Row {
        spacing: 10

        Repeater {
            model: root.presetGradients

            Rectangle {
                id: presetTile
                required property var modelData
                required property int index

                objectName: "presetTile" + index
                width: 60
                height: 32
                radius: 6
                border.width: root.selectedPresetIndex === index ? 1 : 0
                border.color: Colors.border
                gradient: Gradient {
                    orientation: Gradient.Horizontal
                    GradientStop { position: 0.0; color: presetTile.modelData[0] }
                    GradientStop { position: 0.5; color: presetTile.modelData[1] }
                    GradientStop { position: 1.0; color: presetTile.modelData[2] }
                }

                MouseArea {
                    anchors.fill: parent
                    onClicked: root.choosePreset(presetTile.index)
                }
            }
        }

        Rectangle {
            objectName: "customTile"
            width: 60
            height: 32
            radius: 6
            color: Colors.control
            border.width: root.customMode ? 1 : 0
            border.color: Colors.border

            Image {
                anchors.centerIn: parent
                width: 16
                height: 16
                sourceSize: Qt.size(16, 16)
                source: "icons/edit.svg"
            }

            MouseArea {
                anchors.fill: parent
                onClicked: root.chooseCustom()
            }
        }

        CustomButtonRect {
            objectName: "resetButton"
            width: 32
            height: 32
            isSelect: false
            src: "icons/flush.svg"
            iconSize: Qt.size(16, 16)
            onClick: root.reset()
        }
    }

    Item {
        width: root.width
        height: gradientBar.height + 15

        Rectangle {
            id: gradientBar
            objectName: "gradientBar"
            y: 15
            width: parent.width
            height: 21
            gradient: Gradient {
                orientation: Gradient.Horizontal
                GradientStop { position: 0.0; color: root.selectedGradient[0] }
                GradientStop { position: 0.5; color: root.selectedGradient[1] }
                GradientStop { position: 1.0; color: root.selectedGradient[2] }
            }
        }
    }

    Item {
        objectName: "markerStrip"
        width: root.width
        height: root.customMode ? 30 + 10 : 0
        visible: root.customMode

        Repeater {
            model: 3

            Rectangle {
                id: marker
                required property int index
                readonly property color edge: root.selectedColorIndex === index ? Colors.accent : Colors.border

                objectName: "marker" + index
                x: root.markerX(index)
                y: 10
                width: 20
                height: 20
                radius: 2
                color: "transparent"
                border.width: 2
                border.color: edge

                Rectangle {
                    anchors.centerIn: parent
                    width: 14
                    height: 14
                    radius: 2
                    color: root.selectedGradient[marker.index]
                }

                Canvas {
                    id: pointer
                    width: 4
                    height: 3
                    anchors.horizontalCenter: parent.horizontalCenter
                    anchors.bottom: parent.top
                    onPaint: {
                        const ctx = getContext("2d")
                        ctx.reset()
                        ctx.fillStyle = marker.edge
                        ctx.beginPath()
                        ctx.moveTo(0, 3)
                        ctx.lineTo(4, 3)
                        ctx.lineTo(2, 0)
                        ctx.closePath()
                        ctx.fill()
                    }
                    onVisibleChanged: requestPaint()
                    Connections {
                        target: marker
                        function onEdgeChanged() { pointer.requestPaint() }
                    }
                    Connections {
                        target: root
                        function onSelectedGradientChanged() { pointer.requestPaint() }
                    }
                }

                MouseArea {
                    anchors.fill: parent
                    onClicked: {
                        root.selectedColorIndex = marker.index
                        root.showColorPicker(marker.index)
                    }
                }
            }
        }
    }

    ColorPopup {
        id: popup
        objectName: "popup"
        owner: root

        property int colorIndex: 0
        property string openingColor: ""

        // Compared as text: the opening colour's name against the report, so
        // going back to it later changes nothing.
        Connections {
            target: popup.picker
            function onColorSelected(newColor) {
                if (Qt.color(popup.openingColor).toString() !== newColor)
                    root.updateGradientColor(popup.colorIndex, newColor)
            }
        }

        onClosed: {
            root.changeComplete(root.selectedPresetIndex, root.selectedGradient, false)
            if (root.customMode)
                root.storeCustom()
        }
    }
}
