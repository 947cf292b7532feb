// Producers push while consumers pull and the level reporter reads, with the
// routing changing underneath: run under the tsan preset.
#include "MixerTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <thread>

using namespace mixertest;

namespace {

TEST(MixerConcurrency, PushPullAndLevelsFromManyThreads)
{
    AudioRouteConfigStore store;
    testing::internal::CaptureStdout();
    Mixer mixer(store);
    for (uint32_t id : {300u, 301u, 302u})
        store.set(id, routed(id));

    constexpr int kBlocks = 300;
    std::atomic<int> producersLeft{3};
    std::atomic<bool> badSample{false};

    // At least a second of pushes and pulls, however slow the build.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    auto producer = [&](uint32_t id, uint32_t rate, uint32_t frames) {
        uint64_t frame = 0;
        for (int b = 0; b < kBlocks || std::chrono::steady_clock::now() < until; ++b) {
            const auto block = sineBlock(frames, 1000.0, rate, 0.8f, frame);
            frame += frames;
            pushFloats(mixer, id, block, rate);
            mixer.updateBusMeters();
            std::this_thread::yield();
        }
        producersLeft.fetch_sub(1);
    };
    auto running = [&] { return producersLeft.load() > 0; };
    auto check = [&](const std::vector<float> &out) {
        for (float s : out)
            if (!(s >= -1.0f && s <= 1.0f))
                badSample = true;
    };

    std::vector<std::thread> threads;
    threads.emplace_back(producer, 300, 48000, 480);
    threads.emplace_back(producer, 301, 44100, 441);
    threads.emplace_back(producer, 302, 48000, 256);
    threads.emplace_back([&] {
        std::vector<float> out(960);
        while (running()) {
            mixer.pullBus(out.data(), 480, 2);
            check(out);
            std::this_thread::yield();
        }
    });
    threads.emplace_back([&] {
        std::vector<float> out(960);
        while (running()) {
            mixer.pullMonitor(out.data(), 480);
            check(out);
            std::this_thread::yield();
        }
    });
    threads.emplace_back([&] {
        while (running()) {
            mixer.decayLevels(0.5f);
            for (uint32_t id : store.sourceIds()) {
                const StereoLevels l = id == kListenBusMasterId ? mixer.getListenBusLevels()
                                       : id == kMixBusMasterId  ? mixer.getMixBusLevels()
                                                                : mixer.getSourceLevels(id);
                if (!std::isfinite(l.left) || !std::isfinite(l.right))
                    badSample = true;
            }
            std::this_thread::yield();
        }
    });
    threads.emplace_back([&] { // the routing API and the endpoint monitor
        for (int i = 0; running(); ++i) {
            AudioRouteConfig r = routed(302, 0.5f, 0.8f);
            r.solo = i % 2;
            r.input1.muted = i % 3 == 0;
            store.set(302, r);
            AudioRouteConfig master;
            master.solo = i % 4 == 0;
            master.input2 = {1, 1.0f, 0};
            store.set(kMixBusMasterId, master);
            if (i % 7 == 0)
                mixer.removeSource(301);
            if (i % 50 == 0)
                mixer.clear();
            store.virtualOutputIsDefault.store(i % 11 != 0, std::memory_order_relaxed);
            (void)mixer.sourceIds();
            std::this_thread::yield();
        }
    });
    for (auto &t : threads)
        t.join();
    testing::internal::GetCapturedStdout();

    EXPECT_FALSE(badSample.load());
}

} // namespace
