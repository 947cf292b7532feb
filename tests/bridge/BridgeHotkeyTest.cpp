// Key combinations as the knob's hotkey sends them.
#include "BridgeTestSupport.h"

#include "bridge/SystemBridge.h"

#include <vector>

namespace {

struct Press {
    int code;
    bool up;
};

std::vector<Press> pressesOf(const std::vector<os::KeyInput> &inputs)
{
    std::vector<Press> presses;
    for (const os::KeyInput &input : inputs) {
        EXPECT_EQ(input.scanCode, 0);
        EXPECT_EQ(input.time, 0u);
        EXPECT_EQ(input.extraInfo, 0u);
        EXPECT_TRUE(input.flags == 0 || input.flags == os::KEYEVENTF_KEYUP);
        presses.push_back({input.virtualKey, input.flags == os::KEYEVENTF_KEYUP});
    }
    return presses;
}

// Every key down in order, then the main key up, then the modifiers up in
// the order pressed.
std::vector<Press> chord(std::vector<int> modifiers, int key)
{
    std::vector<Press> presses;
    for (int m : modifiers)
        presses.push_back({m, false});
    presses.push_back({key, false});
    presses.push_back({key, true});
    for (int m : modifiers)
        presses.push_back({m, true});
    return presses;
}

bool operator==(const Press &a, const Press &b)
{
    return a.code == b.code && a.up == b.up;
}

class BridgeHotkey : public BridgeTest
{
};

TEST_F(BridgeHotkey, CombinationsSendTheirKeysOrFailWithTheirWarning)
{
    struct Case {
        const char *hotkey;
        bool ok;
        std::vector<Press> presses;
        const char *warning;
    } cases[] = {
        {"ctrl+shift+a", true, chord({17, 16}, 65), nullptr},
        {"Shift+F5", true, chord({16}, 116), nullptr},
        {"Shift+f5", false, {}, "Unsupported key: f5"},
        {"Ctrl+Shift", false, {}, "No main key found in hotkey: Ctrl+Shift"},
        {"Ctrl++", false, {}, "No main key found in hotkey: Ctrl++"},
        {"Control+x", true, chord({91}, 88), nullptr},
        {"Meta+Shift+S", true, chord({91, 16}, 83), nullptr},
        {"A+B", true, chord({}, 66), nullptr},
        {" Alt + Option + 7 ", true, chord({18, 18}, 55), nullptr},
        {"Ctrl+-", true, chord({17}, 189), nullptr},
        {"Ctrl+\\", true, chord({17}, 220), nullptr},
        {"Ctrl+'", true, chord({17}, 222), nullptr},
        {"Ctrl+/", true, chord({17}, 191), nullptr},
        {"Ctrl+!", false, {}, "Unsupported key: !"},
        {"Ctrl+Escape", true, chord({17}, 27), nullptr},
    };
    SystemBridge bridge{SystemBridge::Options{}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.hotkey);
        m_world->simKeys().clear();
        clearLines();
        EXPECT_EQ(bridge.simulateKeyPress(QString::fromUtf8(c.hotkey)), c.ok);
        EXPECT_EQ(pressesOf(m_world->simKeys().sent()), c.presses);
        if (c.warning)
            EXPECT_GE(find(QString::fromUtf8(c.warning), 0, QtWarningMsg), 0);
        else
            EXPECT_GE(find(QStringLiteral("Successfully simulated key press: ") + c.hotkey), 0);
    }

    // Every named main key, by the keyboard's virtual-key code.
    std::vector<std::pair<QString, std::uint16_t>> named;
    for (int f = 1; f <= 12; ++f)
        named.push_back({QStringLiteral("F%1").arg(f), std::uint16_t(0x6F + f)});
    const std::pair<const char *, std::uint16_t> others[] = {
        {"Space", 0x20},    {"Enter", 0x0D}, {"Return", 0x0D}, {"Tab", 0x09},   {"Backspace", 0x08},
        {"Delete", 0x2E},   {"Insert", 0x2D}, {"Home", 0x24},  {"End", 0x23},   {"PageUp", 0x21},
        {"PageDown", 0x22}, {"Left", 0x25},  {"Up", 0x26},     {"Right", 0x27}, {"Down", 0x28},
        {"Minus", 0xBD},    {"Plus", 0xBB},  {"Equal", 0xBB},  {"Esc", 0x1B},   {"Escape", 0x1B}};
    for (const auto &[name, code] : others)
        named.push_back({QString::fromLatin1(name), code});
    for (const auto &[name, code] : named) {
        m_world->simKeys().clear();
        EXPECT_TRUE(bridge.simulateKeyPress(QStringLiteral("Alt+") + name)) << name.toStdString();
        EXPECT_EQ(pressesOf(m_world->simKeys().sent()), chord({18}, code)) << name.toStdString();
    }
}

TEST_F(BridgeHotkey, ShortcutsAndAShortInsertion)
{
    SystemBridge bridge{SystemBridge::Options{}};
    EXPECT_TRUE(bridge.takeScreenshot());
    EXPECT_EQ(pressesOf(m_world->simKeys().sent()), chord({91, 16}, 83));
    m_world->simKeys().clear();
    EXPECT_TRUE(bridge.startScreenRecording());
    EXPECT_EQ(pressesOf(m_world->simKeys().sent()), chord({91}, 71));

    m_world->simKeys().setInsertLimit(5);
    clearLines();
    EXPECT_FALSE(bridge.simulateKeyPress(QStringLiteral("Ctrl+Shift+A")));
    EXPECT_GE(find(QStringLiteral("Failed to simulate key press, SendInput returned: 5 expected: 6"), 0, QtWarningMsg),
              0);
}

} // namespace
