import QtQuick

GeneralCase {
}
