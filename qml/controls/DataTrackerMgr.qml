pragma Singleton
import QtQuick
import VeloranDeckTracker
import "ServerReply.js" as ServerReply

// Usage events: stored with time and serial number while the user shares
// data, uploaded 50 at a time, deleted once the server took them.
QtObject {
    id: dataTrackerMgr

    readonly property int batchSize: 50
    // One batch at a time: set while a batch's replies are outstanding.
    property bool uploadInFlight: false
    // Set for the rest of the run once an accepted batch could not be
    // deleted: sending it again would repeat it forever. Its rows stay for a
    // later run.
    property bool uploadStopped: false
    // The store's state as it opened ("ready", "recovered", "unavailable"),
    // before this manager could listen to it.
    readonly property string storeState: DataTrackerManager.storeState

    signal errorOccurred(string error)
    signal dataUploaded(int count, bool success, string response)

    Component.onCompleted: {
        console.log("DataTrackerManager QML wrapper initialized")
        DataTrackerManager.errorOccurred.connect(errorOccurred)
        if (storeState !== "ready")
            console.warn("Usage event store state:", storeState)
    }

    Component.onDestruction: {
        if (countEvents() > 0)
            uploadPendingData()
    }

    function text(value) {
        return value === undefined || value === null ? "" : String(value)
    }

    function storeEventNow(featureModule, featureItem, eventType, eventValue, source) {
        if (ConfigMgr.getValue("share_data") == false)
            return
        storeEvent(featureModule, featureItem, eventType, text(eventValue),
                   Qt.formatDateTime(new Date(), "yyyy-MM-dd hh:mm:ss"), source, HIDDeviceMgr.getDeviceSN())
    }

    function storeEvent(featureModule, featureItem, eventType, eventValue, eventTime, source, productSn) {
        DataTrackerManager.storeEvent(featureModule, featureItem, eventType, eventValue, eventTime, source, productSn)
        uploadPendingData()
    }

    function queryEvents(offset) { return DataTrackerManager.queryEvents(offset || 0) }
    function countEvents() { return DataTrackerManager.countEvents() }
    function deleteByIds(ids) { return DataTrackerManager.deleteByIds(ids) }

    function getPageEvents(page, pageSize) {
        return queryEvents((page || 0) * (pageSize || batchSize))
    }

    function getTotalPages(pageSize) {
        return Math.ceil(countEvents() / (pageSize || batchSize))
    }

    function trackError(errorType, errorMessage, component, productSn) {
        if (ConfigMgr.getValue("share_data") == false)
            return
        storeEvent("Error", component || "Unknown", text(errorType), text(errorMessage),
                   Qt.formatDateTime(new Date(), "yyyy-MM-dd hh:mm:ss"), "System", productSn || "default")
    }

    function uploadPendingData() {
        if (uploadStopped)
            return
        const total = countEvents()
        console.log("Checking for data to upload, current count:", total)
        if (total >= batchSize) {
            console.log("Uploading batch of 50 records")
            uploadDataBatch()
        }
    }

    function accepted(success, response) {
        return ServerReply.status(success, response) === "ok"
    }

    // Handles the server's answer to one list of a batch; true when its rows
    // went. Rows the store keeps after the server took them end the upload
    // for this run.
    function uploadReply(usageList, success, response, ids, batchLength) {
        const reply = ServerReply.logText(response)
        console.log("Upload result:", success, reply)
        let deleted = false
        if (accepted(success, response)) {
            if (usageList)
                console.log("Upload successful, deleting", ids.length, "local records")
            const count = ids.length > 0 ? deleteByIds(ids) : 0
            deleted = count === ids.length && count > 0
            if (count !== ids.length && !uploadStopped) {
                uploadStopped = true
                console.warn("Uploaded events could not be deleted; uploading stops for this run:", count, "of",
                             ids.length)
            }
            if (usageList)
                dataUploaded(batchLength, true, reply)
        } else if (usageList) {
            console.log("Upload failed, keeping local records")
            dataUploaded(batchLength, false, reply)
            errorOccurred("Failed to upload tracking data: " + reply)
        }
        return deleted
    }

    function uploadDataBatch() {
        if (uploadInFlight) {
            console.log("Upload already in progress, batch waits")
            return
        }
        const events = queryEvents(0)
        if (!events || events.length === 0) {
            console.log("No events to upload")
            return
        }
        const batch = Array.prototype.slice.call(events, 0, batchSize)
        console.log("Uploading", batch.length, "events to server")
        const trackId = ConfigMgr.getValue("trackId")

        // Each list's rows go when the server took that list; a damaged
        // connection row goes with the usage rows.
        const connections = []
        const connectionIds = []
        const usage = []
        const usageIds = []
        for (let i = 0; i < batch.length; ++i) {
            const event = batch[i]
            if (event.source == "connected") {
                try {
                    connections.push(JSON.parse(event.eventValue))
                    connectionIds.push(event.id)
                    continue
                } catch (error) {
                    console.warn("Damaged connection record left out:", event.id, event.eventValue)
                    usageIds.push(event.id)
                    continue
                }
            }
            const record = {}
            for (const field in event)
                record[field] = event[field]
            record.trackId = trackId
            usage.push(record)
            usageIds.push(event.id)
        }

        uploadInFlight = true
        let outstanding = connections.length > 0 ? 2 : 1
        let deletedAny = false
        function settle() {
            if (--outstanding > 0)
                return
            uploadInFlight = false
            // Only a batch that removed rows may start the next one, so a
            // list the server keeps refusing is not sent again and again.
            if (deletedAny)
                uploadPendingData()
        }
        function lost() { settle() }

        if (connections.length > 0) {
            NetworkMgr.disconnectDevice(connections, function(success, response) {
                deletedAny = uploadReply(false, success, response, connectionIds, batch.length) || deletedAny
                settle()
            }, lost)
        }
        NetworkMgr.trackData(usage, function(success, response) {
            deletedAny = uploadReply(true, success, response, usageIds, batch.length) || deletedAny
            settle()
        }, lost)
    }
}
