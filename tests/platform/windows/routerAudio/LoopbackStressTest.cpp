// Captures started and stopped over and over with packets flowing, while
// the routing lists change every 5 ms and the level callback races the
// API's shutdown: nothing hangs, nothing crashes, no real-time path waits.
#include "LoopbackTestSupport.h"

#include "platform/os/RealtimeGuard.h"

#include <gtest/gtest.h>

#include <atomic>

using namespace looptest;

namespace {

TEST(LoopbackStress, StartStopCyclesWhileListsChangeAndShutdownRaces)
{
    LogLines log;
    auto world = std::make_shared<os::SimAudioWorld>(std::make_shared<os::RealClock>());
    for (uint32_t pid : {100u, 200u, 300u})
        world->addProcess({.processId = pid, .signal = os::Signal::sine(220.0 * pid / 100, 0.3f)});
    os::installPlatform(world);
    AudioRouteConfigStore::instance().set(100, routedRecord(100));
    os::resetRealtimeViolations();

    std::atomic<bool> done{false};
    std::atomic<int> cycles{0};
    std::thread starter([&] {
        for (int i = 0; i < 500; ++i) {
            auto capture = CLoopbackCapture::create(world, Mixer::instance());
            capture->setBufferDuration(200000);
            if (SUCCEEDED(capture->StartCapture(100, true))) {
                if (i % 3 == 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(12)); // let packets flow
                capture->StopCapture();
            }
            cycles.fetch_add(1);
        }
        done = true;
    });
    std::thread lists([&] {
        for (int i = 0; !done; ++i) {
            AudioRouterAPI::UpdateConfigs({routedRecord(i % 2 ? 200 : 300), routedRecord(5)});
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    });
    std::thread lifecycle([&] {
        while (!done) {
            AudioRouterAPI::Initialize();
            std::this_thread::sleep_for(std::chrono::milliseconds(7));
            AudioRouterAPI::Shutdown();
        }
    });
    std::thread callbacks([&] {
        std::atomic<int> calls{0};
        while (!done) {
            AudioRouterAPI::SetLevelCallback([&calls](const std::vector<AudioLevelInfo> &) { calls.fetch_add(1); });
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
        }
    });
    starter.join();
    lists.join();
    lifecycle.join();
    callbacks.join();
    AudioRouterAPI::Shutdown();
    AudioRouterAPI::SetLevelCallback({});
    os::installPlatform(nullptr);

    EXPECT_EQ(cycles.load(), 500);
    EXPECT_EQ(os::realtimeViolations(), 0u) << os::lastRealtimeViolationSite();
    EXPECT_TRUE(eventually([&] { return world.use_count() == 1; }));
    EXPECT_EQ(world->openStreams(), 0u);
}

} // namespace
