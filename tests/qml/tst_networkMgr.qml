import QtQuick
import QtTest
import MediaControls
import VeloranDeckSettings
import VeloranDeckNetwork
import VeloranDeckSystemBridge
import VeloranDeckHIDHotplug
import VeloranTestSupport

TestCase {
    id: testCase
    name: "NetworkMgr"

    readonly property var t40Info: ({ name: "Veloran T40", sn: "T40SN", version: "V1.05", dpid: 0x000D, pid: 28, vid: 1 })

    function init() {
        TestServer.reset()
        SystemBridge.reset()
        HIDHotplugManager.reset()
        SettingsManager.setDeviceScope("")
        SettingsManager.clear()
        HIDDeviceMgr.deviceInfo = {}
        HIDDeviceMgr.deviceReady = false
        ConfigMgr.loadAllSettings()
        NetworkMgr.setTimeout(10000)
    }

    function requestsTo(path) {
        return TestServer.requests().filter(function(request) { return request.path === path })
    }

    function waitForRequests(path, count) {
        tryVerify(function() { return TestServer.requestCount(path) >= count }, 5000, path)
    }

    function test_requests_carry_the_default_headers() {
        TestServer.route("POST", "/tarvo/pc/update/software", 200, { code: 0 })
        NetworkMgr.checkUpdateApp()
        waitForRequests("/tarvo/pc/update/software", 1)
        const headers = requestsTo("/tarvo/pc/update/software")[0].headers
        compare(headers["user-agent"], "VeloranDeck/1.2.0")
        compare(headers["token"], "token")
        compare(headers["accesskey"], "accessKey")
        compare(headers["content-type"], "application/json")
    }

    function test_parseUrl() {
        compare(NetworkMgr.base_url, TestServer.url(""))
        compare(NetworkMgr.parseUrl("/tarvo/pc/track"), TestServer.url("/tarvo/pc/track"))
        compare(NetworkMgr.parseUrl("https://files.veloran.invalid/a.bin"), "https://files.veloran.invalid/a.bin")
        compare(NetworkMgr.parseUrl("http://127.0.0.1:9/a.bin"), "http://127.0.0.1:9/a.bin")
    }

    function test_track_id_data() {
        return [
            { tag: "code 0", reply: { code: 0, data: "T-42" }, stored: "T-42", calls: 1 },
            { tag: "code as text", reply: { code: "0", data: "T-43" }, stored: "T-43", calls: 1 },
            { tag: "code 500", reply: { code: 500, data: "T-44" }, stored: "trackId", calls: 0 },
            { tag: "data object", reply: { code: 0, data: {} }, stored: "trackId", calls: 0 },
            { tag: "empty data", reply: { code: 0, data: "" }, stored: "trackId", calls: 0 },
            { tag: "code empty text", reply: { code: "", data: "T-45" }, stored: "trackId", calls: 0 },
            { tag: "code a blank", reply: { code: " ", data: "T-45" }, stored: "trackId", calls: 0 },
            { tag: "code a list", reply: { code: [], data: "T-45" }, stored: "trackId", calls: 0 },
            { tag: "code false", reply: { code: false, data: "T-45" }, stored: "trackId", calls: 0 },
            { tag: "id of 1 MiB", reply: { code: 0, data: "x".repeat(1048576) }, stored: "trackId", calls: 0 },
            { tag: "id of 257", reply: { code: 0, data: "x".repeat(257) }, stored: "trackId", calls: 0 },
            { tag: "id of 256", reply: { code: 0, data: "x".repeat(256) }, stored: "x".repeat(256), calls: 1 },
            { tag: "id a number", reply: { code: 0, data: 42 }, stored: "trackId", calls: 0 },
            { tag: "already stored", before: "T-1", stored: "T-1", calls: 1, requests: 0 }
        ]
    }

    function test_track_id(data) {
        if (data.before)
            ConfigMgr.setValue("trackId", data.before)
        TestServer.route("GET", "/tarvo/pc/get/trackId", 200, data.reply)
        let calls = 0
        NetworkMgr.getTrackId(function() { ++calls })
        if (data.requests === 0) {
            compare(calls, 1)                       // at once, without a request
        } else {
            waitForRequests("/tarvo/pc/get/trackId", 1)
            tryVerify(function() { return calls === data.calls }, 2000)
        }
        wait(100)
        compare(calls, data.calls)
        compare(TestServer.requestCount("/tarvo/pc/get/trackId"), data.requests === 0 ? 0 : 1)
        compare(ConfigMgr.getValue("trackId"), data.stored)
    }

    function test_sharing_gates_only_the_tracking_calls_data() {
        return [
            { tag: "sharing off, no device", share: false },
            { tag: "sharing off, T40", share: false, device: true },
            { tag: "sharing on", share: true }
        ]
    }

    function test_sharing_gates_only_the_tracking_calls(data) {
        const routes = ["/tarvo/pc/track", "/tarvo/pc/save/connect", "/tarvo/pc/update/software", "/tarvo/pc/getFirmware"]
        for (let i = 0; i < routes.length; ++i)
            TestServer.route("POST", routes[i], 200, { code: 0 })
        ConfigMgr.setValue("share_data", data.share)
        ConfigMgr.setValue("trackId", "T-9")
        if (data.device) {
            HIDHotplugManager.deviceInfo = t40Info
            HIDHotplugManager.deviceConnected(t40Info, true)
        }
        NetworkMgr.startApp()
        NetworkMgr.connectDevice()
        NetworkMgr.checkUpdateApp()
        NetworkMgr.checkUpdateFirmware()
        waitForRequests("/tarvo/pc/getFirmware", 1)
        waitForRequests("/tarvo/pc/update/software", 1)
        wait(200)
        compare(TestServer.requestCount("/tarvo/pc/track"), data.share ? 1 : 0)
        compare(TestServer.requestCount("/tarvo/pc/save/connect"), data.share ? 1 : 0)

        compare(JSON.parse(requestsTo("/tarvo/pc/update/software")[0].body),
                { clientType: "2", currentVersion: "1.2.0", softwareName: "VeloranDeck" })
        const na = "N/A"
        compare(JSON.parse(requestsTo("/tarvo/pc/getFirmware")[0].body), data.device
                ? { firmwareVersion: "V1.05", productPid: "28", productSn: "T40SN", productVid: "1" }
                : { firmwareVersion: na, productPid: na, productSn: na, productVid: na })
        if (data.share) {
            const track = JSON.parse(requestsTo("/tarvo/pc/track")[0].body)
            compare([track.trackId, track.softwareVersion, track.system, track.osVersion],
                    ["T-9", "1.2.0", "Test OS 1", "6.1.0"])
            verify(/^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d$/.test(track.startTime), track.startTime)
            const connect = JSON.parse(requestsTo("/tarvo/pc/save/connect")[0].body)
            compare([connect.trackId, connect.productSn, connect.productName], ["T-9", na, na])
        }
    }

    // Replies that arrive in one turn each reach their own callback call.
    function test_two_replies_in_one_turn_call_back_twice() {
        TestServer.route("GET", "/slow", 200, { code: 0 }, { stall: true })
        const got = []
        function callback(success, response) { got.push(response.code) }
        NetworkMgr.get("/slow", callback)
        NetworkMgr.get("/slow", callback)
        const ids = Object.keys(NetworkMgr.callbackMap).map(Number)
        compare(ids.length, 2)
        NetworkManager.requestCompleted(ids[0], true, { code: 1 })
        NetworkManager.requestCompleted(ids[1], true, { code: 2 })
        compare(got, [])                            // never inside the manager's signal
        tryVerify(function() { return got.length === 2 }, 1000)
        compare(got, [1, 2])
        compare(Object.keys(NetworkMgr.callbackMap).length, 0)
    }

    function readFile(path) {
        const request = new XMLHttpRequest()
        request.open("GET", "file://" + path, false)
        request.send()
        return request.responseText
    }

    // The client reports progress at most every 100 ms, hence the pauses.
    function test_chunked_download_reports_progress_and_writes_the_file() {
        const piece = "0123456789abcdef"
        let body = ""
        for (let i = 0; i < 16384; ++i)
            body += piece
        TestServer.route("GET", "/files/app_setup.exe", 200, body,
                         { contentType: "application/octet-stream", chunkBytes: 32768, chunkPauseMs: 60 })
        const progress = []
        let done = 0
        let failed = 0
        const path = NetworkMgr.downloadFile("/files/app_setup.exe",
                                             function(success) { if (success) ++done },
                                             function(received, total) { progress.push([received, total]) },
                                             function() { ++failed })
        tryVerify(function() { return done === 1 }, 5000)
        compare(failed, 0)
        verify(progress.length > 2, "progress reports: " + progress.length)
        for (let i = 1; i < progress.length; ++i)
            verify(progress[i][0] >= progress[i - 1][0])
        compare(progress[progress.length - 1], [262144, 262144])
        compare(readFile(path), body)
    }

    function test_download_file_names_data() {
        return [
            { tag: "exe", url: "/d/app_setup.exe", extension: ".exe", kind: "installer" },
            { tag: "no dot", url: "/d/firmware", extension: "" },
            { tag: "query", url: "/d/setup.exe?v=2", extension: ".exe" },
            { tag: "fragment", url: "/d/setup.bin#x", extension: ".bin" },
            { tag: "odd extension", url: "/d/pkg.a-b", extension: "" },
            { tag: "dot in folder", url: "/d.v2/setup", extension: "" },
            { tag: "traversal", url: "/d/x.exe?name=../../evil.sh", extension: ".exe" }
        ]
    }

    function test_download_file_names(data) {
        TestServer.route("GET", "/d/app_setup.exe", 404, "")
        const before = Date.now()
        const path = NetworkMgr.downloadFile(data.url, null, null, null, data.kind)
        const prefix = NetworkMgr.downloadFolder() + (data.kind === "installer" ? "/update_install_" : "/firmware_")
        verify(path.startsWith(prefix), path)
        const stamp = path.substring(prefix.length, path.length - data.extension.length)
        verify(/^\d+$/.test(stamp), path)
        verify(Number(stamp) >= before && Number(stamp) <= Date.now(), path)
        compare(path.substring(prefix.length + stamp.length), data.extension)
    }

    // Plain http only from the configured server's host, and the refusal
    // reaches the error callback although it is decided before sending.
    function test_download_from_elsewhere_is_refused_unsent() {
        const errors = []
        const address = "http://127.0.0.2:" + TestServer.url("").split(":")[2] + "/files/elsewhere.exe"
        NetworkMgr.downloadFile(address, null, null, function(code, text) { errors.push([code, text]) },
                                "installer")
        tryVerify(function() { return errors.length > 0 }, 2000)
        wait(100)
        compare(errors, [[-1, "Download address refused: " + address]])
        compare(TestServer.requestCount("/files/elsewhere.exe"), 0)
    }

    function test_refused_download_calls_error_once() {
        const errors = []
        let done = 0
        NetworkMgr.downloadFile(TestServer.closedPortUrl() + "/app_setup.exe", function() { ++done }, null,
                                function(code, text) { errors.push([code, text]) })
        tryVerify(function() { return errors.length > 0 }, 5000)
        wait(200)
        compare(errors.length, 1)
        compare(errors[0][0], 1)                    // ConnectionRefusedError
        compare(done, 0)
    }
}
