// The bus forwarder in a simulated world on a manual clock: which endpoints
// count as physical, how units find theirs, what Start and Stop promise, and
// what the units play.
#include "LoopbackTestSupport.h"

#include "platform/windows/routerAudio/AudioLogText.h"
#include "platform/windows/routerAudio/BusForwarder.h"
#include "platform/windows/routerAudio/WinMicRouter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace looptest;

namespace {

class BusForwarderTest : public testing::Test {
protected:
    BusForwarderTest()
    {
        store.set(1, routedRecord(1));
        store.set(kListenBusMasterId, routedRecord(kListenBusMasterId));
        store.set(kMixBusMasterId, routedRecord(kMixBusMasterId));
    }
    ~BusForwarderTest() override
    {
        log.printIfFailed();
        forwarder.reset();
        EXPECT_TRUE(eventually([&] { return world.use_count() == 1; }));
    }
    std::wstring add(const std::wstring &name, os::DataFlow flow, bool physical, const std::wstring &id = {},
                     uint32_t rate = 48000)
    {
        return world->addEndpoint(
            {.name = name, .flow = flow, .sampleRate = rate, .physical = physical, .id = id});
    }
    std::shared_ptr<os::AudioEndpoint> endpoint(const std::wstring &id)
    {
        std::shared_ptr<os::EndpointEnumerator> enumerator;
        std::shared_ptr<os::AudioEndpoint> out;
        world->createEndpointEnumerator(enumerator);
        enumerator->getEndpoint(id, out);
        return out;
    }
    // Steps the clock once the world's two threads and `renderers` render
    // threads all wait on it.
    void stepMs(int64_t ms, int renderers)
    {
        for (int64_t i = 0; i < ms; ++i) {
            ASSERT_TRUE(eventually([&] { return clock->settledThreads() == 2 + renderers; }));
            clock->advanceMs(1);
        }
        ASSERT_TRUE(eventually([&] { return clock->settledThreads() == 2 + renderers; }));
    }
    std::vector<float> played(const std::wstring &id)
    {
        const auto rec = world->recording(id);
        std::vector<float> samples(rec.bytes.size() / 4);
        if (!samples.empty())
            std::memcpy(samples.data(), rec.bytes.data(), samples.size() * 4);
        return samples;
    }

