.pragma library

// Stored records are JSON texts; a text that is not a JSON object gives null.
function parseObject(text) {
    var value
    try {
        value = JSON.parse(text)
    } catch (error) {
        return null
    }
    if (value === null || typeof value !== "object" || Array.isArray(value))
        return null
    return value
}
