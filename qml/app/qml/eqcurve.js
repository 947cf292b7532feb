.pragma library
.import "records.js" as Records

// Equaliser presets and the arithmetic of their chart, apart from any item
// so that they can be checked alone. Gains are in dB, coordinates in the
// canvas's pixels.

var bandCount = 12
var maxGain = 6
var minGain = -6
var builtInCount = 7
var maxPresets = builtInCount + 3
var pickRadius = 30
var bandLabels = ["63Hz", "125Hz", "250Hz", "400Hz", "630Hz", "1kHz", "1.6kHz", "2.5kHz",
                  "4kHz", "6.3kHz", "10kHz", "16kHz"]
var gainLabels = ["+6dB", "+4dB", "+2dB", "0", "-2dB", "-4dB", "-6dB"]
var samplesPerSpan = 30

// Ten pixels left and right and thirty above and below keep the points'
// circles inside the canvas.
function plotWidth(canvasWidth) { return canvasWidth - 20 }
function plotHeight(canvasHeight) { return canvasHeight - 60 }

function bandX(band, canvasWidth) {
    return 10 + band / (bandCount - 1) * plotWidth(canvasWidth)
}

function gainY(gain, canvasHeight) {
    return 30 + (maxGain - gain) / (maxGain - minGain) * plotHeight(canvasHeight)
}

// Unrounded, clamped to the plot's range.
function gainAt(y, canvasHeight) {
    var gain = maxGain - ((y - 30) / plotHeight(canvasHeight)) * (maxGain - minGain)
    return Math.max(minGain, Math.min(maxGain, gain))
}

// The band nearest to x, closer than the pick radius; on a tie the lower
// band. -1 when none is that close.
function findNearestPoint(x, canvasWidth) {
    var best = -1
    var bestDistance = pickRadius
    for (var k = 0; k < bandCount; ++k) {
        var distance = Math.abs(x - bandX(k, canvasWidth))
        if (distance < bestDistance) {
            best = k
            bestDistance = distance
        }
    }
    return best
}

function zeros() {
    var values = []
    for (var k = 0; k < bandCount; ++k)
        values.push(0)
    return values
}

// Twelve gains of a record, whatever it holds: no usable array gives zeros,
// a wrong length is cut or filled up. warn receives what was wrong.
function presetValues(record, warn) {
    if (record === null || typeof record !== "object" || !Array.isArray(record.value)) {
        warn("currentEqData.value is not an array, drawing a flat curve")
        return zeros()
    }
    var values = []
    for (var k = 0; k < record.value.length && k < bandCount; ++k) {
        var gain = Number(record.value[k])
        values.push(isFinite(gain) ? Math.max(minGain, Math.min(maxGain, gain)) : 0)
    }
    if (record.value.length !== bandCount)
        warn("currentEqData.value length is not 12: " + record.value.length)
    while (values.length < bandCount)
        values.push(0)
    return values
}

// A stored entry, or null when it is not a JSON object.
function parsePreset(text) {
    return Records.parseObject(text)
}

function newCustomPreset() {
    return { name: "自定义", type: 0, value: zeros(), img: "icons/zdy.svg" }
}

// A copy with new gains, the record's own keys kept in their order.
function withValues(record, values) {
    var copy = {}
    for (var key in record)
        copy[key] = key === "value" ? values : record[key]
    if (!("value" in copy))
        copy.value = values
    return copy
}

function catmullRomInterpolate(p0, p1, p2, p3, t) {
    var t2 = t * t
    var t3 = t2 * t
    return 0.5 * (2 * p1 + (-p0 + p2) * t + (2 * p0 - 5 * p1 + 4 * p2 - p3) * t2
                  + (-p0 + 3 * p1 - 3 * p2 + p3) * t3)
}

// The smooth curve through points ({x, y}), ends repeated; a sample equal to
// the one before it is left out.
function curveSamples(points) {
    var samples = []
    var last = points.length - 1
    for (var m = 0; m < last; ++m) {
        var p0 = points[Math.max(0, m - 1)]
        var p1 = points[m]
        var p2 = points[m + 1]
        var p3 = points[Math.min(last, m + 2)]
        for (var step = 0; step <= samplesPerSpan; ++step) {
            var t = step / samplesPerSpan
            var sample = { x: catmullRomInterpolate(p0.x, p1.x, p2.x, p3.x, t),
                           y: catmullRomInterpolate(p0.y, p1.y, p2.y, p3.y, t) }
            var previous = samples[samples.length - 1]
            if (previous !== undefined && previous.x === sample.x && previous.y === sample.y)
                continue
            samples.push(sample)
        }
    }
    return samples
}

// Stored names are Chinese; the eight known ones are shown translated.
function translateName(name) {
    switch (name) {
    case "原声": return qsTr("原声")
    case "人声增强": return qsTr("人声增强")
    case "低切75Hz": return qsTr("低切75Hz")
    case "低切150Hz": return qsTr("低切150Hz")
    case "自定义": return qsTr("自定义")
    case "平坦": return qsTr("平坦")
    case "中频增强": return qsTr("中频增强")
    case "低中频增强": return qsTr("低中频增强")
    }
    return name
}

// Custom presets carry their position among the custom ones.
function displayName(name, index) {
    var shown = translateName(String(name))
    return index >= builtInCount ? shown + " " + (index - builtInCount + 1) : shown
}
