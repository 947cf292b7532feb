#pragma once

#include "platform/os/SystemServices.h"

#include <mutex>
#include <string>

typedef struct _XDisplay Display;

namespace os {

// The X key symbol for a Windows virtual-key code the bridge builds
// (letters, digits, F1 to F12, the named keys, the modifiers and the
// punctuation keys); 0 when there is none.
unsigned long keySymbolForVirtualKey(std::uint16_t virtualKey);

// Presses and releases keys on an X11 display through the X Test extension,
// in the order given. Without a display (empty name: Wayland without
// XWayland, offscreen) nothing is sent. The display is opened at the first
// call and used from any one thread at a time.
class XTestKeyInjector final : public KeyInjector {
public:
    explicit XTestKeyInjector(std::string displayName);
    ~XTestKeyInjector() override;

    // How many events the server took; 0 when a key has no key code on the
    // display (then none is sent, so no key is left pressed).
    std::uint32_t sendInput(const std::vector<KeyInput>& inputs) override;

private:
    bool open(); // with m_mutex held

    std::mutex m_mutex;
    const std::string m_displayName;
    Display* m_display = nullptr; // guarded by m_mutex
    bool m_opened = false;        // guarded by m_mutex; tried once
};

} // namespace os
