// Steady pushes and pulls, and the forwarder's loop, must not touch the
// heap: AllocationCounter sees operator new and the C allocation functions.
#include "AllocationCounter.h"
#include "MixerTestSupport.h"

#include "LoopbackTestSupport.h"
#include "driverclient/sim/SimVirtualDriver.h"
#include "platform/windows/routerAudio/LivestreamForwarder.h"
#include "platform/windows/routerAudio/WinMicRouter.h"

#include <gtest/gtest.h>

#include <memory>

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
    const WAVEFORMATEX floatFmt = os::floatFormat(kMixSampleRate, 2);
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

    cycle(0);
    mixer.waitForConverters(); // the 44.1 kHz source's converter is handed over in the warm-up
    for (int i = 0; i < 20; ++i) // warm-up: buffers, converter, scratch capacity
        cycle(i);
    const std::uint64_t during = allocationsDuring([&] {
        for (int i = 0; i < 1000; ++i)
            cycle(i);
    });
    testing::internal::GetCapturedStdout();

    EXPECT_EQ(during, 0u);
    EXPECT_GT(mixer.getMixBusLevels().left, 0.0f); // the loop really mixed
}

TEST(MixerAllocations, CounterSeesCAndCppAllocations)
{
    AllocationCounter counter;
    // Kept visible so that the compiler cannot elide the pairs.
    static void *volatile sink[3];
    auto p = std::make_unique<int>(3);
    sink[0] = p.get();
    sink[1] = std::malloc(16);
    sink[1] = std::realloc(sink[1], 4096);
    sink[2] = std::calloc(4, 4);
    EXPECT_EQ(counter.count(), 4u);
    std::free(sink[1]);
    std::free(sink[2]);
}

// The simulated driver stands for a kernel driver: its own bookkeeping is
// not the forwarder's.
class UncountedDriver : public VadControlDevice {
public:
    explicit UncountedDriver(SimVirtualDriver &driver)
        : m_driver(driver)
    {
    }
    uint32_t open(const char *path, VadDeviceHandle *outDevice) override
    {
        AllocationCounter::Paused paused;
        return m_driver.open(path, outDevice);
    }
    uint32_t ioControl(VadDeviceHandle device, uint32_t code, const void *in, uint32_t inBytes, void *out,
                       uint32_t outBytes, uint32_t *returnedBytes) override
    {
        AllocationCounter::Paused paused;
        return m_driver.ioControl(device, code, in, inBytes, out, outBytes, returnedBytes);
    }
    void close(VadDeviceHandle device) override { m_driver.close(device); }

private:
    SimVirtualDriver &m_driver;
};

// The forwarder's loop: the driver client's one buffer per write is all.
TEST(ForwarderAllocations, OneHeapBufferPerWriteAndNothingElse)
{
    AudioRouteConfigStore store;
    testing::internal::CaptureStdout();
    Mixer mixer(store);
    testing::internal::GetCapturedStdout();
    store.set(7, routed(7));
    os::ManualClock clock;
    SimVirtualDriver driver{clock};
    driver.setRecordWrites(false);
    UncountedDriver uncounted(driver);
    NUVEXControl_Install(&uncounted);
    VadAudioHandle handle = nullptr;
    ASSERT_EQ(VadAudio_Open(&handle), VAD_AUDIO_OK);
    std::vector<std::string> lines;
    const LivestreamForwarder::LogSink log = [&lines](const std::string &line) { lines.push_back(line); };
    LivestreamForwarder::ForwardLoop loop(mixer, log);
    const std::vector<float> block = sineBlock(480, 440.0, 48000.0, 0.3f);
    auto step = [&] {
        pushFloats(mixer, 7, block);
        loop.step(handle, LivestreamForwarder::kMixBus);
        clock.advanceMs(LivestreamForwarder::kPeriodMs);
    };
    for (int i = 0; i < 300; ++i) // through the first statistics line
        step();
    ASSERT_TRUE(loop.writeStats()); // the writer thread's part, outside the window
    const int writesBefore = loop.stats().writeOk;
    const std::uint64_t during = allocationsDuring([&] {
        for (int i = 0; i < 300; ++i) // through the next statistics line
            step();
    });
    const int writes = loop.stats().writeOk - writesBefore;
    EXPECT_EQ(writes, 300);
    EXPECT_EQ(during, std::uint64_t(writes));
    ASSERT_TRUE(loop.writeStats());
    EXPECT_EQ(lines.back(), "[LivestreamForwarder] loop=600 writeOk=600 bufferFull=0 streamInactive=0 errors=0");
    VadAudio_Close(handle);
    NUVEXControl_Install(nullptr);
}

} // namespace

