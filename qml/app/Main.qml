import QtQuick
import QtQuick.Controls
import QtQuick.Controls.Material

ApplicationWindow {
    id: root
    width: 1300
    height: 800
    minimumWidth: 800
    minimumHeight: 500
    visible: true
    title: qsTr("Veloran Deck")
    flags: Qt.Window | Qt.FramelessWindowHint
    color: "#181818"
    Material.theme: Material.Dark
}
