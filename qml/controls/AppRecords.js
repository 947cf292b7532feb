.pragma library

// Mixer strip records as the application pickers make them from the
// bridge's running list, and the identities already on a strip.

// Fields the item lacks stay undefined (applications have no isInput,
// inputs no iconFilePath); the mixer page numbers its inputs itself.
function mixerRecord(item) {
    return {
        name: item.name,
        iconFilePath: item.iconFilePath,
        bundleIdentifier: item.bundleIdentifier,
        processIdentifier: item.processIdentifier,
        isInput: item.isInput,
        streamID: 0
    }
}

function mixerRecords(items) {
    const records = []
    for (let i = 0; items && i < items.length; ++i)
        records.push(mixerRecord(items[i]))
    return records
}

// A stored text that is not a JSON object (a hand-edited or damaged
// settings file) gives null: it matches no record.
function parseObject(text) {
    try {
        const value = JSON.parse(text)
        return value !== null && typeof value === "object" && !Array.isArray(value) ? value : null
    } catch (error) {
        return null
    }
}

function storedIdentifiers(appList) {
    const identifiers = []
    for (let i = 0; appList && i < appList.length; ++i) {
        const record = parseObject(appList[i])
        if (record !== null)
            identifiers.push(record.bundleIdentifier)
    }
    return identifiers
}

function indexOfStored(appList, bundleIdentifier) {
    for (let i = 0; appList && i < appList.length; ++i) {
        const record = parseObject(appList[i])
        if (record !== null && record.bundleIdentifier === bundleIdentifier)
            return i
    }
    return -1
}
