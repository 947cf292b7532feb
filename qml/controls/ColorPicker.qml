import QtQuick
import QtQuick.Controls

// The colour-choosing panel: hue/saturation field, lightness bar, text
// fields and swatches. Every user change is reported through colorSelected;
// a colour shown for the owner (flushToColor, selectedColor) reports nothing.
Rectangle {
    id: root

    property var presetColors: ConfigMgr.getStringList(ConfigMgr.keys.color_picker_preset_colors)
    // A damaged store may hand over an empty list; the first default stands in.
    property color selectedColor: Qt.color(presetColors.length > 0 && validColorText(presetColors[0])
                                           ? presetColors[0]
                                           : ConfigMgr.defaults.color_picker_preset_colors[0])
    // Added with the "+" slots; lives as long as this picker, never stored.
    property var dynamicColors: []
    readonly property var allColors: {
        const list = Array.from(presetColors).concat(dynamicColors)
        while (list.length < 15)
            list.push(null)
        return list
    }
    property bool updatingFromInput: false

    signal colorSelected(string newColor)

    function validColorText(text) {
        return typeof text === "string" && /^#[0-9A-Fa-f]{6}$/.test(text)
    }

    function clamp(value, low, high) {
        return Math.min(high, Math.max(low, value))
    }

    function composed() {
        return Qt.hsla(colorSelector.hue / 360, colorSelector.saturation, brightnessSelector.brightness, 1)
    }

    // Hue, saturation, lightness and both markers from a colour; reports nothing.
    function placeMarkers(colour) {
        colorSelector.hue = colour.hslHue * 360
        colorSelector.saturation = colour.hslSaturation
        brightnessSelector.brightness = colour.hslLightness
        brightnessSelector.x = brightnessSelector.brightness * (brightnessSlider.width - 10)
        colorSelector.x = clamp(colorSelector.hue / 360 * colorArea.width - 7, 0, colorArea.width - 14)
        colorSelector.y = clamp((1 - colorSelector.saturation) * colorArea.height - 7, 0, colorArea.height - 14)
    }

    function flushToColor(colour) {
        updatingFromInput = true
        const shown = Qt.color(colour)
        selectedColor = shown
        placeMarkers(shown)
        updatingFromInput = false
    }

    function updateSelectedColor() {
        const colour = composed()
        selectedColor = colour
        if (!updatingFromInput)
            colorSelected(colour.toString())
    }

    function focusOut() {
        hexText.focus = false
        rText.focus = false
        gText.focus = false
        bText.focus = false
    }

    function pickInField(x, y) {
        const px = clamp(x, 0, colorArea.width)
        const py = clamp(y, 0, colorArea.height)
        colorSelector.x = clamp(px - 7, 0, colorArea.width - 14)
        colorSelector.y = clamp(py - 7, 0, colorArea.height - 14)
        colorSelector.hue = clamp(px / colorArea.width * 360, 0, 360)
        colorSelector.saturation = clamp(1 - py / colorArea.height, 0, 1)
        focusOut()
        updateSelectedColor()
    }

    function pickInBar(x) {
        const px = clamp(x, 0, brightnessSlider.width)
        updatingFromInput = true
        brightnessSelector.brightness = px / brightnessSlider.width
        brightnessSelector.x = brightnessSelector.brightness * (brightnessSlider.width - 10)
        updatingFromInput = false
        focusOut()
        updateSelectedColor()
    }

    function pickSwatch(text) {
        focusOut()
        // A hand-edited swatch list may hold anything; only colour texts apply.
        if (!validColorText(text)) {
            console.warn("ColorPicker: invalid swatch colour:", text)
            return
        }
        selectedColor = text
        colorSelected(text)
        placeMarkers(Qt.color(text))
        brightnessCanvas.requestPaint()
        requestFieldRepaint()
    }

    function addCurrentColor() {
        focusOut()
        const name = selectedColor.toString().toUpperCase()
        if (presetColors.indexOf(name) >= 0 || dynamicColors.indexOf(name) >= 0)
            return
        dynamicColors = dynamicColors.concat([name])
    }

    function requestFieldRepaint() {
        if (!repaintTimer.running)
            repaintTimer.start()
    }

    // The field is painted pixel by pixel and depends on the lightness alone.
    function repaintField() {
        if (colorCanvas.width <= 0 || colorCanvas.height <= 0)
            return
        const lightness = brightnessSelector.brightness
        if (colorCanvas.paintedLightness >= 0 && Math.abs(colorCanvas.paintedLightness - lightness) < 0.001)
            return
        colorCanvas.paintedLightness = lightness
        colorCanvas.requestPaint()
    }

    function channelOf(colour, channel) {
        return [colour.r, colour.g, colour.b][channel]
    }

    // A field being typed in keeps its text.
    function refreshFields() {
        if (!hexText.activeFocus)
            hexText.text = selectedColor.toString().substring(1).toUpperCase()
        const fields = [rText, gText, bText]
        for (let i = 0; i < fields.length; ++i) {
            if (!fields[i].activeFocus)
                fields[i].text = String(Math.round(channelOf(selectedColor, i) * 255))
        }
    }

    // Applies only a whole colour; fewer digits stay as typed.
    function hexEdited() {
        if (updatingFromInput || !hexText.activeFocus || hexText.text.length !== 6)
            return
        const colour = Qt.color("#" + hexText.text.toUpperCase())
        if (colour.a > 0) {
            flushToColor(colour)
            updateSelectedColor()
        }
    }

    // Anything but 0..255 is put back at once; that change of text runs
    // here again and reports the current colour once more.
    function channelEdited(field) {
        if (updatingFromInput || !field.activeFocus)
            return
        const value = parseInt(field.text)
        if (isNaN(value) || value < 0 || value > 255) {
            field.text = String(Math.round(channelOf(selectedColor, field.channel) * 255))
            return
        }
        const channels = [selectedColor.r, selectedColor.g, selectedColor.b]
        channels[field.channel] = value / 255
        flushToColor(Qt.rgba(channels[0], channels[1], channels[2], 1))
        updateSelectedColor()
    }

    function roundedClip(ctx, width, height, radius) {
        ctx.beginPath()
        ctx.moveTo(radius, 0)
        ctx.lineTo(width - radius, 0)
        ctx.quadraticCurveTo(width, 0, width, radius)
        ctx.lineTo(width, height - radius)
        ctx.quadraticCurveTo(width, height, width - radius, height)
        ctx.lineTo(radius, height)
        ctx.quadraticCurveTo(0, height, 0, height - radius)
        ctx.lineTo(0, radius)
        ctx.quadraticCurveTo(0, 0, radius, 0)
        ctx.closePath()
        ctx.clip()
    }

    function markerBorder() {
        return brightnessSelector.brightness < 0.8 ? Colors.text : Colors.control
    }

    onSelectedColorChanged: {
        if (!updatingFromInput)
            refreshFields()
    }

    Component.onCompleted: {
        refreshFields()
        flushToColor(selectedColor)
    }

    width: 210
    height: 330
    color: Colors.picker
    radius: 8

    // Beneath everything: nothing under the panel gets presses or hover.
    MouseArea {
        anchors.fill: parent
        acceptedButtons: Qt.AllButtons
        hoverEnabled: true
    }

    Column {
        id: content
        anchors.fill: parent
        anchors.margins: 20
        spacing: 5

        Item {
            id: colorArea
            objectName: "colorArea"
            width: parent.width
            height: 90

            Canvas {
                id: colorCanvas
                objectName: "colorCanvas"
                anchors.fill: parent

                property real paintedLightness: -1

                onPaint: {
                    const ctx = getContext("2d")
                    ctx.reset()
                    root.roundedClip(ctx, width, height, 12)
                    ctx.clearRect(0, 0, width, height)
                    const w = Math.floor(width)
                    const h = Math.floor(height)
                    for (let x = 0; x < w; ++x) {
                        for (let y = 0; y < h; ++y) {
                            ctx.fillStyle = Qt.hsla(x / width, 1 - y / height, paintedLightness, 1)
                            ctx.fillRect(x, y, 1, 1)
                        }
                    }
                }

                Component.onCompleted: root.repaintField()
                onVisibleChanged: {
                    if (visible) {
                        paintedLightness = -1
                        root.repaintField()
                    }
                }
            }

            Rectangle {
                id: colorSelector
                objectName: "colorSelector"

                property real hue: 0
                property real saturation: 1

                width: 14
                height: 14
                radius: 7
                color: Qt.hsla(hue / 360, saturation, brightnessSelector.brightness, 1)
                border.width: 1
                border.color: root.markerBorder()
            }

            MouseArea {
                objectName: "colorMouseArea"
                anchors.fill: parent
                onPressed: mouse => root.pickInField(mouse.x, mouse.y)
                onPositionChanged: mouse => {
                    if (pressed)
                        root.pickInField(mouse.x, mouse.y)
                }
            }
        }

        Row {
            id: secondRow
            width: parent.width
            spacing: 10

            Rectangle {
                id: preview
                objectName: "preview"
                width: 25
                height: 25
                radius: 4
                color: root.selectedColor
                border.width: 1
                border.color: root.markerBorder()
            }

            Rectangle {
                id: brightnessSlider
                objectName: "brightnessSlider"
                width: parent.width - preview.width - parent.spacing
                height: 20
                radius: 2
                color: "transparent"

                Canvas {
                    id: brightnessCanvas
                    objectName: "brightnessCanvas"
                    anchors.fill: parent
                    anchors.margins: 2

                    onPaint: {
                        const ctx = getContext("2d")
                        ctx.reset()
                        root.roundedClip(ctx, width, height, 2)
                        const w = Math.floor(width)
                        for (let x = 0; x < w; ++x) {
                            ctx.fillStyle = Qt.hsla(colorSelector.hue / 360, colorSelector.saturation, x / width, 1)
                            ctx.fillRect(x, 0, 1, height)
                        }
                    }

                    Component.onCompleted: requestPaint()
                    Connections {
                        target: colorSelector
                        function onHueChanged() { brightnessCanvas.requestPaint() }
                        function onSaturationChanged() { brightnessCanvas.requestPaint() }
                    }
                }

                Rectangle {
                    id: brightnessSelector
                    objectName: "brightnessSelector"

                    property real brightness: 0

                    y: 0
                    width: 10
                    height: 20
                    radius: 2
                    color: Qt.hsla(colorSelector.hue / 360, colorSelector.saturation, brightness, 1)
                    border.width: 1
                    border.color: root.markerBorder()

                    onBrightnessChanged: root.requestFieldRepaint()
                }

                MouseArea {
                    objectName: "brightnessMouseArea"
                    anchors.fill: parent
                    onPressed: mouse => root.pickInBar(mouse.x)
                    onPositionChanged: mouse => {
                        if (pressed)
                            root.pickInBar(mouse.x)
                    }
                }
            }
        }

        Row {
            id: thirdRow
            width: parent.width
            spacing: 3

            Column {
                width: parent.width - 3 * (35 + parent.spacing)
                spacing: 2

                FieldBox {
                    width: parent.width

                    FieldText {
                        id: hexText
                        objectName: "hexText"
                        validator: RegularExpressionValidator { regularExpression: /[0-9A-Fa-f]{0,6}/ }
                        onTextChanged: root.hexEdited()
                    }
                }

                FieldLabel { text: "HEX" }
            }

            Column {
                width: 35
                spacing: 2

                FieldBox {
                    width: parent.width

                    ChannelText {
                        id: rText
                        objectName: "rText"
                        channel: 0
                        onTextChanged: root.channelEdited(rText)
                    }
                }

                FieldLabel { text: "R" }
            }

            Column {
                width: 35
                spacing: 2

                FieldBox {
                    width: parent.width

                    ChannelText {
                        id: gText
                        objectName: "gText"
                        channel: 1
                        onTextChanged: root.channelEdited(gText)
                    }
                }

                FieldLabel { text: "G" }
            }

            Column {
                width: 35
                spacing: 2

                FieldBox {
                    width: parent.width

                    ChannelText {
                        id: bText
                        objectName: "bText"
                        channel: 2
                        onTextChanged: root.channelEdited(bText)
                    }
                }

                FieldLabel { text: "B" }
            }
        }

        Item {
            id: divider
            width: parent.width
            height: Math.max(1, content.height - colorArea.height - secondRow.height - thirdRow.height
                                - swatches.height - 4 * content.spacing)

            Rectangle {
                anchors.verticalCenter: parent.verticalCenter
                width: parent.width
                height: 1
                color: Colors.control
            }
        }

        Grid {
            id: swatches
            objectName: "swatches"
            columns: 5
            spacing: 5

            Repeater {
                model: root.allColors

                Rectangle {
                    id: swatch
                    required property var modelData
                    readonly property bool empty: modelData === null || modelData === undefined || modelData === ""

                    objectName: empty ? "addSlot" : "swatch"
                    width: 28
                    height: 28
                    radius: 4
                    color: empty || !root.validColorText(modelData) ? "transparent" : modelData
                    border.width: empty ? 1 : 0
                    border.color: Colors.control

                    Image {
                        anchors.centerIn: parent
                        source: "icons/minplus.svg"
                        fillMode: Image.PreserveAspectFit
                        visible: swatch.empty
                    }

                    MouseArea {
                        anchors.fill: parent
                        onClicked: {
                            if (swatch.empty)
                                root.addCurrentColor()
                            else
                                root.pickSwatch(swatch.modelData)
                        }
                    }
                }
            }
        }
    }

    Timer {
        id: repaintTimer
        objectName: "repaintTimer"
        interval: 16
        onTriggered: root.repaintField()
    }

    component FieldLabel: Text {
        anchors.horizontalCenter: parent.horizontalCenter
        color: Colors.text
        font.pixelSize: 10
        opacity: 0.5
    }

    component FieldBox: Rectangle {
        height: 28
        color: "transparent"
        border.width: 1
        border.color: Colors.control
        radius: 4
    }

    component FieldText: TextField {
        anchors.fill: parent
        anchors.margins: 1
        // The style's own top and bottom padding outranks a plain padding
        // and would leave a 2 px strip of text in the 26 px box.
        padding: 0
        topPadding: 0
        bottomPadding: 0
        color: Colors.text
        font.pixelSize: 12
        horizontalAlignment: TextInput.AlignHCenter
        verticalAlignment: TextInput.AlignVCenter
        selectByMouse: true
        background: Item {}
    }

    component ChannelText: FieldText {
        property int channel: 0
        validator: IntValidator { bottom: 0; top: 255 }
    }
}
