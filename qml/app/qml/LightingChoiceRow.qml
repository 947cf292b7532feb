import QtQuick

// A row of lighting choice buttons, one of them selected: one button per
// label, or per icon where icons are given.
Row {
    id: row

    property int selectIndex: 0
    property var labels: []
    property var icons: []
    // Buttons are named this followed by their index.
    property string buttonName: "type"

    signal chosen(int index, string label)

    spacing: 10

    Repeater {
        model: row.icons.length > 0 ? row.icons : row.labels
        LightingButton {
            required property string modelData
            required property int index
            objectName: row.buttonName + index
            minimumWidth: 65
            text: row.icons.length > 0 ? "" : modelData
            iconSource: row.icons.length > 0 ? TvConfig.iconUrl(modelData) : ""
            selected: row.selectIndex === index
            onClicked: row.chosen(index, text)
        }
    }
}
