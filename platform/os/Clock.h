#pragma once
// Time and waiting for the audio and system code. Every pause and every
// bounded wait of a worker goes through a Clock so that tests can drive
// threads deterministically with a ManualClock, or fast with an accelerated
// RealClock.
//
// Contract: waitUntil() re-evaluates its condition under the clock's mutex
// whenever wake() is called, its wait channel is notified or time moves, and
// returns once the condition holds or the clock has reached the deadline.
// Anything a waiter's condition reads must be changed before wake() is
// called (Event does this). Waiters on their own channel (every Event has
// one) are woken only by that channel, wake() and time: a set costs one
// wake-up, however many other threads wait on the clock.

#include "platform/os/RealtimeThread.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <utility>

namespace os {

// What a set wakes: the waiters blocked on this channel. Used only under
// the owning clock's mutex.
struct WaitChannel {
    std::condition_variable cv;
};

class Clock {
public:
    static constexpr std::int64_t kNoDeadline = INT64_MAX;
    static constexpr std::int64_t kNsPerMs = 1'000'000;

    virtual ~Clock() = default;

    // Monotonic time of this clock in nanoseconds.
    virtual std::int64_t nowNs() const = 0;

    // Blocks until ready() returns true (true) or nowNs() >= deadlineNs
    // (false). ready() runs under the clock's mutex; keep it short.
    template <class Ready>
    bool waitUntil(Ready&& ready, std::int64_t deadlineNs)
    {
        return waitOn(m_general, std::forward<Ready>(ready), deadlineNs);
    }

    // The same, woken by notify(channel) rather than by every wake().
    template <class Ready>
    bool waitOn(WaitChannel& channel, Ready&& ready, std::int64_t deadlineNs)
    {
        return waitFor(channel, std::forward<Ready>(ready), deadlineNs).ready;
    }

    // Changes what waiters of the channel read, then wakes only them.
    template <class Change>
    void notify(WaitChannel& channel, Change&& change)
    {
        std::lock_guard lock(m_mutex);
        change();
        notifyLocked(channel);
    }

    // A plain pause of the given length on this clock.
    void sleepForMs(std::int64_t ms);
    // A pause until the clock reaches deadlineNs (paced loops).
    void sleepUntilNs(std::int64_t deadlineNs);
    // Deadline helper: now plus a duration, saturating; a negative duration
    // means no deadline.
    std::int64_t deadlineAfterMs(std::int64_t ms) const;

    // Makes every waiter re-evaluate its condition.
    void wake();

    // Threads currently blocked in waitUntil() (for test synchronisation).
    int waitingThreads() const;
    // Of those, the threads that blocked after time last moved, wake() was
    // last called and their channel was last notified: a driver of a manual
    // clock that knows how many threads it runs steps once they all are
    // counted here, so no thread is still acting on the previous step.
    int settledThreads() const;

    // This clock's nanoseconds in one real nanosecond: what converts the
    // time the kernel kept a thread from a CPU; 0 where time does not
    // follow real time.
    virtual double nsPerRealNs() const { return 1.0; }

    // Times the calling thread came back from blocking in a wait (woken or
    // timed out); what the benchmark and the tests count per set.
    static std::uint64_t wakeUpsOfThisThread() { return t_wakeUps; }

protected:
    struct WaitOutcome {
        bool ready;             // else the deadline came
        std::int64_t enteredNs; // when the thread came to the wait
    };

    // The wait behind waitOn(). What of a deadline's lateness had passed
    // when the thread came to the wait is the thread's own doing; what
    // passed after (the clock's lock, the wake-up), the machine's.
    template <class Ready>
    WaitOutcome waitFor(WaitChannel& channel, Ready&& ready, std::int64_t deadlineNs)
    {
        noteWaitEntry(); // a read of the thread's statistics: not under the clock's lock
        const std::int64_t enteredNs = nowNs();
        std::unique_lock lock(m_mutex);
        for (;;) {
            if (ready())
                return {true, enteredNs};
            if (deadlineNs != kNoDeadline) {
                const std::int64_t now = nowNs();
                if (now >= deadlineNs) {
                    noteLate(now - deadlineNs, enteredNs - deadlineNs, nsPerRealNs());
                    return {false, enteredNs};
                }
            }
            Waiter self{&channel, nullptr, m_waiters, true};
            if (m_waiters)
                m_waiters->prev = &self;
            m_waiters = &self;
            ++m_waiting;
            block(lock, channel, deadlineNs);
            --m_waiting;
            if (self.prev)
                self.prev->next = self.next;
            else
                m_waiters = self.next;
            if (self.next)
                self.next->prev = self.prev;
            ++t_wakeUps;
        }
    }

