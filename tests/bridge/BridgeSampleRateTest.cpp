// The sample rate of the device's endpoints: the synchronous write over the
// simulated endpoints, the background worker with its coalescing, and the
// rate read back as kHz text.
#include "BridgeTestSupport.h"

#include "bridge/SystemBridge.h"
#include "platform/os/WaveFormat.h"
#include "platform/windows/routerAudio/MixerLog.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QThreadPool>

#include <atomic>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <memory>
#include <thread>
#include <vector>

namespace {

constexpr std::int64_t kWaitMs = 10000;

const QString kInvalid = QStringLiteral("SystemBridge::SetDeviceSampleRate: Invalid parameters - deviceName:");

WAVEFORMATEX baseOf(const std::vector<std::uint8_t> &blob)
{
    WAVEFORMATEX base{};
    if (blob.size() >= sizeof base)
        std::memcpy(&base, blob.data(), sizeof base);
    return base;
}

// The blob as it must look after a rewrite to `rate`: the rate and the
// average byte rate changed, every other byte as it was.
std::vector<std::uint8_t> withRate(std::vector<std::uint8_t> blob, std::uint32_t rate)
{
    const WAVEFORMATEX base = baseOf(blob);
    const std::uint32_t average = base.nBlockAlign * rate;
    std::memcpy(blob.data() + 4, &rate, 4);
    std::memcpy(blob.data() + 8, &average, 4);
    return blob;
}

class BridgeSampleRate : public BridgeTest
{
protected:
    std::unique_ptr<SystemBridge> makeBridge(SystemBridge::Options options = {})
    {
        options.hotplug = m_hotplug.get();
        return std::make_unique<SystemBridge>(options);
    }
    static std::uint64_t writes(os::SimAudioWorld &world) { return world.faults().calls(os::SimOp::SetDeviceFormat); }
    static std::uint32_t rateOf(os::SimAudioWorld &world, const std::wstring &id)
    {
        return baseOf(world.deviceFormat(id)).nSamplesPerSec;
    }

