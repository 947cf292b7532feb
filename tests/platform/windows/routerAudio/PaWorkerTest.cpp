// The engine's stream rebuild and worker passes, driven step by step on the
// fake PortAudio; every pause runs on a manual clock that a pump moves.
#include "PaEngineTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace patest;

namespace {

struct WorkerRig : Rig {
    explicit WorkerRig(std::vector<FakeDevice> devices, PaHostApiTypeId host = paALSA)
        : Rig(std::move(devices), host), engine(environment()), impl(engine.impl())
    {
    }
    ~WorkerRig() { impl.state.store(AudioRouterService::Impl::State::Stopped); }

    // The engine as Start leaves it, without a thread: the test runs the
    // loop's steps itself.
    WorkerLoop &begin(std::vector<InputDeviceEntry> inputs, std::string output = "Speakers")
    {
        impl.config.inputDevices = std::move(inputs);
        impl.config.outputDevice = std::move(output);
        impl.currentSampleRate.store(impl.config.sampleRate);
        impl.state.store(AudioRouterService::Impl::State::Running);
        loop = std::make_unique<WorkerLoop>(impl);
        EXPECT_TRUE(loop->start());
        return *loop;
    }
    void passes(int n)
    {
        for (int i = 0; i < n; ++i)
            ASSERT_TRUE(loop->pass());
    }
    const FakeStream *streamOf(int device, bool input = true) const
    {
        for (const FakeStream &s : lastStreams) {
            if (s.device == device && s.input == input && !s.closed)
                return &s;
        }
        return nullptr;
    }
    void snapshot() { lastStreams = pa.streams(); }

