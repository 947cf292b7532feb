// Facade calls from three threads against a running worker for 3 s.
#include "PaEngineTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace patest;

namespace {

TEST(PaEngineStress, FacadeCallsFromThreeThreads)
{
    Rig rig({inputDevice("Mic"), inputDevice("USB Line"), outputDevice("Speakers", paALSA, 2, 44100.0)});
    os::RealClock clock;
    AudioRouterService engine(rig.environment(&clock));
    AudioRouterConfig config;
    config.inputDevices = {{"Mic", 0, 0}};
    config.outputDevice = "Speakers";

    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    const auto running = [&] { return std::chrono::steady_clock::now() < end; };
    std::thread lifecycle([&] {
        for (int i = 0; running(); ++i) {
            if (i % 3 == 2)
                engine.Restart();
            else
                engine.Start(config);
            std::this_thread::sleep_for(std::chrono::milliseconds(3));
            if (i % 2)
                engine.Stop();
        }
    });
    std::thread requests([&] {
        for (int i = 0; running(); ++i) {
            engine.SetSampleRate(i % 2 ? 44100.0 : 48000.0);
            engine.AddInputDevice(i % 2 ? "USB Line" : "Aux", 0, 1);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    std::thread removals([&] {
        for (int i = 0; running(); ++i) {
            engine.PostRequest(i % 2 ? "usb" : "aux");
            engine.Start(config);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
    });
    lifecycle.join();
    requests.join();
    removals.join();
    engine.Stop();

    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (!engine.impl().workerExited() && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_TRUE(engine.impl().workerExited());
    EXPECT_FALSE(engine.IsRunning());
    EXPECT_GT(rig.pa.initializeCount(), 0);
    EXPECT_FALSE(rig.pa.overlapSeen());
    EXPECT_FALSE(rig.pa.usedAfterClose());
    EXPECT_TRUE(rig.pa.openStreams().empty());
    EXPECT_FALSE(rig.pa.initialized());
}

} // namespace
