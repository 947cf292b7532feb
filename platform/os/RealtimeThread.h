#pragma once
// Joins the calling thread to a real-time scheduling class (the audio code
// asks for "Pro Audio") for the life of the scope. On Linux the scope asks
// for round-robin real-time scheduling where the process may have it and
// otherwise keeps the thread's policy without a word; either way the join is
// reported as granted, so the caller's path is the same everywhere. The
// scope also turns on flush-to-zero and denormals-are-zero for the thread
// and restores the previous floating-point mode and policy when it ends.

#include <string>

namespace os {

enum class RealtimePriority { Normal, High, Critical };

// What the innermost scope of a thread got from the scheduler.
enum class RealtimeScheduling { None, FlushToZeroOnly, RealtimePolicy };

class RealtimeThreadScope {
public:
    explicit RealtimeThreadScope(const std::wstring& taskName, RealtimePriority priority = RealtimePriority::High);
    ~RealtimeThreadScope();
    RealtimeThreadScope(const RealtimeThreadScope&) = delete;
    RealtimeThreadScope& operator=(const RealtimeThreadScope&) = delete;

    bool joined() const { return m_joined; }
    RealtimeScheduling scheduling() const { return m_scheduling; }

    // Task name of the innermost scope on the calling thread, empty outside.
    static std::wstring currentTaskName();
    // True while the calling thread is inside a joined scope.
    static bool inRealtimeScope();

private:
    bool m_joined = false;
    RealtimeScheduling m_scheduling = RealtimeScheduling::None;
    unsigned m_savedFpMode = 0;
    int m_savedPolicy = 0;
    int m_savedPriority = 0;
    std::wstring m_previousTask;
};

// Names the calling thread for debuggers and tools ("vd-…"); Linux keeps at
// most 15 bytes, the rest is cut.
void nameCurrentThread(const char* name);

} // namespace os
