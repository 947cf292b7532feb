#include "device/emulator/emulator_runner.h"

#include "platform/os/RealtimeThread.h"

#include <algorithm>

namespace veloran::emu {

EmulatorRunner::EmulatorRunner(TimedDevice& device, os::Clock& clock) : m_device(device), m_clock(clock) {}

EmulatorRunner::~EmulatorRunner() { stop(); }

int64_t EmulatorRunner::runOnce()
{
    const int64_t nowNs = m_clock.nowNs();
    m_device.step(uint64_t(nowNs / os::Clock::kNsPerMs));
    return nowNs;
}

int64_t EmulatorRunner::wakeAtNs(int64_t steppedNs)
{
    constexpr int64_t kNsPerMs = os::Clock::kNsPerMs;
    // Never sooner than the next period: a step always moves time on. Due
    // times count from the step, not from when the wait began, so a clock
    // that jumped meanwhile is caught up at once.
    const int64_t nextPeriodNs = (steppedNs / kNsPerMs + kStepPeriodMs) * kNsPerMs;
    const uint64_t dueMs = m_device.nextStepMs();
    if (dueMs >= uint64_t(os::Clock::kNoDeadline / kNsPerMs))
        return os::Clock::kNoDeadline;
    return std::max(nextPeriodNs, int64_t(dueMs) * kNsPerMs);
}

void EmulatorRunner::start()
{
    if (m_thread.joinable())
        return;
    m_stop.store(false);
    m_device.setTimeSource([this] { return uint64_t(m_clock.nowNs() / os::Clock::kNsPerMs); });
    m_device.setStepDueHook([this] { m_clock.notify(m_channel, [this] { m_poked.store(true); }); });
    m_thread = std::thread([this] {
        os::nameCurrentThread("vd-emulator");
        while (!m_stop.load()) {
            const int64_t wakeAt = wakeAtNs(runOnce());
            m_clock.waitOn(m_channel, [this] { return m_stop.load() || m_poked.exchange(false); }, wakeAt);
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
    m_device.setStepDueHook({});
    m_device.setTimeSource({});
}

}  // namespace veloran::emu
