.pragma library
.import "records.js" as Records

// The mixer's routing list and level topics, apart from any item so that
// they can be checked alone. Applications are known to the audio side by
// process id, extra inputs by their stream number, the device microphone
// as 0 and the two buses by the two highest 32-bit ids.

var maxStrips = 8
var liveProcessId = 4294967294
var monitorProcessId = 4294967295
var liveTopic = "__input2_device__"
var monitorTopic = "__input1_device__"
var deviceTopic = "device"

// Stored strip records: a text that is not a JSON object naming its
// bundleIdentifier gives null.
function parseEntry(text) {
    var value = Records.parseObject(text)
    if (value === null)
        return null
    if (typeof value.bundleIdentifier !== "string" || value.bundleIdentifier.length === 0)
        return null
    return value
}

// Entries of appList in order, inputs numbered by position + 1, and the
// positions of the texts that are no record.
function entriesOf(appList) {
    var entries = []
    var damaged = []
    for (var i = 0; appList && i < appList.length; ++i) {
        var entry = parseEntry(appList[i])
        if (entry === null) {
            damaged.push(i)
            continue
        }
        if (entry.isInput === true)
            entry.streamID = entries.length + 1
        entries.push(entry)
    }
    return { entries: entries, damaged: damaged }
}

// The smallest stream number 1..max no input holds; 0 when all are taken.
function freeInputNumber(entries) {
    for (var n = 1; n <= maxStrips; ++n) {
        var taken = false
        for (var i = 0; i < entries.length; ++i) {
            if (entries[i].isInput === true && Number(entries[i].streamID) === n)
                taken = true
        }
        if (!taken)
            return n
    }
    return 0
}

function canAdd(entries, app) {
    if (!app || entries.length >= maxStrips)
        return false
    for (var i = 0; i < entries.length; ++i) {
        if (entries[i].bundleIdentifier === app.bundleIdentifier)
            return false
    }
    return true
}

function clamp01(value) {
    var v = Number(value)
    if (!isFinite(v))
        return 0
    return Math.min(1, Math.max(0, v))
}

function runningProcessId(running, bundleIdentifier) {
    for (var i = 0; running && i < running.length; ++i) {
        if (running[i] && running[i].bundleIdentifier === bundleIdentifier)
            return Number(running[i].processIdentifier) || 0
    }
    return 0
}

// Takes the running list's process id into each application entry whose
// id changed; true when one did.
function refreshProcessIds(entries, running) {
    var changed = false
    for (var i = 0; i < entries.length; ++i) {
        var entry = entries[i]
        if (entry.isInput === true || !entry.bundleIdentifier)
            continue
        var pid = runningProcessId(running, entry.bundleIdentifier)
        if (pid !== 0 && pid !== Number(entry.processIdentifier)) {
            entry.processIdentifier = pid
            changed = true
        }
    }
    return changed
}

function recordProcessIds(processIDMap, entries) {
    for (var i = 0; i < entries.length; ++i) {
        var entry = entries[i]
        if (entry.isInput === true)
            processIDMap[String(entry.streamID)] = entry.streamID
        else
            processIDMap[String(Number(entry.processIdentifier) || 0)] = entry.bundleIdentifier
    }
}

// setting(key, default) reads one stored value; deviceName is empty
// without a device.
function configList(entries, setting, listen, deviceName) {
    var list = []
    for (var i = 0; i < entries.length; ++i) {
        var entry = entries[i]
        var id = entry.bundleIdentifier
        var volume = clamp01(setting(id + "_dB", 0.3))
        var input = entry.isInput === true
        list.push({
            bundleID: input ? entry.streamID : id,
            input1: { enabled: true, volume: volume, muted: setting(id + "_monitor", false) === true },
            input2: { enabled: true, volume: volume, muted: setting(id + "_mix", false) === true },
            processID: input ? entry.streamID : (Number(entry.processIdentifier) || 0),
            solo: listen === id,
            streamID: entry.streamID,
            deviceName: deviceName
        })
    }
    list.push({
        bundleID: liveTopic,
        processID: liveProcessId,
        input2: { enabled: true, volume: clamp01(setting("mix_dB", 0.3)), muted: setting("mix_mix", false) === true },
        solo: listen === "mix",
        deviceName: deviceName
    })
    list.push({
        bundleID: monitorTopic,
        processID: monitorProcessId,
        input1: { enabled: true, volume: 1, muted: setting("listen_monitor", false) === true },
        solo: listen === "listen",
        deviceName: deviceName
    })
    list.push({
        bundleID: "0",
        processID: 0,
        input1: { enabled: true, volume: 1, muted: setting("device_monitor", false) === true },
        input2: { enabled: true, volume: 1, muted: setting("device_mix", false) === true },
        solo: listen === "device",
        streamID: 0,
        deviceName: deviceName
    })
    return list
}

// Topic of one level report entry; empty when no strip shows it.
function levelTopic(level, processIDMap) {
    if (!level || level.processID === undefined || level.processID === null)
        return ""
    var pid = Number(level.processID)
    if (pid === 0)
        return deviceTopic
    if (pid === monitorProcessId)
        return monitorTopic
    if (pid === liveProcessId)
        return liveTopic
    var key = String(level.processID)
    if (!Object.prototype.hasOwnProperty.call(processIDMap, key))
        return ""
    var topic = processIDMap[key]
    return topic === undefined || topic === null ? "" : String(topic)
}

// Topic a strip of the given kind listens to.
function stripTopic(showType, streamID, bundleIdentifier) {
    if (showType === 0)
        return liveTopic
    if (showType === 1)
        return monitorTopic
    if (showType === 2)
        return deviceTopic
    return streamID > 0 ? String(streamID) : (bundleIdentifier || "")
}
