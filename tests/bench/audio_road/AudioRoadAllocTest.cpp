// The whole road in this process on the lockstep clock: once it has run a
// second, its real-time threads allocate nothing, statistics lines included, and never wait behind a
// lock a real-time path must not take; the driver client's buffer of each
// write, which its interface prescribes, is the one allocation.
#include "AudioRoad.h"

#include "AllocationCounter.h"
#include "platform/os/RealtimeGuard.h"

#include <gtest/gtest.h>

#include <filesystem>

TEST(AudioRoadAllocations, RealtimeThreadsAllocateNothingOnceRunning)
{
    AudioRoadOptions options;
    options.seconds = 4.0;
    options.clock = AudioRoadOptions::ClockKind::Lockstep;
    options.loopbackFormat = AudioRoadOptions::LoopbackFormat::Pcm44; // the resampling path too
    os::resetRealtimeViolations();
    AudioRoad road(options);
    ASSERT_TRUE(road.start());
    road.runUntil(1.0);
    uint64_t allocations = 0;
    const uint32_t writesBefore = road.driverWrites();
    uint32_t writes = 0;
    {
        AllocationCounter counter;
        const AllocationCounter::Paused stepping; // this thread only steps the world and reads recordings
        road.runUntil(3.5); // past the livestream forwarder's first statistics line (its 300th loop)
        allocations = counter.count();
        writes = road.driverWrites() - writesBefore;
    }
    road.stop();
    // The driver client's interface gives it one heap buffer per write;
    // nothing else allocates.
    EXPECT_GE(writes, 245u);
    EXPECT_EQ(allocations, writes);
    EXPECT_EQ(os::realtimeViolations(), 0u) << os::lastRealtimeViolationSite();
    EXPECT_GT(road.monitor().size(), size_t(2.5 * 48000 * 2)); // the road did run
}
