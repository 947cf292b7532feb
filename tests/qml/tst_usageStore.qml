import QtQuick
import QtTest
import MediaControls
import VeloranDeckSettings
import VeloranDeckTracker
import VeloranTestSupport

// The usage store at the program's edges: a damaged database found at start,
// and a store that can no longer delete what the server took.
TestCase {
    id: testCase
    name: "UsageStore"

    readonly property string operation: "/tarvo/pc/save/operation"

    function initTestCase() {
        LogSpy.start()
        // Before anything opens the store: a file SQLite cannot read.
        verify(UsageStore.replaceFile("not a database ".repeat(300)))
        SettingsManager.clear()
        ConfigMgr.loadAllSettings()
        ConfigMgr.setValue("trackId", "T-7")
    }

    function fill(count) {
        const time = Qt.formatDateTime(new Date(), "yyyy-MM-dd hh:mm:ss")
        for (let i = 0; i < count; ++i)
            DataTrackerManager.storeEvent("话筒", "XLR输入", "增益", String(i), time, "software", "SN")
    }

    function test_1_damaged_database_is_set_aside_and_reported() {
        compare(DataTrackerMgr.storeState, "recovered")
        compare(UsageStore.setAside().length, 1)
        fill(3)
        compare(DataTrackerMgr.countEvents(), 3)
        DataTrackerMgr.deleteByIds(DataTrackerMgr.queryEvents(0).map(function(event) { return event.id }))
        compare(DataTrackerMgr.countEvents(), 0)
    }

    function test_2_accepted_rows_that_stay_end_the_upload_for_this_run() {
        TestServer.reset()
        TestServer.route("POST", operation, 200, { code: 0 })

        // Healthy: one upload of the stored rows, which are then gone.
        fill(49)
        DataTrackerMgr.storeEventNow("话筒", "XLR输入", "静音", true, "software")
        tryVerify(function() { return DataTrackerMgr.countEvents() === 0 }, 5000)
        wait(200)
        compare(TestServer.requestCount(operation), 1)

        // Read-only: the server takes the batch, the rows cannot go.
        fill(50)
        verify(UsageStore.setReadOnly(true))
        LogSpy.clear()
        DataTrackerMgr.storeEventNow("话筒", "XLR输入", "静音", true, "software")
        wait(10000)
        compare(TestServer.requestCount(operation), 2)
        compare(LogSpy.count("uploading stops for this run"), 1)
        compare(LogSpy.count("Event stored"), 0)
        compare(DataTrackerMgr.countEvents(), 50)
        compare(DataTrackerMgr.uploadInFlight, false)

        // Later events do not start it again in this run.
        DataTrackerMgr.storeEventNow("话筒", "XLR输入", "静音", false, "software")
        wait(300)
        compare(TestServer.requestCount(operation), 2)
        verify(UsageStore.setReadOnly(false))
    }
}
