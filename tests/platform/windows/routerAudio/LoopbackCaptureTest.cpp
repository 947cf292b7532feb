// CLoopbackCapture in a simulated world on a manual clock: its states, the
// stream format it takes, what it pushes, its lifetime and its bounded waits.
#include "LoopbackTestSupport.h"
#include "MixerTestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

using namespace looptest;

namespace {

constexpr HRESULT kInvalidState = HRESULT_FROM_WIN32(ERROR_INVALID_STATE);
constexpr HRESULT kTimeout = HRESULT_FROM_WIN32(ERROR_TIMEOUT);
constexpr HRESULT E_PENDING = HRESULT(0x8000000Au); // still waiting
static_assert(kTimeout == HRESULT(0x800705b4u));

class LoopbackCaptureTest : public testing::Test {
protected:
    LoopbackCaptureTest()
    {
        // Values that add up exactly in float whatever the order.
        world->addProcess({.processId = 100, .signal = os::Signal::buffer({1.0f / 2}, 1)});
        world->addProcess({.processId = 101, .parentId = 100, .signal = os::Signal::buffer({1.0f / 4}, 1)});
        world->addProcess({.processId = 200, .signal = os::Signal::buffer({1.0f / 16}, 1)});
        world->addProcess({.processId = 300}); // plays nothing
        for (uint32_t id : {100u, 200u, 300u})
            store.set(id, routedRecord(id));
    }
    ~LoopbackCaptureTest() override
    {
        world->simWorkQueues().holdQueue(os::kMultithreadedQueue, false);
        world->holdActivations(100, false);
        // Captures keep the world; the last of them must not end it on one
        // of the world's own threads.
        EXPECT_TRUE(eventually([&] { return world.use_count() == 1; }));
    }

    std::shared_ptr<CLoopbackCapture> started(uint32_t pid, bool includeTree = true)
    {
        auto capture = CLoopbackCapture::create(world, mixer);
        capture->setBufferDuration(200000);
        EXPECT_EQ(capture->StartCapture(pid, includeTree), S_OK);
        EXPECT_TRUE(eventually([&] { return capture->state() == CaptureState::Capturing; }));
        return capture;
    }
    uint32_t written(uint32_t pid)
    {
        return mixer.sourceIds().count(pid) ? mixer.bufferFor(pid, 1)->writeIndex.load() : 0;
    }
    // One period passes; the capture's packet lands in the ring.
    std::vector<float> nextPacket(uint32_t pid)
    {
        const uint32_t before = written(pid);
        clock->advanceMs(10);
        EXPECT_TRUE(eventually([&] { return written(pid) == (before + 960) % kRingSamples; })) << pid;
        auto ring = mixer.bufferFor(pid, 1);
        return {ring->ring.begin() + before, ring->ring.begin() + before + 960};
    }
    // Runs f on another thread and lets simulated time pass, 100 ms at a
    // time, until it ends; returns the simulated milliseconds it took.
    template <class F>
    int64_t whileTimePasses(F f)
    {
        std::atomic<bool> done{false};
        const int64_t start = clock->nowNs();
        std::thread t([&] {
            f();
            done = true;
        });
        for (int i = 0; i < 2000 && !done; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
            clock->advanceMs(100);
        }
        t.join();
        return (clock->nowNs() - start) / os::Clock::kNsPerMs;
    }

