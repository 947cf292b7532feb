import QtQuick
import QtTest
import VeloranDeckSettings
import VeloranDeckTracker
import VeloranDeckNetwork
import VeloranDeckTranslation

// Runs in one process with the other files of this folder: each file gets a
// new engine over the same native singletons.
TestCase {
    name: "NativeSingletons"

    function test_all_singletons_reachable() {
        verify(SettingsManager)
        verify(DataTrackerManager)
        verify(NetworkManager)
        verify(TranslationManager)
    }

    function test_settings_round_trip() {
        SettingsManager.setValue("device_test_value", 42)
        compare(Number(SettingsManager.getValue("device_test_value", 0)), 42)
        SettingsManager.removeValue("device_test_value")
        compare(SettingsManager.contains("device_test_value"), false)
    }

    function test_settings_live_in_a_temporary_folder() {
        // A fresh run starts without stored settings of a real user.
        compare(SettingsManager.contains("language"), false)
    }

    function test_tracker_store_is_usable() {
        const before = DataTrackerManager.countEvents()
        DataTrackerManager.storeEvent("qml", "shared", "probe", "1", "2026-01-01 00:00:00", "test", "")
        compare(DataTrackerManager.countEvents(), before + 1)
        const stored = DataTrackerManager.queryEvents(0).filter(e => e.featureItem === "shared")
        compare(stored.length, 1)
        DataTrackerManager.deleteByIds([stored[0].id])
        compare(DataTrackerManager.countEvents(), before)
    }

    function test_translation_has_a_language() {
        verify(TranslationManager.getCurrentLanguage().length > 0)
    }
}
