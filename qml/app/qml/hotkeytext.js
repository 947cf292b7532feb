.pragma library

// Texts of the general tab's hotkey rows and sample rates: the key
// combination a key press gives, the URL that a typed text becomes, and the
// rate in Hz of a kHz text. Pure functions, so that they are tested alone.

// Names of the keys other than letters, digits and F1..F12.
const namedKeys = [
    [Qt.Key_Space, "Space"], [Qt.Key_Enter, "Enter"], [Qt.Key_Return, "Return"], [Qt.Key_Tab, "Tab"],
    // Shift+Tab arrives as Backtab; it is still the Tab key.
    [Qt.Key_Backtab, "Tab"],
    [Qt.Key_Escape, "Esc"], [Qt.Key_Backspace, "Backspace"], [Qt.Key_Delete, "Delete"],
    [Qt.Key_Insert, "Insert"], [Qt.Key_Home, "Home"], [Qt.Key_End, "End"], [Qt.Key_PageUp, "PageUp"],
    [Qt.Key_PageDown, "PageDown"], [Qt.Key_Left, "Left"], [Qt.Key_Right, "Right"], [Qt.Key_Up, "Up"],
    [Qt.Key_Down, "Down"], [Qt.Key_Minus, "-"], [Qt.Key_Plus, "+"], [Qt.Key_Equal, "="],
    [Qt.Key_BracketLeft, "["], [Qt.Key_BracketRight, "]"], [Qt.Key_Backslash, "\\"],
    [Qt.Key_Semicolon, ";"], [Qt.Key_Apostrophe, "'"], [Qt.Key_Comma, ","], [Qt.Key_Period, "."],
    [Qt.Key_Slash, "/"]
]

// The name of a key, or "" for a key without one (a modifier key itself).
function keyName(key) {
    if (key >= Qt.Key_A && key <= Qt.Key_Z)
        return String.fromCharCode(key)
    if (key >= Qt.Key_0 && key <= Qt.Key_9)
        return String.fromCharCode(key)
    if (key >= Qt.Key_F1 && key <= Qt.Key_F12)
        return "F" + (key - Qt.Key_F1 + 1)
    for (let i = 0; i < namedKeys.length; ++i) {
        if (namedKeys[i][0] === key)
            return namedKeys[i][1]
    }
    return ""
}

// Held modifiers in the fixed order Ctrl, Alt, Shift, Meta; macOS names the
// same four places after its own keys.
function modifierNames(modifiers, os) {
    const names = os === "osx" ? ["Command", "Option", "Shift", "Control"] : ["Ctrl", "Alt", "Shift", "Meta"]
    const flags = [Qt.ControlModifier, Qt.AltModifier, Qt.ShiftModifier, Qt.MetaModifier]
    const held = []
    for (let i = 0; i < flags.length; ++i) {
        if (modifiers & flags[i])
            held.push(names[i])
    }
    return held
}

// The combination a key press gives; "" when it names nothing.
function combination(key, modifiers, os) {
    const parts = modifierNames(modifiers, os)
    const name = keyName(key)
    if (name !== "")
        parts.push(name)
    return parts.join("+")
}

// What the key field does with a text that did not come from a key press:
// "chinese" and "invalid" empty the field, "kept" leaves it unstored.
function foreignTextVerdict(text) {
    if (/[\u4e00-\u9fff]/.test(text))
        return "chinese"
    if (text !== "" && text.indexOf("+") < 0)
        return "invalid"
    return "kept"
}

function isPrefixOf(text, whole) {
    return text.length <= whole.length && whole.substring(0, text.length).toLowerCase() === text.toLowerCase()
}

// The URL of a typed text and where the cursor goes:
// { text, cursor, store }. text is what the field shows; store is false while
// the text is only the beginning of "http://" or "https://" being typed.
function normaliseUrl(text, cursor) {
    const stripped = text.replace(/\s+/g, "")
    const removed = text.length - stripped.length
    if (stripped !== "" && !/^https?:\/\//i.test(stripped)
            && (isPrefixOf(stripped, "http://") || isPrefixOf(stripped, "https://")))
        return { text: text, cursor: cursor, store: false }
    let url = stripped
    let moved = cursor - removed
    if (stripped !== "" && !/^https?:\/\//i.test(stripped)) {
        url = "http://" + stripped
        moved += 7
    }
    if (url === text)
        return { text: text, cursor: cursor, store: true }
    return { text: url, cursor: Math.max(0, Math.min(moved, url.length)), store: true }
}

// The rate in Hz of a kHz text ("44.1" gives 44100); NaN for anything else.
function rateHz(kHzText) {
    const text = String(kHzText)
    if (!/^\d+(\.\d+)?$/.test(text))
        return NaN
    return Math.round(Number(text) * 1000)
}
