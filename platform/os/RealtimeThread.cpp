#include "platform/os/RealtimeThread.h"

#if defined(__SSE__) || defined(__x86_64__)
#include <xmmintrin.h>
#define VELORAN_HAVE_MXCSR 1
#endif

namespace os {

namespace {
thread_local std::wstring t_taskName;
#ifdef VELORAN_HAVE_MXCSR
constexpr unsigned kFlushToZero = 0x8000;
constexpr unsigned kDenormalsAreZero = 0x0040;
#endif
} // namespace

RealtimeThreadScope::RealtimeThreadScope(const std::wstring& taskName, RealtimePriority)
    : m_previousTask(t_taskName)
{
    if (taskName.empty())
        return;
    m_joined = true;
    t_taskName = taskName;
#ifdef VELORAN_HAVE_MXCSR
    m_savedFpMode = _mm_getcsr();
    _mm_setcsr(m_savedFpMode | kFlushToZero | kDenormalsAreZero);
#endif
}

RealtimeThreadScope::~RealtimeThreadScope()
{
    if (!m_joined)
        return;
#ifdef VELORAN_HAVE_MXCSR
    _mm_setcsr(m_savedFpMode);
#endif
    t_taskName = m_previousTask;
}

std::wstring RealtimeThreadScope::currentTaskName()
{
    return t_taskName;
}

} // namespace os
