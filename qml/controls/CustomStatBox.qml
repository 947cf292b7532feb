import QtQuick

// Status icon; the busy states (checking, downloading) spin.
Rectangle {
    id: root

    property int stat: 0

    width: 18
    height: 18
    color: "transparent"

    Image {
        id: icon
        objectName: "statIcon"
        anchors.fill: parent
        fillMode: Image.PreserveAspectFit
        sourceSize: Qt.size(root.width, root.height)
        source: {
            switch (root.stat) {
            case 1:
            case 4:
                return "icons/stat2.svg"
            case 2:
                return "icons/stat3.svg"
            case 3:
                return "icons/stat4.svg"
            default:
                return "icons/stat1.svg"
            }
        }
    }

    RotationAnimation {
        objectName: "spin"
        target: icon
        from: 0
        to: 360
        duration: 2000
        loops: Animation.Infinite
        running: root.stat === 1 || root.stat === 4
        // A still icon must never stand tilted.
        onRunningChanged: if (!running) icon.rotation = 0
    }
}