    // Waits for the signals and for the worker to end.
    static void settle(QSignalSpy &spy, int expected)
    {
        QThreadPool::globalInstance()->waitForDone(int(kWaitMs));
        for (int i = 0; i < 100 && spy.count() < expected; ++i)
            spy.wait(50);
        QCoreApplication::processEvents();
    }
    static QVariantList signalArgs(const QString &device, double rate, bool success)
    {
        return {device, rate, success};
    }
};

TEST_F(BridgeSampleRate, WritesEveryMatchingEndpointAndReportsEachFailure)
{
    const os::SimEndpointSpec speakers{.name = L"Speakers (R7 Mic)", .flow = os::DataFlow::Render, .deviceBits = 32};
    const os::SimEndpointSpec microphone{
        .name = L"Microphone (R7 Mic)", .flow = os::DataFlow::Capture, .deviceBits = 32};
    const os::SimEndpointSpec driver{.name = L"NUVEX Output (R7 Mic)", .flow = os::DataFlow::Render, .deviceBits = 32};
    enum Blob { Kept, Written };
    struct Case {
        const char *tag;
        QString device;
        double rate;
        std::function<void(os::SimAudioWorld &, const std::wstring &speakersId)> arrange;
        os::SimEndpointSpec speakersSpec;
        bool result;
        Blob speakersBlob;
        Blob microphoneBlob;
        std::uint64_t writes;
        QString line;
        QtMsgType lineType;
    };
    const auto none = [](os::SimAudioWorld &, const std::wstring &) {};
    const auto failNext = [](os::SimOp op, HRESULT hr) {
        return [op, hr](os::SimAudioWorld &w, const std::wstring &) { w.failNext(op, hr); };
    };
    os::SimEndpointSpec wideSpeakers = speakers;
    wideSpeakers.channels = 4096; // 16 KiB frames: the average byte rate at 384 kHz needs 33 bits
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const Case cases[] = {
        {"both device endpoints, never the driver's", "r7 mic", 44100, none, speakers, true, Written, Written, 2,
         "SystemBridge::SetDeviceSampleRate: Applied 44100 Hz to 2 endpoint(s), matched 2", QtDebugMsg},
        {"already at the rate", "R7 MIC", 48000, none, speakers, true, Kept, Kept, 0,
         "  Skip SetDeviceFormat: already at 48000 Hz", QtDebugMsg},
        {"one endpoint in use", "r7 mic", 44100,
         failNext(os::SimOp::SetDeviceFormat, AUDCLNT_E_DEVICE_IN_USE), speakers, false, Kept, Written, 2,
         "  IPolicyConfig::SetDeviceFormat failed, hr=0x8889000a (endpoint may be in use by another application)",
         QtWarningMsg},
        {"a write that changes nothing", "r7 mic", 44100,
         [](os::SimAudioWorld &w, const std::wstring &id) { w.ignoreDeviceFormatWrites(id, true); }, speakers,
         false, Kept, Written, 2, "  Verification failed: device reports 48000 Hz, expected 44100 Hz", QtWarningMsg},
        {"unreadable format", "r7 mic", 44100,
         failNext(os::SimOp::GetDeviceFormat, E_ACCESSDENIED), speakers, false, Kept, Written, 1,
         "  Failed to read PKEY_AudioEngine_DeviceFormat for Speakers (R7 Mic) hr=0x80070005", QtWarningMsg},
        {"average byte rate beyond 32 bits", "r7 mic", 384000, none, wideSpeakers, false, Kept, Written, 1,
         "  Average byte rate of 384000 Hz exceeds 32 bits for Speakers (R7 Mic)", QtWarningMsg},
        {"no matching endpoint", "r9 mic", 44100, none, speakers, false, Kept, Kept, 0,
         "SystemBridge::SetDeviceSampleRate: No matching Windows endpoint for r9 mic", QtWarningMsg},
        {"policy object refused", "r7 mic", 44100,
         failNext(os::SimOp::CreatePolicyConfig, REGDB_E_CLASSNOTREG), speakers, false, Kept, Kept, 0,
         "SystemBridge::SetDeviceSampleRate: CoCreateInstance(IPolicyConfig) failed, hr=0x80040154", QtCriticalMsg},
        {"rate 0", "r7 mic", 0, none, speakers, false, Kept, Kept, 0, kInvalid, QtWarningMsg},
        {"rate -1", "r7 mic", -1, none, speakers, false, Kept, Kept, 0, kInvalid, QtWarningMsg},
        {"rate NaN", "r7 mic", nan, none, speakers, false, Kept, Kept, 0, kInvalid, QtWarningMsg},
        {"rate 1e12", "r7 mic", 1e12, none, speakers, false, Kept, Kept, 0, kInvalid, QtWarningMsg},
        {"rate below 1 Hz", "r7 mic", 0.5, none, speakers, false, Kept, Kept, 0, kInvalid, QtWarningMsg},
        {"empty name", "", 44100, none, speakers, false, Kept, Kept, 0, kInvalid, QtWarningMsg},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.tag);
        auto world = std::make_shared<os::SimAudioWorld>(m_clock);
        os::installPlatform(world);
        const std::wstring speakersId = world->addEndpoint(c.speakersSpec);
        const std::wstring microphoneId = world->addEndpoint(microphone);
        const std::wstring driverId = world->addEndpoint(driver);
        const auto speakersBefore = world->deviceFormat(speakersId);
        const auto microphoneBefore = world->deviceFormat(microphoneId);
        const auto driverBefore = world->deviceFormat(driverId);
        c.arrange(*world, speakersId);
        clearLines();

        auto bridge = makeBridge();
        EXPECT_EQ(bridge->SetDeviceSampleRate(c.device, c.rate), c.result);

        const auto rate = std::uint32_t(c.rate);
        EXPECT_EQ(world->deviceFormat(speakersId), c.speakersBlob == Written ? withRate(speakersBefore, rate)
                                                                               : speakersBefore);
        EXPECT_EQ(world->deviceFormat(microphoneId),
                  c.microphoneBlob == Written ? withRate(microphoneBefore, rate) : microphoneBefore);
        EXPECT_EQ(world->deviceFormat(driverId), driverBefore) << "the virtual driver's endpoint is never written";
        EXPECT_EQ(writes(*world), c.writes);
        EXPECT_GE(find(c.line, 0, c.lineType), 0) << c.line.toStdString();
        if (c.line == kInvalid) {
            EXPECT_EQ(world->faults().calls(os::SimOp::CreatePolicyConfig), 0u);
        }
        if (c.microphoneBlob == Written && rate == 44100) {
            EXPECT_EQ(baseOf(world->deviceFormat(microphoneId)).nAvgBytesPerSec, 352800u);
            EXPECT_EQ(world->deviceFormat(microphoneId).size(), sizeof(WAVEFORMATEXTENSIBLE));
        }
        bridge.reset();
        os::installPlatform(m_world);
    }
}

