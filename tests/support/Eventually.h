#pragma once
// Waits on real time for what other threads do. Real time only bounds a
// hang, so the limits are generous; the condition is polled every
// millisecond.

#include <chrono>
#include <thread>
#include <utility>

namespace testwait {

// True once the condition holds, false when realMs have passed first;
// `between` runs before each pause (the GUI thread's events, for example).
template <class Condition, class Between>
bool until(Condition &&condition, int realMs, Between &&between)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(realMs);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        between();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

template <class Condition>
bool until(Condition &&condition, int realMs)
{
    return until(std::forward<Condition>(condition), realMs, [] {});
}

} // namespace testwait
