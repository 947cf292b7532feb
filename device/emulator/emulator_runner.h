// Gives an emulated device its own thread for demonstrations and threaded
// tests: every millisecond of the clock it steps the emulator.
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
    const StepFunction m_step;
    os::Clock& m_clock;
    std::atomic<bool> m_stop{false};  // set by stop(), read by the thread under the clock's wait
    std::thread m_thread;             // owner thread only
};

}  // namespace veloran::emu
