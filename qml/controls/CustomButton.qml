import QtQuick
import QtQuick.Controls.Fusion
import Qt5Compat.GraphicalEffects

// Icon-only button; while held, a blurred shadowed copy of the icon glows
// behind it. The icon is rendered at icon.width x icon.height (times the
// screen's pixel ratio), so each use gives the size it shows the icon at; a
// button without a size of its own takes that size plus its padding. Without
// an icon size the file's own size is used.
Button {
    id: control
    flat: true
    icon.width: 0
    icon.height: 0

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
                    color: Colors.shadow
                }
            }
        }
    }

    contentItem: Image {
        objectName: "iconImage"
        source: control.icon.source
        sourceSize: control.icon.width > 0 && control.icon.height > 0 ? Qt.size(control.icon.width, control.icon.height)
                                                                      : undefined
        fillMode: Image.PreserveAspectFit
    }
}