// Each row requests rates while the simulated endpoint holds every write;
// `steps` run in order, "hold" waiting until the next write is held.
TEST_F(BridgeSampleRate, BackgroundWritesApplyTheLatestRequestOfEachDevice)
{
    const QString t40 = QStringLiteral("Veloran T40");
    const QString u20 = QStringLiteral("Veloran U20");
    struct Step {
        enum Kind { Request, Release, WaitHeld } kind;
        QString device{};
        double rate = 0;
    };
    struct Case {
        const char *tag;
        std::vector<Step> steps;
        std::uint64_t writes;
        QList<QVariantList> signalsExpected;
        std::uint32_t t40Rate;
        std::uint32_t u20Rate;
        bool requestInGap = false;
    };
    const Case cases[] = {
        {"bursts are coalesced to the latest rate",
         {{Step::Request, t40, 44100}, {Step::WaitHeld}, {Step::Request, t40, 96000}, {Step::Release},
          {Step::WaitHeld}, {Step::Request, t40, 96000}, {Step::Release}},
         2, {signalArgs(t40, 44100, true), signalArgs(t40, 96000, true)}, 96000, 48000},
        {"a cancelling request ends the run", {{Step::Request, t40, 0}}, 0, {}, 48000, 48000},
        {"a cancelling request during a write ends the run after it",
         {{Step::Request, t40, 44100}, {Step::WaitHeld}, {Step::Request, t40, -1}, {Step::Release}}, 1,
         {signalArgs(t40, 44100, true)}, 44100, 48000},
        {"within 1 Hz of the rate just written",
         {{Step::Request, t40, 44100}, {Step::WaitHeld}, {Step::Request, t40, 44100.5}, {Step::Release}}, 1,
         {signalArgs(t40, 44100, true)}, 44100, 48000},
        {"another device during a run is written itself",
         {{Step::Request, t40, 44100}, {Step::WaitHeld}, {Step::Request, u20, 44100}, {Step::Release},
          {Step::WaitHeld}, {Step::Release}},
         2, {signalArgs(t40, 44100, true), signalArgs(u20, 44100, true)}, 44100, 44100},
        {"a request after the last look is still applied",
         {{Step::Request, t40, 44100}, {Step::WaitHeld}, {Step::Release}, {Step::WaitHeld}, {Step::Release}}, 2,
         {signalArgs(t40, 44100, true), signalArgs(t40, 96000, true)}, 96000, 48000, true},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.tag);
        auto world = std::make_shared<os::SimAudioWorld>(m_clock);
        os::installPlatform(world);
        const std::wstring t40Id = world->addEndpoint({.name = L"Microphone (Veloran T40)", .flow = os::DataFlow::Capture});
        const std::wstring u20Id = world->addEndpoint({.name = L"Microphone (Veloran U20)", .flow = os::DataFlow::Capture});
        world->holdDeviceFormatWrites(true);

        SystemBridge::Options options;
        std::atomic<SystemBridge *> gapBridge{nullptr};
        std::atomic<int> runEnds{0};
        if (c.requestInGap) {
            // Between the worker's last look at the request and the end of
            // its run, once: the request finds the run still going.
            options.sampleRateRunEnding = [&] {
                if (runEnds.fetch_add(1) == 0)
                    gapBridge.load()->SetDeviceSampleRateAsync(QStringLiteral("Veloran T40"), 96000);
            };
        }
        auto bridge = makeBridge(options);
        gapBridge.store(bridge.get());
        QSignalSpy spy(bridge.get(), &SystemBridge::deviceSampleRateChanged);
        for (const Step &step : c.steps) {
            switch (step.kind) {
            case Step::Request:
                bridge->SetDeviceSampleRateAsync(step.device, step.rate);
                break;
            case Step::WaitHeld:
                ASSERT_TRUE(world->waitForHeldDeviceFormatWrites(1, kWaitMs));
                break;
            case Step::Release:
                ASSERT_TRUE(world->releaseDeviceFormatWrite());
                break;
            }
        }
        settle(spy, int(c.signalsExpected.size()));
        EXPECT_EQ(writes(*world), c.writes);
        EXPECT_EQ(QList<QVariantList>(spy.begin(), spy.end()), c.signalsExpected);
        EXPECT_EQ(rateOf(*world, t40Id), c.t40Rate);
        EXPECT_EQ(rateOf(*world, u20Id), c.u20Rate);
        world->holdDeviceFormatWrites(false);
        bridge.reset();
        os::installPlatform(m_world);
    }
}

