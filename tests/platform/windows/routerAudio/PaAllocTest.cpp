// Steady worker passes and monitor conversions must neither touch the heap
// nor meet the engine's lock on the audio path.
#include "AllocationCounter.h"
#include "PaEngineTestSupport.h"

#include "platform/os/RealtimeGuard.h"
#include "platform/os/RealtimeThread.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace patest;

namespace {

TEST(PaEngineAllocations, NoneInSteadyMonitorConversions)
{
    Rig rig;
    AudioRouterService engine(rig.environment());
    std::vector<float> in(241 * 2), out(221 * 2);
    for (size_t f = 0; f < 241; ++f)
        in[f * 2] = in[f * 2 + 1] = static_cast<float>(std::sin(0.13 * static_cast<double>(f)));
    for (int i = 0; i < 20; ++i)
        resampleMonitor(engine.impl(), in.data(), 241, 48000.0, out.data(), 221, 44100.0);
    AllocationCounter counter;
    for (int i = 0; i < 1000; ++i)
        resampleMonitor(engine.impl(), in.data(), 241, 48000.0, out.data(), 221, 44100.0);
    EXPECT_EQ(counter.count(), 0u);
}

TEST(PaEngineAllocations, NoneAndNoLockInSteadyWorkerPasses)
{
    Rig rig({inputDevice("Mic"), inputDevice("Aux"), outputDevice("Speakers", paALSA, 2, 44100.0)});
    os::RealClock clock;
    AudioRouterService engine(rig.environment(&clock));
    AudioRouterService::Impl &impl = engine.impl();
    impl.config.inputDevices = {{"Mic", 0, 0}, {"Aux", 1, 1}};
    impl.config.outputDevice = "Speakers";
    impl.state.store(AudioRouterService::Impl::State::Running);

    os::RealtimeThreadScope scope(L"Pro Audio");
    WorkerLoop loop(impl);
    ASSERT_TRUE(loop.start());
    for (int i = 0; i < 50; ++i)
        ASSERT_TRUE(loop.pass());
    os::resetRealtimeViolations();
    EXPECT_EQ(allocationsDuring([&] {
                  for (int i = 0; i < 1000; ++i)
                      ASSERT_TRUE(loop.pass());
              }),
              0u);
    EXPECT_EQ(os::realtimeViolations(), 0u) << os::lastRealtimeViolationSite();
    EXPECT_EQ(rig.pushes(0), 1050u);
    EXPECT_EQ(rig.pushes(1), 1050u);
    EXPECT_TRUE(rig.lines.has("[Solo] LibSR engaged, srcRate=48000 dstRate=44100"));
    impl.state.store(AudioRouterService::Impl::State::Stopped);
    loop.finish();
}

} // namespace