// Sample-ready drains of a capture whose stream needs resampling (44.1 kHz
// 16-bit extensible): once warm, its queue thread allocates nothing.
TEST(LoopbackAllocations, SteadyDrainsAllocateNothing)
{
    using namespace looptest;
    LogLines log;
    auto clock = std::make_shared<os::ManualClock>();
    auto world = std::make_shared<os::SimAudioWorld>(clock);
    world->addProcess({.processId = 100, .signal = os::Signal::sine(1000.0, 0.4f)});
    WAVEFORMATEXTENSIBLE x = extensibleFormat(KSDATAFORMAT_SUBTYPE_PCM, 16, 16);
    x.Format.nSamplesPerSec = 44100;
    x.Format.nAvgBytesPerSec = 44100 * x.Format.nBlockAlign;
    std::vector<uint8_t> record(sizeof x);
    std::memcpy(record.data(), &x, sizeof x);
    world->setLoopbackMixFormat(record);
    AudioRouteConfigStore store;
    store.set(100, routedRecord(100));
    {
        Mixer mixer(store);
        auto capture = CLoopbackCapture::create(world, mixer);
        capture->setBufferDuration(200000);
        ASSERT_EQ(capture->StartCapture(100, true), S_OK);
        ASSERT_TRUE(eventually([&] { return capture->state() == CaptureState::Capturing; }));
        ASSERT_TRUE(eventually([&] {
            clock->advanceMs(10);
            return mixer.sourceIds().count(100) != 0;
        }));
        const auto ring = mixer.bufferFor(100, 1);
        auto pushes = [&] { return ring->pushCount.load(); };
        auto period = [&] {
            const uint32_t before = pushes();
            clock->advanceMs(10);
            return eventually([&] { return pushes() >= before + 1; });
        };
        for (int i = 0; i < 30; ++i) {
            ASSERT_TRUE(period());
            mixer.waitForConverters();
        }
        ASSERT_NE(mixer.bufferFor(100, 1)->resamplerState, nullptr); // resampling by libsamplerate
        const size_t linesBefore = log.count();
        EXPECT_EQ(allocationsDuring([&] {
                      for (int i = 0; i < 1000; ++i)
                          ASSERT_TRUE(period()) << i;
                  }),
                  0u);
        EXPECT_EQ(log.count(), linesBefore); // no line in the window
        EXPECT_EQ(capture->StopCapture(), S_OK);
        capture.reset();
        ASSERT_TRUE(eventually([&] { return world.use_count() == 1; }));
    }
}

// A microphone unit and the monitor thread, once warm: 1000 packets and
// 1000 monitor wake-ups allocate nothing on their threads.
TEST(MicRouterAllocations, SteadyPacketsAndMonitorWakeUpsAllocateNothing)
{
    using namespace looptest;
    LogLines log;
    auto clock = std::make_shared<os::ManualClock>();
    auto world = std::make_shared<os::SimAudioWorld>(clock);
    const auto mic = world->addEndpoint({.name = L"Microphone (Veloran T40)", .flow = os::DataFlow::Capture});
    world->setEndpointSignal(mic, os::Signal::sine(440.0, 0.3f));
    const auto phones = world->addEndpoint({.name = L"Headphones (Veloran T40)", .flow = os::DataFlow::Render});
    world->setRecordingLimitBytes(0);
    AudioRouteConfigStore store;
    AudioRouteConfig solo = routedRecord(0);
    solo.solo = 1;
    store.set(0, solo);
    {
        Mixer mixer(store);
        WinMicRouter router(world, mixer);
        AudioRouterConfig config;
        config.outputDevice = "Veloran T40";
        config.inputDevices = {{"Veloran T40", 0, 0}};
        ASSERT_TRUE(router.Start(config));
        ASSERT_TRUE(eventually([&] {
            clock->advanceMs(10);
            return mixer.sourceIds().count(0) != 0 && log.has("[WinMicRouter] solo output started: \"Veloran T40\"");
        }));
        const auto ring = mixer.bufferFor(0, 1);
        // The world's service thread and work-queue watcher, the unit and the
        // monitor: each step waits until all four are done with it, so a
        // loaded machine only slows the test down.
        auto period = [&] {
            const uint32_t pushes = ring->pushCount.load();
            clock->advanceMs(10);
            return eventually([&] {
                return clock->settledThreads() == 4 && clock->waitingThreads() == 4 && ring->pushCount.load() > pushes;
            });
        };
        for (int i = 0; i < 30; ++i)
            ASSERT_TRUE(period());
        const std::uint64_t playedBefore = world->recording(phones).droppedFrames;
        EXPECT_EQ(allocationsDuring([&] {
                      for (int i = 0; i < 1000; ++i)
                          ASSERT_TRUE(period()) << i;
                  }),
                  0u);
        // The monitor played (past the recording limit) all along.
        EXPECT_GE(world->recording(phones).droppedFrames - playedBefore, 1000u * 480);
        router.Stop();
    }
    ASSERT_TRUE(eventually([&] { return world.use_count() == 1; }));
}
