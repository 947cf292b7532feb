import QtQuick
import QtQuick.Controls
import MediaControls
import VeloranDeck
import VeloranDeckSystemBridge
import "eqcurve.js" as EqCurve

// The software equaliser of the microphone: on/off, the built-in and custom
// presets, and the curve of a custom preset shaped by dragging its points.
// Every change is stored at once; the audio side re-reads the store when
// updateMonitorDevice is called.
WindowFrame {
    id: equalizerWindow
    objectName: "equalizerWindow"

    title: qsTr("均衡器")
    width: 550
    height: 480
    minimumWidth: 550
    maximumWidth: 550
    minimumHeight: 480
    maximumHeight: 480
    visible: false
    modality: Qt.ApplicationModal

    readonly property int countSum: ConfigMgr.defaults.device_equalizer_values.length
    property int selectIndex: 0
    // The stored texts, kept as they are so that an entry the window cannot
    // read is written back unchanged; dataList is what they mean.
    property var storedList: []
    property var dataList: []
    readonly property var currentEqData: selectIndex >= 0 && selectIndex < dataList.length
                                         ? dataList[selectIndex] : { value: EqCurve.zeros() }
    property int draggingIndex: -1
    property bool equalizerOn: false
    // Reading the store at creation is not a switch change.
    property bool loaded: false
    property bool reloading: false

    signal repaintRequested()

    onSelectIndexChanged: repaintRequested()
    onDataListChanged: repaintRequested()
    onCurrentEqDataChanged: repaintRequested()

    onEqualizerOnChanged: {
        if (!loaded || reloading)
            return
        ConfigMgr.setValue("device_equalizer", equalizerOn)
        // The audio side reads only stored records: the one shown is the one
        // it is to apply.
        if (equalizerOn && selectIndex >= 0 && selectIndex < storedList.length) {
            ConfigMgr.setValue("device_equalizer_current", storedList[selectIndex])
            ConfigMgr.setValue("device_equalizer_current_index", selectIndex)
        }
        MessageBus.publishUpdateDeviceEqualizerCurrent(equalizerOn)
        SystemBridge.updateMonitorDevice()
    }

    function readList() {
        const texts = ConfigMgr.getStringList("device_equalizer_values").slice()
        storedList = texts
        dataList = texts.map(function(text, index) {
            const record = EqCurve.parsePreset(text)
            if (record !== null)
                return record
            console.warn("均衡器预设无法解析, 显示为平坦曲线:", index, text)
            return EqCurve.newCustomPreset()
        })
    }

    function writeList(texts, records) {
        storedList = texts
        dataList = records
        ConfigMgr.setStringList("device_equalizer_values", texts)
    }

    function getEqValues() {
        return EqCurve.presetValues(currentEqData, function(message) { console.warn(message) })
    }

    function eqName(index) {
        return index >= 0 && index < dataList.length ? EqCurve.displayName(dataList[index].name, index) : ""
    }

    function selectPreset(index) {
        if (index < 0 || index >= storedList.length)
            return
        selectIndex = index
        console.log("当前选中的下标:", index)
        ConfigMgr.setValue("device_equalizer_current", storedList[index])
        ConfigMgr.setValue("device_equalizer_current_index", index)
        MessageBus.publishUpdateDeviceEqualizerCurrent(index)
        SystemBridge.updateMonitorDevice()
    }

    function addPreset() {
        if (dataList.length >= EqCurve.maxPresets)
            return
        const preset = EqCurve.newCustomPreset()
        writeList(storedList.concat([JSON.stringify(preset)]), dataList.concat([preset]))
        console.log("添加新的均衡器预设:", preset.name)
        SystemBridge.updateMonitorDevice()
    }

    function deleteSelected() {
        if (selectIndex < countSum || selectIndex >= dataList.length)
            return
        const texts = storedList.slice()
        const records = dataList.slice()
        texts.splice(selectIndex, 1)
        records.splice(selectIndex, 1)
        writeList(texts, records)
        if (selectIndex >= records.length)
            selectIndex = records.length - 1
        ConfigMgr.setValue("device_equalizer_current_index", selectIndex)
        ConfigMgr.setValue("device_equalizer_current", storedList[selectIndex])
        MessageBus.publishUpdateDeviceEqualizerCurrent(selectIndex)
        SystemBridge.updateMonitorDevice()
    }

    function updateGain(band, y, canvasHeight) {
        const values = getEqValues()
        values[band] = EqCurve.gainAt(y, canvasHeight)
        const record = EqCurve.withValues(currentEqData, values)
        if (selectIndex < 0 || selectIndex >= dataList.length)
            return
        const text = JSON.stringify(record)
        const texts = storedList.slice()
        const records = dataList.slice()
        texts[selectIndex] = text
        records[selectIndex] = record
        writeList(texts, records)
        ConfigMgr.setValue("device_equalizer_current", text)
        MessageBus.publishUpdateDeviceEqualizerCurrent(selectIndex)
    }

    function pressAt(x, y, canvasWidth, canvasHeight) {
        if (selectIndex < countSum)
            return
        draggingIndex = EqCurve.findNearestPoint(x, canvasWidth)
        if (draggingIndex >= 0)
            updateGain(draggingIndex, y, canvasHeight)
        SystemBridge.updateMonitorDevice()
    }

    function moveTo(y, canvasHeight) {
        if (draggingIndex >= 0)
            updateGain(draggingIndex, y, canvasHeight)
    }

    // The gains of the moves reach the audio at the release too.
    function release() {
        const dragged = draggingIndex >= 0
        draggingIndex = -1
        if (dragged)
            SystemBridge.updateMonitorDevice()
    }

    // The stored list may have changed under the window (reset, another
    // model's scope, a preset of the microphone tab): the window's list
    // follows it, so that no edit writes an older list back.
    // A switch state read back is already stored. The microphone tab's
    // preset applies the audio itself; any other reload (reset, scope) is
    // applied here when it turned the equaliser on or off.
    function reload(reason) {
        readList()
        selectIndex = Number(ConfigMgr.getValue("device_equalizer_current_index"))
        const on = ConfigMgr.getValue("device_equalizer") === true
        const changed = on !== equalizerOn
        reloading = true
        equalizerOn = on
        reloading = false
        if (changed && loaded && reason !== "audio_enhancement") {
            MessageBus.publishUpdateDeviceEqualizerCurrent(on)
            SystemBridge.updateMonitorDevice()
        }
    }

    Component.onCompleted: {
        reload()
        loaded = true
    }

    Item {
        MessageListener {
            messageTypes: [MessageBus.messageTypes.UPDATE_CONFIG_MESSAGE]
            onMessage: function(messageType, data) { equalizerWindow.reload(data) }
        }

        Item {
            anchors.fill: parent
            anchors.margins: 20

            Item {
                id: header
                anchors.top: parent.top
                width: parent.width
                height: 30

                CustomText {
                    anchors.left: parent.left
                    anchors.verticalCenter: parent.verticalCenter
                    text: qsTr("均衡器")
                    textPpixelSize: 16
                    tips: qsTr("调节不同频率的音色，让你的声音更清晰、更有个性。")
                }

                SwitchBox {
                    objectName: "equalizerSwitch"
                    anchors.right: parent.right
                    anchors.verticalCenter: parent.verticalCenter
                    checked: equalizerWindow.equalizerOn
                    onToggled: function(on) { equalizerWindow.equalizerOn = on }
                }
            }

            Flickable {
                id: strip
                objectName: "presetStrip"
                anchors.top: header.bottom
                anchors.topMargin: 10
                width: parent.width
                height: 80
                clip: true
                contentWidth: tiles.width
                contentHeight: height
                flickableDirection: Flickable.HorizontalFlick
                boundsBehavior: Flickable.StopAtBounds

                onContentWidthChanged: {
                    if (contentWidth > width)
                        contentX = contentWidth - width
                }

                // The strip keeps to its right end for new tiles, but the
                // window opens on the selected preset: the least scroll that
                // shows its tile.
                function showSelected() {
                    tiles.forceLayout()
                    const tile = tileRepeater.itemAt(equalizerWindow.selectIndex)
                    if (!tile)
                        return
                    if (tile.x < contentX)
                        contentX = tile.x
                    else if (tile.x + tile.width > contentX + width)
                        contentX = Math.min(tile.x + tile.width, contentWidth) - width
                }

                Connections {
                    target: equalizerWindow
                    function onVisibleChanged() {
                        if (equalizerWindow.visible)
                            strip.showSelected()
                    }
                }

                ScrollBar.horizontal: PageScrollBar {
                    objectName: "stripBar"
                    height: 8
                    policy: strip.contentWidth > strip.width ? ScrollBar.AsNeeded : ScrollBar.AlwaysOff
                }

                Row {
                    id: tiles
                    spacing: 5

                    Repeater {
                        id: tileRepeater
                        model: equalizerWindow.dataList.length

                        Rectangle {
                            id: tile
                            objectName: "presetTile" + index
                            readonly property string name: equalizerWindow.eqName(index)
                            width: Math.max(66, tileName.implicitWidth + 20)
                            height: 66
                            radius: 8
                            color: equalizerWindow.selectIndex === index ? Colors.accent : Colors.control
                            border.width: tileArea.containsMouse ? 1 : 0
                            border.color: Colors.borderDim

                            Image {
                                anchors.top: parent.top
                                anchors.topMargin: 6
                                anchors.horizontalCenter: parent.horizontalCenter
                                width: 35
                                height: 35
                                sourceSize: Qt.size(35, 35)
                                fillMode: Image.PreserveAspectFit
                                source: TvConfig.iconUrl(String(equalizerWindow.dataList[index].img || "icons/zdy.svg"))
                            }

                            Text {
                                id: tileName
                                anchors.bottom: parent.bottom
                                anchors.bottomMargin: 6
                                anchors.horizontalCenter: parent.horizontalCenter
                                text: tile.name
                                color: Colors.text
                                font.pixelSize: 12
                            }

                            MouseArea {
                                id: tileArea
                                anchors.fill: parent
                                hoverEnabled: true
                                onClicked: equalizerWindow.selectPreset(index)
                            }
                        }
                    }

                    CustomButtonRect {
                        objectName: "addTile"
                        width: 78
                        height: 66
                        y: 6
                        src: TvConfig.iconUrl("icons/plus2.svg", "qrc:/qt/qml/MediaControls/")
                        iconSize: Qt.size(24, 24)
                        isSelect: false
                        visible: equalizerWindow.dataList.length < EqCurve.maxPresets
                        onClick: equalizerWindow.addPreset()
                    }
                }
            }

            Item {
                id: chart
                objectName: "chart"
                anchors.top: strip.bottom
                anchors.topMargin: 10
                anchors.bottom: footer.top
                width: parent.width

                Canvas {
                    id: canvas
                    objectName: "eqCanvas"
                    anchors.fill: parent
                    anchors.leftMargin: 45
                    anchors.rightMargin: 10
                    anchors.topMargin: 10
                    anchors.bottomMargin: 25

                    property bool retried: false

                    onWidthChanged: requestPaint()
                    onHeightChanged: requestPaint()

                    Connections {
                        target: equalizerWindow
                        function onRepaintRequested() { Qt.callLater(canvas.requestPaint) }
                    }

                    Component.onCompleted: Qt.callLater(canvas.firstPaint)

                    function firstPaint() {
                        if (width <= 0 || height <= 0) {
                            if (!retried) {
                                retried = true
                                console.log("Canvas has invalid size, will retry after layout")
                                Qt.callLater(canvas.firstPaint)
                            }
                            return
                        }
                        console.log("Canvas initialized", width, height)
                        requestPaint()
                    }

                    onPaint: {
                        if (width <= 0 || height <= 0) {
                            console.log("Canvas size is invalid:", width, height)
                            return
                        }
                        const ctx = getContext("2d")
                        if (!ctx) {
                            console.log("Failed to get 2d context")
                            return
                        }
                        ctx.reset()
                        ctx.clearRect(0, 0, width, height)
                        const values = equalizerWindow.getEqValues()

                        ctx.strokeStyle = Colors.grid
                        ctx.lineWidth = 1
                        ctx.setLineDash([3, 3])
                        for (let k = 0; k < EqCurve.bandCount; ++k) {
                            const x = EqCurve.bandX(k, width)
                            ctx.beginPath()
                            ctx.moveTo(x, 0)
                            ctx.lineTo(x, height)
                            ctx.stroke()
                        }
                        ctx.setLineDash([])

                        const points = values.map(function(gain, k) {
                            return { x: EqCurve.bandX(k, width), y: EqCurve.gainY(gain, height) }
                        })
                        const samples = EqCurve.curveSamples(points)
                        const bottom = EqCurve.gainY(EqCurve.minGain, height)

                        ctx.save()
                        ctx.beginPath()
                        ctx.moveTo(samples[0].x, bottom)
                        ctx.lineTo(samples[samples.length - 1].x, bottom)
                        for (let i = samples.length - 1; i >= 0; --i)
                            ctx.lineTo(samples[i].x, samples[i].y)
                        ctx.closePath()
                        ctx.clip()
                        const gradient = ctx.createLinearGradient(0, -50, 0, bottom)
                        gradient.addColorStop(0, Colors.accentFill)
                        gradient.addColorStop(1, "transparent")
                        ctx.fillStyle = gradient
                        ctx.fillRect(0, -50, width, bottom + 50)
                        ctx.restore()

                        ctx.strokeStyle = Colors.accent
                        ctx.lineWidth = 1
                        ctx.beginPath()
                        ctx.moveTo(samples[0].x, samples[0].y)
                        for (let i = 1; i < samples.length; ++i)
                            ctx.lineTo(samples[i].x, samples[i].y)
                        ctx.stroke()

                        ctx.fillStyle = Colors.knob
                        ctx.strokeStyle = Colors.accent
                        ctx.lineWidth = 2
                        for (let k = 0; k < points.length; ++k) {
                            ctx.beginPath()
                            ctx.arc(points[k].x, points[k].y, 6, 0, 2 * Math.PI)
                            ctx.fill()
                            ctx.stroke()
                        }
                    }

                    MouseArea {
                        objectName: "eqPointer"
                        anchors.fill: parent
                        acceptedButtons: Qt.LeftButton
                        onPressed: function(mouse) {
                            equalizerWindow.pressAt(mouse.x, mouse.y, canvas.width, canvas.height)
                        }
                        onPositionChanged: function(mouse) {
                            if (mouse.buttons === Qt.LeftButton)
                                equalizerWindow.moveTo(mouse.y, canvas.height)
                        }
                        onReleased: equalizerWindow.release()
                    }
                }

                Row {
                    x: 38
                    anchors.bottom: parent.bottom
                    height: 20
                    Repeater {
                        model: EqCurve.bandLabels
                        Text {
                            width: (chart.width - 30) / EqCurve.bandCount
                            height: 20
                            text: modelData
                            color: Colors.axisText
                            font.pixelSize: 10
                            horizontalAlignment: Text.AlignHCenter
                            verticalAlignment: Text.AlignVCenter
                        }
                    }
                }

                Column {
                    id: gainColumn
                    x: 5
                    y: 25
                    width: 40
                    height: chart.height - 25 - 40
                    Repeater {
                        model: EqCurve.gainLabels
                        Text {
                            width: gainColumn.width
                            height: gainColumn.height / EqCurve.gainLabels.length
                            text: modelData
                            color: Colors.axisText
                            font.pixelSize: 10
                            verticalAlignment: Text.AlignVCenter
                        }
                    }
                }
            }

            Item {
                id: footer
                anchors.bottom: parent.bottom
                width: parent.width
                height: 22

                CustomButtonRect {
                    objectName: "deleteButton"
                    anchors.right: parent.right
                    width: 22
                    height: 22
                    src: TvConfig.iconUrl("icons/del.svg", "qrc:/qt/qml/MediaControls/")
                    iconSize: Qt.size(14, 16)
                    isSelect: false
                    visible: equalizerWindow.selectIndex > equalizerWindow.countSum - 1
                    onClick: equalizerWindow.deleteSelected()
                }
            }
        }
    }
}
