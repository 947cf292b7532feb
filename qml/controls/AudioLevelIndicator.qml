import QtQuick

// Stereo pair of level bars for a mixer strip.
Item {
    id: root

    property alias leftLevel: leftBar.level
    property alias rightLevel: rightBar.level

    function setLeftLevel(level) {
        leftBar.setLevel(level)
    }

    function setRightLevel(level) {
        rightBar.setLevel(level)
    }

    function setLevels(left, right) {
        leftBar.setLevel(left)
        rightBar.setLevel(right)
    }

    implicitWidth: row.implicitWidth

    Row {
        id: row
        height: parent.height
        spacing: 10

        AudioChannelIndicator {
            id: leftBar
            objectName: "leftBar"
            channelName: "L"
            height: row.height
        }

        AudioChannelIndicator {
            id: rightBar
            objectName: "rightBar"
            channelName: "R"
            height: row.height
        }
    }
}
