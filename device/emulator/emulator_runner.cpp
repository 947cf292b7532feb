#include "device/emulator/emulator_runner.h"

namespace veloran::emu {

EmulatorRunner::EmulatorRunner(MicBaseEmulator& emulator, os::Clock& clock)
    : EmulatorRunner([&emulator](uint64_t nowMs) { emulator.step(nowMs); }, clock)
{
}

EmulatorRunner::EmulatorRunner(StepFunction step, os::Clock& clock) : m_step(std::move(step)), m_clock(clock) {}

EmulatorRunner::~EmulatorRunner() { stop(); }

int64_t EmulatorRunner::runOnce()
{
    const int64_t nowNs = m_clock.nowNs();
    m_step(uint64_t(nowNs / os::Clock::kNsPerMs));
    return nowNs;
}

void EmulatorRunner::start()
{
    if (m_thread.joinable())
        return;
    m_stop.store(false);
    m_thread = std::thread([this] {
        while (!m_stop.load()) {
            // The next step is due a period after this one, not after the
            // wait began: a clock that jumped meanwhile is caught up at once.
            const int64_t steppedNs = runOnce();
            m_clock.waitUntil([this] { return m_stop.load(); }, steppedNs + kStepPeriodMs * os::Clock::kNsPerMs);
        }
    });
}

void EmulatorRunner::stop()
{
    if (!m_thread.joinable())
        return;
    m_stop.store(true);
    m_clock.wake();
    m_thread.join();
}

}  // namespace veloran::emu
