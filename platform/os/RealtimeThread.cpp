#include "platform/os/RealtimeThread.h"

#include <pthread.h>
#include <sched.h>

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
} // namespace

RealtimeThreadScope::RealtimeThreadScope(const std::wstring& taskName, RealtimePriority priority)
    : m_previousTask(t_taskName)
{
    if (taskName.empty())
        return;
    m_joined = true;
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
    t_taskName = m_previousTask;
}

std::wstring RealtimeThreadScope::currentTaskName()
{
    return t_taskName;
}

bool RealtimeThreadScope::inRealtimeScope()
{
    return t_scopeDepth > 0;
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
