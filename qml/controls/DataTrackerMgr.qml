pragma Singleton
import QtQuick
import VeloranDeckTracker

// Usage events: stored with time and serial number while the user shares
// data, uploaded 50 at a time, deleted once the server took them.
QtObject {
    id: dataTrackerMgr

    readonly property int batchSize: 50
    // One batch at a time: set while a batch's replies are outstanding.
    property bool uploadInFlight: false

    signal errorOccurred(string error)
    signal dataUploaded(int count, bool success, string response)

    Component.onCompleted: {
        console.log("DataTrackerManager QML wrapper initialized")
        DataTrackerManager.errorOccurred.connect(errorOccurred)
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
    function deleteByIds(ids) { DataTrackerManager.deleteByIds(ids) }

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
        const total = countEvents()
        console.log("Checking for data to upload, current count:", total)
        if (total >= batchSize) {
            console.log("Uploading batch of 50 records")
            uploadDataBatch()
        }
    }

    function accepted(success, response) {
        return success === true && response !== undefined && response !== null && response.code == 0
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
                console.log("Upload result:", success, JSON.stringify(response))
                if (accepted(success, response)) {
                    deleteByIds(connectionIds)
                    deletedAny = true
                }
                settle()
            }, lost)
        }
        NetworkMgr.trackData(usage, function(success, response) {
            console.log("Upload result:", success, JSON.stringify(response))
            const reply = JSON.stringify(response)
            if (accepted(success, response)) {
                console.log("Upload successful, deleting", usageIds.length, "local records")
                deleteByIds(usageIds)
                deletedAny = deletedAny || usageIds.length > 0
                dataUploaded(batch.length, true, reply)
            } else {
                console.log("Upload failed, keeping local records")
                dataUploaded(batch.length, false, reply)
                errorOccurred("Failed to upload tracking data: " + reply)
            }
            settle()
        }, lost)
    }
}
