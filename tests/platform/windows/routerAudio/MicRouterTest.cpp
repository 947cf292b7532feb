// The microphone router and its monitor output in a simulated world on a
// manual clock: what the units capture and push, how they find, lose and
// find again their endpoints, and what the monitor plays.
#include "LoopbackTestSupport.h"

#include "platform/os/RealtimeGuard.h"
#include "platform/windows/routerAudio/WinMicRouter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>

using namespace looptest;

namespace {

std::atomic<int> g_callbackBlocks{0};
std::atomic<bool> g_callbackSawIndexed{false}; // a block of the unit with index 3

// Doubles what it gets, so the mixer shows that it ran before the push.
void doubling(float *samples, int channels, int frames, double rate)
{
    if (channels != 2 || rate != 48000.0)
        return;
    for (int i = 0; i < channels * frames; ++i) {
        if (samples[i] == 1.0f / 16)
            g_callbackSawIndexed = true;
        samples[i] *= 2.0f;
    }
    g_callbackBlocks.fetch_add(1);
}

class MicRouterTest : public testing::Test {
protected:
    MicRouterTest()
    {
        mic = world->addEndpoint({.name = L"Microphone (USB Audio Device)", .flow = os::DataFlow::Capture});
        world->setEndpointSignal(mic, os::Signal::buffer({0.25f}, 1));
        line = world->addEndpoint({.name = L"Line In (Other)", .flow = os::DataFlow::Capture});
        world->setEndpointSignal(line, os::Signal::buffer({0.125f}, 1));
        headset = world->addEndpoint({.name = L"Headset Mic (Other)", .flow = os::DataFlow::Capture});
        world->setEndpointSignal(headset, os::Signal::buffer({1.0f / 16}, 1));
        headphones = world->addEndpoint({.name = L"Headphones (USB Audio Device)", .flow = os::DataFlow::Render});
        speakers = world->addEndpoint({.name = L"Speakers", .flow = os::DataFlow::Render});
        for (uint32_t id : {0u, 3u, 0xFFFFFFFFu})
            store.set(id, routedRecord(id));
        g_callbackBlocks = 0;
        g_callbackSawIndexed = false;
    }
    ~MicRouterTest() override
    {
        log.printIfFailed();
        router.reset();
        EXPECT_TRUE(eventually([&] { return world.use_count() == 1; }));
    }
    // Lets simulated time pass in settled steps until the condition holds.
    template <class Condition>
    bool within(int64_t ms, Condition condition)
    {
        for (int64_t t = 0; t < ms && !condition(); t += 10)
            stepMs(10);
        return condition();
    }
    // Waits (real time) until the threads on the clock (`threads` of them:
    // the world's service thread and work queue watcher, the monitor and the
    // units) have all blocked again after the last step.
    void settle()
    {
        ASSERT_TRUE(eventually([&] { return clock->settledThreads() == threads && clock->waitingThreads() == threads; }))
            << clock->waitingThreads() << " waiting, " << threads << " expected";
    }
    // Lets simulated time pass one millisecond at a time, each step taken
    // once every thread is done with the one before; calls `each` after every
    // step with the clock's time in milliseconds.
    template <class Each>
    void stepMs(int64_t ms, Each each)
    {
        for (int64_t i = 0; i < ms; ++i) {
            settle();
            clock->advanceMs(1);
            settle();
            each(clock->nowNs() / os::Clock::kNsPerMs);
        }
    }
    void stepMs(int64_t ms) { stepMs(ms, [](int64_t) {}); }
    // Clock times (ms) at which the next `ms` milliseconds see endpoint lists read.
    std::vector<int64_t> searchesWithin(int64_t ms)
    {
        std::vector<int64_t> at;
        uint64_t seen = world->faults().calls(os::SimOp::EnumEndpoints);
        stepMs(ms, [&](int64_t now) {
            const uint64_t calls = world->faults().calls(os::SimOp::EnumEndpoints);
            for (; seen < calls; ++seen)
                at.push_back(now);
        });
        return at;
    }
    static std::vector<int64_t> gaps(const std::vector<int64_t> &times)
    {
        std::vector<int64_t> out;
        for (size_t i = 1; i < times.size(); ++i)
            out.push_back(times[i] - times[i - 1]);
        return out;
    }
    uint32_t written(uint32_t id) { return mixer.sourceIds().count(id) ? mixer.bufferFor(id, 1)->writeIndex.load() : 0; }
    static AudioRouterConfig configWith(std::vector<InputDeviceEntry> inputs, std::string output = "Headphones")
    {
        AudioRouterConfig c;
        c.outputDevice = std::move(output);
        c.inputDevices = std::move(inputs);
        return c;
    }

