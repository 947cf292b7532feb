// Lighting payloads: colours in LED order, four bytes each ([B, G, R, 0],
// TvConfig.hexToRgb of the importing document), and the LED counts.

var breathingSlotCount = 7

// Static and wave effects.
function backgroundLedCount(isU20) {
    return isU20 ? 12 : 30
}

function inputLedCount(isU20) {
    return isU20 ? 6 : 30
}

function colorPayload(colors) {
    var bytes = []
    for (var i = 0; colors && i < colors.length; ++i)
        bytes = bytes.concat(TvConfig.hexToRgb(String(colors[i])))
    return bytes
}

function copies(color, count) {
    var list = []
    for (var i = 0; i < count; ++i)
        list.push(color)
    return list
}

function roundHalfUp(value) {
    return Math.floor(value + 0.5)
}

// Input preset 0: 70 % of the LEDs in stop 0, 20 % in stop 1, 10 % in
// stop 2; nothing with fewer than three stops.
function inputPresetZeroColors(stops, count) {
    if (!stops || stops.length < 3)
        return []
    return copies(stops[0], roundHalfUp(0.7 * count))
        .concat(copies(stops[1], roundHalfUp(0.2 * count)))
        .concat(copies(stops[2], roundHalfUp(0.1 * count)))
}

// Seven slots, black where the list has no colour; colours past the
// seventh are dropped.
function breathingPayload(colors) {
    var slots = []
    for (var i = 0; i < breathingSlotCount; ++i)
        slots.push(colors && i < colors.length ? colors[i] : "#000000")
    return colorPayload(slots)
}
