// Gives an emulated device its own thread for demonstrations and threaded
// tests. The device is stepped when its next timed action is due or when
// input from the host brings one forward, and the thread sleeps in between.
#pragma once

#include "device/emulator/timed_device.h"
#include "platform/os/Clock.h"

#include <atomic>
#include <thread>

namespace veloran::emu {

class EmulatorRunner {
public:
    // Least clock time between two steps.
    static constexpr int64_t kStepPeriodMs = 1;

    EmulatorRunner(TimedDevice& device, os::Clock& clock);
    ~EmulatorRunner();
    EmulatorRunner(const EmulatorRunner&) = delete;
    EmulatorRunner& operator=(const EmulatorRunner&) = delete;

    void start();
    void stop();  // joins the thread
    // One pass of the thread body; returns the clock time it stepped to.
    int64_t runOnce();

private:
    // Clock time the thread sleeps until after a step at steppedNs.
    int64_t wakeAtNs(int64_t steppedNs);

    TimedDevice& m_device;
    os::Clock& m_clock;
    os::WaitChannel m_channel;          // guarded by the clock's mutex
    std::atomic<bool> m_stop{false};  // set by stop(), read by the thread under the clock's wait
    std::atomic<bool> m_poked{false}; // a step became due sooner; read under the clock's wait
    std::thread m_thread;             // owner thread only
};

}  // namespace veloran::emu
