#include "device/emulator/emulator_runner.h"

namespace veloran::emu {

EmulatorRunner::EmulatorRunner(MicBaseEmulator& emulator, os::Clock& clock)
    : m_emulator(emulator), m_clock(clock)
{
}

EmulatorRunner::~EmulatorRunner() { stop(); }

void EmulatorRunner::runOnce() { m_emulator.step(uint64_t(m_clock.nowNs() / os::Clock::kNsPerMs)); }

void EmulatorRunner::start()
{
    if (m_thread.joinable())
        return;
    m_stop.store(false);
    m_thread = std::thread([this] {
        while (!m_stop.load()) {
            runOnce();
            m_clock.waitUntil([this] { return m_stop.load(); }, m_clock.deadlineAfterMs(kStepPeriodMs));
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