    LogLines log;
    std::shared_ptr<os::ManualClock> clock = std::make_shared<os::ManualClock>();
    std::shared_ptr<os::SimAudioWorld> world = std::make_shared<os::SimAudioWorld>(clock);
    AudioRouteConfigStore store;
    Mixer mixer{store};
    std::unique_ptr<BusForwarder> forwarder = std::make_unique<BusForwarder>(world, mixer);
};

TEST_F(BusForwarderTest, PhysicalDevicesByNameIdAndConnectors)
{
    struct Row {
        const wchar_t *name;
        const wchar_t *id;
        bool connectors;
        bool physical;
    };
    const Row rows[] = {
        {L"Speakers (HD Audio)", L"", true, true},
        {L"Speakers (HD Audio)", L"", false, false}, // no connector
        {L"Virtual Listen Cable", L"", true, false},
        {L"CABLE Input", L"", true, false},
        {L"VB-Audio Point", L"", true, false},
        {L"VoiceMeeter Input", L"", true, false},
        {L"Stereo LOOPBACK", L"", true, false},
        {L"Line Out", L"SWD\\MMDEVAPI\\{0.0.0.1}", true, false},
        {L"Line Out", L"root\\media\\0001", true, false},
        {L"Line Out", L"USB\\VID_1234\\7", true, true},
    };
    for (const Row &row : rows) {
        const std::wstring id = add(row.name, os::DataFlow::Render, row.connectors, row.id);
        EXPECT_EQ(BusForwarder::isPhysicalDevice(endpoint(id).get()), row.physical) << logText(row.name) << " "
                                                                                     << logText(row.id);
        world->removeEndpoint(id);
    }
    EXPECT_FALSE(BusForwarder::isPhysicalDevice(nullptr));
}

TEST_F(BusForwarderTest, FindsByIdOrNameAndListsWhatItCannotFind)
{
    add(L"Speakers (HD Audio)", os::DataFlow::Render, true, L"HDAUDIO\\SPK");
    const std::wstring capture = add(L"Virtual Mic Cable", os::DataFlow::Capture, false, L"SWD\\MIC\\1");
    add(L"Virtual Mic Cable 2", os::DataFlow::Capture, false, L"SWD\\MIC\\2");
    add(L"Virtual Listen Cable", os::DataFlow::Render, false, L"SWD\\LISTEN");

    EXPECT_TRUE(forwarder->findDevice(L"hdaudio\\spk", false));
    EXPECT_TRUE(log.has("[BusForwarder] Found device by GUID: Speakers (HD Audio)"));
    EXPECT_FALSE(forwarder->findDevice(L"speakers", true)); // a physical device for a virtual unit
    EXPECT_TRUE(forwarder->findDevice(L"LISTEN", true));
    EXPECT_TRUE(log.has("[BusForwarder] Found device by name: Virtual Listen Cable"));

    // A capture match that refuses activation is passed over.
    world->faults().failNextFor(os::SimOp::ActivateAudioClient, capture, E_ACCESSDENIED);
    const auto found = forwarder->findDevice(L"mic cable", true);
    ASSERT_TRUE(found);
    std::wstring foundId;
    found->getId(foundId);
    EXPECT_EQ(foundId, L"SWD\\MIC\\2");
    EXPECT_TRUE(log.has("[BusForwarder] eCapture device activation failed: 0x80070005 for device: Virtual Mic Cable, "
                        "continuing search..."));
    EXPECT_TRUE(log.has("[BusForwarder] Found virtual input device (microphone): Virtual Mic Cable 2"));

    // Nothing found: Start still succeeds and says what there is.
    forwarder->SetListenDevice(L"Nowhere");
    forwarder->SetSoloDevice(L"Virtual Listen Cable"); // virtual: no solo device
    EXPECT_TRUE(forwarder->Start());
    EXPECT_TRUE(forwarder->Start());
    for (const char *line : {"[BusForwarder] Bus1: Device not found with GUID/Name: Nowhere",
                             "[BusForwarder] Bus1: Listing all available devices for debugging...",
                             "[BusForwarder] Available device: Virtual Listen Cable (GUID: SWD\\LISTEN)",
                             "[BusForwarder] Available device: Virtual Mic Cable (GUID: SWD\\MIC\\1)",
                             "[BusForwarder] Bus3: Listing all available devices for debugging...",
                             "[BusForwarder] Available device: Speakers (HD Audio) (GUID: HDAUDIO\\SPK)",
                             "[BusForwarder] Failed to initialize Solo thread."})
        EXPECT_TRUE(log.has(line)) << line;
    EXPECT_FALSE(forwarder->unit(1).thread.joinable());
    forwarder->Stop();
    forwarder->SetSoloDevice(L"");
    EXPECT_TRUE(forwarder->Start());
    EXPECT_TRUE(log.has("[BusForwarder] Solo device GUID is empty, Solo forwarding disabled."));
}

// The first fill of a 150 ms buffer takes each sample once; the tone of a
// 44.1 kHz endpoint is written at the mixer's rate and stays at its pitch.
TEST_F(BusForwarderTest, UnitsFillTheirBufferAtTheMixRate)
{
    const std::wstring mix = add(L"Virtual Mix Cable", os::DataFlow::Render, false, L"SWD\\MIX");
    const std::wstring speakers = add(L"Speakers (HD Audio)", os::DataFlow::Render, true, {}, 44100);
    AudioRouteConfig ramped = routedRecord(1); // the ramp on the mix bus only
    ramped.input1.enabled = 0;
    store.set(1, ramped);
    AudioRouteConfig solo = routedRecord(2); // the tone soloed on the listen bus only
    solo.input2.enabled = 0;
    solo.solo = 1;
    store.set(2, solo);

    std::vector<float> ramp(2000 * 2); // within the lag the mixer keeps
    for (size_t i = 0; i < ramp.size(); ++i)
        ramp[i] = float(i + 1) / 8192.0f;
    std::vector<float> tone(2400 * 2);
    for (size_t f = 0; f < 2400; ++f)
        tone[2 * f] = tone[2 * f + 1] = float(0.5 * std::sin(2.0 * M_PI * 1000.0 * double(f) / 48000.0));
    const WAVEFORMATEX format = makeMixFormat();
    mixer.push(1, ramp.data(), uint32_t(ramp.size() * 4), &format);
    mixer.push(2, tone.data(), uint32_t(tone.size() * 4), &format);

    forwarder->SetMixDevice(L"SWD\\mix");
    forwarder->SetSoloDevice(L"speakers");
    ASSERT_TRUE(forwarder->Start());
    EXPECT_TRUE(log.has("[BusForwarder] Bus3 using device: Speakers (HD Audio) (Output) (ClassGuid: " + logText(speakers)
                        + ")"));
    EXPECT_TRUE(log.has("[BusForwarder] Using device format: 48000 Hz, 2 ch, 32 bits"));
    EXPECT_EQ(forwarder->unit(2).bufferFrames, 7200u);
    stepMs(10, 2); // the first period: each unit fills its whole buffer
    stepMs(150, 2);

    const std::vector<float> bus = played(mix);
    ASSERT_GE(bus.size(), 7200u * 2);
    size_t taken = 0;
    for (size_t i = 0; i < 7200 * 2; ++i) {
        if (bus[i] == 0.0f)
            continue;
        ASSERT_LT(taken, ramp.size());
        ASSERT_EQ(bus[i], ramp[taken]) << i;
        ++taken;
    }
    EXPECT_EQ(taken, ramp.size() - kPullMarginFrames * 2); // one block stays behind as the margin

    const auto rec = world->recording(speakers);
    EXPECT_EQ(rec.format.Format.nSamplesPerSec, 48000u);
    const std::vector<float> monitor = played(speakers);
    // The tone (less the margin) ends the first fill's pull, so that it
    // plays on without a break; before it the buffer is silent.
    const size_t toneFrames = 2400 - kPullMarginFrames;
    const size_t toneStart = 7200 - toneFrames;
    ASSERT_GE(monitor.size(), 7200u * 2);
    EXPECT_TRUE(std::all_of(monitor.begin(), monitor.begin() + long(toneStart * 2), [](float s) { return s == 0.0f; }));
    EXPECT_FLOAT_EQ(monitor[toneStart * 2 + 2], tone[2]);
    int rises = 0; // upward zero crossings of the left channel over the tone played
    for (size_t f = toneStart + 1; f < 7200; ++f)
        rises += monitor[2 * (f - 1)] < 0.0f && monitor[2 * f] >= 0.0f ? 1 : 0;
    EXPECT_NEAR(rises * double(rec.format.Format.nSamplesPerSec) / double(toneFrames), 1000.0, 26.0);
}

TEST_F(BusForwarderTest, StopWakesAndJoinsWaitingThreads)
{
    const std::wstring listen = add(L"Virtual Listen Cable", os::DataFlow::Render, false, L"SWD\\LISTEN");
    add(L"Virtual Mix Cable", os::DataFlow::Render, false, L"SWD\\MIX");
    forwarder->SetListenDevice(L"listen");
    forwarder->SetMixDevice(L"mix");
    ASSERT_TRUE(forwarder->Start());
    world->stallEndpoint(listen, true); // its thread waits with no end
    stepMs(30, 2);
    forwarder->Stop();
    EXPECT_FALSE(forwarder->unit(1).thread.joinable());
    EXPECT_FALSE(forwarder->unit(2).thread.joinable());
    EXPECT_FALSE(forwarder->IsRunning());
    EXPECT_EQ(clock->waitingThreads(), 2);
}

} // namespace
