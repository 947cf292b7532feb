import QtQuick

// An ordered cycle of one to maxColors colours. Every change builds a new
// list: the one it replaces may be the configuration's or the defaults'.
Column {
    id: root

    property var colorList: Array.from(ConfigMgr.defaults.color_bg_bln_cyc_color)
    property int selectedIndex: 0
    property int maxColors: 7

    signal colorsChanged(var colors)
    signal changeComplete(var colors, bool isReset)

    function addColor(newColor) {
        if (colorList.length >= maxColors)
            return
        selectedIndex = colorList.length
        colorList = colorList.concat([newColor])
        colorsChanged(colorList)
        changeComplete(colorList, false)
    }

    function chargeColor(newColor) {
        if (selectedIndex < 0 || selectedIndex >= colorList.length)
            return
        const list = Array.from(colorList)
        list[selectedIndex] = newColor
        colorList = list
        colorsChanged(colorList)
    }

    function removeColor(index) {
        if (colorList.length <= 1 || index < 0 || index >= colorList.length)
            return
        const list = Array.from(colorList)
        list.splice(index, 1)
        colorList = list
        if (selectedIndex > colorList.length - 1)
            selectedIndex = colorList.length - 1
        colorsChanged(colorList)
        changeComplete(colorList, false)
    }

    function resetColors() {
        colorList = Array.from(ConfigMgr.defaults.color_bg_bln_cyc_color)
        selectedIndex = 0
        colorsChanged(colorList)
        changeComplete(colorList, true)
    }

    // Centred under the control, else above it, else centred in the
    // ancestor, and always inside that ancestor.
    function showColorPicker() {
        let area = root.parent
        while (area && !(area.width > 0))
            area = area.parent
        const areaWidth = area ? area.width : 800
        const areaHeight = area ? area.height : 600
        const origin = area ? root.mapToItem(area, 0, 0) : Qt.point(root.x, root.y)
        let x = origin.x + root.width / 2 - 105
        let y = origin.y + root.height + 10
        if (x + 210 > areaWidth)
            x = areaWidth - 220
        if (x < 10)
            x = 10
        if (y + 330 > areaHeight) {
            y = origin.y - 330 - 10
            if (y < 10)
                y = (areaHeight - 330) / 2
        }
        popup.x = x - origin.x
        popup.y = y - origin.y
        const entry = colorList[selectedIndex]
        popup.picker.selectedColor = entry
        popup.picker.flushToColor(entry)
        popup.open()
    }

    spacing: 10

    Row {
        width: root.width
        spacing: 10

        Repeater {
            model: root.colorList

            Rectangle {
                id: box
                required property var modelData
                required property int index

                objectName: "colorBox" + index
                width: 30
                height: 30
                radius: 4
                color: modelData
                border.width: root.selectedIndex === index ? 1 : 0
                border.color: Colors.border

                MouseArea {
                    anchors.fill: parent
                    onClicked: root.selectedIndex = box.index
                    onDoubleClicked: {
                        root.selectedIndex = box.index
                        root.showColorPicker()
                    }
                }
            }
        }

        CustomButtonRect {
            objectName: "addButton"
            width: 30
            height: 30
            visible: root.colorList.length < root.maxColors
            isSelect: false
            src: "icons/plus.svg"
            iconSize: Qt.size(14, 14)
            border.width: 1
            border.color: Colors.control
            onClick: {
                root.addColor(root.colorList[root.colorList.length - 1])
                root.showColorPicker()
            }
        }
    }

    Row {
        spacing: 10

        CustomButtonRect {
            objectName: "deleteButton"
            width: 30
            height: 30
            visible: root.colorList.length > 1
            enabled: visible
            isSelect: false
            src: "icons/del.svg"
            iconSize: Qt.size(14, 16)
            onClick: {
                if (root.selectedIndex >= 0)
                    root.removeColor(root.selectedIndex)
            }
        }

        CustomButtonRect {
            objectName: "resetButton"
            width: 30
            height: 30
            isSelect: false
            src: "icons/flush.svg"
            iconSize: Qt.size(16, 16)
            onClick: root.resetColors()
        }
    }

    ColorPopup {
        id: popup
        objectName: "popup"
        owner: root

        Connections {
            target: popup.picker
            function onColorSelected(newColor) {
                root.chargeColor(newColor)
            }
        }

        onClosed: root.changeComplete(root.colorList, false)
    }
}
