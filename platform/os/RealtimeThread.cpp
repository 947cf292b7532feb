#include "platform/os/RealtimeThread.h"

#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#define VELORAN_HAVE_MXCSR 1
#endif

namespace os {

namespace {
// Plain thread-locals: read by the real-time guard and the tests'
// allocation hook, where nothing may allocate or take a lock.
thread_local std::wstring t_taskName;
thread_local int t_scopeDepth = 0;
thread_local std::int64_t t_stallAfterNs = 0;
// The thread's scheduler statistics, open for the scope's life, and the
// time it had waited for a CPU as it reached its last wait.
thread_local int t_schedstat = -1;
thread_local std::int64_t t_runQueueNs = 0;
thread_local std::int64_t t_waitedForCpuNs = 0; // from the wait before the last to the last

struct StallSlot {
    std::atomic<std::int64_t> endNs{0}; // written last: 0 is a slot not yet filled
    std::atomic<std::int64_t> lateNs{0};
    std::atomic<StallKind> kind{StallKind::Thread};
    char thread[16] = {}; // written before endNs, read after it
};
constexpr std::size_t kStallSlots = 4096;
std::array<StallSlot, kStallSlots> g_stalls;
std::atomic<std::uint64_t> g_stallCount{0};
#ifdef VELORAN_HAVE_MXCSR
constexpr unsigned kFlushToZero = 0x8000;
constexpr unsigned kDenormalsAreZero = 0x0040;
#endif

int priorityFor(RealtimePriority priority)
{
    const int low = sched_get_priority_min(SCHED_RR);
    switch (priority) {
    case RealtimePriority::Normal:
        return low;
    case RealtimePriority::High:
        return low + 5;
    case RealtimePriority::Critical:
        return low + 10;
    }
    return low;
}

// Nanoseconds the thread has waited on a run queue (the second field of
// its schedstat), or -1. A read of a file already open: no allocation.
std::int64_t runQueueNs()
{
    if (t_schedstat < 0)
        return -1;
    char text[96];
    const ssize_t n = pread(t_schedstat, text, sizeof text - 1, 0);
    if (n <= 0)
        return -1;
    text[n] = '\0';
    char* end = nullptr;
    std::strtoll(text, &end, 10);
    const char* second = end;
    const long long value = std::strtoll(second, &end, 10);
    return end == second ? -1 : value;
}
} // namespace

RealtimeThreadScope::RealtimeThreadScope(const std::wstring& taskName, RealtimePriority priority, int bufferMs)
    : m_previousStallAfterNs(t_stallAfterNs)
    , m_previousTask(t_taskName)
{
    if (taskName.empty())
        return;
    m_joined = true;
    t_stallAfterNs = std::int64_t(bufferMs) * 1'000'000;
    m_previousSchedstat = t_schedstat;
    if (bufferMs > 0 && t_schedstat < 0) {
        t_schedstat = open("/proc/thread-self/schedstat", O_RDONLY | O_CLOEXEC);
        t_runQueueNs = std::max<std::int64_t>(0, runQueueNs());
    }
    t_taskName = taskName;
    ++t_scopeDepth;
    m_scheduling = RealtimeScheduling::FlushToZeroOnly;
#ifdef VELORAN_HAVE_MXCSR
    m_savedFpMode = _mm_getcsr();
    _mm_setcsr(m_savedFpMode | kFlushToZero | kDenormalsAreZero);
#endif
    sched_param saved{};
    if (pthread_getschedparam(pthread_self(), &m_savedPolicy, &saved) == 0) {
        m_savedPriority = saved.sched_priority;
        sched_param wanted{};
        wanted.sched_priority = priorityFor(priority);
        // Refused without the right to it (no rtprio limit, no capability):
        // the thread keeps its policy and the scope carries on.
        if (pthread_setschedparam(pthread_self(), SCHED_RR, &wanted) == 0)
            m_scheduling = RealtimeScheduling::RealtimePolicy;
    }
}

RealtimeThreadScope::~RealtimeThreadScope()
{
    if (!m_joined)
        return;
    if (m_scheduling == RealtimeScheduling::RealtimePolicy) {
        sched_param saved{};
        saved.sched_priority = m_savedPriority;
        pthread_setschedparam(pthread_self(), m_savedPolicy, &saved);
    }
#ifdef VELORAN_HAVE_MXCSR
    _mm_setcsr(m_savedFpMode);
#endif
    --t_scopeDepth;
    if (t_schedstat != m_previousSchedstat) {
        close(t_schedstat);
        t_schedstat = m_previousSchedstat;
    }
    t_taskName = m_previousTask;
    t_stallAfterNs = m_previousStallAfterNs;
}

std::wstring RealtimeThreadScope::currentTaskName()
{
    return t_taskName;
}

bool RealtimeThreadScope::inRealtimeScope()
{
    return t_scopeDepth > 0;
}

void noteStall(std::int64_t lateNs, StallKind kind)
{
    const std::uint64_t n = g_stallCount.fetch_add(1, std::memory_order_relaxed);
    if (n >= kStallSlots)
        return;
    StallSlot& slot = g_stalls[n];
    slot.lateNs.store(lateNs, std::memory_order_relaxed);
    slot.kind.store(kind, std::memory_order_relaxed);
    prctl(PR_GET_NAME, slot.thread);
    const auto now = std::chrono::steady_clock::now().time_since_epoch();
    slot.endNs.store(std::max<std::int64_t>(1, std::chrono::nanoseconds(now).count()), std::memory_order_release);
}

void noteWaitEntry()
{
    if (t_stallAfterNs <= 0)
        return;
    if (const std::int64_t total = runQueueNs(); total >= 0) {
        t_waitedForCpuNs = total - t_runQueueNs;
        t_runQueueNs = total;
    }
}

void noteLate(std::int64_t lateNs, std::int64_t beforeWaitNs, double clockNsPerRealNs)
{
    if (t_stallAfterNs <= 0 || lateNs <= kShortestDelayNs)
        return;
    const auto cpuWait = static_cast<std::int64_t>(double(t_waitedForCpuNs) * clockNsPerRealNs);
    const std::int64_t own = std::clamp<std::int64_t>(beforeWaitNs - cpuWait, 0, lateNs);
    if (own > t_stallAfterNs)
        noteStall(own, StallKind::Program);
    else if (lateNs > t_stallAfterNs)
        noteStall(lateNs, StallKind::Thread);
    else if (lateNs - own > kShortestDelayNs)
        noteStall(lateNs - own, StallKind::Delay);
}

std::vector<Stall> notedStalls(std::uint64_t& lost)
{
    const std::uint64_t count = g_stallCount.load(std::memory_order_acquire);
    lost = count > kStallSlots ? count - kStallSlots : 0;
    std::vector<Stall> stalls;
    for (std::size_t i = 0; i < std::min<std::uint64_t>(count, kStallSlots); ++i) {
        const StallSlot& slot = g_stalls[i];
        if (const std::int64_t end = slot.endNs.load(std::memory_order_acquire)) {
            Stall& s = stalls.emplace_back();
            s.endNs = end;
            s.lateNs = slot.lateNs.load(std::memory_order_relaxed);
            s.kind = slot.kind.load(std::memory_order_relaxed);
            std::memcpy(s.thread, slot.thread, sizeof s.thread - 1);
        }
    }
    return stalls;
}

void scheduleAboveAudioThreads()
{
    sched_param wanted{};
    wanted.sched_priority = priorityFor(RealtimePriority::Critical) + 1;
    pthread_setschedparam(pthread_self(), SCHED_RR, &wanted);
}

void nameCurrentThread(const char* name)
{
    if (!name)
        return;
    char cut[16] = {};
    std::strncpy(cut, name, sizeof(cut) - 1);
    pthread_setname_np(pthread_self(), cut);
}

} // namespace os