    ClockPump pump{clock};
    AudioRouterService engine;
    AudioRouterService::Impl &impl;
    std::unique_ptr<WorkerLoop> loop;
    std::vector<FakeStream> lastStreams;
};

FakeDevice micAt(std::string name, std::set<double> shared, std::set<double> exclusive, double defaultRate,
                 PaHostApiTypeId host = paALSA)
{
    FakeDevice d = inputDevice(std::move(name), host);
    d.sharedRates = std::move(shared);
    d.exclusiveRates = std::move(exclusive);
    d.defaultRate = defaultRate;
    return d;
}

TEST(PaWorkerRebuild, EmptyListOpensNothingAndLooksUpNoOutput)
{
    WorkerRig rig({outputDevice("Speakers")});
    WorkerLoop &loop = rig.begin({});
    EXPECT_TRUE(rig.lines.has("No available input devices (will keep running to wait for subsequent "
                              "addition/replacement)"));
    EXPECT_TRUE(rig.lines.has("Currently no successfully opened input streams (will keep running to wait for "
                              "subsequent addition/replacement)"));
    EXPECT_FALSE(rig.lines.has("findDeviceByName"));
    EXPECT_TRUE(rig.pa.streams().empty());
    EXPECT_TRUE(loop.reopenStreams(false));
    EXPECT_EQ(loop.outputDeviceIndex, -1);
    const int64_t before = rig.clock.nowNs();
    rig.passes(1); // idle: a 10 ms pause
    EXPECT_GE(rig.clock.nowNs() - before, 10 * os::Clock::kNsPerMs);
}

TEST(PaWorkerRebuild, AbsentDeviceCostsTwoRefreshCyclesAndAsksForRefreshOncePerSecond)
{
    WorkerRig rig({outputDevice("Speakers")});
    const int64_t before = rig.clock.nowNs();
    WorkerLoop &loop = rig.begin({{"Ghost Mic", 0, 0}});
    EXPECT_EQ(rig.pa.initializeCount(), 3);
    EXPECT_EQ(rig.pa.terminateCount(), 2);
    EXPECT_GE(rig.clock.nowNs() - before, 400 * os::Clock::kNsPerMs);
    EXPECT_TRUE(rig.lines.has("[Info] Refreshing PortAudio device list (retry 2)..."));
    EXPECT_TRUE(rig.lines.has("Failed to open input stream (\"Ghost Mic\"): Unable to find input device: Ghost Mic"));
    ASSERT_EQ(loop.slots.size(), 1u);
    EXPECT_EQ(loop.slots[0].stream, nullptr);
    EXPECT_EQ(loop.slots[0].deviceIndex, -1);
    EXPECT_FALSE(rig.impl.refreshRequested.load());

    rig.clock.advanceMs(1001);
    rig.passes(1);
    EXPECT_TRUE(rig.impl.refreshRequested.exchange(false));
    rig.passes(3);
    rig.clock.advanceMs(900);
    rig.passes(1);
    EXPECT_FALSE(rig.impl.refreshRequested.load()); // not again within the second
    rig.clock.advanceMs(100);
    rig.passes(1);
    EXPECT_TRUE(rig.impl.refreshRequested.load());
}

TEST(PaWorkerRebuild, SharingModeAndRateFollowWhatTheDeviceTakes)
{
    struct Case {
        const char *what;
        FakeDevice mic;
        PaHostApiTypeId host;
        bool exclusive;
        unsigned long framesPerBuffer;
        double rate;
        const char *line;
    };
    const std::vector<Case> cases = {
        {"shared 48k", micAt("Mic", {48000.0}, {}, 48000.0), paALSA, false, 256, 48000.0, "mode=shared"},
        {"exclusive only", micAt("Mic", {44100.0}, {48000.0}, 44100.0, paWASAPI), paWASAPI, true,
         paFramesPerBufferUnspecified, 48000.0, "[Info] Shared mode does not support 48000 Hz; will open WASAPI EXCLUSIVE for \"Mic\""},
        {"neither, invalid rate", micAt("Mic", {44100.0}, {}, 44100.0, paWASAPI), paWASAPI, false, 256, 44100.0,
         "automatically using device default sample rate 44100 Hz"},
        {"exclusive open fails",
         [] {
             FakeDevice d = micAt("Mic", {44100.0}, {48000.0}, 44100.0, paWASAPI);
             d.exclusiveOpenError = paDeviceUnavailable;
             return d;
         }(),
         paWASAPI, false, 256, 44100.0, "[Warning] Exclusive-mode open failed (Device unavailable), falling back to shared mode"},
    };
    for (const Case &c : cases) {
        WorkerRig rig({c.mic, outputDevice("Speakers", c.host)}, c.host);
        WorkerLoop &loop = rig.begin({{"Mic", 0, 0}});
        rig.snapshot();
        const FakeStream *s = rig.streamOf(0);
        ASSERT_NE(s, nullptr) << c.what;
        EXPECT_EQ(s->exclusive, c.exclusive) << c.what;
        EXPECT_EQ(s->framesPerBuffer, c.framesPerBuffer) << c.what;
        EXPECT_EQ(s->rate, c.rate) << c.what;
        EXPECT_EQ(loop.slots[0].actualSampleRate, c.rate) << c.what;
        EXPECT_EQ(loop.slots[0].channels, 2u) << c.what;
        EXPECT_TRUE(rig.lines.has(c.line)) << c.what;
    }
}

TEST(PaWorkerRebuild, OneChannelOutputIsOpenedButNeverWrittenWhileStreaming)
{
    WorkerRig rig({inputDevice("Mic"), outputDevice("Mono Out", paALSA, 1)});
    WorkerLoop &loop = rig.begin({{"Mic", 0, 0}}, "Mono Out");
    EXPECT_TRUE(rig.lines.has("[Warning] Device only supports 1 output channels, output at device limit."));
    EXPECT_EQ(loop.outputChannels, 1);
    rig.passes(20);
    rig.snapshot();
    const FakeStream *out = rig.streamOf(1, false);
    ASSERT_NE(out, nullptr);
    EXPECT_EQ(out->channels, 1);
    EXPECT_EQ(out->writes, 0);
    EXPECT_EQ(rig.streamOf(0)->reads, 20);
}

TEST(PaWorkerRebuild, RequestedRateKeepsInputsAtFortyEightKilohertz)
{
    for (bool withInputs : {true, false}) {
        WorkerRig rig({inputDevice("Mic"), outputDevice("Speakers")});
        rig.begin(withInputs ? std::vector<InputDeviceEntry>{{"Mic", 0, 0}} : std::vector<InputDeviceEntry>{});
        rig.impl.state.store(AudioRouterService::Impl::State::Running);
        ASSERT_TRUE(rig.engine.SetSampleRate(44100.0));
        const int terminates = rig.pa.terminateCount();
        rig.passes(1);
        EXPECT_TRUE(rig.lines.has("Sample rate change request: 44100 Hz"));
        EXPECT_EQ(rig.pa.terminateCount(), terminates + 1) << "rebuilt with re-initialisation";
        EXPECT_EQ(rig.engine.GetSampleRate(), withInputs ? 48000.0 : 44100.0) << withInputs;
        if (withInputs) {
            rig.snapshot();
            EXPECT_EQ(rig.streamOf(0)->rate, 48000.0);
        }
        // Within 1 Hz of the worker's rate: no rebuild.
        ASSERT_TRUE(rig.engine.SetSampleRate(44100.9));
        rig.passes(3);
        EXPECT_EQ(rig.pa.terminateCount(), terminates + 1);
    }
}

TEST(PaWorkerRebuild, DeviceErrorTextsAskForARefresh)
{
    struct Case {
        std::string text;
        bool refresh;
    };
    const std::vector<Case> cases = {{"Internal PortAudio error", true},
                                     {"Unanticipated host error -10851", true},
                                     {"Invalid Property Value", true},
                                     {"Device unavailable", false}};
    for (const Case &c : cases) {
        FakeDevice mic = inputDevice("Mic");
        mic.openError = paUnanticipatedHostError;
        WorkerRig rig({mic});
        rig.pa.setErrorText(paUnanticipatedHostError, c.text);
        rig.begin({{"Mic", 0, 0}});
        EXPECT_EQ(rig.impl.refreshRequested.load(), c.refresh) << c.text;
        EXPECT_EQ(rig.lines.has("[Info] Device-related error detected"), c.refresh) << c.text;
        EXPECT_TRUE(rig.lines.has("Failed to open input stream: " + c.text + " (device index: 0)")) << c.text;
    }
}

TEST(PaWorkerRebuild, RefreshForALaterSlotNeverLeavesAnOpenedHandleClosed)
{
    // "Mic B" appears only after a refresh, and "Mic A" moves with it.
    WorkerRig rig({inputDevice("Mic A"), outputDevice("Speakers")});
    rig.pa.scheduleDevices({outputDevice("Speakers"), inputDevice("Mic B"), inputDevice("Mic A")}, 1);
    WorkerLoop &loop = rig.begin({{"Mic A", 0, 0}, {"Mic B", 0, 1}});
    ASSERT_EQ(loop.slots.size(), 2u);
    EXPECT_EQ(loop.slots[0].deviceIndex, 2);
    EXPECT_EQ(loop.slots[1].deviceIndex, 1);
    EXPECT_EQ(loop.outputDeviceIndex, 0);
    EXPECT_NE(loop.slots[0].stream, nullptr);
    EXPECT_NE(loop.slots[1].stream, nullptr);
    EXPECT_NE(loop.outputStream, nullptr);
    rig.passes(5);
    EXPECT_FALSE(rig.pa.usedAfterClose());
    EXPECT_EQ(rig.pushes(0), 5u);
    EXPECT_EQ(rig.pushes(1), 5u);
    rig.snapshot();
    EXPECT_EQ(rig.streamOf(0, false)->writes, 5);
    loop.finish();
    EXPECT_FALSE(rig.pa.usedAfterClose());
    EXPECT_TRUE(rig.pa.openStreams().empty());
    EXPECT_FALSE(rig.pa.initialized());
}

// --- streaming passes --------------------------------------------------------

std::atomic<int> g_callbacks{0};
std::atomic<int> g_callbackFrames{0};
void countingCallback(float *samples, int channels, int frames, double rate)
{
    g_callbacks.fetch_add(1);
    g_callbackFrames.store(frames);
    EXPECT_EQ(channels, 2);
    EXPECT_EQ(rate, 48000.0);
    EXPECT_EQ(samples[0], 0.25f);
}

TEST(PaWorkerPasses, ReadsFiveMillisecondBlocksAndPushesThemUnderTheIndex)
{
    WorkerRig rig({inputDevice("Mic"), inputDevice("Aux"), outputDevice("Speakers")});
    AudioRouteConfig everything;
    everything.active = 1;
    everything.input1.enabled = 1;
    rig.store.set(static_cast<uint32_t>(-1), everything); // would take a block pushed under index -1
    g_callbacks.store(0);
    rig.engine.SetAudioCallback(countingCallback);
    rig.begin({{"Mic", 0, 3}, {"Aux", 0, -1}});
    const uint32_t written = rig.written(3);
    rig.passes(5);
    rig.snapshot();
    EXPECT_EQ(rig.streamOf(0)->framesRead, 5 * 240);
    EXPECT_EQ(rig.streamOf(1)->framesRead, 5 * 240); // index -1: read...
    EXPECT_EQ(rig.pushes(3), 5u);
    EXPECT_EQ(rig.written(3) - written, 5u * 480u);
    EXPECT_EQ(rig.mixer.sourceIds(), (std::set<uint32_t>{3})); // ...never pushed
    EXPECT_EQ(g_callbacks.load(), 0);                         // and no index 0: no callback
    EXPECT_EQ(rig.streamOf(2, false)->framesWritten, 5 * 240);
}

// An output at 44.1 kHz takes the monitor mix at 48 kHz: the mixer is read
// as fast as the microphone fills it, so nothing piles up behind the monitor.
TEST(PaWorkerPasses, MonitorTakesFortyEightKilohertzWhateverTheOutputRate)
{
    WorkerRig rig({inputDevice("Mic"), outputDevice("Speakers", paALSA, 2, 44100.0)});
    AudioRouteConfig listen;
    listen.active = 1;
    listen.solo = 1;
    listen.input1 = {1, 1.0f, 0};
    rig.store.set(kListenBusMasterId, listen);
    WorkerLoop &loop = rig.begin({{"Mic", 0, 3}});
    ASSERT_EQ(loop.outputRate, 44100.0);
    rig.passes(50);
    const auto ring = rig.mixer.bufferFor(3, 1);
    const uint32_t behind = (ring->writeIndex.load() + kRingSamples - ring->monitorReadIndex.load()) % kRingSamples;
    EXPECT_LE(behind, 2u * 240u) << "samples the monitor left behind";
}

TEST(PaWorkerPasses, ReadErrorsAbortAtTheirLimitWriteSilenceAndAskForRefresh)
{
    struct Case {
        PaError error;
        int abortAt;
    };
    for (const Case &c : {Case{paUnanticipatedHostError, 3}, Case{paInternalError, 10}}) {
        WorkerRig rig({inputDevice("Mic"), outputDevice("Speakers")});
        g_callbacks.store(0);
        rig.engine.SetAudioCallback(countingCallback);
        rig.begin({{"Mic", 0, 0}});
        rig.passes(2);
        ASSERT_EQ(g_callbacks.load(), 2);
        rig.pa.scriptReads("Mic", std::vector<PaError>(static_cast<size_t>(c.abortAt), c.error));
        for (int pass = 1; pass <= c.abortAt; ++pass) {
            rig.passes(1);
            EXPECT_EQ(rig.impl.refreshRequested.load(), pass == c.abortAt) << c.error << " pass " << pass;
            EXPECT_EQ(rig.pushes(0), static_cast<uint32_t>(2 + std::min(pass, c.abortAt - 1)));
        }
        EXPECT_EQ(g_callbacks.load(), 2) << "no callback after a failed read";
        EXPECT_EQ(rig.lines.count("Failed to read input device (\"Mic\"):"), 1);
        EXPECT_TRUE(rig.lines.has("(count=1)"));
        rig.snapshot();
        const FakeStream *out = rig.streamOf(1, false);
        // Streaming passes wrote 240 frames; the aborted one a buffer of silence.
        EXPECT_EQ(out->framesWritten, (2 + c.abortAt - 1) * 240 + 256);
        // The refresh rebuilds with re-initialisation and clears the counts.
        rig.passes(1);
        EXPECT_TRUE(rig.loop->readErrorCounts.empty());
        EXPECT_FALSE(rig.impl.refreshRequested.load());
    }
}

TEST(PaWorkerPasses, RequestsReshapeTheConfiguration)
{
    WorkerRig rig({inputDevice("USB Mic"), inputDevice("Line"), inputDevice("Desk"), outputDevice("Speakers"),
                   outputDevice("Headphones")});
    WorkerLoop &loop = rig.begin({{"USB Mic", 0, 0}, {"Line", 0, 1}, {"US", 0, 2}, {"My usb audio", 0, 3},
                                  {"Desk", 0, 4}});
    ASSERT_TRUE(rig.engine.PostRequest("usb"));
    ASSERT_TRUE(rig.engine.SetOutputDevice("Headphones"));
    const int initialises = rig.pa.initializeCount();
    rig.passes(1);
    EXPECT_TRUE(rig.lines.has("Remove device request: \"usb\""));
    const std::vector<InputDeviceEntry> left = rig.engine.GetInputDevices();
    ASSERT_EQ(left.size(), 2u);
    EXPECT_EQ(left[0].name, "Line");
    EXPECT_EQ(left[1].name, "Desk");
    EXPECT_EQ(rig.engine.GetOutputDevice(), "Headphones");
    EXPECT_EQ(rig.pa.initializeCount(), initialises) << "removals and output changes do not re-initialise";
    EXPECT_EQ(loop.outputDeviceIndex, 4);

    ASSERT_TRUE(rig.engine.AddInputDevice("USB Mic", 0, 5));
    rig.impl.refreshRequested.store(true);
    rig.passes(1);
    EXPECT_TRUE(rig.lines.has("Add device request: \"USB Mic\""));
    EXPECT_TRUE(rig.lines.has("[Info] Automatically refresh device list when adding device"));
    EXPECT_FALSE(rig.impl.refreshRequested.load());
    ASSERT_EQ(loop.slots.size(), 3u);
    EXPECT_EQ(loop.slots[2].index, 5);

    // A removal alone rebuilds the streams too.
    ASSERT_TRUE(rig.engine.PostRequest("line"));
    rig.passes(1);
    ASSERT_EQ(loop.slots.size(), 2u);
    EXPECT_EQ(loop.slots[1].index, 5);
}

TEST(PaWorkerPasses, FailedReopenAfterARateChangeEndsTheWorkerButLeavesItRunning)
{
    Rig rig({inputDevice("Mic"), outputDevice("Speakers")});
    ClockPump pump(rig.clock);
    AudioRouterService engine(rig.environment());
    AudioRouterConfig config;
    config.inputDevices = {{"Mic", 0, 0}};
    config.outputDevice = "Speakers";
    ASSERT_TRUE(engine.Start(config));
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (rig.pushes(0) < 3 && std::chrono::steady_clock::now() < until)
        std::this_thread::yield();
    rig.pa.scriptInitialize({paInternalError, paInternalError, paInternalError});
    ASSERT_TRUE(engine.SetSampleRate(44100.0));
    while (!engine.impl().workerExited() && std::chrono::steady_clock::now() < until)
        std::this_thread::yield();
    ASSERT_TRUE(engine.impl().workerExited());
    EXPECT_TRUE(rig.lines.has("[Error] Finally unable to reinitialize PortAudio, service will stop"));
    EXPECT_TRUE(rig.lines.has("Failed to reopen streams"));
    EXPECT_TRUE(rig.lines.has("Audio routing service stopped"));
    EXPECT_TRUE(engine.IsRunning());
    EXPECT_FALSE(engine.Start(config));
    engine.Stop();
    EXPECT_FALSE(engine.IsRunning());
    EXPECT_TRUE(engine.Start(config));
    engine.Stop();
    EXPECT_TRUE(rig.pa.openStreams().empty());
}

} // namespace
