import QtQuick
import QtTest
import "qrc:/qt/qml/VeloranDeck/qml/hotkeytext.js" as Hotkey

// Key combinations of key presses, URLs of typed texts with their cursor,
// and rates in Hz of kHz texts.
TestCase {
    name: "HotkeyText"

    function test_combination_data() {
        return [
            { tag: "letter", key: Qt.Key_S, mods: 0, text: "S" },
            { tag: "digit", key: Qt.Key_7, mods: 0, text: "7" },
            { tag: "F12", key: Qt.Key_F12, mods: 0, text: "F12" },
            { tag: "F13 has no name", key: Qt.Key_F13, mods: 0, text: "" },
            { tag: "backslash", key: Qt.Key_Backslash, mods: 0, text: "\\" },
            { tag: "Escape", key: Qt.Key_Escape, mods: 0, text: "Esc" },
            { tag: "keypad Enter", key: Qt.Key_Enter, mods: Qt.KeypadModifier, text: "Enter" },
            { tag: "Return", key: Qt.Key_Return, mods: 0, text: "Return" },
            { tag: "apostrophe", key: Qt.Key_Apostrophe, mods: 0, text: "'" },
            { tag: "PageDown", key: Qt.Key_PageDown, mods: 0, text: "PageDown" },
            { tag: "Shift+Tab", key: Qt.Key_Backtab, mods: Qt.ShiftModifier, text: "Shift+Tab" },
            { tag: "all four in order", key: Qt.Key_Plus,
              mods: Qt.MetaModifier | Qt.ShiftModifier | Qt.AltModifier | Qt.ControlModifier,
              text: "Ctrl+Alt+Shift+Meta++" },
            { tag: "Ctrl alone", key: Qt.Key_Control, mods: Qt.ControlModifier, text: "Ctrl" },
            { tag: "Meta (Super) alone", key: Qt.Key_Super_L, mods: Qt.MetaModifier, text: "Meta" },
            { tag: "macOS names", key: Qt.Key_Z, mods: Qt.ControlModifier | Qt.AltModifier | Qt.MetaModifier,
              os: "osx", text: "Command+Option+Control+Z" },
            { tag: "unnamed key alone", key: Qt.Key_Exclam, mods: 0, text: "" }
        ]
    }

    function test_combination(data) {
        compare(Hotkey.combination(data.key, data.mods, data.os || "linux"), data.text)
    }

    function test_foreign_text_data() {
        return [
            { tag: "combination", text: "Ctrl+X", verdict: "kept" },
            { tag: "empty", text: "", verdict: "kept" },
            { tag: "letters", text: "abc", verdict: "invalid" },
            { tag: "ideograph", text: "中", verdict: "chinese" },
            { tag: "ideograph with plus", text: "Ctrl+中", verdict: "chinese" }
        ]
    }

    function test_foreign_text(data) {
        compare(Hotkey.foreignTextVerdict(data.text), data.verdict)
    }

    function test_url_data() {
        return [
            { tag: "spaces around and inside", text: " https://a b.c ", cursor: 15,
              result: { text: "https://ab.c", cursor: 12, store: true } },
            { tag: "a space typed mid-way", text: "https://ab .c", cursor: 11,
              result: { text: "https://ab.c", cursor: 10, store: true } },
            { tag: "capital prefix", text: "HTTPS://X", cursor: 9, result: { text: "HTTPS://X", cursor: 9, store: true } },
            { tag: "bare address", text: "example.com", cursor: 11,
              result: { text: "http://example.com", cursor: 18, store: true } },
            { tag: "first character", text: "e", cursor: 1, result: { text: "http://e", cursor: 8, store: true } },
            { tag: "prefix being typed", text: "htt", cursor: 3, result: { text: "htt", cursor: 3, store: false } },
            { tag: "https prefix being typed", text: "HTTPS:/", cursor: 7,
              result: { text: "HTTPS:/", cursor: 7, store: false } },
            { tag: "only spaces", text: "  ", cursor: 2, result: { text: "", cursor: 0, store: true } },
            { tag: "empty", text: "", cursor: 0, result: { text: "", cursor: 0, store: true } }
        ]
    }

    function test_url(data) {
        compare(Hotkey.normaliseUrl(data.text, data.cursor), data.result)
    }

    function test_rate_data() {
        return [
            { tag: "44.1", text: "44.1", hz: 44100 },
            { tag: "88.2", text: "88.2", hz: 88200 },
            { tag: "176.4", text: "176.4", hz: 176400 },
            { tag: "192", text: "192", hz: 192000 },
            { tag: "not a number", text: "4e4", hz: NaN },
            { tag: "empty", text: "", hz: NaN }
        ]
    }

    function test_rate(data) {
        const hz = Hotkey.rateHz(data.text)
        if (isNaN(data.hz))
            verify(isNaN(hz), String(hz))
        else
            compare(hz, data.hz)
    }
}
