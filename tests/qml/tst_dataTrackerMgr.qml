import QtQuick
import QtTest
import MediaControls
import VeloranDeckSettings
import VeloranDeckTracker
import VeloranDeckHIDHotplug
import VeloranTestSupport

TestCase {
    id: testCase
    name: "DataTrackerMgr"

    readonly property string operation: "/tarvo/pc/save/operation"
    readonly property string connectTime: "/tarvo/pc/save/connectTime"
    readonly property var t40Info: ({ name: "Veloran T40", sn: "T40SN", version: "V1.05", dpid: 0x000D, pid: 28, vid: 1 })

    property var uploads: []
    property var errors: []

    Connections {
        target: DataTrackerMgr
        function onDataUploaded(count, success, response) { testCase.uploads.push([count, success, JSON.parse(response)]) }
        function onErrorOccurred(error) { testCase.errors.push(error) }
    }

    function clearStore() {
        while (DataTrackerManager.countEvents() > 0)
            DataTrackerManager.deleteByIds(DataTrackerManager.queryEvents(0).map(function(event) { return event.id }))
    }

    function init() {
        tryCompare(DataTrackerMgr, "uploadInFlight", false, 5000)
        TestServer.reset()
        HIDHotplugManager.reset()
        SettingsManager.clear()
        ConfigMgr.loadAllSettings()
        ConfigMgr.setValue("trackId", "T-7")
        NetworkMgr.setTimeout(10000)
        clearStore()
        uploads = []
        errors = []
    }

    function cleanup() {
        UsageStore.keepRows(false)
        DataTrackerMgr.uploadStopped = false
    }

    // Rows straight into the store, without the upload check.
    function fill(count, source, value) {
        const time = Qt.formatDateTime(new Date(), "yyyy-MM-dd hh:mm:ss")
        for (let i = 0; i < count; ++i)
            DataTrackerManager.storeEvent("话筒", "XLR输入", "增益", value !== undefined ? value : String(i), time,
                                          source || "software", "SN")
    }

    function connectionRecord(n) {
        return JSON.stringify({ trackId: "T-7", startTime: "2026-01-01 10:00:00", endTime: "2026-01-01 11:00:00",
                                productSn: "SN" + n, productName: "Veloran T40", duration: 3600000 })
    }

    function bodies(path) {
        return TestServer.requests().filter(function(request) { return request.path === path })
                                    .map(function(request) { return JSON.parse(request.body) })
    }

    function answer(operationReply, connectReply) {
        TestServer.route("POST", operation, 200, operationReply)
        TestServer.route("POST", connectTime, 200, connectReply !== undefined ? connectReply : { code: 0 })
    }

    function test_nothing_is_kept_without_sharing() {
        answer({ code: 0 })
        ConfigMgr.setValue("share_data", false)
        fill(49)
        DataTrackerMgr.storeEventNow("话筒", "XLR输入", "静音", true, "software")
        DataTrackerMgr.trackError("crash", "boom", "Mixer", "SN")
        HIDHotplugManager.deviceInfo = t40Info
        HIDHotplugManager.deviceConnected(t40Info, true)
        HIDHotplugManager.deviceConnected(t40Info, false)
        HIDHotplugManager.messageReceived(1, [1])
        wait(200)
        compare(DataTrackerMgr.countEvents(), 49)
        compare(TestServer.requests().length, 0)
    }

    function test_batches_of_fifty_data() {
        return [
            { tag: "49th sends nothing", before: 48, requests: 0, left: 49 },
            { tag: "50th sends the batch", before: 49, requests: 1, left: 0 },
            { tag: "batches follow until fewer than 50", before: 119, requests: 2, left: 20 }
        ]
    }

    function test_batches_of_fifty(data) {
        answer({ code: 0 })
        fill(data.before)
        DataTrackerMgr.storeEventNow("话筒", "XLR输入", "静音", true, "software")
        tryVerify(function() { return DataTrackerMgr.countEvents() === data.left }, 5000)
        wait(200)
        compare(TestServer.requestCount(operation), data.requests)
        compare(DataTrackerMgr.countEvents(), data.left)
        compare(TestServer.requestCount(connectTime), 0)
        if (data.requests > 0) {
            const first = bodies(operation)[0]
            compare(first.length, 50)
            compare([first[0].eventType, first[0].eventValue, first[0].source, first[0].trackId],
                    ["静音", "true", "software", "T-7"])
            compare(uploads[0].slice(0, 2), [50, true])
        }
    }

    function test_connection_records_travel_apart_data() {
        return [
            { tag: "both accepted", connections: 3, usage: 47, connectReply: { code: 0 }, left: 0 },
            { tag: "connectTime refused", connections: 3, usage: 47, connectReply: { code: 1 }, left: 3 },
            { tag: "only connection records", connections: 50, usage: 0, connectReply: { code: 0 }, left: 0 },
            { tag: "damaged records", connections: 0, damaged: 1, usage: 48, left: 0 }
        ]
    }

    function test_connection_records_travel_apart(data) {
        answer({ code: 0 }, data.connectReply)
        fill(data.usage)
        for (let i = 0; i < data.connections - 1; ++i)
            fill(1, "connected", connectionRecord(i))
        if (data.damaged)
            fill(1, "connected", "{not json")
        // The 50th row comes through the facade, which checks for an upload.
        if (data.connections > 0)
            DataTrackerMgr.storeEvent("", "", "", connectionRecord(99), "2026-01-01 11:00:00", "connected", "SN")
        else
            DataTrackerMgr.storeEvent("", "", "", "{damaged", "2026-01-01 11:00:00", "connected", "SN")
        tryVerify(function() { return TestServer.requestCount(operation) === 1 }, 5000)
        tryCompare(DataTrackerMgr, "uploadInFlight", false, 5000)
        wait(100)

        const usage = bodies(operation)[0]
        compare(usage.length, data.usage)
        verify(usage.every(function(record) { return record.trackId === "T-7" && record.source !== "connected" }))
        const connections = bodies(connectTime)
        compare(connections.length, data.connections > 0 ? 1 : 0)
        if (data.connections > 0) {
            compare(connections[0].length, data.connections)
            compare(connections[0][0].productName, "Veloran T40")
            compare(connections[0][0].duration, 3600000)
        }
        compare(DataTrackerMgr.countEvents(), data.left)
        if (data.left > 0)
            verify(DataTrackerMgr.queryEvents(0).every(function(event) { return event.source === "connected" }))
    }

    function test_refused_or_lost_upload_keeps_the_rows_data() {
        return [
            { tag: "code 1", route: [200, { code: 1 }], signalled: true },
            { tag: "connection dropped", route: [200, { code: 0 }, { closeAbruptly: true }], signalled: false }
        ]
    }

    function test_refused_or_lost_upload_keeps_the_rows(data) {
        TestServer.route("POST", operation, data.route[0], data.route[1], data.route[2])
        fill(49)
        DataTrackerMgr.storeEventNow("话筒", "XLR输入", "静音", false, "software")
        tryVerify(function() { return TestServer.requestCount(operation) >= 1 }, 5000)
        tryCompare(DataTrackerMgr, "uploadInFlight", false, 5000)
        wait(100)
        compare(DataTrackerMgr.countEvents(), 50)
        if (data.signalled) {
            compare(TestServer.requestCount(operation), 1)
            compare(uploads.length, 1)
            compare([uploads[0][0], uploads[0][1], uploads[0][2].code], [50, false, 1])
            compare(errors.length, 1)
            verify(errors[0].startsWith("Failed to upload tracking data: "))
            compare(JSON.parse(errors[0].substring("Failed to upload tracking data: ".length)).code, 1)
        } else {
            compare(uploads, [])
            compare(errors, [])
        }
    }

    // A batch the server took but the store deleted only in part is not
    // followed by another: each would send the rows still there again.
    function test_partly_deleted_batch_is_not_sent_again() {
        answer({ code: 0 })
        verify(UsageStore.keepRows(true))
        fill(98)
        fill(1, "software", "kept") // among the newest, which go first
        DataTrackerMgr.storeEventNow("话筒", "XLR输入", "静音", true, "software")
        tryCompare(DataTrackerMgr, "uploadInFlight", false, 5000)
        compare(DataTrackerMgr.countEvents(), 51)
        // Enough rows for a batch, were the upload still going.
        DataTrackerMgr.storeEventNow("话筒", "XLR输入", "静音", true, "software")
        tryCompare(DataTrackerMgr, "uploadInFlight", false, 5000)
        const sent = [].concat.apply([], bodies(operation))
        compare(sent.filter(function(record) { return record.eventValue === "kept" }).length, 1)
        compare(TestServer.requestCount(operation), 1)
        compare(DataTrackerMgr.countEvents(), 52)
    }

    function test_one_batch_at_a_time() {
        TestServer.route("POST", operation, 200, { code: 0 }, { stall: true })
        NetworkMgr.setTimeout(500)
        fill(49)
        DataTrackerMgr.storeEventNow("话筒", "XLR输入", "静音", true, "software")
        tryVerify(function() { return TestServer.requestCount(operation) === 1 }, 5000)
        for (let i = 0; i < 10; ++i)
            DataTrackerMgr.storeEventNow("话筒", "XLR输入", "静音", true, "software")
        verify(DataTrackerMgr.uploadInFlight)
        tryCompare(DataTrackerMgr, "uploadInFlight", false, 5000)   // the time-out ends the batch
        compare(TestServer.requestCount(operation), 1)
        compare(DataTrackerMgr.countEvents(), 60)

        TestServer.route("POST", operation, 200, { code: 0 })
        DataTrackerMgr.storeEventNow("话筒", "XLR输入", "静音", true, "software")
        tryVerify(function() { return DataTrackerMgr.countEvents() === 11 }, 5000)
        compare(TestServer.requestCount(operation), 2)
    }

    function test_error_events_and_times() {
        DataTrackerMgr.trackError("crash", "boom", "", "")
        DataTrackerMgr.storeEventNow("灯光", "其他", "亮度", 50, "software")
        const events = DataTrackerMgr.queryEvents(0)
        const error = events.filter(function(event) { return event.source === "System" })[0]
        compare([error.featureModule, error.featureItem, error.eventType, error.eventValue, error.productSn],
                ["Error", "Unknown", "crash", "boom", "default"])
        const stored = events.filter(function(event) { return event.source === "software" })[0]
        compare([stored.eventValue, stored.productSn], ["50", "N/A"])
        // 24-hour clock: the hour field is the hour of the day, 0..23.
        const match = /^\d{4}-\d\d-\d\d (\d\d):\d\d:\d\d$/.exec(stored.eventTime)
        verify(match, stored.eventTime)
        const hour = new Date().getHours()
        verify(Number(match[1]) === hour || Number(match[1]) === (hour + 23) % 24, stored.eventTime)
    }
}
