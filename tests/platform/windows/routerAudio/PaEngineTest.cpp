// The PortAudio engine's facade, device selection, lifecycle and monitor
// resampler, on the fake PortAudio and a manual clock.
#include "Eventually.h"
#include "PaEngineTestSupport.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <future>
#include <numbers>

using namespace patest;

namespace {

void waitFor(const std::function<bool()> &done)
{
    ASSERT_TRUE(testwait::until(done, 20000));
}

AudioRouterConfig configWith(std::vector<std::string> names)
{
    AudioRouterConfig config;
    int32_t index = 0;
    for (std::string &name : names)
        config.inputDevices.push_back(InputDeviceEntry{std::move(name), 0, index++});
    return config;
}

TEST(PaEngine, FacadeRefusesAndQueuesAsTheEngineStateSays)
{
    Rig rig({inputDevice("USB Mic")});
    AudioRouterService engine(rig.environment());
    AudioRouterService::Impl &impl = engine.impl();

    // Stopped: a stop returns at once (the manual clock never moves) and
    // every request is refused.
    engine.Stop();
    EXPECT_FALSE(engine.AddInputDevice("USB Mic", 0));
    EXPECT_FALSE(engine.SetSampleRate(44100.0));
    EXPECT_FALSE(engine.PostRequest("USB Mic"));
    EXPECT_FALSE(engine.SetOutputDevice("Speakers"));
    EXPECT_FALSE(engine.RequestRefresh());
    EXPECT_EQ(engine.GetSampleRate(), 48000.0);

    // The worker hangs in its first initialise, so requests stay queued.
    rig.pa.setHang(true);
    AudioRouterConfig config = configWith({"USB Mic"});
    config.sampleRate = 44100.0;
    ASSERT_TRUE(engine.Start(config));
    EXPECT_FALSE(engine.Start(config));
    EXPECT_TRUE(engine.IsRunning());
    EXPECT_EQ(engine.GetSampleRate(), 44100.0);

    EXPECT_FALSE(engine.AddInputDevice("usb MIC", 2));
    EXPECT_TRUE(engine.AddInputDevice("Line In", 1, 3));
    EXPECT_TRUE(engine.AddInputDevice("Line In", 1, 3)); // the duplicate test looks at the configuration only
    for (double rate : {0.0, -1.0})
        EXPECT_FALSE(engine.SetSampleRate(rate)) << rate;
    EXPECT_TRUE(engine.SetSampleRate(32000.0));
    EXPECT_TRUE(engine.PostRequest("usb"));
    EXPECT_TRUE(engine.SetOutputDevice("Speakers"));
    EXPECT_TRUE(engine.RequestRefresh());
    {
        std::lock_guard lock(impl.mutex);
        ASSERT_EQ(impl.pendingInputs.size(), 2u);
        EXPECT_EQ(impl.pendingInputs[1].index, 3);
        EXPECT_EQ(impl.pendingRemovals, std::vector<std::string>{"usb"});
        EXPECT_EQ(impl.pendingOutputDevice, "Speakers");
    }
    EXPECT_EQ(impl.requestedSampleRate.load(), 32000.0);
    EXPECT_TRUE(impl.refreshRequested.load());
    EXPECT_EQ(engine.GetOutputDevice(), "NUVEX Output");
    ASSERT_EQ(engine.GetInputDevices().size(), 1u);

    rig.pa.setHang(false);
    engine.Stop();
    EXPECT_FALSE(engine.IsRunning());
    EXPECT_EQ(engine.GetInputDevices().size(), 1u); // kept for a later restart
}

TEST(PaEngine, RestartStartsTheKeptConfigurationAndLosesToAConcurrentStart)
{
    Rig rig({inputDevice("USB Mic")});
    {
        AudioRouterService engine(rig.environment());
        EXPECT_TRUE(engine.Restart()); // never started: runs the default configuration
        EXPECT_TRUE(engine.IsRunning());
        EXPECT_EQ(engine.GetOutputDevice(), "NUVEX Output");
        engine.Stop();

        ASSERT_TRUE(engine.Start(configWith({"USB Mic"})));
        engine.Stop();
        EXPECT_TRUE(engine.Restart());
        ASSERT_EQ(engine.GetInputDevices().size(), 1u);
        EXPECT_EQ(engine.GetInputDevices()[0].name, "USB Mic");
        engine.Stop();
    }

    // Restart and Start at once. Start before Restart's stop: both run in
    // turn. Start between the stop and the new worker: Restart loses. Never
    // both refused, never two workers.
    AudioRouterService engine(rig.environment());
    for (int round = 0; round < 40; ++round) {
        std::promise<void> go;
        std::shared_future<void> ready = go.get_future().share();
        auto restart = std::async(std::launch::async, [&] {
            ready.wait();
            return engine.Restart();
        });
        auto start = std::async(std::launch::async, [&] {
            ready.wait();
            return engine.Start(AudioRouterConfig{});
        });
        go.set_value();
        const bool restarted = restart.get();
        const bool started = start.get();
        EXPECT_TRUE(restarted || started) << "round " << round;
        EXPECT_TRUE(engine.IsRunning());
        engine.Stop();
        EXPECT_TRUE(engine.impl().workerExited());
    }
}

TEST(PaEngine, DevicesAreSelectedByNameOfThePreferredHost)
{
    Rig rig({inputDevice("USB Mic (MME)", paMME), inputDevice("USB Mic"), outputDevice("Speakers"),
             inputDevice("Studio Mic", paDirectSound), outputDevice("USB Mic Monitor")});
    rig.pa.setDefaults(1, 2);
    AudioRouterService engine(rig.environment());
    ASSERT_EQ(rig.pa.Initialize(), paNoError);

    struct Case {
        std::string name;
        bool isOutput;
        int expected;
        std::vector<std::string> lines;
    };
    const std::vector<Case> cases = {
        {"Default", false, 1, {}},
        {"DEFAULT", true, 2, {}},
        {"usb mic", false, 1,
         {"[findDeviceByName] target=\"usb mic\" candidates=2", "  [0] api=\"MME\" (type=2) name=\"USB Mic (MME)\"",
          "  [1] api=\"ALSA\" (type=8) name=\"USB Mic\" in=2 out=0 defRate=48000",
          "[findDeviceByName] picked ALSA match index=1 name=\"USB Mic\" api=\"ALSA\""}},
        {"studio", false, -1,
         {"[Warning] findDeviceByName: No ALSA match for \"studio\" ; ignoring non-ALSA candidate \"Studio Mic\" "
          "on \"DirectSound\""}},
        {"", false, 1, {"candidates=3"}},
        {"speakers", false, -1, {}},
        {"Speak", true, 2, {"picked ALSA match index=2"}},
        {"usb mic", true, 4, {}},
    };
    for (const Case &c : cases) {
        rig.lines.clear();
        EXPECT_EQ(engine.impl().findDeviceByName(c.name, c.isOutput), c.expected) << c.name;
        for (const std::string &line : c.lines)
            EXPECT_TRUE(rig.lines.has(line)) << c.name << ": " << line;
        if (c.expected == -1 && c.lines.empty()) {
            EXPECT_TRUE(rig.lines.lines().empty()) << c.name;
        }
    }
    rig.pa.Terminate();
}

TEST(PaEngine, ListDevicesFiltersByHostAndModeAndInitialisesOnlyWhenStopped)
{
    FakeDevice both = inputDevice("Headset");
    both.maxOut = 2;
    Rig rig({inputDevice("Mic (MME)", paMME), inputDevice("Mic"), outputDevice("Speakers"), both});
    AudioRouterService engine(rig.environment());

    const auto names = [](const std::vector<PortAudioDeviceEntry> &list) {
        std::vector<std::string> out;
        for (const PortAudioDeviceEntry &e : list)
            out.push_back(e.name);
        return out;
    };
    struct Case {
        int mode;
        std::vector<std::string> expected;
    };
    const std::vector<Case> cases = {{1, {"Mic", "Headset"}}, {2, {"Speakers", "Headset"}}, {0, {"Mic", "Speakers", "Headset"}},
                                     {7, {"Mic", "Speakers", "Headset"}}};
    for (const Case &c : cases) {
        const int inits = rig.pa.initializeCount();
        const int terms = rig.pa.terminateCount();
        EXPECT_EQ(names(engine.ListDevices(c.mode)), c.expected) << c.mode;
        EXPECT_EQ(rig.pa.initializeCount(), inits + 1);
        EXPECT_EQ(rig.pa.terminateCount(), terms + 1);
    }
    const std::vector<PortAudioDeviceEntry> list = engine.ListDevices(0);
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list[2].index, 3);
    EXPECT_EQ(list[2].hostApi, "ALSA");
    EXPECT_TRUE(list[2].isInput && list[2].isOutput);
    EXPECT_FALSE(list[1].isInput);

