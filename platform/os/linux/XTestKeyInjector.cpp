#include "platform/os/linux/XTestKeyInjector.h"

#include <QDebug>

#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

namespace os {

unsigned long keySymbolForVirtualKey(std::uint16_t vk)
{
    if (vk >= 'A' && vk <= 'Z')
        return XK_a + (vk - 'A');
    if (vk >= '0' && vk <= '9')
        return XK_0 + (vk - '0');
    if (vk >= 112 && vk <= 123)
        return XK_F1 + (vk - 112);
    static const struct {
        std::uint16_t vk;
        unsigned long sym;
    } kKeys[] = {
        {16, XK_Shift_L},      {17, XK_Control_L},   {18, XK_Alt_L},       {91, XK_Super_L},
        {8, XK_BackSpace},     {9, XK_Tab},          {13, XK_Return},      {27, XK_Escape},
        {32, XK_space},        {33, XK_Prior},       {34, XK_Next},        {35, XK_End},
        {36, XK_Home},         {37, XK_Left},        {38, XK_Up},          {39, XK_Right},
        {40, XK_Down},         {45, XK_Insert},      {46, XK_Delete},      {186, XK_semicolon},
        {187, XK_equal},       {188, XK_comma},      {189, XK_minus},      {190, XK_period},
        {191, XK_slash},       {219, XK_bracketleft}, {220, XK_backslash}, {221, XK_bracketright},
        {222, XK_apostrophe},
    };
    for (const auto& k : kKeys)
        if (k.vk == vk)
            return k.sym;
    return 0;
}

XTestKeyInjector::XTestKeyInjector(std::string displayName)
    : m_displayName(std::move(displayName))
{
}

XTestKeyInjector::~XTestKeyInjector()
{
    if (m_display)
        XCloseDisplay(m_display);
}

bool XTestKeyInjector::open()
{
    if (m_opened)
        return m_display != nullptr;
    m_opened = true;
    if (m_displayName.empty()) {
        qWarning().noquote() << "[Keys] no X11 display: key combinations cannot be sent";
        return false;
    }
    m_display = XOpenDisplay(m_displayName.c_str());
    if (!m_display) {
        qWarning().noquote() << "[Keys] cannot open X11 display" << QString::fromStdString(m_displayName);
        return false;
    }
    int eventBase = 0, errorBase = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(m_display, &eventBase, &errorBase, &major, &minor)) {
        qWarning().noquote() << "[Keys] the X11 display has no X Test extension";
        XCloseDisplay(m_display);
        m_display = nullptr;
        return false;
    }
    return true;
}

std::uint32_t XTestKeyInjector::sendInput(const std::vector<KeyInput>& inputs)
{
    std::lock_guard lock(m_mutex);
    if (inputs.empty() || !open())
        return 0;
    std::vector<KeyCode> codes;
    codes.reserve(inputs.size());
    for (const KeyInput& input : inputs) {
        const unsigned long sym = keySymbolForVirtualKey(input.virtualKey);
        const KeyCode code = sym ? XKeysymToKeycode(m_display, sym) : 0;
        if (code == 0) {
            qWarning().noquote() << "[Keys] no key code for virtual key" << input.virtualKey;
            return 0;
        }
        codes.push_back(code);
    }
    std::uint32_t sent = 0;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        const bool down = (inputs[i].flags & KEYEVENTF_KEYUP) == 0;
        if (XTestFakeKeyEvent(m_display, codes[i], down ? True : False, CurrentTime))
            ++sent;
    }
    XSync(m_display, False);
    return sent;
}

} // namespace os
