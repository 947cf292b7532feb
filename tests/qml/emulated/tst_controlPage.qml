import QtQuick

ControlPageCase {
    function test_control_page() {
        checkTabsAndMonitorVolume(enter())
    }
}
