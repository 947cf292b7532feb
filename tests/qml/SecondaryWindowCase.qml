import QtQuick
import QtTest
import VeloranDeckTranslation

// A secondary window of the program, made hidden as the program makes it and
// shown by the test; every test ends in Chinese.
TestCase {
    id: testCase
    when: windowShown

    // The window under test.
    required property Component windowComponent

    function cleanup() {
        TranslationManager.setLanguage("zh_CN")
    }

    function named(window, name) {
        const found = findChild(window.contentItem, name)
        verify(found, name)
        return found
    }

    function made() {
        const window = createTemporaryObject(windowComponent, testCase)
        verify(window)
        verify(!window.visible)
        return window
    }

    function shown() {
        const window = made()
        window.visible = true
        tryCompare(window, "opacity", 1)
        return window
    }
}
