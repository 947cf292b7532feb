// Gives an emulated device its own thread for demonstrations and threaded
// tests. An emulator is stepped when its next timed action is due or when
// input from the host brings one forward, and the thread sleeps in between;
// any other step function is stepped every millisecond of the clock.
#pragma once

#include "device/emulator/mic_base_emulator.h"
#include "platform/os/Clock.h"

#include <atomic>
#include <functional>
#include <thread>

namespace veloran::emu {

class EmulatorRunner {
public:
    static constexpr int64_t kStepPeriodMs = 1;

    using StepFunction = std::function<void(uint64_t nowMs)>;

    EmulatorRunner(MicBaseEmulator& emulator, os::Clock& clock);
    // Any emulated device with a step of its own (a whole unit).
    EmulatorRunner(StepFunction step, os::Clock& clock);
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

    const StepFunction m_step;
    MicBaseEmulator* const m_emulator = nullptr;  // null: stepped every period
    os::Clock& m_clock;
    os::WaitChannel m_channel;          // guarded by the clock's mutex
    std::atomic<bool> m_stop{false};  // set by stop(), read by the thread under the clock's wait
    std::atomic<bool> m_poked{false}; // a step became due sooner; read under the clock's wait
    std::thread m_thread;             // owner thread only
};

}  // namespace veloran::emu
