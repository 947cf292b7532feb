#pragma once
// Joins the calling thread to a real-time scheduling class (the audio code
// asks for "Pro Audio") for the life of the scope. Where the system offers
// no such class the join is recorded and reported as granted, so the
// caller's path is the same everywhere. The scope also turns on
// flush-to-zero and denormals-are-zero for the thread and restores the
// previous floating-point mode when it ends.

#include <string>

namespace os {

enum class RealtimePriority { Normal, High, Critical };

class RealtimeThreadScope {
public:
    explicit RealtimeThreadScope(const std::wstring& taskName, RealtimePriority priority = RealtimePriority::High);
    ~RealtimeThreadScope();
    RealtimeThreadScope(const RealtimeThreadScope&) = delete;
    RealtimeThreadScope& operator=(const RealtimeThreadScope&) = delete;

    bool joined() const { return m_joined; }

    // Task name of the innermost scope on the calling thread, empty outside.
    static std::wstring currentTaskName();

private:
    bool m_joined = false;
    unsigned m_savedFpMode = 0;
    std::wstring m_previousTask;
};

} // namespace os
