#pragma once

#include "platform/os/SystemServices.h"

#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

// Reports display on (true) and off (false) from the system's power and
// session notifications, received by a hidden message-only window on a
// thread of its own, to one callback, only when the state changes.
//
// start and stop are called on one thread (the GUI thread); the callback
// runs on the window thread. Each start has its own state shared with its
// thread, so a thread left behind by a stop time-out never calls back.
class PowerMonitor
{
public:
    static constexpr int kReadyTimeoutMs = 5000;
    static constexpr int kStopTimeoutMs = 1000;

    static PowerMonitor &instance();

    PowerMonitor() = default;
    ~PowerMonitor();
    PowerMonitor(const PowerMonitor &) = delete;
    PowerMonitor &operator=(const PowerMonitor &) = delete;

    // True when the window and both registrations are in place. A second
    // start restarts the monitor.
    bool start(std::function<void(bool screenOn)> callback);
    // Safe when not running; waits at most kStopTimeoutMs on the platform clock.
    void stop();

    struct Run;

private:
    std::shared_ptr<Run> m_run; // the live start, if any
    std::thread m_thread;
};

// What a power broadcast reports: screen off (false), on (true) or nothing.
std::optional<bool> classifyPowerEvent(std::uintptr_t event, const os::PowerSetting *setting);
