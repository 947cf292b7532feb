import QtQuick

// The waiting installer starts: the program leaves the update to it.
AppUpdatePendingCase {
    name: "AppUpdatePendingLaunches"
    launches: true
}