TEST_F(BridgeSampleRate, ABridgeDestroyedDuringAWriteGetsNoSignalAndNoFurtherWrite)
{
    const std::wstring id = m_world->addEndpoint({.name = L"Microphone (Veloran T40)", .flow = os::DataFlow::Capture});
    m_world->holdDeviceFormatWrites(true);
    auto bridge = makeBridge();
    int signalsSeen = 0;
    QObject::connect(bridge.get(), &SystemBridge::deviceSampleRateChanged, [&] { ++signalsSeen; });
    bridge->SetDeviceSampleRateAsync(QStringLiteral("Veloran T40"), 44100);
    ASSERT_TRUE(m_world->waitForHeldDeviceFormatWrites(1, kWaitMs));
    bridge->SetDeviceSampleRateAsync(QStringLiteral("Veloran T40"), 96000);

    // The write in progress ends before the bridge does.
    std::thread release([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        m_world->releaseDeviceFormatWrite();
    });
    bridge.reset();
    release.join();
    QThreadPool::globalInstance()->waitForDone(int(kWaitMs));
    QCoreApplication::processEvents();
    EXPECT_EQ(signalsSeen, 0);
    EXPECT_EQ(m_world->faults().calls(os::SimOp::SetDeviceFormat), 1u);
    EXPECT_EQ(rateOf(*m_world, id), 44100u);
}

TEST_F(BridgeSampleRate, CurrentRateIsTheFirstRenderEndpointsElseTheCaptureEndpoints)
{
    struct Case {
        const char *tag;
        QString device;
        std::vector<os::SimEndpointSpec> endpoints;
        QString text;
    };
    const auto render = [](const wchar_t *name, std::uint32_t rate) {
        return os::SimEndpointSpec{.name = name, .flow = os::DataFlow::Render, .sampleRate = rate};
    };
    const auto capture = [](const wchar_t *name, std::uint32_t rate) {
        return os::SimEndpointSpec{.name = name, .flow = os::DataFlow::Capture, .sampleRate = rate};
    };
    const Case cases[] = {
        {"48 kHz", "Veloran T40", {render(L"Headphones (Veloran T40)", 48000)}, "48"},
        {"44.1 kHz", "veloran t40", {render(L"Headphones (Veloran T40)", 44100)}, "44.1"},
        {"88.2 kHz", "Veloran T40", {render(L"Headphones (Veloran T40)", 88200)}, "88.2"},
        {"11025 Hz is within 0.05 of 11 kHz", "Veloran T40", {render(L"Headphones (Veloran T40)", 11025)}, "11"},
        {"render asked before capture", "Veloran T40",
         {capture(L"Microphone (Veloran T40)", 96000), render(L"Headphones (Veloran T40)", 44100)}, "44.1"},
        {"capture when no render endpoint matches", "Veloran T40",
         {render(L"Speakers", 44100), capture(L"Microphone (Veloran T40)", 96000)}, "96"},
        {"the driver's endpoints are not excluded here", "NUVEX", {render(L"NUVEX Output", 32000)}, "32"},
        {"empty name", "", {render(L"Headphones (Veloran T40)", 48000)}, ""},
        {"no endpoint", "Veloran T40", {render(L"Speakers", 48000)}, ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.tag);
        auto world = std::make_shared<os::SimAudioWorld>(m_clock);
        os::installPlatform(world);
        for (const auto &spec : c.endpoints)
            world->addEndpoint(spec);
        auto bridge = makeBridge();
        EXPECT_EQ(bridge->GetDeviceCurrentRateKHz(c.device), c.text);
        bridge.reset();
        os::installPlatform(m_world);
    }
}

