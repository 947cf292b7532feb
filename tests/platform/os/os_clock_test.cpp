#include "platform/os/Apartment.h"
#include "platform/os/Clock.h"
#include "platform/os/OsPlatform.h"
#include "platform/os/RealtimeGuard.h"
#include "platform/os/RealtimeThread.h"

#include <gtest/gtest.h>

#include <pthread.h>
#include <sched.h>

#include <atomic>
#include <memory>
#include <thread>
#include <vector>

namespace os {
namespace {

void waitForWaiters(const Clock& clock, int count)
{
    while (clock.waitingThreads() < count)
        std::this_thread::yield();
}

TEST(OsManualClock, TimedWaitEndsOnlyWhenTimeReachesTheDeadline)
{
    ManualClock clock;
    Event event(clock);
    std::atomic<int> result{-1};
    std::thread waiter([&] { result = event.wait(200) ? 1 : 0; });
    waitForWaiters(clock, 1);
    clock.advanceMs(199);
    // Still blocked one millisecond before the deadline.
    waitForWaiters(clock, 1);
    EXPECT_EQ(result.load(), -1);
    clock.advanceMs(1);
    waiter.join();
    EXPECT_EQ(result.load(), 0);
}

TEST(OsManualClock, SetReleasesAWaiterWithoutTimeMoving)
{
    ManualClock clock;
    Event event(clock);
    std::atomic<bool> signalled{false};
    std::thread waiter([&] { signalled = event.wait(-1); });
    waitForWaiters(clock, 1);
    event.set();
    waiter.join();
    EXPECT_TRUE(signalled.load());
    EXPECT_EQ(clock.nowNs(), 0);
}

TEST(OsEvent, AutoResetReleasesOneWaitPerSetManualResetStaysSet)
{
    ManualClock clock;
    Event autoEvent(clock, EventReset::Auto);
    autoEvent.set();
    autoEvent.set();
    EXPECT_TRUE(autoEvent.wait(0));
    EXPECT_FALSE(autoEvent.wait(0));

    Event manual(clock, EventReset::Manual, true);
    EXPECT_TRUE(manual.wait(0));
    EXPECT_TRUE(manual.wait(0));
    manual.reset();
    EXPECT_FALSE(manual.wait(0));
}

TEST(OsEvent, EachWaiterIsWokenOnlyByItsOwnSets)
{
    constexpr int kWaiters = 32;
    constexpr int kRounds = 20;
    ManualClock clock;
    std::vector<std::unique_ptr<Event>> events;
    for (int i = 0; i < kWaiters; ++i)
        events.push_back(std::make_unique<Event>(clock));
    std::vector<std::atomic<int>> taken(kWaiters);
    std::vector<std::uint64_t> wakeUps(kWaiters, 0);
    std::vector<std::thread> threads;
    for (int i = 0; i < kWaiters; ++i) {
        threads.emplace_back([&, i] {
            const std::uint64_t before = Clock::wakeUpsOfThisThread();
            for (int r = 0; r < kRounds; ++r) {
                events[i]->wait(-1);
                taken[i].fetch_add(1);
            }
            wakeUps[i] = Clock::wakeUpsOfThisThread() - before;
        });
    }
    for (int r = 0; r < kRounds; ++r) {
        for (int i = 0; i < kWaiters; ++i) {
            // Every other waiter is blocked while this one is set.
            waitForWaiters(clock, kWaiters - (r == kRounds - 1 ? i : 0));
            events[i]->set();
            while (taken[i].load() <= r)
                std::this_thread::yield();
        }
    }
    for (auto& t : threads)
        t.join();
    for (int i = 0; i < kWaiters; ++i)
        EXPECT_LE(wakeUps[i], kRounds + 2u) << "waiter " << i; // a spurious wake-up or two at most
}

TEST(OsManualClock, SleepLastsExactlyItsTime)
{
    ManualClock clock;
    std::atomic<bool> done{false};
    std::thread sleeper([&] {
        clock.sleepForMs(300);
        done = true;
    });
    waitForWaiters(clock, 1);
    clock.advanceMs(100);
    clock.advanceMs(100);
    waitForWaiters(clock, 1);
    EXPECT_FALSE(done.load());
    clock.advanceMs(100);
    sleeper.join();
    EXPECT_TRUE(done.load());
}

TEST(OsManualClock, PacedLoopSleepsToAbsoluteDeadlines)
{
    ManualClock clock;
    std::atomic<int> ticks{0};
    std::thread loop([&] {
        std::int64_t next = clock.nowNs();
        for (int i = 0; i < 3; ++i) {
            next += 10 * Clock::kNsPerMs;
            clock.sleepUntilNs(next);
            ++ticks;
        }
    });
    // One jump past several deadlines releases each of them at once.
    waitForWaiters(clock, 1);
    clock.advanceMs(35);
    loop.join();
    EXPECT_EQ(ticks.load(), 3);
}

TEST(OsRealClock, AcceleratedClockRunsFaster)
{
    RealClock clock(50.0);
    const auto realStart = std::chrono::steady_clock::now();
    clock.sleepForMs(500); // 10 ms of real time
    const auto realMs =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - realStart).count();
    EXPECT_GE(clock.nowNs(), 500 * Clock::kNsPerMs);
    EXPECT_LT(realMs, 400); // generous: far below the unaccelerated 500 ms
}

TEST(OsApartment, CodesFollowTheFirstInitialisationOfTheThread)
{
    std::thread([] {
        EXPECT_EQ(initializeApartment(ApartmentKind::Multithreaded), S_OK);
        EXPECT_EQ(initializeApartment(ApartmentKind::Multithreaded), S_FALSE);
        EXPECT_EQ(initializeApartment(ApartmentKind::SingleThreaded), RPC_E_CHANGED_MODE);
        EXPECT_EQ(apartmentDepth(), 2);
        uninitializeApartment();
        uninitializeApartment();
        EXPECT_EQ(apartmentDepth(), 0);
        {
            ApartmentScope scope(ApartmentKind::SingleThreaded);
            EXPECT_EQ(scope.result(), S_OK);
            ApartmentScope other(ApartmentKind::Multithreaded);
            EXPECT_EQ(other.result(), RPC_E_CHANGED_MODE);
        }
        EXPECT_EQ(apartmentDepth(), 0);
    }).join();
}

TEST(OsRealtimeThreadScope, NamesTheTaskAndRestoresOnExit)
{
    std::thread([] {
        EXPECT_TRUE(RealtimeThreadScope::currentTaskName().empty());
        {
            RealtimeThreadScope scope(L"Pro Audio");
            EXPECT_TRUE(scope.joined());
            EXPECT_EQ(RealtimeThreadScope::currentTaskName(), L"Pro Audio");
#if defined(__x86_64__)
            // Denormals are flushed inside the scope.
            volatile float tiny = 1e-38f;
            volatile float smaller = tiny * 1e-3f;
            EXPECT_EQ(smaller, 0.0f);
#endif
        }
        EXPECT_TRUE(RealtimeThreadScope::currentTaskName().empty());
    }).join();
}

TEST(OsRealtimeThreadScope, SchedulingIsRealtimeWhereAllowedAndRestored)
{
    std::thread([] {
        int policy = -1;
        sched_param param{};
        pthread_getschedparam(pthread_self(), &policy, &param);
        EXPECT_FALSE(RealtimeThreadScope::inRealtimeScope());
        {
            RealtimeThreadScope scope(L"Pro Audio", RealtimePriority::High);
            EXPECT_TRUE(RealtimeThreadScope::inRealtimeScope());
            int inside = -1;
            sched_param insideParam{};
            pthread_getschedparam(pthread_self(), &inside, &insideParam);
            // What the scope reports is what the thread really runs with.
            if (scope.scheduling() == RealtimeScheduling::RealtimePolicy)
                EXPECT_EQ(inside, SCHED_RR);
            else {
                EXPECT_EQ(scope.scheduling(), RealtimeScheduling::FlushToZeroOnly);
                EXPECT_EQ(inside, policy);
            }
        }
        int after = -1;
        pthread_getschedparam(pthread_self(), &after, &param);
        EXPECT_EQ(after, policy);
        EXPECT_FALSE(RealtimeThreadScope::inRealtimeScope());
    }).join();
}

// An event handled, or a pause ended, later than the scope's buffer lasts
// is a stall; sooner, or in a scope that gave no buffer, it is not. A
// thread blocked in its wait before then was woken late by the machine; one
// that came to the wait after was late by its own doing. Woken late within
// its buffer, over 2 ms, is the machine's delay.
TEST(OsRealtimeThreadScope, HandlingLaterThanTheBufferLastsIsAStallOfWhoeverWasLate)
{
    enum class Wait { EventSetBefore, EventSetTwiceBefore, PauseEndedBefore, PauseEndedWhileBlocked };
    const struct {
        int bufferMs;
        std::int64_t lateMs;
        Wait wait;
        std::size_t stalls;
        StallKind kind;
    } cases[] = {
        {20, 10, Wait::EventSetBefore, 0, StallKind::Program},
        {20, 30, Wait::EventSetBefore, 1, StallKind::Program},
        {20, 30, Wait::EventSetTwiceBefore, 1, StallKind::Program}, // late from the first set
        {20, 30, Wait::PauseEndedBefore, 1, StallKind::Program},
        {20, 2, Wait::PauseEndedWhileBlocked, 0, StallKind::Delay},
        {20, 10, Wait::PauseEndedWhileBlocked, 1, StallKind::Delay},
        {20, 30, Wait::PauseEndedWhileBlocked, 1, StallKind::Thread},
        {0, 30, Wait::EventSetBefore, 0, StallKind::Program},
    };
    for (const auto &c : cases) {
        ManualClock clock;
        std::uint64_t lost = 0;
        const std::size_t before = notedStalls(lost).size();
        std::thread waiter([&] {
            const RealtimeThreadScope scope(L"Pro Audio", RealtimePriority::High, c.bufferMs);
            const std::int64_t dueNs = clock.nowNs();
            switch (c.wait) {
            case Wait::EventSetBefore:
            case Wait::EventSetTwiceBefore: {
                Event event(clock);
                event.set();
                clock.advanceMs(c.lateMs);
                if (c.wait == Wait::EventSetTwiceBefore)
                    event.set();
                EXPECT_TRUE(event.wait(0));
                break;
            }
            case Wait::PauseEndedBefore:
                clock.advanceMs(c.lateMs);
                clock.sleepUntilNs(dueNs);
                break;
            case Wait::PauseEndedWhileBlocked:
                clock.sleepUntilNs(dueNs + Clock::kNsPerMs);
                break;
            }
        });
        if (c.wait == Wait::PauseEndedWhileBlocked) {
            while (clock.waitingThreads() == 0)
                std::this_thread::yield();
            clock.advanceMs(1 + c.lateMs);
        }
        waiter.join();
        const std::vector<Stall> stalls = notedStalls(lost);
        ASSERT_EQ(stalls.size() - before, c.stalls) << c.bufferMs << " ms buffer, " << c.lateMs << " ms late";
        if (c.stalls) {
            EXPECT_EQ(stalls.back().lateNs, c.lateMs * Clock::kNsPerMs);
            EXPECT_EQ(stalls.back().kind, c.kind) << c.lateMs << " ms late";
        }
    }
}

TEST(OsRealtimeGuard, ViolationsAreAHeldAudioLockOrNoRealtimeScope)
{
    AudioMutex audioLock;
    std::uint64_t outside = 0;
    std::uint64_t insideHeld = 0;
    std::uint64_t insideFree = 0;
    std::thread([&] {
        std::uint64_t before = realtimeViolations();
        realtimeCheck("outside");
        outside = realtimeViolations() - before;
        RealtimeThreadScope scope(L"Pro Audio");
        before = realtimeViolations();
        {
            std::lock_guard lock(audioLock);
            EXPECT_EQ(AudioMutex::heldByThisThread(), 1);
            realtimeCheck("held");
        }
        insideHeld = realtimeViolations() - before;
        before = realtimeViolations();
        realtimeCheck("clean");
        insideFree = realtimeViolations() - before;
        EXPECT_EQ(AudioMutex::heldByThisThread(), 0);
    }).join();
    EXPECT_EQ(outside, 1u);
    EXPECT_EQ(insideHeld, 1u);
    EXPECT_EQ(insideFree, 0u);
}

TEST(OsEmptyPlatform, WithoutAnInstalledPlatformEverythingFailsCleanly)
{
    installPlatform(nullptr);
    auto platform = currentPlatform();
    ASSERT_TRUE(platform);
    std::shared_ptr<EndpointEnumerator> enumerator;
    EXPECT_TRUE(FAILED(platform->createEndpointEnumerator(enumerator)));
    EXPECT_FALSE(enumerator);
    std::shared_ptr<PolicyConfig> policy;
    EXPECT_TRUE(FAILED(platform->createPolicyConfig(PolicyConfigClass::Current, policy)));
    std::uint32_t queue = 0;
    EXPECT_TRUE(FAILED(platform->workQueues().lockSharedWorkQueue(L"Capture", 0, queue)));
}

} // namespace
} // namespace os
