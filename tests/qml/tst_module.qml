import QtQuick
import QtTest
import MediaControls

TestCase {
    id: testCase
    name: "Module"

    // The module's full type list, in order; singletons marked.
    readonly property var moduleTypes: [
        "CustomSlider", "CustomButton", "CustomRadioButton", "TvButton", "CustomButtonRect",
        "CustomCheckBox", "CustomStatBox", "BwButton", "SwitchBox", "CustomText", "CustomComboBox",
        "CustomComAppBox", "CustomComAppBox2", "CustomComAppPlus", "CustomProgress",
        "CustomColorSelect", "CustomMultColorSelect", "CustomCycColorSelect",
        "AudioChannelIndicator", "AudioChannelIndicatorSingle", "AudioLevelIndicator", "ColorPicker",
        "ConfigMgr", "DataTrackerMgr", "NetworkMgr", "MessageDialog", "MessageDialogMgr",
        "HIDDeviceMgr", "MessageBus", "MessageListener", "Colors"
    ]
    readonly property var singletonTypes: [
        "ConfigMgr", "DataTrackerMgr", "NetworkMgr", "MessageDialogMgr", "HIDDeviceMgr", "MessageBus", "Colors"
    ]

    function readQmldir() {
        const request = new XMLHttpRequest()
        request.open("GET", "qrc:/qt/qml/MediaControls/qmldir", false)
        request.send()
        return request.responseText
    }

    function qmldirLines() {
        return readQmldir().split("\n").map(function(line) { return line.trim() })
                                       .filter(function(line) { return line.length > 0 })
    }

    // Type lines, as {name, singleton}, in file order.
    function registeredTypes() {
        const types = []
        const lines = qmldirLines()
        // Helpers that only the module's own files use are marked internal
        // (Qt 6.4 also writes a versioned line for them): no types of it.
        const internal = lines.filter(function(line) { return line.startsWith("internal ") })
                              .map(function(line) { return line.split(/\s+/)[1] })
        for (let i = 0; i < lines.length; ++i) {
            const words = lines[i].split(/\s+/)
            if (words[0] === "internal" || internal.indexOf(words[0]) >= 0)
                continue
            if (words[0] === "singleton" && words.length === 4) {
                compare(words[2], "1.0")
                compare(words[3], words[1] + ".qml")
                types.push({ name: words[1], singleton: true })
            } else if (words.length === 3 && words[2].endsWith(".qml")) {
                compare(words[1], "1.0")
                compare(words[2], words[0] + ".qml")
                types.push({ name: words[0], singleton: false })
            }
        }
        return types
    }

    function test_module_lines_data() {
        return [
            { tag: "module", line: "module MediaControls" },
            { tag: "linktarget", line: "linktarget MediaControlsplugin" },
            { tag: "plugin", line: "optional plugin MediaControlsplugin" },
            { tag: "classname", line: "classname MediaControlsPlugin" },
            { tag: "typeinfo", line: "typeinfo MediaControls.qmltypes" },
            { tag: "prefer", line: "prefer :/qt/qml/MediaControls/" },
            { tag: "depends", line: "depends QtQuick" }
        ]
    }

    function test_module_lines(data) {
        verify(qmldirLines().indexOf(data.line) >= 0, "qmldir lacks: " + data.line)
    }

    function test_registered_types_follow_the_module_list() {
        const types = registeredTypes()
        compare(types.length, moduleTypes.length)
        let previous = -1
        for (let i = 0; i < types.length; ++i) {
            const at = moduleTypes.indexOf(types[i].name)
            verify(at >= 0, "unknown type " + types[i].name)
            verify(at > previous, types[i].name + " out of order")
            previous = at
            compare(types[i].singleton, singletonTypes.indexOf(types[i].name) >= 0, types[i].name)
        }
    }

    // The managers that the pages reach by name.
    function test_managers_are_registered_data() {
        return ["ConfigMgr", "DataTrackerMgr", "NetworkMgr", "MessageDialog", "MessageDialogMgr", "HIDDeviceMgr", "MessageBus"].map(function(name) {
            return { tag: name, name: name }
        })
    }

    function test_managers_are_registered(data) {
        const types = registeredTypes().filter(function(type) { return type.name === data.name })
        compare(types.length, 1)
        compare(types[0].singleton, singletonTypes.indexOf(data.name) >= 0)
    }

    function test_every_registered_type_can_be_created() {
        const types = registeredTypes()
        for (let i = 0; i < types.length; ++i) {
            const name = types[i].name
            if (types[i].singleton) {
                const instance = Qt.createQmlObject(
                    "import QtQuick; import MediaControls; QtObject { property var it: " + name + " }",
                    testCase, "singleton_" + name)
                verify(instance.it, name)
                instance.destroy()
            } else {
                const object = Qt.createQmlObject("import MediaControls; " + name + " {}", testCase, "type_" + name)
                verify(object, name)
                object.destroy()
            }
        }
    }

    function test_icons_are_resources_data() {
        return ["select", "info", "down", "right2", "stat1", "stat2", "stat3", "stat4", "minplus", "flush",
                "edit", "plus", "del", "audio", "tarvologo", "plus2"].map(function(icon) {
            return { tag: icon, url: "qrc:/qt/qml/MediaControls/icons/" + icon + ".svg" }
        })
    }

    function test_icons_are_resources(data) {
        const image = Qt.createQmlObject("import QtQuick; Image {}", testCase, "icon")
        image.source = data.url
        tryCompare(image, "status", Image.Ready)
        // Row and tile icons are drawn at 22 to 24 px, the others smaller.
        verify(image.implicitWidth > 0 && image.implicitWidth <= 24)
        image.destroy()
    }
}