    rig.pa.scriptInitialize({paInternalError});
    EXPECT_TRUE(engine.ListDevices(0).empty());

    // Running: the worker's initialisation serves, the list neither
    // initialises nor terminates.
    ASSERT_TRUE(engine.Start(AudioRouterConfig{}));
    waitFor([&] { return rig.pa.initialized(); });
    const int inits = rig.pa.initializeCount();
    const int terms = rig.pa.terminateCount();
    EXPECT_EQ(names(engine.ListDevices(1)), (std::vector<std::string>{"Mic", "Headset"}));
    EXPECT_EQ(rig.pa.initializeCount(), inits);
    EXPECT_EQ(rig.pa.terminateCount(), terms);
    engine.Stop();
}

TEST(PaEngine, HungWorkerIsDetachedAfterThreeSecondsAndOutlivesTheEngine)
{
    // Clock, PortAudio and log outlive the detached worker, as the real
    // ones (process-wide) do; nothing tells when its thread has ended.
    static Rig &rig = *new Rig;
    auto engine = std::make_unique<AudioRouterService>(rig.environment());
    rig.pa.setHang(true);
    ASSERT_TRUE(engine->Start(AudioRouterConfig{}));

    auto stop = std::async(std::launch::async, [&] { engine->Stop(); });
    waitFor([&] { return rig.clock.waitingThreads() == 1; });
    rig.clock.advanceMs(2990);
    EXPECT_EQ(stop.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    rig.clock.advanceMs(10);
    stop.get();
    EXPECT_TRUE(rig.lines.has("[Warning] Worker thread did not stop within 3 seconds, detaching"));
    EXPECT_FALSE(engine->IsRunning());
    // The detached worker still owns the state: no second one beside it.
    EXPECT_FALSE(engine->Start(AudioRouterConfig{}));
    EXPECT_FALSE(engine->Restart());

    engine.reset();
    rig.pa.setHang(false);
    waitFor([&] { return rig.lines.has("Audio routing service stopped"); });
    waitFor([&] { return rig.pa.terminateCount() == 1; });
}

// A callback that only counts; two of them so the pointer really changes.
std::atomic<int> g_callbackA{0};
std::atomic<int> g_callbackB{0};
void callbackA(float *, int, int, double) { g_callbackA.fetch_add(1); }
void callbackB(float *, int, int, double) { g_callbackB.fetch_add(1); }

TEST(PaEngine, CallbackAndDeviceListMeetARunningWorkerSafely)
{
    Rig rig({inputDevice("Mic"), outputDevice("Speakers")});
    os::RealClock clock; // stops must not time out while the threads contend
    AudioRouterService engine(rig.environment(&clock));
    AudioRouterConfig config = configWith({"Mic"});
    config.outputDevice = "Speakers";

    ASSERT_TRUE(engine.Start(config));
    waitFor([&] { return rig.pushes(0) > 20; });
    for (int i = 0; i < 2000; ++i)
        engine.SetAudioCallback(i % 2 ? callbackA : callbackB);
    waitFor([&] { return g_callbackA.load() + g_callbackB.load() > 10; });
    engine.Stop();

    std::atomic<bool> cycling{true};
    // A short pause between listings: a lister re-taking the library's lock
    // back to back can starve the worker's exit past the stop's 3 s.
    std::thread lister([&] {
        while (cycling.load()) {
            engine.ListDevices(0);
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });
    for (int i = 0; i < 20; ++i) {
        EXPECT_TRUE(engine.Start(config));
        engine.RequestRefresh();
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        engine.Stop();
    }
    cycling.store(false);
    lister.join();
    EXPECT_FALSE(rig.pa.overlapSeen());
    EXPECT_FALSE(rig.pa.usedAfterClose());
    EXPECT_TRUE(rig.pa.openStreams().empty());
}

// --- monitor resampler -----------------------------------------------------

std::vector<float> tone(double frequency, double rate, double amplitude, size_t frames, size_t &phase)
{
    std::vector<float> out(frames * 2);
    for (size_t f = 0; f < frames; ++f, ++phase) {
        const float v = static_cast<float>(amplitude * std::sin(2.0 * std::numbers::pi * frequency * phase / rate));
        out[f * 2] = v;
        out[f * 2 + 1] = v;
    }
    return out;
}

TEST(PaMonitorResampler, NearlyEqualRatesCopyAndPadAndBadArgumentsGiveSilence)
{
    Rig rig;
    AudioRouterService engine(rig.environment());
    struct Case {
        uint32_t inFrames;
        double srcRate;
        double dstRate;
        uint32_t copied; // frames taken from the input; the rest must be silent
    };
    const std::vector<Case> cases = {
        {240, 48000.0, 48000.0, 240}, {240, 48000.0, 48000.4, 240}, {100, 48000.0, 47999.6, 100},
        {0, 48000.0, 44100.0, 0},     {240, 0.0, 44100.0, 0},       {240, 48000.0, -1.0, 0},
    };
    std::vector<float> in(480);
    for (size_t i = 0; i < in.size(); ++i)
        in[i] = static_cast<float>(i + 1);
    for (const Case &c : cases) {
        std::vector<float> out(240 * 2 + 2, -7.0f);
        resampleMonitor(engine.impl(), in.data(), c.inFrames, c.srcRate, out.data(), 240, c.dstRate);
        for (size_t i = 0; i < 480; ++i)
            ASSERT_EQ(out[i], i < c.copied * 2 ? in[i] : 0.0f) << c.inFrames << " " << c.dstRate << " at " << i;
        EXPECT_EQ(out[480], -7.0f); // nothing past outFrames
    }
    std::vector<float> untouched(4, -7.0f);
    resampleMonitor(engine.impl(), in.data(), 240, 48000.0, untouched.data(), 0, 44100.0);
    EXPECT_EQ(untouched, std::vector<float>(4, -7.0f));
    EXPECT_EQ(rig.lines.count("LibSR engaged"), 0);
}

TEST(PaMonitorResampler, StreamsFortyEightToFortyFourOneKeepingATone)
{
    Rig rig;
    AudioRouterService engine(rig.environment());
    AudioRouterService::Impl &impl = engine.impl();
    constexpr uint32_t kOut = 221;
    constexpr uint32_t kIn = 241; // what a pass pulls for 221 output frames
    constexpr double kAmplitude = 0.5;
    size_t phase = 0;
    std::vector<float> out(kOut * 2);
    std::vector<float> left;
    bool primed = false;
    for (int call = 0; call < 500; ++call) {
        const std::vector<float> in = tone(1000.0, 48000.0, kAmplitude, kIn, phase);
        resampleMonitor(impl, in.data(), kIn, 48000.0, out.data(), kOut, 44100.0);
        ASSERT_LE(impl.monitorStash.size(), 4u * kOut * 2) << call;
        const bool silent = std::all_of(out.begin(), out.end(), [](float v) { return v == 0.0f; });
        if (primed) {
            ASSERT_FALSE(silent) << "a primed stream fell silent at call " << call;
        }
        primed = primed || !silent;
        if (call >= 20) { // past the converter's start
            for (uint32_t f = 0; f < kOut; ++f)
                left.push_back(out[f * 2]);
        }
    }
    EXPECT_EQ(rig.lines.count("stdout: [Solo] LibSR engaged, srcRate=48000 dstRate=44100, conv=SINC_BEST_QUALITY "
                              "(streaming + stash)"),
              1);

    // Frequency from the rising zero crossings, amplitude from the RMS, and
    // no step steeper than the tone itself allows.
    int crossings = 0;
    double sumSquares = 0.0;
    double steepest = 0.0;
    for (size_t i = 1; i < left.size(); ++i) {
        crossings += left[i - 1] < 0.0f && left[i] >= 0.0f;
        sumSquares += left[i] * left[i];
        steepest = std::max(steepest, std::fabs(static_cast<double>(left[i]) - left[i - 1]));
    }
    const double seconds = left.size() / 44100.0;
    EXPECT_NEAR(crossings / seconds, 1000.0, 1000.0 * 0.003);
    const double amplitude = std::sqrt(2.0 * sumSquares / (left.size() - 1));
    EXPECT_LT(std::fabs(20.0 * std::log10(amplitude / kAmplitude)), 0.1);
    const double slope = kAmplitude * 2.0 * std::numbers::pi * 1000.0 / 44100.0;
    EXPECT_LE(steepest, 1.05 * slope);

    // A producer running ahead fills the stash up to four blocks, no more.
    for (int call = 0; call < 20; ++call) {
        const std::vector<float> in = tone(1000.0, 48000.0, kAmplitude, 2 * kIn, phase);
        resampleMonitor(impl, in.data(), 2 * kIn, 48000.0, out.data(), kOut, 44100.0);
        ASSERT_LE(impl.monitorStash.size(), 4u * kOut * 2) << call;
    }
    EXPECT_EQ(impl.monitorStash.size(), 3u * kOut * 2); // four blocks, one delivered

    // A new pair engages a converter of its own, once.
    for (int call = 0; call < 5; ++call) {
        const std::vector<float> in = tone(1000.0, 48000.0, kAmplitude, 240, phase);
        resampleMonitor(impl, in.data(), 240, 48000.0, out.data(), 160, 32000.0);
    }
    EXPECT_EQ(rig.lines.count("[Solo] LibSR engaged"), 2);
    EXPECT_EQ(impl.monitorDstRate, 32000.0);
}

SRC_STATE *failingSrcNew(int, int, int *error)
{
    *error = 6;
    return nullptr;
}

TEST(PaMonitorResampler, FailedConverterFallsBackToCubicEveryCall)
{
    Rig rig;
    AudioRouterService engine(rig.environment());
    AudioRouterService::Impl &impl = engine.impl();
    impl.monitorSrcNew = failingSrcNew;
    std::vector<float> in(8);
    for (size_t f = 0; f < 4; ++f)
        in[f * 2] = in[f * 2 + 1] = static_cast<float>(f * f); // 0 1 4 9: not linear
    std::vector<float> viaMonitor(12, -1.0f), viaCubic(12, -2.0f);
    for (int call = 0; call < 2; ++call)
        resampleMonitor(impl, in.data(), 4, 48000.0, viaMonitor.data(), 6, 60000.0);
    cubicResample(in.data(), 4, 48000.0, viaCubic.data(), 6, 60000.0);
    EXPECT_EQ(viaMonitor, viaCubic);
    EXPECT_EQ(rig.lines.count("stdout: [Solo] src_new failed (err=6); using cubic fallback srcRate=48000 "
                              "dstRate=60000"),
              2);
    EXPECT_EQ(impl.monitorState, nullptr);

    // step 0.8: frame 1 sits at 0.8 between inputs 0 and 1 (linear at the
    // edge), frame 2 at 1.6 inside (Catmull-Rom, above the chord 1..4),
    // frames 4 and 5 at 3.2 and 4.0 repeat the last input.
    EXPECT_FLOAT_EQ(viaCubic[2], 0.8f);
    EXPECT_FLOAT_EQ(viaCubic[3], 0.8f);
    const float chord = 1.0f + 0.6f * 3.0f;
    EXPECT_LT(viaCubic[4], chord);
    EXPECT_NEAR(viaCubic[4], 1.6f * 1.6f, 0.05f);
    EXPECT_FLOAT_EQ(viaCubic[8], 9.0f);
    EXPECT_FLOAT_EQ(viaCubic[10], 9.0f);
}

} // namespace
