#include "platform/os/Clock.h"

#include <cmath>

namespace os {

thread_local std::uint64_t Clock::t_wakeUps = 0;

void Clock::sleepForMs(std::int64_t ms)
{
    if (ms <= 0)
        return;
    sleepUntilNs(deadlineAfterMs(ms));
}

void Clock::sleepUntilNs(std::int64_t deadlineNs)
{
    if (deadlineNs == kNoDeadline)
        return; // a pause without end would never return
    waitUntil([] { return false; }, deadlineNs);
}

std::int64_t Clock::deadlineAfterMs(std::int64_t ms) const
{
    if (ms < 0)
        return kNoDeadline;
    const std::int64_t now = nowNs();
    if (ms > (kNoDeadline - 1 - now) / kNsPerMs)
        return kNoDeadline - 1;
    return now + ms * kNsPerMs;
}

void Clock::wake()
{
    // Under the mutex: the caller's change is ordered before any waiter's
    // next look at its condition, so no wake-up is lost.
    std::lock_guard lock(m_mutex);
    notifyAllWaitersLocked();
}

void Clock::notifyAllWaitersLocked()
{
    m_general.cv.notify_all();
    for (Waiter* w = m_waiters; w; w = w->next) {
        w->settled = false;
        if (w->channel != &m_general)
            w->channel->cv.notify_all();
    }
}

void Clock::markUnsettledLocked(WaitChannel& channel)
{
    for (Waiter* w = m_waiters; w; w = w->next)
        if (w->channel == &channel)
            w->settled = false;
}

void Clock::notifyLocked(WaitChannel& channel)
{
    markUnsettledLocked(channel);
    channel.cv.notify_all();
}

int Clock::settledThreads() const
{
    std::lock_guard lock(m_mutex);
    int settled = 0;
    for (const Waiter* w = m_waiters; w; w = w->next)
        settled += w->settled ? 1 : 0;
    return settled;
}

int Clock::waitingThreads() const
{
    std::lock_guard lock(m_mutex);
    return m_waiting;
}

RealClock::RealClock(double speed)
    : m_origin(std::chrono::steady_clock::now())
    , m_speed(speed > 0.0 ? speed : 1.0)
{
}

std::int64_t RealClock::nowNs() const
{
    const auto elapsed = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - m_origin);
    return static_cast<std::int64_t>(elapsed.count() * m_speed);
}

void RealClock::block(std::unique_lock<std::mutex>& lock, WaitChannel& channel, std::int64_t deadlineNs)
{
    if (deadlineNs == kNoDeadline) {
        channel.cv.wait(lock);
        return;
    }
    const double realNs = std::ceil(static_cast<double>(deadlineNs) / m_speed);
    // Bound single waits so a far deadline cannot overflow the time point.
    const double boundedNs = std::min(realNs, 1e18);
    channel.cv.wait_until(lock, m_origin + std::chrono::nanoseconds(static_cast<std::int64_t>(boundedNs)));
}

ManualClock::ManualClock(std::int64_t startNs)
    : m_nowNs(startNs)
{
}

std::int64_t ManualClock::nowNs() const
{
    return m_nowNs.load(std::memory_order_acquire);
}

void ManualClock::advanceNs(std::int64_t ns)
{
    if (ns <= 0)
        return;
    std::lock_guard lock(m_mutex);
    m_nowNs.store(m_nowNs.load(std::memory_order_relaxed) + ns, std::memory_order_release);
    notifyAllWaitersLocked(); // time moves every wait
}

void ManualClock::block(std::unique_lock<std::mutex>& lock, WaitChannel& channel, std::int64_t)
{
    channel.cv.wait(lock);
}

Event::Event(Clock& clock, EventReset reset, bool initiallySet)
    : m_clock(clock)
    , m_reset(reset)
    , m_set(initiallySet)
{
}

void Event::set()
{
    {
        std::lock_guard lock(m_clock.m_mutex);
        // A set not yet taken keeps its time: the wait is late from the first.
        if (!m_set.exchange(true, std::memory_order_acq_rel))
            m_setNs.store(m_clock.nowNs(), std::memory_order_relaxed);
        if (m_watcher)
            m_clock.notifyLocked(*m_watcher);
        m_clock.markUnsettledLocked(m_channel);
    }
    // Outside the clock's lock: a woken waiter does not run straight into
    // the lock this thread still holds (a second switch for nothing). The
    // event outlives this call, and with it its channel.
    m_channel.cv.notify_all();
}

void Event::linkWatcher(WaitChannel* watcher)
{
    m_clock.notify(m_channel, [this, watcher] { m_watcher = watcher; });
}

void Event::reset()
{
    m_set.store(false, std::memory_order_release);
}

bool Event::trySignalled(std::int64_t* setNs)
{
    if (setNs)
        *setNs = m_setNs.load(std::memory_order_relaxed);
    if (m_reset == EventReset::Manual)
        return m_set.load(std::memory_order_acquire);
    return m_set.exchange(false, std::memory_order_acq_rel);
}

std::int64_t Event::setSinceNs() const
{
    std::lock_guard lock(m_clock.m_mutex);
    return m_set.load(std::memory_order_relaxed) ? m_setNs.load(std::memory_order_relaxed) : Clock::kNoDeadline;
}

bool Event::wait(std::int64_t timeoutMs)
{
    return waitWhile(std::atomic<bool>{true}, timeoutMs);
}

bool Event::waitWhile(const std::atomic<bool>& keepWaiting, std::int64_t timeoutMs)
{
    bool signalled = false;
    const Clock::WaitOutcome waited = m_clock.waitFor(
        m_channel,
        [&] {
            signalled = trySignalled();
            return signalled || !keepWaiting.load();
        },
        m_clock.deadlineAfterMs(timeoutMs));
    if (signalled) {
        const std::int64_t setNs = m_setNs.load(std::memory_order_relaxed);
        noteLate(m_clock.nowNs() - setNs, waited.enteredNs - setNs, m_clock.nsPerRealNs());
    }
    return signalled;
}

} // namespace os
