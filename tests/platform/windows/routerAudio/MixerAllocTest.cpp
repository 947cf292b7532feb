// Steady pushes and pulls must not touch the heap: this binary counts every
// call of the global allocation functions.
#include "MixerTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<long> g_allocations{0};

void *countedAlloc(std::size_t size)
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    if (void *p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}
} // namespace

void *operator new(std::size_t size) { return countedAlloc(size); }
void *operator new[](std::size_t size) { return countedAlloc(size); }
void *operator new(std::size_t size, const std::nothrow_t &) noexcept
{
    g_allocations.fetch_add(1, std::memory_order_relaxed);
    return std::malloc(size ? size : 1);
}
void *operator new[](std::size_t size, const std::nothrow_t &tag) noexcept { return operator new(size, tag); }
void operator delete(void *p) noexcept { std::free(p); }
void operator delete[](void *p) noexcept { std::free(p); }
void operator delete(void *p, std::size_t) noexcept { std::free(p); }
void operator delete[](void *p, std::size_t) noexcept { std::free(p); }

using namespace mixertest;

namespace {

TEST(MixerAllocations, NoneInSteadyPushAndPullCycles)
{
    AudioRouteConfigStore store;
    testing::internal::CaptureStdout();
    Mixer mixer(store);

    store.set(200, routed(200));
    store.set(201, routed(201, 0.5f, 0.7f));
    AudioRouteConfig solo = routed(202);
    solo.solo = 1;
    store.set(202, solo);
    AudioRouteConfig mixMaster;
    mixMaster.input2 = {1, 0.9f, 0};
    store.set(kMixBusMasterId, mixMaster);

    const std::vector<float> floatBlock = sineBlock(480, 440.0, 48000.0, 0.4f);
    const WAVEFORMATEX floatFmt = floatFormat(2);
    std::vector<int16_t> monoBlock(441);
    for (size_t i = 0; i < monoBlock.size(); ++i)
        monoBlock[i] = static_cast<int16_t>(8000 * std::sin(double(i) * 0.1));
    const WAVEFORMATEX monoFmt = pcmFormat(16, 1, 44100);
    std::vector<int32_t> intBlock(960, 1 << 28);
    const WAVEFORMATEX intFmt = pcmFormat(32, 2);
    std::vector<float> out(960);

    auto cycle = [&](int i) {
        mixer.push(200, floatBlock.data(), uint32_t(floatBlock.size() * 4), &floatFmt);
        mixer.push(201, monoBlock.data(), uint32_t(monoBlock.size() * 2), &monoFmt);
        mixer.push(202, intBlock.data(), uint32_t(intBlock.size() * 4), &intFmt);
        mixer.updateBusMeters();
        mixer.pullBus(out.data(), 480, 2);
        mixer.pullBus(out.data(), 480, 1);
        mixer.pullMonitor(out.data(), 480);
        if (i % 5 == 0)
            mixer.decayLevels(0.5f);
        (void)mixer.getSourceLevels(201);
        (void)mixer.getListenBusLevels();
        (void)mixer.getMixBusLevels();
    };

    for (int i = 0; i < 20; ++i) // warm-up: buffers, converter, scratch capacity
        cycle(i);
    const long before = g_allocations.load();
    for (int i = 0; i < 1000; ++i)
        cycle(i);
    const long during = g_allocations.load() - before;
    testing::internal::GetCapturedStdout();

    EXPECT_EQ(during, 0);
    EXPECT_GT(mixer.getMixBusLevels().left, 0.0f); // the loop really mixed
}

TEST(MixerAllocations, CounterSeesAllocations)
{
    const long before = g_allocations.load();
    auto p = std::make_unique<int>(3);
    EXPECT_GT(g_allocations.load(), before);
}

} // namespace