    LogLines log;
    std::shared_ptr<os::ManualClock> clock = std::make_shared<os::ManualClock>();
    std::shared_ptr<os::SimAudioWorld> world = std::make_shared<os::SimAudioWorld>(clock);
    AudioRouteConfigStore store;
    Mixer mixer{store};
};

TEST_F(LoopbackCaptureTest, StatesAndWhatStopAnswersInEach)
{
    // Created: nothing to stop.
    auto fresh = CLoopbackCapture::create(world, mixer);
    EXPECT_EQ(fresh->state(), CaptureState::Created);
    EXPECT_EQ(fresh->StopCapture(), kInvalidState);

    // Activation refused for this process only: Failed, yet stoppable.
    world->faults().failNextFor(os::SimOp::ProcessLoopbackResult, os::SimFaults::processTarget(200), E_ACCESSDENIED);
    auto refused = CLoopbackCapture::create(world, mixer);
    EXPECT_EQ(refused->StartCapture(200, true), E_ACCESSDENIED);
    EXPECT_EQ(refused->state(), CaptureState::Failed);
    EXPECT_EQ(refused->StopCapture(), S_OK);
    EXPECT_EQ(refused->state(), CaptureState::Stopped);
    EXPECT_EQ(refused->StopCapture(), kInvalidState);

    // The start step fails on the queue.
    world->failNext(os::SimOp::Start, E_FAIL);
    auto noStart = CLoopbackCapture::create(world, mixer);
    EXPECT_EQ(noStart->StartCapture(100, true), S_OK);
    EXPECT_TRUE(eventually([&] { return noStart->state() == CaptureState::Failed; }));
    EXPECT_EQ(noStart->StopCapture(), S_OK);

    // Capturing, then a drain fails: Failed and silent from then on.
    auto capture = started(100);
    nextPacket(100);
    world->faults().failNextFor(os::SimOp::CaptureGetBuffer, os::SimFaults::processTarget(100), E_FAIL);
    clock->advanceMs(10);
    EXPECT_TRUE(eventually([&] { return capture->state() == CaptureState::Failed; }));
    EXPECT_EQ(capture->StopCapture(), S_OK);
    EXPECT_EQ(capture->state(), CaptureState::Stopped);
    EXPECT_EQ(capture->StopCapture(), kInvalidState);
}

TEST_F(LoopbackCaptureTest, StreamFormatIsTakenWithinItsRecord)
{
    const WAVEFORMATEX pcm = mixertest::pcmFormat(16, 2, 44100);
    WAVEFORMATEXTENSIBLE extensible = mixertest::extensibleFormat(KSDATAFORMAT_SUBTYPE_PCM, 16, 16);
    extensible.Format.nSamplesPerSec = pcm.nSamplesPerSec;
    extensible.Format.nAvgBytesPerSec = pcm.nAvgBytesPerSec;
    ASSERT_EQ(extensible.Format.cbSize, 22);
    std::vector<uint8_t> ext22(22);
    std::memcpy(ext22.data(), reinterpret_cast<const uint8_t *>(&extensible) + sizeof(WAVEFORMATEX), 22);
    WAVEFORMATEX floatBase = pcm;
    floatBase.wFormatTag = WAVE_FORMAT_IEEE_FLOAT;
    floatBase.nSamplesPerSec = 48000;
    floatBase.wBitsPerSample = 32;
    floatBase.nBlockAlign = 8;

    struct Case {
        std::vector<uint8_t> mixFormat; // empty: the stream refuses the query
        std::string line;
        uint16_t tag;
        uint32_t rate;
        uint16_t cbSize;
    } cases[] = {
        {{}, "[WARNING] GetMixFormat failed (0x80004001), using default format (48000 Hz, 32-bit float)",
         WAVE_FORMAT_IEEE_FLOAT, 48000, 0},
        {formatRecord(extensible.Format, ext22), "[INFO] Capture format: 44100 Hz, 2 ch, 16 bits",
         WAVE_FORMAT_EXTENSIBLE, 44100, 22},
        {formatRecord(floatBase, std::vector<uint8_t>(23, 0xAB)), "[INFO] Capture format: 48000 Hz, 2 ch, 32 bits",
         WAVE_FORMAT_IEEE_FLOAT, 48000, 0},
    };
    for (const Case &c : cases) {
        world->setLoopbackMixFormat(c.mixFormat);
        auto capture = started(100);
        EXPECT_TRUE(log.has(c.line)) << c.line;
        const WAVEFORMATEX &f = capture->captureFormat();
        EXPECT_EQ(f.wFormatTag, c.tag);
        EXPECT_EQ(f.nSamplesPerSec, c.rate);
        EXPECT_EQ(f.cbSize, c.cbSize);
        if (c.cbSize == 22) {
            EXPECT_EQ(std::memcmp(&f, &extensible, sizeof extensible), 0);
        }
        EXPECT_TRUE(log.has("[INFO] Capturing from process loopback (PID: 100)"));
        EXPECT_TRUE(log.has("[INFO] Audio capture started for PID 100, buffer size: 960 frames")
                    || log.has("[INFO] Audio capture started for PID 100, buffer size: 882 frames"));
        EXPECT_EQ(capture->StopCapture(), S_OK);
    }
}

TEST_F(LoopbackCaptureTest, PushesExactlyTheTreeSilentPacketsAsZerosAndSilentProcessesNothing)
{
    auto tree = started(100, true);
    auto rest = started(200, false); // everything but 200's tree: 100 and 101
    auto quiet = started(300, true);
    for (float s : nextPacket(100))
        ASSERT_EQ(s, 0.5f + 0.25f);
    EXPECT_TRUE(eventually([&] { return written(200) == 960; }));
    for (size_t i = 0; i < 960; ++i)
        ASSERT_EQ(mixer.bufferFor(200, 1)->ring[i], 0.5f + 0.25f); // pushed under its own id

    // A packet flagged silent still holds the signal's bytes: zeros go in.
    world->setSilentPackets(os::kProcessLoopbackDevicePath, 2);
    for (float s : nextPacket(100))
        ASSERT_EQ(s, 0.0f);
    for (float s : nextPacket(100))
        ASSERT_EQ(s, 0.5f + 0.25f);

    clock->advanceMs(50);
    world->simWorkQueues().drain();
    EXPECT_EQ(mixer.sourceIds().count(300), 0u); // nothing was ever pushed
    EXPECT_EQ(quiet->state(), CaptureState::Capturing);
    for (auto &c : {tree, rest, quiet})
        EXPECT_EQ(c->StopCapture(), S_OK);
}

TEST_F(LoopbackCaptureTest, LivesUntilItsLastQueuedItemRanThenItsStreamIsGone)
{
    auto capture = started(100);
    nextPacket(100);
    std::weak_ptr<CLoopbackCapture> weak = capture;
    world->simWorkQueues().holdQueue(os::kMultithreadedQueue, true);
    std::thread stopper([&] { capture->StopCapture(); });
    ASSERT_TRUE(eventually([&] { return capture->state() == CaptureState::Stopping; }));
    // Dropped by its owner while its stop step is still queued.
    world->simWorkQueues().holdQueue(os::kMultithreadedQueue, false);
    stopper.join();
    capture.reset();
    EXPECT_TRUE(eventually([&] { return weak.expired(); }));
    EXPECT_EQ(world->openStreams(), 0u);
}

TEST_F(LoopbackCaptureTest, StartWindowAndBoundedWaits)
{
    // Stop during Starting waits for the start step, then stops.
    world->simWorkQueues().holdQueue(os::kMultithreadedQueue, true);
    auto capture = CLoopbackCapture::create(world, mixer);
    ASSERT_EQ(capture->StartCapture(100, true), S_OK);
    EXPECT_EQ(capture->state(), CaptureState::Starting);
    std::atomic<HRESULT> stopped{E_PENDING};
    std::thread stopper([&] { stopped = capture->StopCapture(); });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(stopped.load(), E_PENDING);
    world->simWorkQueues().holdQueue(os::kMultithreadedQueue, false);
    stopper.join();
    EXPECT_EQ(stopped.load(), S_OK);
    EXPECT_EQ(capture->state(), CaptureState::Stopped);

    // Activation held: the start gives up after 5 s of platform time; the
    // late completion lets its stream go.
    world->holdActivations(100, true);
    auto late = CLoopbackCapture::create(world, mixer);
    HRESULT started = S_OK;
    EXPECT_GE(whileTimePasses([&] { started = late->StartCapture(100, true); }), 5000);
    EXPECT_EQ(started, kTimeout);
    world->holdActivations(100, false);
    EXPECT_TRUE(eventually([&] { return late->state() == CaptureState::Failed; }));
    EXPECT_TRUE(eventually([&] { return world->openStreams() == 0; }));

    // Stop step held: the stop gives up after 5 s with its line; the capture
    // stays Stopping and its drains push nothing.
    auto held = this->started(100);
    nextPacket(100);
    world->simWorkQueues().holdQueue(os::kMultithreadedQueue, true);
    HRESULT stop = S_OK;
    EXPECT_GE(whileTimePasses([&] { stop = held->StopCapture(); }), 5000);
    EXPECT_EQ(stop, kTimeout);
    EXPECT_TRUE(log.has("[ERROR] Capture stop timed out for PID: 100"));
    EXPECT_EQ(held->state(), CaptureState::Stopping);
    const uint32_t before = written(100);
    clock->advanceMs(30);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(written(100), before);
    world->simWorkQueues().holdQueue(os::kMultithreadedQueue, false);
    EXPECT_TRUE(eventually([&] { return held->state() == CaptureState::Stopped; }));
}

} // namespace
