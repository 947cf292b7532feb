import QtQuick
import QtQuick.Controls.Fusion
import Qt5Compat.GraphicalEffects

// Icon-only button; while held, a blurred shadowed copy of the icon glows
// behind it.
Button {
    id: control
    flat: true

    background: Item {
        Loader {
            objectName: "pressedGlow"
            anchors.fill: parent
            active: control.down
            sourceComponent: Item {
                opacity: 0.5

                FastBlur {
                    id: blurred
                    anchors.fill: parent
                    source: control.contentItem
                    radius: 16
                    visible: false
                }

                DropShadow {
                    anchors.fill: parent
                    source: blurred
                    radius: 8
                    samples: 17
                    color: "#80000000"
                }
            }
        }
    }

    contentItem: Image {
        objectName: "iconImage"
        source: control.icon.source
        fillMode: Image.PreserveAspectFit
    }
}
