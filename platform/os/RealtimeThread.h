#pragma once
// Joins the calling thread to a real-time scheduling class (the audio code
// asks for "Pro Audio") for the life of the scope. On Linux the scope asks
// for round-robin real-time scheduling where the process may have it and
// otherwise keeps the thread's policy without a word; either way the join is
// reported as granted, so the caller's path is the same everywhere. The
// scope also turns on flush-to-zero and denormals-are-zero for the thread
// and restores the previous floating-point mode and policy when it ends.

#include <cstdint>
#include <string>
#include <vector>

namespace os {

enum class RealtimePriority { Normal, High, Critical };

// What the innermost scope of a thread got from the scheduler.
enum class RealtimeScheduling { None, FlushToZeroOnly, RealtimePolicy };

class RealtimeThreadScope {
public:
    // The thread handling a set event or a pause's end more than bufferMs
    // (what its buffer lasts) after it was due is noted as a stall, the
    // machine's or its own (see noteLate); 0 notes none.
    explicit RealtimeThreadScope(const std::wstring& taskName, RealtimePriority priority = RealtimePriority::High,
                                 int bufferMs = 0);
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
    std::int64_t m_previousStallAfterNs = 0;
    int m_previousSchedstat = -1;
    std::wstring m_previousTask;
};

// What was late, and whose doing it was.
enum class StallKind : std::uint8_t {
    Thread,   // an audio thread woken later than its buffer lasts: the machine kept it
    Device,   // a simulated device's period served later than one period: the machine's
    Program,  // an audio thread that came to its wait later than its buffer lasts, by its own doing
    Overflow, // a simulated capture device's packets lost because the program read them too late
    Delay,    // an audio thread held up by the machine over kShortestDelayNs, within its buffer
};

// A stretch not served in time. Only the machine's (Thread, Device) lose
// audio whatever the program does; a Delay may still cost a source that
// pushes just in time its place in a pull.
struct Stall {
    std::int64_t endNs = 0;  // steady clock, when it was noted
    std::int64_t lateNs = 0; // how long after it was due (Overflow: the audio lost)
    StallKind kind = StallKind::Thread;
    char thread[16] = {};    // the noting thread's name
    bool machine() const { return kind != StallKind::Program && kind != StallKind::Overflow; }
};

// Kept in a fixed log of atomics: no lock, no allocation, safe on audio
// threads. What the log cannot hold is counted as lost.
void noteStall(std::int64_t lateNs, StallKind kind);
std::vector<Stall> notedStalls(std::uint64_t& lost);
inline constexpr std::int64_t kShortestDelayNs = 2'000'000;

// Called at every wait's entry on an audio thread: reads how long the
// kernel has kept the thread waiting for a CPU since its previous wait.
void noteWaitEntry();
// The calling thread handled what it waited for lateNs after it came due;
// a stall where that is longer than the buffer its scope gave. Of that,
// what passed before it came to its wait (beforeWaitNs, 0 or less where it
// was waiting already) it was still running or blocked in its own code:
// the program's, but for the time the kernel kept it from a CPU since its
// previous wait (real nanoseconds, clockNsPerRealNs of lateNs's each). The
// rest it was woken late: the machine's (Thread). Within the buffer, the
// machine's part is a Delay.
void noteLate(std::int64_t lateNs, std::int64_t beforeWaitNs, double clockNsPerRealNs);
// Woken lateNs late.
inline void noteIfLate(std::int64_t lateNs)
{
    noteLate(lateNs, 0, 0.0);
}

// Real-time scheduling for the calling thread above every audio thread of
// the program, where the process may have it: for the simulation's devices
// and dispatchers, which stand for hardware and a system that never wait.
void scheduleAboveAudioThreads();

// Names the calling thread for debuggers and tools ("vd-…"); Linux keeps at
// most 15 bytes, the rest is cut.
void nameCurrentThread(const char* name);

} // namespace os
