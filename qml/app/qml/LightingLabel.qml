import QtQuick
import MediaControls

// The lighting pages' white 14 px labels.
Text {
    color: Colors.text
    font.pixelSize: 14
}
