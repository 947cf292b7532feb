#pragma once

#include "platform/os/SystemServices.h"

#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace os {

// Power notifications from the login manager over D-Bus: its
// PrepareForSleep(true) and PrepareForSleep(false) arrive as the suspend and
// resume broadcasts, and a display switched off or on (asked about every
// pollMs by displayOn, when given) as a console display-state change. The
// D-Bus signals are taken on the GUI thread; the window's own thread reads
// them in getMessage.
class LoginPowerEvents final : public PowerEvents {
public:
    struct Options {
        QString busAddress;                              // empty: the system bus
        std::function<std::optional<bool>()> displayOn;  // on the window's thread; nothing: no answer
        int pollMs = 1000;
    };
    explicit LoginPowerEvents(Options options);
    ~LoginPowerEvents() override;

    std::uint32_t currentThreadId() override;
    // Fails at RegisterSession without a bus, at RegisterPowerSetting when
    // the signal cannot be subscribed to.
    std::unique_ptr<MessageWindow> createMessageWindow(const std::wstring& className,
                                                       PowerWindowStep* failedStep) override;
    bool postQuit(std::uint32_t threadId) override;

    struct Queue;
    struct Windows;

private:
    const Options m_options;
    const std::shared_ptr<Windows> m_windows;
};

// Whether the X11 display's monitor is on, through its DPMS extension; a
// function for LoginPowerEvents::Options::displayOn that opens its own
// connection on the thread that first calls it. Empty when the display has
// no DPMS (or there is no display).
std::function<std::optional<bool>()> dpmsDisplayState(const std::string& displayName);

} // namespace os
