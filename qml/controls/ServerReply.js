.pragma library

// Server replies are taken by type before anything acts on them: a reply of
// another shape is an error, never a success, and is logged only in part.

var maxIdLength = 256        // tracking ids, version texts
var maxAddressLength = 2048  // download addresses
var maxLoggedChars = 2048

function isObject(value) {
    return value !== null && typeof value === "object" && !Array.isArray(value)
}

// "ok" for the code 0 (number or text), "refused" for another whole-number
// code, "malformed" for everything else, failed requests included.
function status(success, response) {
    if (success !== true || !isObject(response))
        return "malformed"
    const code = response.code
    if (code === 0 || code === "0")
        return "ok"
    if ((typeof code === "number" && Number.isInteger(code))
            || (typeof code === "string" && /^-?[0-9]{1,9}$/.test(code)))
        return "refused"
    return "malformed"
}

// true for true, 1 or "1"; false for false, 0, "0" or no value; null for a
// value of any other kind.
function flag(value) {
    if (value === true || value === 1 || value === "1")
        return true
    if (value === undefined || value === null || value === false || value === 0 || value === "0")
        return false
    return null
}

// The text when it is one of at most maxLength characters, else null.
function text(value, maxLength) {
    return typeof value === "string" && value.length <= maxLength ? value : null
}

// A member that must be an object when present: {} when absent, null when
// it is something else.
function member(value) {
    if (value === undefined || value === null)
        return {}
    return isObject(value) ? value : null
}

// The reply as JSON, cut to its first maxLoggedChars with its whole length.
function logText(response) {
    let json
    try {
        json = JSON.stringify(response)
    } catch (error) {
        json = "<" + error + ">"
    }
    if (typeof json !== "string")
        json = String(json)
    if (json.length <= maxLoggedChars)
        return json
    return json.substring(0, maxLoggedChars) + "… (" + json.length + " characters)"
}
