#include "platform/os/RealtimeGuard.h"

#include "platform/os/RealtimeThread.h"

#include <atomic>

namespace os {

namespace {
thread_local int t_audioLocksHeld = 0;
std::atomic<std::uint64_t> g_violations{0};
std::atomic<const char*> g_lastSite{""};
} // namespace

void AudioMutex::lock()
{
    m_mutex.lock();
    ++t_audioLocksHeld;
}

bool AudioMutex::try_lock()
{
    if (!m_mutex.try_lock())
        return false;
    ++t_audioLocksHeld;
    return true;
}

void AudioMutex::unlock()
{
    --t_audioLocksHeld;
    m_mutex.unlock();
}

int AudioMutex::heldByThisThread()
{
    return t_audioLocksHeld;
}

void realtimeCheck(const char* site)
{
    if (t_audioLocksHeld == 0 && RealtimeThreadScope::inRealtimeScope())
        return;
    g_lastSite.store(site ? site : "", std::memory_order_relaxed);
    g_violations.fetch_add(1, std::memory_order_relaxed);
}

std::uint64_t realtimeViolations()
{
    return g_violations.load(std::memory_order_relaxed);
}

const char* lastRealtimeViolationSite()
{
    return g_lastSite.load(std::memory_order_relaxed);
}

void resetRealtimeViolations()
{
    g_violations.store(0, std::memory_order_relaxed);
    g_lastSite.store("", std::memory_order_relaxed);
}

} // namespace os
