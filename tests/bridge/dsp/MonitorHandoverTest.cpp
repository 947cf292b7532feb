// The hand-over between the GUI thread and the capture thread: after the
// first block nothing is allocated, a held lock delays a change by blocks
// instead of stalling them, and hammering both sides at once stays clean
// under ThreadSanitizer.
#include "AllocationCounter.h"

#include "bridge/dsp/MonitorProcessing.h"
#include "platform/os/RealtimeThread.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Values = std::array<float, kEqBandCount>;

std::vector<float> sineBlock(int frames, int channels, int phase)
{
    std::vector<float> b(size_t(frames) * channels);
    for (size_t i = 0; i < b.size(); ++i)
        b[i] = float(0.3 * std::sin(0.07 * double(i + size_t(phase) * b.size())));
    return b;
}

TEST(MonitorHandover, NoAllocationAfterTheFirstBlock)
{
    MonitorProcessing p;
    p.setEqualizerEnabled(true);
    p.applyEqualizerPreset(0, {3, 0, -2, 0, 1, 0, 4, 0, 0, -3, 0, 1});
    p.setGain(true, -6.0);
    std::vector<float> block = sineBlock(480, 2, 0);
    p.process(block.data(), 2, 480, 48000.0);

    std::uint64_t during = 0;
    {
        AllocationCounter counter;
        for (int i = 0; i < 1000; ++i) {
            if (i % 100 == 50) { // changes of every kind between the blocks
                AllocationCounter::Paused gui;
                p.applyEqualizerPreset(i % 200 ? 0 : 2, {float(i % 7), -2, 0, 0, 5, 0, 0, 0, 0, 0, 0, -1});
                p.setGain(true, -float(i % 30));
                p.setEqualizerEnabled(i != 250);
            }
            p.process(block.data(), 2, 480, 48000.0);
        }
        during = counter.count();
    }
    EXPECT_EQ(during, 0u);
    EXPECT_EQ(p.eqDirty.load(), false) << "the changes were taken";
}

TEST(MonitorHandover, HeldLockDelaysTheChangeWithoutStallingBlocks)
{
    MonitorProcessing held, reference;
    for (MonitorProcessing *p : {&held, &reference}) {
        p->setEqualizerEnabled(true);
        p->applyEqualizerPreset(0, {0, 0, 0, 0, 0, 6, 0, 0, 0, 0, 0, 0});
        std::vector<float> warm = sineBlock(480, 2, 0);
        p->process(warm.data(), 2, 480, 48000.0);
    }

    // Another thread holds the lock while the new preset waits to be taken.
    held.applyEqualizerPreset(0, {0, 0, -6, 0, 0, 0, 0, 0, 0, 0, 0, 0});
    std::mutex m;
    std::condition_variable cv;
    bool locked = false, release = false;
    std::thread gui([&] {
        std::lock_guard hold(held.eqMutex);
        std::unique_lock lk(m);
        locked = true;
        cv.notify_all();
        cv.wait(lk, [&] { return release; });
    });
    {
        std::unique_lock lk(m);
        cv.wait(lk, [&] { return locked; });
    }
    for (int i = 1; i <= 5; ++i) { // blocks flow on the old bands
        std::vector<float> a = sineBlock(480, 2, i), b = a;
        held.process(a.data(), 2, 480, 48000.0);
        reference.process(b.data(), 2, 480, 48000.0);
        ASSERT_EQ(std::memcmp(a.data(), b.data(), a.size() * 4), 0) << i;
    }
    {
        std::lock_guard lk(m);
        release = true;
    }
    cv.notify_all();
    gui.join();

    std::vector<float> a = sineBlock(480, 2, 6), b = a;
    held.process(a.data(), 2, 480, 48000.0);
    reference.process(b.data(), 2, 480, 48000.0);
    EXPECT_NE(std::memcmp(a.data(), b.data(), a.size() * 4), 0) << "the change landed";
    EXPECT_FALSE(held.eqDirty.load());
    EXPECT_TRUE(held.eqChain->bands[2].enabled);
    EXPECT_LT(held.eqChain->bands[2].gainDb, -6.0f);
}

// Two capture threads (engine and router) and the GUI thread at once: a block
// that finds another running comes back untouched, every other one finite.
TEST(MonitorHandover, ConcurrentCallersAndChanges)
{
    MonitorProcessing p;
    std::atomic<bool> stop{false};
    std::atomic<int> faults{0};
    auto capture = [&](int seed) {
        os::RealtimeThreadScope scope(L"Pro Audio");
        for (int i = 0; !stop.load(std::memory_order_relaxed); ++i) {
            std::vector<float> block = sineBlock(64, 2, seed + i);
            const std::vector<float> original = block;
            const auto result = p.process(block.data(), 2, 64, 48000.0);
            if (result == MonitorProcessing::BlockResult::Busy
                && std::memcmp(block.data(), original.data(), block.size() * 4) != 0)
                faults.fetch_add(1);
            for (float s : block)
                if (!std::isfinite(s))
                    faults.fetch_add(1);
        }
    };
    std::thread router(capture, 0), engine(capture, 1000);
    for (int i = 0; i < 600; ++i) {
        const float v = float(i % 13) - 6.0f;
        p.setEqualizerEnabled(i % 17 != 0);
        if (i % 11 == 0)
            p.clearEqualizer();
        else
            p.applyEqualizerPreset(i % 5 == 0 ? 1 : 0, {v, -v, v, 0, 0, v, 0, 0, -v, 0, v, 0});
        p.setGain(i % 7 != 0, -double(i % 80));
    }
    stop = true;
    router.join();
    engine.join();
    EXPECT_EQ(faults.load(), 0);
}

} // namespace
