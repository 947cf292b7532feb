import QtQuick

MixerStripsCase {
}
