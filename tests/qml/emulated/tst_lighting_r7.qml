import QtQuick

LightingCase {
}