// The router holds the device's capture endpoint: a write stops it first
// and restarts it after, whatever the write gave; one that was not running
// stays stopped.
TEST_F(BridgeSampleRate, TheRunningRouterIsStoppedAroundTheWrite)
{
    // The router's own lines, in order with the bridge's.
    setMixerLogSink([](const std::string &line) { qDebug().noquote() << QString::fromStdString(line); });
    const std::wstring microphone =
        m_world->addEndpoint({.name = L"Microphone (R7 Mic)", .flow = os::DataFlow::Capture});
    m_world->addEndpoint({.name = L"Speakers (R7 Mic)", .flow = os::DataFlow::Render});
    const QString stopping = QStringLiteral("SystemBridge::SetDeviceSampleRate: stopping WinMicRouter to release R7 Mic endpoint");
    const QString restarting =
        QStringLiteral("SystemBridge::SetDeviceSampleRate: restarting WinMicRouter after IPolicyConfig write");
    struct Case {
        const char *tag;
        bool connected;
        bool policyRefused;
        std::uint32_t rate;
        std::vector<QString> inOrder;
    };
    const Case cases[] = {
        {"running", true, false, 44100,
         {stopping, "[WinMicRouter] Stopped", "SystemBridge::SetDeviceSampleRate: Matched capture endpoint:",
          restarting, "[WinMicRouter] Started"}},
        {"running, policy refused", true, true, 48000,
         {stopping, "[WinMicRouter] Stopped", "CoCreateInstance(IPolicyConfig) failed", "[WinMicRouter] Started"}},
        {"not running", false, false, 96000, {"SystemBridge::SetDeviceSampleRate: Applied 96000 Hz to 2 endpoint(s)"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.tag);
        auto bridge = makeBridge();
        bridge->initializeMonitorDevice();
        QCoreApplication::processEvents();
        if (c.connected) {
            emit m_hotplug->deviceConnected({{"name", "R7 Mic"}}, true);
            ASSERT_TRUE(eventually([] { return find("[SystemBridge] WinMicRouter started: R7 Mic") >= 0; }));
            ASSERT_TRUE(eventually([&] { return m_world->openStreams() == 2; })) << "microphone and monitor output";
        }
        if (c.policyRefused)
            m_world->failNext(os::SimOp::CreatePolicyConfig, REGDB_E_CLASSNOTREG);
        clearLines();

        // On the worker, as the interface asks; the pause after the stop
        // runs on the world's clock.
        QSignalSpy spy(bridge.get(), &SystemBridge::deviceSampleRateChanged);
        bridge->SetDeviceSampleRateAsync(QStringLiteral("R7 Mic"), c.rate);
        ASSERT_TRUE(eventually([&] {
            m_clock->advanceMs(10);
            return spy.count() == 1;
        }));
        EXPECT_EQ(spy.first().at(2).toBool(), !c.policyRefused);
        int at = -1;
        for (const QString &line : c.inOrder) {
            const int next = find(line, at + 1);
            EXPECT_GT(next, at) << line.toStdString();
            at = std::max(at, next);
        }
        EXPECT_EQ(find(stopping) >= 0, c.connected);
        EXPECT_EQ(count(restarting), c.connected && !c.policyRefused ? 1 : 0);
        EXPECT_EQ(count("[WinMicRouter] Started"), c.connected ? 1 : 0);
        EXPECT_EQ(rateOf(*m_world, microphone), c.policyRefused ? 44100u : c.rate);
        EXPECT_TRUE(eventually([&] {
            m_clock->advanceMs(10);
            return m_world->openStreams() == (c.connected ? 2u : 0u);
        }));
        bridge.reset();
    }
    setMixerLogSink({});
}

} // namespace
