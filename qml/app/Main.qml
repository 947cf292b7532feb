import QtQuick
import QtQuick.Controls
import QtQuick.Controls.Material
import VeloranDeck

// The root window; its title-bar slot marks it as the main window, so
// closing it ends the application. The slot holds the secondary windows,
// hidden until shown.
WindowFrame {
    id: root
    objectName: "root"
    visible: true
    title: qsTr("Veloran Deck")
    Material.theme: Material.Dark

    rightView: Item {
        SettingsWindow {
            id: settingsWindow
        }

        CustomerWindow {
            id: customerWindow
        }
    }
}