    // A thread blocked in waitOn(); lives on that thread's stack.
    struct Waiter {
        WaitChannel* channel;
        Waiter* prev;
        Waiter* next;
        bool settled; // cleared by any wake-up sent to it
    };

    // Waits on the channel with the lock held until woken or, for real
    // time, until the deadline passes.
    virtual void block(std::unique_lock<std::mutex>& lock, WaitChannel& channel, std::int64_t deadlineNs) = 0;
    // Wakes every blocked waiter, whatever its channel. Lock held.
    void notifyAllWaitersLocked();
    // Wakes the waiters of one channel. Lock held.
    void notifyLocked(WaitChannel& channel);
    // Marks the waiters of one channel as woken. Lock held.
    void markUnsettledLocked(WaitChannel& channel);
    friend class Event;

    mutable std::mutex m_mutex;
    WaitChannel m_general;       // guarded by m_mutex
    Waiter* m_waiters = nullptr; // guarded by m_mutex
    int m_waiting = 0;           // guarded by m_mutex

    static thread_local std::uint64_t t_wakeUps;
};

// Steady time, optionally running faster than the wall clock (speed 10 lets
// one real second pass for ten simulated ones).
class RealClock final : public Clock {
public:
    explicit RealClock(double speed = 1.0);
    std::int64_t nowNs() const override;
    double nsPerRealNs() const override { return m_speed; }

protected:
    void block(std::unique_lock<std::mutex>& lock, WaitChannel& channel, std::int64_t deadlineNs) override;

private:
    const std::chrono::steady_clock::time_point m_origin;
    const double m_speed;
};

// Time stands still until a test advances it.
class ManualClock final : public Clock {
public:
    explicit ManualClock(std::int64_t startNs = 0);
    std::int64_t nowNs() const override;
    double nsPerRealNs() const override { return 0.0; }

    void advanceNs(std::int64_t ns);
    void advanceMs(std::int64_t ms) { advanceNs(ms * kNsPerMs); }

protected:
    void block(std::unique_lock<std::mutex>& lock, WaitChannel& channel, std::int64_t deadlineNs) override;

private:
    std::atomic<std::int64_t> m_nowNs; // written under m_mutex, read anywhere
};

enum class EventReset { Auto, Manual };

// A waitable event on a clock: auto-reset events release one wait per set,
// manual-reset events stay set until reset(). A set wakes only this event's
// waiters (and a watcher linked to it).
class Event {
public:
    explicit Event(Clock& clock, EventReset reset = EventReset::Auto, bool initiallySet = false);
    Event(const Event&) = delete;
    Event& operator=(const Event&) = delete;

    void set();
    void reset();
    // Waits up to timeoutMs (negative: without limit); true when signalled.
    bool wait(std::int64_t timeoutMs);
    // The same, ended early (false) once keepWaiting reads false and the
    // clock is woken.
    bool waitWhile(const std::atomic<bool>& keepWaiting, std::int64_t timeoutMs);
    // Takes the signal without waiting (an auto-reset event is reset). Under
    // the clock's mutex (in a wait's condition), setNs gets the time of the
    // set taken.
    bool trySignalled(std::int64_t* setNs = nullptr);
    bool isSet() const { return m_set.load(std::memory_order_acquire); }
    // Clock time of the set not yet taken, kNoDeadline when it is not set.
    std::int64_t setSinceNs() const;

    Clock& clock() const { return m_clock; }

    // A set also wakes the waiters of this channel (a dispatcher watching
    // many events); null unlinks. The channel must outlive the link.
    void linkWatcher(WaitChannel* watcher);

private:
    Clock& m_clock;
    const EventReset m_reset;
    std::atomic<bool> m_set;         // written by set/reset/consumers, read under the clock's mutex
    std::atomic<std::int64_t> m_setNs{0}; // clock time of the first set not yet taken, written under the clock's mutex
    WaitChannel m_channel;           // guarded by the clock's mutex
    WaitChannel* m_watcher = nullptr; // guarded by the clock's mutex
};

} // namespace os
