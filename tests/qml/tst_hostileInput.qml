import QtQuick
import QtTest
import MediaControls
import VeloranDeckSettings
import VeloranDeckNetwork
import VeloranDeckHIDHotplug
import VeloranTestSupport
import "../../qml/controls/AppRecords.js" as AppRecords
import "../../qml/app/qml/eqcurve.js" as EqCurve

// Generated hostile input, seeded and repeatable: server replies of every
// shape through the managers' reply handlers, setting values through
// ConfigMgr, stored records through their readers. Nothing may throw, stay
// marked as running, or take a malformed reply for success.
TestCase {
    id: testCase
    name: "HostileInput"

    readonly property int rounds: 5000
    readonly property int seed: 0x5eed53

    // mulberry32: small, fast and the same everywhere.
    property var random: null
    function seeded(value) {
        let state = value >>> 0
        return function() {
            state = (state + 0x6d2b79f5) >>> 0
            let t = state
            t = Math.imul(t ^ (t >>> 15), t | 1)
            t ^= t + Math.imul(t ^ (t >>> 7), t | 61)
            return ((t ^ (t >>> 14)) >>> 0) / 4294967296
        }
    }
    function below(n) { return Math.floor(random() * n) }
    function pick(list) { return list[below(list.length)] }

    function text(maxLength) {
        const alphabet = "abcXYZ019 -_/.:?#\"'\\{}[]\u0000\u00e9\u8bbe\ud83d\ude00"
        let result = ""
        const length = below(maxLength + 1)
        for (let i = 0; i < length; ++i)
            result += alphabet[below(alphabet.length)]
        return result
    }

    // Any value a JSON reply (or worse) may hold, nested up to depth.
    function anything(depth) {
        switch (below(depth > 0 ? 14 : 11)) {
        case 0: return undefined
        case 1: return null
        case 2: return random() < 0.5
        case 3: return pick([0, 1, -1, 2, 0.5, 1e308, -1e308, NaN, Infinity, 2147483648])
        case 4: return pick(["", " ", "0", "1", "0 ", " 1", "true", "false", "null", "yes", "0x0"])
        case 5: return text(40)
        case 6: return "x".repeat(pick([255, 256, 257, 2049, 70000]))
        case 7: return []
        case 8: return {}
        case 9: return [pick([0, 1, "1", true])]
        case 10: return text(8)
        case 11: {
            const list = []
            for (let i = below(5); i > 0; --i)
                list.push(anything(depth - 1))
            return list
        }
        case 12: {
            const object = {}
            for (let i = below(5); i > 0; --i)
                object[pick(["code", "data", "upgradeFlag", "isUpgrade", "upgradeDate", "newVersion", "fileUrl",
                             "filePath", "version", text(6)])] = anything(depth - 1)
            return object
        }
        default: {
            // Deep nesting.
            let value = anything(0)
            for (let i = below(300); i > 0; --i)
                value = random() < 0.5 ? [value] : { data: value }
            return value
        }
        }
    }

    // A field that is valid (kind "ok"), or well-formed and off ("off"), or
    // of a wrong shape ("bad"): each from its own list, never the others'.
    function field(ok, off, bad) {
        const roll = random()
        if (roll < 0.55)
            return { kind: "ok", value: pick(ok) }
        if (roll < 0.7 && off.length > 0)
            return { kind: "off", value: pick(off) }
        return { kind: "bad", value: pick(bad) }
    }

    function isObject(value) { return value !== null && typeof value === "object" && !Array.isArray(value) }
    function codeZero(reply) { return isObject(reply) && (reply.code === 0 || reply.code === "0") }

    readonly property var badCodes: ["", " ", [], false, true, {}, "0 ", " 0", 0.5, "abc", [0], "00x", NaN]
    readonly property var badFlags: [[1], "yes", "true", 2, {}, " 1", -1, "01", [], "on"]
    readonly property var badObjects: ["x", [], 5, true, [{}]]
    readonly property var badTexts: [[], 7, {}, true, ["https://x"], null]
    readonly property string mebibyte: "y".repeat(1048576)

    function code() { return field([0, "0"], [1, 500, "401", -1], badCodes) }
    function flag() { return field([true, 1, "1"], [false, 0, "0", undefined, null], badFlags) }
    function address() {
        return field([TestServer.url("/hostile/download.bin")], [], badTexts.concat(["", "x".repeat(2049)]))
    }

    // Builds a reply of the given field set; missing object members are left
    // out, so "absent" is generated as well.
    function build(parts) {
        const reply = {}
        for (const key in parts) {
            if (parts[key].value !== undefined || random() < 0.5)
                reply[key] = parts[key].value
        }
        return reply
    }

    function initTestCase() {
        random = seeded(seed)
        console.log("hostile input seed:", seed)
        HIDHotplugManager.reset()
        ConfigMgr.setValue("share_data", true)
        TestServer.reset()
        TestServer.route("GET", "/hostile/download.bin", 404, "")
    }

    function cleanupTestCase() {
        // The downloads started for valid replies end with the server's 404.
        tryVerify(function() { return !MessageDialogMgr.appUpdateRunning }, 10000)
    }

    function test_tracking_id_replies() {
        let stored = 0
        for (let i = 0; i < rounds; ++i) {
            const before = ConfigMgr.getValue("trackId")
            const c = code()
            const id = field(["T-" + i, "t".repeat(256 - String(i).length) + i], [],
                             ["", "x".repeat(257), mebibyte].concat(badTexts))
            const reply = random() < 0.1 ? anything(4) : build({ code: c, data: id })
            const success = random() < 0.9 ? true : pick([false, 1, "true", undefined])
            const wellFormed = success === true && codeZero(reply) && typeof reply.data === "string"
                && reply.data.length > 0 && reply.data.length <= 256
            let called = 0
            try {
                NetworkMgr.trackIdReply(success, reply, function() { ++called })
            } catch (error) {
                fail("round " + i + " threw " + error)
            }
            if (wellFormed) {
                ++stored
                compare(ConfigMgr.getValue("trackId"), reply.data, "round " + i)
                compare(called, 1)
            } else {
                compare(ConfigMgr.getValue("trackId"), before, "round " + i + ": " + JSON.stringify(reply))
                compare(called, 0)
            }
        }
        verify(stored > rounds / 20, "valid replies: " + stored)
    }

    function test_application_update_replies() {
        let downloads = 0
        let errors = 0
        for (let i = 0; i < rounds; ++i) {
            const c = code()
            const data = field([{}], [undefined, null], badObjects)
            const wanted = flag()
            const upgradeDate = field([{}], [], badObjects)
            const url = address()
            const version = field(["2.0.1", undefined], [], ["9".repeat(257), 7, [], {}])
            if (upgradeDate.kind === "ok")
                upgradeDate.value = build({ fileUrl: url, version: version })
            if (data.kind === "ok")
                data.value = build({ upgradeFlag: wanted, upgradeDate: upgradeDate })
            const raw = random() < 0.1
            const reply = raw ? anything(4) : build({ code: c, data: data })

            const calls = []
            const options = { onError: function() { calls.push("error") },
                              onNoUpdate: function() { calls.push("noUpdate") },
                              onDownloading: function() { calls.push("downloading") } }
            const requestsBefore = NetworkManager.getNextRequestId()
            MessageDialogMgr.appUpdateRunning = true
            MessageDialogMgr.appUpdateStat = 1
            try {
                MessageDialogMgr.appUpdateReply(true, reply, options, false)
            } catch (error) {
                fail("round " + i + " threw " + error)
            }
            const started = NetworkManager.getNextRequestId() !== requestsBefore
            const present = function(part, key, holder) { return holder !== undefined && key in holder }
            // What the reply is, read from how it was built.
            let expected
            if (raw)
                expected = null // any outcome but a throw; checked below
            else if (!present(c, "code", reply) || c.kind === "bad")
                expected = "error"
            else if (c.kind === "off")
                expected = "noUpdate"
            else if (!("data" in reply) || data.kind === "off")
                expected = "noUpdate"
            else if (data.kind === "bad")
                expected = "error"
            else if (!("upgradeFlag" in data.value) || wanted.kind === "off")
                expected = "noUpdate"
            else if (wanted.kind === "bad")
                expected = "error"
            else if (!("upgradeDate" in data.value) || upgradeDate.kind === "bad")
                expected = "error"
            else if (!("fileUrl" in upgradeDate.value) || url.kind === "bad" || version.kind === "bad"
                     || ("version" in upgradeDate.value && version.kind !== "ok"))
                expected = "error"
            else
                expected = "download"

            const what = "round " + i + ": " + JSON.stringify(reply)
            if (expected === "download") {
                ++downloads
                verify(started, what)
                compare(calls, ["downloading"], what)
                compare(MessageDialogMgr.appUpdateStat, 4, what)
                // The download runs on; the next round starts afresh.
                MessageDialogMgr.appUpdateRunning = false
                continue
            }
            verify(!started, what)
            compare(MessageDialogMgr.appUpdateRunning, false, what)
            if (expected === null) {
                verify(calls.length === 1 && calls[0] !== "downloading", what + " " + calls)
                continue
            }
            errors += expected === "error" ? 1 : 0
            compare(calls, [expected], what)
            compare(MessageDialogMgr.appUpdateStat, expected === "error" ? 2 : 0, what)
        }
        verify(downloads > 20 && errors > rounds / 4, "downloads " + downloads + ", errors " + errors)
    }

    function test_firmware_replies() {
        let offers = 0
        for (let i = 0; i < rounds; ++i) {
            const c = code()
            const data = field([{}], [undefined, null], badObjects)
            const wanted = flag()
            const newVersion = field([{}], [], badObjects)
            const url = address()
            if (newVersion.kind === "ok")
                newVersion.value = build({ filePath: url })
            if (data.kind === "ok")
                data.value = build({ isUpgrade: wanted, newVersion: newVersion })
            const reply = build({ code: c, data: data })

            const calls = []
            const options = { onError: function() { calls.push("error") },
                              onNoUpdate: function() { calls.push("noUpdate") } }
            MessageDialogMgr.firmwareUpdateRunning = true
            HIDDeviceMgr.hasNewFirmware = false
            MessageDialogMgr.firmwareDownloadUrl = ""
            try {
                MessageDialogMgr.firmwareReply(true, reply, options, false)
            } catch (error) {
                fail("round " + i + " threw " + error)
            }
            let expected
            if (!("code" in reply) || c.kind !== "ok")
                expected = "error"
            else if (!("data" in reply) || data.kind === "off")
                expected = "noUpdate"
            else if (data.kind === "bad" || wanted.kind === "bad" && "isUpgrade" in data.value)
                expected = "error"
            else if (!("isUpgrade" in data.value) || wanted.kind === "off")
                expected = "noUpdate"
            else if (!("newVersion" in data.value) || newVersion.kind === "bad" || !("filePath" in newVersion.value)
                     || url.kind === "bad")
                expected = "error"
            else
                expected = "offer"

            const what = "round " + i + ": " + JSON.stringify(reply)
            compare(MessageDialogMgr.firmwareUpdateRunning, false, what)
            if (expected === "offer") {
                ++offers
                compare(calls, [], what)
                compare(HIDDeviceMgr.hasNewFirmware, true, what)
                compare(MessageDialogMgr.firmwareDownloadUrl, url.value, what)
                compare(MessageDialogMgr.firmwareUpdateStat, 3, what)
                continue
            }
            compare(calls, [expected], what)
            compare(HIDDeviceMgr.hasNewFirmware, false, what)
            compare(MessageDialogMgr.firmwareDownloadUrl, "", what)
            compare(MessageDialogMgr.firmwareUpdateStat, 0, what)
        }
        verify(offers > 20, "offers: " + offers)
    }

    function test_usage_upload_replies() {
        let accepted = 0
        const uploads = []
        function note(count, success) { uploads.push(success) }
        DataTrackerMgr.dataUploaded.connect(note)
        for (let i = 0; i < rounds; ++i) {
            const c = code()
            const reply = random() < 0.1 ? anything(4) : build({ code: c, data: { value: anything(2) } })
            const success = random() < 0.9 ? true : pick([false, 1, "true", undefined])
            const ok = success === true && codeZero(reply)
            uploads.length = 0
            try {
                // No rows: what is judged is the reply alone.
                DataTrackerMgr.uploadReply(true, success, reply, [], 50)
            } catch (error) {
                fail("round " + i + " threw " + error)
            }
            compare(uploads, [ok], "round " + i + ": " + JSON.stringify(reply))
            accepted += ok ? 1 : 0
        }
        DataTrackerMgr.dataUploaded.disconnect(note)
        compare(DataTrackerMgr.uploadStopped, false)
        verify(accepted > rounds / 4 && accepted < rounds, "accepted: " + accepted)
    }

    function test_setting_values() {
        const keys = ConfigMgr.keyNames
        for (let round = 0; round < 300; ++round) {
            for (let n = 0; n < 4; ++n) {
                const key = pick(keys)
                const value = anything(3)
                SettingsManager.setValue(key, typeof value === "string" && value.length > 4096
                                         ? value.substring(0, 4096) : value)
            }
            try {
                ConfigMgr.loadAllSettings()
                for (let k = 0; k < keys.length; ++k) {
                    const fallback = ConfigMgr.defaults[keys[k]]
                    const value = ConfigMgr.getValue(keys[k])
                    if (typeof fallback === "boolean" || typeof fallback === "string")
                        compare(typeof value, typeof fallback, keys[k])
                    else if (typeof fallback === "number")
                        verify(typeof value === "number" && isFinite(value), keys[k] + ": " + value)
                    else if (Array.isArray(fallback))
                        verify(Array.isArray(value), keys[k])
                }
            } catch (error) {
                fail("round " + round + " threw " + error)
            }
        }
        SettingsManager.clear()
        ConfigMgr.loadAllSettings()
    }

    function storedText() {
        const roll = random()
        if (roll < 0.4)
            return JSON.stringify(anything(3)) || ""
        if (roll < 0.6)
            return text(30)
        const record = { bundleIdentifier: pick(["a.exe", "b.exe", 7, null, [], "a.exe "]), name: anything(1),
                         value: random() < 0.5 ? anything(2) : [1, "2", null, 1e309, -40, "x", 3, 4, 5, 6, 7, 8, 9] }
        return JSON.stringify(record) || ""
    }

    function test_stored_records_and_equaliser_presets() {
        for (let round = 0; round < rounds; ++round) {
            const list = []
            for (let n = below(6); n > 0; --n)
                list.push(storedText())
            try {
                const identifiers = AppRecords.storedIdentifiers(list)
                verify(Array.isArray(identifiers))
                const at = AppRecords.indexOfStored(list, "a.exe")
                if (at >= 0)
                    compare(JSON.parse(list[at]).bundleIdentifier, "a.exe")
                for (let k = 0; k < list.length; ++k) {
                    const preset = EqCurve.parsePreset(list[k])
                    const values = EqCurve.presetValues(preset, function() {})
                    compare(values.length, EqCurve.bandCount)
                    for (let b = 0; b < values.length; ++b)
                        verify(typeof values[b] === "number" && values[b] >= EqCurve.minGain
                               && values[b] <= EqCurve.maxGain, list[k] + " -> " + values)
                }
            } catch (error) {
                fail("round " + round + " threw " + error)
            }
        }
    }
}
