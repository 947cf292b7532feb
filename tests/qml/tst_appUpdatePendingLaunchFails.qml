import QtQuick

// The waiting installer does not start: the program asks the server instead.
AppUpdatePendingCase {
    name: "AppUpdatePendingLaunchFails"
    launches: false
}
