import QtQuick
import QtQuick.Controls

// Filled text button: type 0 confirms, type 1 cancels.
Button {
    id: control

    property int type: 0

    hoverEnabled: true
    topInset: 0
    bottomInset: 0
    leftInset: 0
    rightInset: 0

    contentItem: Text {
        text: control.text
        color: Colors.text
        font.pixelSize: 18
        // Given less width than its text needs, the button shrinks the text
        // and elides it only below 12 px, rather than drawing past its edges.
        fontSizeMode: Text.HorizontalFit
        minimumPixelSize: 12
        elide: Text.ElideRight
        horizontalAlignment: Text.AlignHCenter
        verticalAlignment: Text.AlignVCenter
    }

    background: Rectangle {
        objectName: "background"
        radius: 6
        color: control.type === 0 ? (control.hovered ? Colors.accentHover : Colors.accent)
                                  : (control.hovered ? Colors.neutralButtonHover : Colors.neutralButton)
    }
}
