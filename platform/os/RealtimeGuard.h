#pragma once
// The real-time guard. Locks that audio threads may meet are AudioMutexes,
// which count per thread how many of them the thread holds. realtimeCheck
// stands where a real-time path calls into a resampler or a capture, render
// or driver buffer: it counts a violation when the thread holds an audio
// lock there (a real-time path waiting behind another thread's work) or runs
// outside any RealtimeThreadScope. Tests read realtimeViolations().

#include <cstdint>
#include <mutex>

namespace os {

class AudioMutex {
public:
    AudioMutex() = default;
    AudioMutex(const AudioMutex&) = delete;
    AudioMutex& operator=(const AudioMutex&) = delete;

    void lock();
    bool try_lock();
    void unlock();

    // Audio locks the calling thread holds.
    static int heldByThisThread();

private:
    std::mutex m_mutex;
};

// Counts a violation when the calling thread holds an AudioMutex or is
// outside a RealtimeThreadScope. site names the call for the last-site
// reader (a string literal: it is kept, not copied).
void realtimeCheck(const char* site);
std::uint64_t realtimeViolations();
// The site of the latest violation, empty when none; for failure messages.
const char* lastRealtimeViolationSite();
void resetRealtimeViolations();

} // namespace os