    LogLines log;
    std::shared_ptr<os::ManualClock> clock = std::make_shared<os::ManualClock>();
    std::shared_ptr<os::SimAudioWorld> world = std::make_shared<os::SimAudioWorld>(clock);
    std::wstring mic, line, headset, headphones, speakers;
    AudioRouteConfigStore store;
    Mixer mixer{store};
    std::unique_ptr<WinMicRouter> router = std::make_unique<WinMicRouter>(world, mixer);
    int threads = kWorldThreads; // on the clock
    static constexpr int kWorldThreads = 2;
};

TEST_F(MicRouterTest, UnitsCapturePushAndCallBackByTheirIndex)
{
    router->SetLevelCallback(&doubling);
    ASSERT_TRUE(router->Start(configWith({{"Mic", 0, 0}})));
    threads = kWorldThreads + 2;
    EXPECT_TRUE(log.has("[WinMicRouter] Started; mic units=1 output=\"Headphones\""));
    stepMs(10);
    EXPECT_TRUE(log.has("[WinMicRouter] mic capturing: \"Microphone (USB Audio Device)\" index=0"));
    const uint32_t start = written(0);
    ASSERT_EQ(start, 960u);
    stepMs(10);
    EXPECT_EQ(written(0), start + 960); // 480 frames per 10 ms
    EXPECT_EQ(mixer.bufferFor(0, 1)->ring[start], 0.5f); // the callback ran before the push

    // Same name in other letters: nothing new, even with another index.
    EXPECT_TRUE(router->AddInputDevice("mIC", 0, 5));
    EXPECT_EQ(router->GetInputDevices().size(), 1u);
    EXPECT_FALSE(router->AddInputDevice("Line", 0, 0));
    EXPECT_TRUE(log.has("[WinMicRouter] index 0 already used by \"Mic\"; input not added"));
    // Index -1: called back, never pushed. Index 3: pushed, never called back.
    EXPECT_TRUE(router->AddInputDevice("Line", 0, -1));
    EXPECT_TRUE(router->AddInputDevice("Headset", 0, 3));
    threads = kWorldThreads + 4;
    stepMs(20);
    EXPECT_EQ(written(3), 1920u);
    EXPECT_EQ(mixer.bufferFor(3, 1)->ring[0], 1.0f / 16);
    EXPECT_FALSE(g_callbackSawIndexed.load());
    EXPECT_EQ(mixer.sourceIds().count(0xFFFFFFFFu), 0u);
    EXPECT_TRUE(log.has("[WinMicRouter] mic capturing: \"Line In (Other)\" index=-1"));

    // Silent packets push zeros and skip the callback.
    const int called = g_callbackBlocks.load();
    world->setSilentPackets(mic, 1);
    const uint32_t before = written(0);
    stepMs(10);
    const auto ring = mixer.bufferFor(0, 1);
    ASSERT_EQ(written(0), (before + 960) % kRingSamples);
    for (uint32_t i = before; i != written(0); i = (i + 1) % kRingSamples)
        ASSERT_EQ(ring->ring[i], 0.0f) << i;
    EXPECT_EQ(g_callbackBlocks.load() - called, 1); // the Line unit's block only

    // An empty name never opens and logs nothing.
    EXPECT_TRUE(router->AddInputDevice("", 0, 7));
    threads = kWorldThreads + 5;
    stepMs(400);
    for (const auto &l : log.lines())
        EXPECT_EQ(l.find("index=7"), std::string::npos);

    // Removal returns at once; the unit ends in the background.
    EXPECT_TRUE(router->RemoveInputDevice("HEADSET"));
    EXPECT_FALSE(router->RemoveInputDevice("Headset"));
    ASSERT_TRUE(eventually([&] { return log.has("[WinMicRouter] mic stopped: \"Headset Mic (Other)\""); }));
    EXPECT_TRUE(eventually([&] { return mixer.bufferFor(3, 1)->writeIndex.load() == 0; }));
    router->Stop();
    EXPECT_EQ(router->retiredThreadCount(), 0u);
}

TEST_F(MicRouterTest, FailedOpensPauseAndUnplugSearchesUntilReplug)
{
    const std::string capturing = "[WinMicRouter] mic capturing: \"Microphone (USB Audio Device)\" index=0";
    world->faults().failNextFor(os::SimOp::Initialize, mic, E_FAIL);
    ASSERT_TRUE(router->Start(configWith({{"microphone", 0, 0}})));
    threads = kWorldThreads + 2;
    settle();
    EXPECT_TRUE(log.has("[WinMicRouter] mic Initialize failed 0x80004005 (Microphone (USB Audio Device))"));
    stepMs(299);
    EXPECT_FALSE(log.has(capturing)); // still pausing
    stepMs(1);
    EXPECT_TRUE(log.has(capturing));
    stepMs(10);
    EXPECT_GT(written(0), 0u);

    // Unplugged: one line, the source emptied, a search every 200 ms.
    ASSERT_TRUE(world->unplugEndpoint(mic));
    const std::string stopped = "[WinMicRouter] mic stopped: \"Microphone (USB Audio Device)\" (device invalidated)";
    ASSERT_TRUE(within(1500, [&] { return log.has(stopped); }));
    EXPECT_EQ(mixer.bufferFor(0, 1)->writeIndex.load(), 0u);
    const auto searches = searchesWithin(1000);
    ASSERT_GE(searches.size(), 4u);
    for (int64_t gap : gaps(searches))
        EXPECT_EQ(gap, 200);
    ASSERT_TRUE(world->plugEndpoint(mic));
    world->flushNotifications();
    stepMs(210);
    EXPECT_GT(written(0), 0u); // resumes with no call
    auto all = log.lines();
    EXPECT_EQ(std::count(all.begin(), all.end(), stopped), 1);

    // A stream that dies while its endpoint stays listed sets no more
    // events: the unit finds out and opens it again.
    ASSERT_TRUE(world->invalidateEndpoint(mic));
    EXPECT_TRUE(within(2000, [&] {
        all = log.lines();
        return std::count(all.begin(), all.end(), capturing) == 3;
    }));
    EXPECT_EQ(std::count(all.begin(), all.end(), stopped), 2);
}

TEST_F(MicRouterTest, LifecycleEdges)
{
    router->Stop(); // stopped: nothing, no line
    EXPECT_EQ(log.count(), 1u); // the mixer's backend line
    ASSERT_TRUE(router->Start(configWith({{"Mic", 0, 0}}, "")));
    EXPECT_TRUE(log.has("[WinMicRouter] Started; mic units=1 output=\"NUVEX Output\""));
    EXPECT_FALSE(router->Start(configWith({}, "Speakers")));
    EXPECT_EQ(router->GetInputDevices().size(), 1u);
    EXPECT_TRUE(router->Restart());
    EXPECT_TRUE(log.has("[WinMicRouter] Stopped"));
    EXPECT_EQ(router->GetInputDevices().size(), 1u);
    router->Stop();
    const size_t lines = log.count();
    router->Stop();
    EXPECT_EQ(log.count(), lines);
    EXPECT_FALSE(router->AddInputDevice("Mic", 0, 0));
    EXPECT_FALSE(router->RemoveInputDevice("Mic"));
    EXPECT_TRUE(router->Restart()); // from stopped: the stored configuration
    EXPECT_TRUE(router->IsRunning());
}

TEST_F(MicRouterTest, MonitorPlaysThePullAndFollowsItsEndpoint)
{
    // A soloed ramp reaches the endpoint sample for sample.
    AudioRouteConfig solo = routedRecord(20);
    solo.solo = 1;
    store.set(20, solo);
    ASSERT_TRUE(router->Start(configWith({})));
    threads = kWorldThreads + 1;
    ASSERT_TRUE(within(400, [&] { return log.has("[WinMicRouter] solo output started: \"Headphones\""); }));
    std::vector<float> ramp((960 + kPullMarginFrames) * 2); // the pull leaves its margin behind
    for (size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = float(i + 1) / 4096.0f;
    const WAVEFORMATEX f = makeMixFormat();
    mixer.push(20, ramp.data(), uint32_t(ramp.size() * 4), &f);
    ASSERT_TRUE(within(200, [&] {
        const auto rec = world->recording(headphones).bytes;
        std::vector<float> played(rec.size() / 4);
        if (!played.empty())
            std::memcpy(played.data(), rec.data(), played.size() * 4);
        auto at = std::find(played.begin(), played.end(), ramp[0]);
        return played.end() - at >= long(ramp.size()) && std::equal(ramp.begin(), ramp.end(), at);
    }));

    // Invalidated but still listed: the monitor finds out without events and reopens.
    ASSERT_TRUE(world->invalidateEndpoint(headphones));
    ASSERT_TRUE(within(600, [&] {
        const auto lines = log.lines();
        return std::count(lines.begin(), lines.end(), "[WinMicRouter] solo output started: \"Headphones\"") == 2;
    }));
    EXPECT_TRUE(log.has("[WinMicRouter] solo output stopped (device invalidated)"));

    // Another name: the old stream stops without a suffix, the new one starts.
    router->SetOutputDevice("Speakers");
    EXPECT_EQ(router->GetOutputDevice(), "Speakers");
    ASSERT_TRUE(within(300, [&] { return log.has("[WinMicRouter] solo output started: \"Speakers\""); }));
    EXPECT_TRUE(log.has("[WinMicRouter] solo output stopped"));
    ASSERT_TRUE(world->unplugEndpoint(speakers));
    ASSERT_TRUE(within(400, [&] {
        const auto lines = log.lines();
        return std::count(lines.begin(), lines.end(), "[WinMicRouter] solo output stopped (device invalidated)") == 2;
    }));

    // A name no endpoint has: nothing logged, a search every 300 ms.
    router->SetOutputDevice("Nowhere");
    stepMs(300);
    const size_t lines = log.count();
    const auto searches = searchesWithin(1000);
    ASSERT_GE(searches.size(), 3u);
    for (int64_t gap : gaps(searches))
        EXPECT_EQ(gap, 300);
    EXPECT_EQ(log.count(), lines);
}

// One monitor wake-up driven by hand on a stream the test holds: it fills
// exactly what the buffer lacks, in one pull, and a full buffer gets none.
TEST_F(MicRouterTest, MonitorWakeUpFillsWhatTheBufferLacks)
{
    AudioRouteConfig solo = routedRecord(20);
    solo.solo = 1;
    store.set(20, solo);
    ASSERT_TRUE(router->Start(configWith({}, "Nowhere"))); // its own monitor only searches

    std::shared_ptr<os::EndpointEnumerator> enumerator;
    std::shared_ptr<os::AudioEndpoint> endpoint;
    WinMicRouter::SoloOutput step{*router, nullptr, L"Nowhere", nullptr, nullptr, nullptr, 0, false};
    ASSERT_EQ(world->createEndpointEnumerator(enumerator), S_OK);
    ASSERT_EQ(enumerator->getEndpoint(headphones, endpoint), S_OK);
    ASSERT_EQ(endpoint->activateAudioClient(step.client), S_OK);
    const WAVEFORMATEX f = makeMixFormat();
    ASSERT_EQ(step.client->initialize(os::ShareMode::Shared, WinMicRouter::kStreamFlags,
                                      WinMicRouter::kBufferDuration100ns, 0, &f),
              S_OK);
    ASSERT_EQ(step.client->getBufferSize(step.bufferFrames), S_OK);
    ASSERT_EQ(step.bufferFrames, 960u);
    ASSERT_EQ(step.client->getRenderClient(step.render), S_OK);
    step.event = std::make_shared<os::Event>(*clock);
    ASSERT_EQ(step.client->setEventHandle(step.event), S_OK);

    // 400 frames already queued (the stream is not started: nothing plays).
    uint8_t *data = nullptr;
    ASSERT_EQ(step.render->getBuffer(400, data), S_OK);
    std::vector<float> queued(400 * 2, -0.5f);
    std::memcpy(data, queued.data(), queued.size() * 4);
    ASSERT_EQ(step.render->releaseBuffer(400, 0), S_OK);
    std::vector<float> ramp((960 + kPullMarginFrames) * 2); // the pull leaves its margin behind
    for (size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = float(i + 1) / 4096.0f;
    mixer.push(20, ramp.data(), uint32_t(ramp.size() * 4), &f);

    struct Case {
        uint32_t padding;
        uint64_t pulls;
    };
    for (const Case c : {Case{400, 1}, Case{960, 0}}) {
        uint32_t padding = 0;
        ASSERT_EQ(step.client->getCurrentPadding(padding), S_OK);
        ASSERT_EQ(padding, c.padding);
        const uint64_t before = world->faults().calls(os::SimOp::RenderGetBuffer);
        step.event->set();
        step.pumpOnce();
        EXPECT_EQ(world->faults().calls(os::SimOp::RenderGetBuffer) - before, c.pulls) << c.padding;
        ASSERT_EQ(step.client->getCurrentPadding(padding), S_OK);
        EXPECT_EQ(padding, 960u);
    }

    // What plays: the 400 queued frames, then the ramp's first 560.
    ASSERT_EQ(step.client->start(), S_OK);
    clock->advanceMs(20);
    uint32_t padding = 0;
    ASSERT_EQ(step.client->getCurrentPadding(padding), S_OK);
    ASSERT_EQ(padding, 0u);
    const auto rec = world->recording(headphones).bytes;
    ASSERT_EQ(rec.size(), 960u * 8);
    std::vector<float> played(rec.size() / 4);
    std::memcpy(played.data(), rec.data(), rec.size());
    EXPECT_TRUE(std::equal(queued.begin(), queued.end(), played.begin()));
    EXPECT_TRUE(std::equal(ramp.begin(), ramp.begin() + 560 * 2, played.begin() + 400 * 2));
    step.closeStream();
}

} // namespace

namespace {

// Lifecycle calls from three threads with packets flowing, on a clock ten
// times faster than real time: nothing ends the process, the reapers stay
// bounded by the removals, no real-time path waits behind a lock.
TEST(MicRouterStress, LifecycleFromThreeThreadsWithPacketsFlowing)
{
    LogLines log;
    auto world = std::make_shared<os::SimAudioWorld>(std::make_shared<os::RealClock>(10.0));
    for (const wchar_t *name : {L"Mic A", L"Mic B", L"Mic C"}) {
        const auto id = world->addEndpoint({.name = name, .flow = os::DataFlow::Capture});
        world->setEndpointSignal(id, os::Signal::sine(440.0, 0.2f));
    }
    world->addEndpoint({.name = L"Headphones", .flow = os::DataFlow::Render});
    world->setRecordingLimitBytes(0);
    AudioRouteConfigStore store;
    for (uint32_t id : {0u, 1u, 2u})
        store.set(id, routedRecord(id));
    os::resetRealtimeViolations();
    {
        Mixer mixer(store);
        WinMicRouter router(world, mixer);
        AudioRouterConfig config;
        config.outputDevice = "Headphones";
        config.inputDevices = {{"Mic A", 0, 0}};
        router.Start(config);
        std::atomic<bool> done{false};
        std::atomic<size_t> worstRetired{0};
        std::atomic<int> removals{0};
        // At least 3 s, and on a loaded machine until enough removals raced.
        const auto start = std::chrono::steady_clock::now();
        const auto enough = [&] {
            const auto ran = std::chrono::steady_clock::now() - start;
            return ran > std::chrono::seconds(60) || (ran > std::chrono::seconds(3) && removals.load() > 10);
        };
        std::vector<std::thread> threads;
        threads.emplace_back([&] {
            for (int i = 0; !enough(); ++i) {
                if (i % 3 == 0)
                    router.Restart();
                else if (i % 3 == 1)
                    router.Stop();
                else
                    router.Start(config);
                std::this_thread::sleep_for(std::chrono::milliseconds(15));
            }
            done = true;
        });
        for (int t = 0; t < 2; ++t) {
            threads.emplace_back([&, t] {
                const std::string name = t == 0 ? "Mic B" : "Mic C";
                while (!done) {
                    router.AddInputDevice(name, 0, t + 1);
                    std::this_thread::sleep_for(std::chrono::milliseconds(4));
                    if (router.RemoveInputDevice(name))
                        removals.fetch_add(1);
                    size_t retired = router.retiredThreadCount();
                    size_t seen = worstRetired.load();
                    while (retired > seen && !worstRetired.compare_exchange_weak(seen, retired)) {
                    }
                }
            });
        }
        for (auto &t : threads)
            t.join();
        router.Stop();
        EXPECT_EQ(router.retiredThreadCount(), 0u);
        EXPECT_LE(worstRetired.load(), size_t(std::max(1, removals.load())));
        EXPECT_GT(removals.load(), 10);
    }
    EXPECT_EQ(os::realtimeViolations(), 0u) << os::lastRealtimeViolationSite();
    EXPECT_TRUE(eventually([&] { return world.use_count() == 1; }));
}

} // namespace
