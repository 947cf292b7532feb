#include "platform/os/AudioClient.h"
#include "platform/os/sim/SimAudioWorld.h"
#include "platform/os/sim/SimWorkQueues.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <mutex>
#include <thread>

namespace os {
namespace {

constexpr std::int64_t k20Ms100ns = 200000;
constexpr std::uint32_t kSharedFlags =
    AUDCLNT_STREAMFLAGS_EVENTCALLBACK | AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM | AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY;

struct OsSimStream : ::testing::Test {
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    SimAudioWorld world{clock};
    std::shared_ptr<EndpointEnumerator> enumerator;

    void SetUp() override { ASSERT_EQ(world.createEndpointEnumerator(enumerator), S_OK); }

    std::shared_ptr<AudioClient> open(const std::wstring& id, const WAVEFORMATEX& format,
                                      std::shared_ptr<Event>* eventOut = nullptr)
    {
        std::shared_ptr<AudioEndpoint> endpoint;
        EXPECT_EQ(enumerator->getEndpoint(id, endpoint), S_OK);
        std::shared_ptr<AudioClient> client;
        EXPECT_EQ(endpoint->activateAudioClient(client), S_OK);
        EXPECT_EQ(client->initialize(ShareMode::Shared, kSharedFlags, k20Ms100ns, 0, &format), S_OK);
        auto event = std::make_shared<Event>(*clock);
        EXPECT_EQ(client->setEventHandle(event), S_OK);
        if (eventOut)
            *eventOut = event;
        return client;
    }
};

TEST_F(OsSimStream, CaptureDelivers480FramesPerSimulated10Ms)
{
    const auto mic = world.addEndpoint({.name = L"Mic", .flow = DataFlow::Capture});
    world.setEndpointSignal(mic, Signal::ramp(0.0f, 1.0f / 1024, 4096));
    auto client = open(mic, floatFormat(48000, 2));
    std::shared_ptr<CaptureClient> capture;
    ASSERT_EQ(client->getCaptureClient(capture), S_OK);
    std::shared_ptr<RenderClient> render;
    EXPECT_EQ(client->getRenderClient(render), AUDCLNT_E_WRONG_ENDPOINT_TYPE);
    ASSERT_EQ(client->start(), S_OK);

    std::uint32_t frames = 99;
    ASSERT_EQ(capture->getNextPacketSize(frames), S_OK);
    EXPECT_EQ(frames, 0u);
    clock->advanceMs(9);
    ASSERT_EQ(capture->getNextPacketSize(frames), S_OK);
    EXPECT_EQ(frames, 0u);

    std::uint64_t expectedFrame = 0;
    for (int period = 0; period < 5; ++period) {
        clock->advanceMs(period == 0 ? 1 : 10);
        ASSERT_EQ(capture->getNextPacketSize(frames), S_OK);
        ASSERT_EQ(frames, 480u);
        std::uint8_t* data = nullptr;
        std::uint32_t flags = 0;
        std::uint64_t position = 0;
        ASSERT_EQ(capture->getBuffer(data, frames, flags, &position, nullptr), S_OK);
        ASSERT_EQ(frames, 480u);
        EXPECT_EQ(flags, 0u);
        EXPECT_EQ(position, expectedFrame);
        const auto* samples = reinterpret_cast<const float*>(data);
        for (std::uint32_t i = 0; i < frames; ++i) {
            const float want = static_cast<float>((expectedFrame + i) % 4096) / 1024;
            ASSERT_EQ(samples[2 * i], want);
            ASSERT_EQ(samples[2 * i + 1], want);
        }
        EXPECT_EQ(capture->releaseBuffer(frames), S_OK);
        expectedFrame += frames;
        ASSERT_EQ(capture->getNextPacketSize(frames), S_OK);
        EXPECT_EQ(frames, 0u);
    }
}

TEST_F(OsSimStream, CapturePacketsFollowTheStreamRateAndFormat)
{
    const auto mic = world.addEndpoint({.name = L"Mic", .flow = DataFlow::Capture});
    world.setEndpointSignal(mic, Signal::buffer({0.5f, -0.5f}, 2));
    WAVEFORMATEX pcm{};
    pcm.wFormatTag = WAVE_FORMAT_PCM;
    pcm.nChannels = 2;
    pcm.nSamplesPerSec = 44100;
    pcm.wBitsPerSample = 16;
    pcm.nBlockAlign = 4;
    pcm.nAvgBytesPerSec = 44100 * 4;
    auto client = open(mic, pcm);
    std::shared_ptr<CaptureClient> capture;
    ASSERT_EQ(client->getCaptureClient(capture), S_OK);
    ASSERT_EQ(client->start(), S_OK);
    clock->advanceMs(1000);
    // 20 ms of buffer hold two packets; the older ones were lost.
    std::uint32_t padding = 0;
    ASSERT_EQ(client->getCurrentPadding(padding), S_OK);
    EXPECT_EQ(padding, 882u);
    std::uint8_t* data = nullptr;
    std::uint32_t frames = 0;
    std::uint32_t flags = 0;
    std::uint64_t position = 0;
    ASSERT_EQ(capture->getBuffer(data, frames, flags, &position, nullptr), S_OK);
    EXPECT_EQ(frames, 441u);
    EXPECT_EQ(position, 98u * 441);
    EXPECT_TRUE(flags & AUDCLNT_BUFFERFLAGS_DATA_DISCONTINUITY);
    std::int16_t first[2];
    std::memcpy(first, data, sizeof first);
    EXPECT_EQ(first[0], 16384);
    EXPECT_EQ(first[1], -16384);
    // Only whole packets go back.
    EXPECT_EQ(capture->releaseBuffer(100), AUDCLNT_E_INVALID_SIZE);
    EXPECT_EQ(capture->releaseBuffer(frames), S_OK);
    EXPECT_EQ(capture->releaseBuffer(frames), AUDCLNT_E_OUT_OF_ORDER);
}

TEST_F(OsSimStream, ExtensiblePcm24IsPackedLittleEndian)
{
    const auto mic = world.addEndpoint({.name = L"Mic", .flow = DataFlow::Capture});
    world.setEndpointSignal(mic, Signal::buffer({0.5f, -1.0f}, 2));
    WAVEFORMATEXTENSIBLE f{};
    f.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    f.Format.nChannels = 2;
    f.Format.nSamplesPerSec = 48000;
    f.Format.wBitsPerSample = 24;
    f.Format.nBlockAlign = 6;
    f.Format.nAvgBytesPerSec = 48000 * 6;
    f.Format.cbSize = kWaveFormatExtensibleExtraBytes;
    f.Samples.wValidBitsPerSample = 24;
    f.dwChannelMask = SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT;
    f.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
    auto client = open(mic, f.Format);
    std::shared_ptr<CaptureClient> capture;
    ASSERT_EQ(client->getCaptureClient(capture), S_OK);
    ASSERT_EQ(client->start(), S_OK);
    clock->advanceMs(10);
    std::uint8_t* data = nullptr;
    std::uint32_t frames = 0;
    std::uint32_t flags = 0;
    ASSERT_EQ(capture->getBuffer(data, frames, flags, nullptr, nullptr), S_OK);
    const std::uint8_t expected[6] = {0x00, 0x00, 0x40, 0x01, 0x00, 0x80};
    EXPECT_EQ(std::memcmp(data, expected, 6), 0);

    // An extensible record that claims a short extension is refused.
    std::shared_ptr<AudioEndpoint> endpoint;
    ASSERT_EQ(enumerator->getEndpoint(mic, endpoint), S_OK);
    std::shared_ptr<AudioClient> other;
    ASSERT_EQ(endpoint->activateAudioClient(other), S_OK);
    f.Format.cbSize = 10;
    EXPECT_EQ(other->initialize(ShareMode::Shared, kSharedFlags, k20Ms100ns, 0, &f.Format),
              AUDCLNT_E_UNSUPPORTED_FORMAT);
}

TEST_F(OsSimStream, SilentPacketsAreFlaggedButKeepTheirBytes)
{
    const auto mic = world.addEndpoint({.name = L"Mic", .flow = DataFlow::Capture});
    world.setEndpointSignal(mic, Signal::sine(1000.0, 0.5f));
    world.setSilentPackets(mic, 1);
    auto client = open(mic, floatFormat(48000, 2));
    std::shared_ptr<CaptureClient> capture;
    ASSERT_EQ(client->getCaptureClient(capture), S_OK);
    ASSERT_EQ(client->start(), S_OK);
    clock->advanceMs(20);
    for (int packet = 0; packet < 2; ++packet) {
        std::uint8_t* data = nullptr;
        std::uint32_t frames = 0;
        std::uint32_t flags = 0;
        ASSERT_EQ(capture->getBuffer(data, frames, flags, nullptr, nullptr), S_OK);
        EXPECT_EQ((flags & AUDCLNT_BUFFERFLAGS_SILENT) != 0, packet == 0);
        float peak = 0;
        for (std::uint32_t i = 0; i < frames * 2; ++i)
            peak = std::max(peak, std::fabs(reinterpret_cast<const float*>(data)[i]));
        EXPECT_GT(peak, 0.4f);
        ASSERT_EQ(capture->releaseBuffer(frames), S_OK);
    }
}

TEST_F(OsSimStream, RenderPaddingDrainsAtItsRateAndOutputIsRecordedBitExact)
{
    const auto out = world.addEndpoint({.name = L"Speakers"});
    auto client = open(out, floatFormat(48000, 2));
    std::shared_ptr<RenderClient> render;
    ASSERT_EQ(client->getRenderClient(render), S_OK);
    std::uint32_t bufferFrames = 0;
    ASSERT_EQ(client->getBufferSize(bufferFrames), S_OK);
    ASSERT_EQ(bufferFrames, 960u);

    std::vector<float> written;
    std::uint32_t counter = 0;
    auto write = [&](std::uint32_t frames) {
        std::uint8_t* data = nullptr;
        ASSERT_EQ(render->getBuffer(frames, data), S_OK);
        auto* samples = reinterpret_cast<float*>(data);
        for (std::uint32_t i = 0; i < frames * 2; ++i) {
            // Arbitrary bit patterns, not only pretty numbers.
            const float v = std::sin(static_cast<float>(counter++) * 0.37f) * 0.9f;
            samples[i] = v;
            written.push_back(v);
        }
        ASSERT_EQ(render->releaseBuffer(frames, 0), S_OK);
    };

    write(960);
    std::uint8_t* data = nullptr;
    EXPECT_EQ(render->getBuffer(1, data), AUDCLNT_E_BUFFER_TOO_LARGE);
    ASSERT_EQ(client->start(), S_OK);
    std::uint32_t padding = 0;
    for (int period = 1; period <= 6; ++period) {
        clock->advanceMs(10);
        ASSERT_EQ(client->getCurrentPadding(padding), S_OK);
        EXPECT_EQ(padding, 480u) << "period " << period;
        write(960 - padding);
    }
    ASSERT_EQ(client->stop(), S_OK);
    clock->advanceMs(50);
    ASSERT_EQ(client->getCurrentPadding(padding), S_OK);
    EXPECT_EQ(padding, 960u); // a stopped stream plays nothing

    const SimRecording rec = world.recording(out);
    ASSERT_EQ(rec.bytes.size(), 6u * 480 * 8);
    EXPECT_EQ(std::memcmp(rec.bytes.data(), written.data(), rec.bytes.size()), 0);
    EXPECT_EQ(rec.underrunFrames, 0u);
    EXPECT_EQ(rec.format.Format.nSamplesPerSec, 48000u);
}

TEST_F(OsSimStream, RenderUnderrunAndSilentReleaseAreAccounted)
{
    const auto out = world.addEndpoint({.name = L"Speakers"});
    auto client = open(out, floatFormat(48000, 2));
    std::shared_ptr<RenderClient> render;
    ASSERT_EQ(client->getRenderClient(render), S_OK);
    std::uint8_t* data = nullptr;
    ASSERT_EQ(render->getBuffer(300, data), S_OK);
    std::memset(data, 0xAB, 300 * 8);
    ASSERT_EQ(render->releaseBuffer(300, AUDCLNT_BUFFERFLAGS_SILENT), S_OK);
    ASSERT_EQ(client->start(), S_OK);
    clock->advanceMs(10);
    const SimRecording rec = world.recording(out);
    ASSERT_EQ(rec.bytes.size(), 300u * 8);
    EXPECT_TRUE(std::all_of(rec.bytes.begin(), rec.bytes.end(), [](std::uint8_t b) { return b == 0; }));
    EXPECT_EQ(rec.underrunFrames, 180u);
}

TEST_F(OsSimStream, UnplugFailsTheNextBufferCallAndNotifiesOnce)
{
    struct Counter final : EndpointNotificationClient {
        std::atomic<int> stateChanges{0};
        void onDeviceStateChanged(const std::wstring&, std::uint32_t) override { ++stateChanges; }
        void onDeviceAdded(const std::wstring&) override {}
        void onDeviceRemoved(const std::wstring&) override {}
        void onDefaultDeviceChanged(DataFlow, Role, const std::wstring&) override {}
        void onPropertyValueChanged(const std::wstring&, EndpointProperty) override {}
    };
    auto counter = std::make_shared<Counter>();
    ASSERT_EQ(enumerator->registerNotificationClient(counter), S_OK);

    const auto mic = world.addEndpoint({.name = L"Mic", .flow = DataFlow::Capture});
    const auto out = world.addEndpoint({.name = L"Speakers"});
    auto capClient = open(mic, floatFormat(48000, 2));
    auto renClient = open(out, floatFormat(48000, 2));
    std::shared_ptr<CaptureClient> capture;
    std::shared_ptr<RenderClient> render;
    ASSERT_EQ(capClient->getCaptureClient(capture), S_OK);
    ASSERT_EQ(renClient->getRenderClient(render), S_OK);
    ASSERT_EQ(capClient->start(), S_OK);
    ASSERT_EQ(renClient->start(), S_OK);
    clock->advanceMs(10);

    ASSERT_TRUE(world.unplugEndpoint(mic));
    ASSERT_TRUE(world.unplugEndpoint(out));
    std::uint8_t* data = nullptr;
    std::uint32_t frames = 0;
    std::uint32_t flags = 0;
    EXPECT_EQ(capture->getBuffer(data, frames, flags, nullptr, nullptr), AUDCLNT_E_DEVICE_INVALIDATED);
    EXPECT_EQ(capture->getNextPacketSize(frames), AUDCLNT_E_DEVICE_INVALIDATED);
    EXPECT_EQ(render->getBuffer(10, data), AUDCLNT_E_DEVICE_INVALIDATED);
    EXPECT_EQ(renClient->getCurrentPadding(frames), AUDCLNT_E_DEVICE_INVALIDATED);
    // Clean-up still works.
    EXPECT_EQ(capClient->stop(), S_OK);
    world.flushNotifications();
    EXPECT_EQ(counter->stateChanges.load(), 2);

    // Plugged in again, a fresh stream works; the old one stays dead.
    ASSERT_TRUE(world.plugEndpoint(mic));
    auto again = open(mic, floatFormat(48000, 2));
    EXPECT_EQ(again->start(), S_OK);
    EXPECT_EQ(capClient->start(), AUDCLNT_E_DEVICE_INVALIDATED);
}

TEST_F(OsSimStream, InitializeChecksFormatModeAndOrder)
{
    const auto out = world.addEndpoint({.name = L"Speakers"});
    std::shared_ptr<AudioEndpoint> endpoint;
    ASSERT_EQ(enumerator->getEndpoint(out, endpoint), S_OK);
    std::shared_ptr<AudioClient> client;
    ASSERT_EQ(endpoint->activateAudioClient(client), S_OK);

    std::vector<std::uint8_t> mix;
    ASSERT_EQ(client->getMixFormat(mix), S_OK);
    ASSERT_EQ(mix.size(), sizeof(WAVEFORMATEXTENSIBLE));
    WAVEFORMATEXTENSIBLE ext;
    std::memcpy(&ext, mix.data(), sizeof ext);
    EXPECT_EQ(ext.Format.cbSize, 22);
    EXPECT_TRUE(ext.SubFormat == KSDATAFORMAT_SUBTYPE_IEEE_FLOAT);

    EXPECT_EQ(client->start(), AUDCLNT_E_NOT_INITIALIZED);
    WAVEFORMATEX bad = floatFormat(48000, 2);
    bad.nBlockAlign = 7;
    EXPECT_EQ(client->initialize(ShareMode::Shared, kSharedFlags, k20Ms100ns, 0, &bad), AUDCLNT_E_UNSUPPORTED_FORMAT);
    const WAVEFORMATEX other = floatFormat(44100, 2);
    EXPECT_EQ(client->initialize(ShareMode::Shared, AUDCLNT_STREAMFLAGS_EVENTCALLBACK, k20Ms100ns, 0, &other),
              AUDCLNT_E_UNSUPPORTED_FORMAT); // no conversion asked for
    world.failNext(SimOp::Initialize, AUDCLNT_E_DEVICE_IN_USE);
    const WAVEFORMATEX good = floatFormat(48000, 2);
    EXPECT_EQ(client->initialize(ShareMode::Shared, kSharedFlags, k20Ms100ns, 0, &good), AUDCLNT_E_DEVICE_IN_USE);
    ASSERT_EQ(client->initialize(ShareMode::Shared, kSharedFlags, k20Ms100ns, 0, &good), S_OK);
    EXPECT_EQ(client->initialize(ShareMode::Shared, kSharedFlags, k20Ms100ns, 0, &good), AUDCLNT_E_ALREADY_INITIALIZED);
    EXPECT_EQ(client->start(), AUDCLNT_E_EVENTHANDLE_NOT_SET);
    ManualClock otherClock;
    EXPECT_EQ(client->setEventHandle(std::make_shared<Event>(otherClock)), E_INVALIDARG);
    ASSERT_EQ(client->setEventHandle(std::make_shared<Event>(*clock)), S_OK);
    EXPECT_EQ(client->start(), S_OK);
    EXPECT_EQ(client->start(), AUDCLNT_E_NOT_STOPPED);
    EXPECT_EQ(client->stop(), S_OK);
    EXPECT_EQ(client->stop(), S_FALSE);

    ASSERT_TRUE(world.refuseMixFormat(out, E_NOTIMPL));
    EXPECT_EQ(client->getMixFormat(mix), E_NOTIMPL);
}

TEST_F(OsSimStream, ServiceThreadSetsTheEventOfARunningStreamEachPeriod)
{
    const auto mic = world.addEndpoint({.name = L"Mic", .flow = DataFlow::Capture});
    std::shared_ptr<Event> event;
    auto client = open(mic, floatFormat(48000, 2), &event);
    std::shared_ptr<CaptureClient> capture;
    ASSERT_EQ(client->getCaptureClient(capture), S_OK);
    ASSERT_EQ(client->start(), S_OK);

    std::atomic<int> packets{0};
    std::thread consumer([&] {
        while (packets < 3) {
            if (!event->wait(-1))
                continue;
            std::uint32_t frames = 0;
            while (SUCCEEDED(capture->getNextPacketSize(frames)) && frames > 0) {
                std::uint8_t* data = nullptr;
                std::uint32_t flags = 0;
                if (capture->getBuffer(data, frames, flags, nullptr, nullptr) != S_OK)
                    break;
                capture->releaseBuffer(frames);
                ++packets;
            }
        }
    });
    for (int i = 0; i < 3; ++i) {
        const int before = packets;
        clock->advanceMs(10);
        while (packets == before)
            std::this_thread::yield();
    }
    consumer.join();
    EXPECT_EQ(packets.load(), 3);
}

TEST(OsSimThreaded, AcceleratedClockDrivesAConsumerThread)
{
    auto clock = std::make_shared<RealClock>(20.0);
    SimAudioWorld world(clock);
    const auto mic = world.addEndpoint({.name = L"Mic", .flow = DataFlow::Capture});
    world.setEndpointSignal(mic, Signal::sine(440.0, 0.25f));
    std::shared_ptr<EndpointEnumerator> enumerator;
    ASSERT_EQ(world.createEndpointEnumerator(enumerator), S_OK);
    std::shared_ptr<AudioEndpoint> endpoint;
    ASSERT_EQ(enumerator->getEndpoint(mic, endpoint), S_OK);
    std::shared_ptr<AudioClient> client;
    ASSERT_EQ(endpoint->activateAudioClient(client), S_OK);
    const WAVEFORMATEX format = floatFormat(48000, 2);
    ASSERT_EQ(client->initialize(ShareMode::Shared, kSharedFlags, k20Ms100ns, 0, &format), S_OK);
    auto event = std::make_shared<Event>(*clock);
    ASSERT_EQ(client->setEventHandle(event), S_OK);
    std::shared_ptr<CaptureClient> capture;
    ASSERT_EQ(client->getCaptureClient(capture), S_OK);
    ASSERT_EQ(client->start(), S_OK);

    // Half a simulated second; the bound is generous for a loaded machine.
    std::uint64_t frames = 0;
    const std::int64_t giveUp = clock->nowNs() + 600'000 * Clock::kNsPerMs;
    while (frames < 24000 && clock->nowNs() < giveUp) {
        event->wait(200);
        std::uint32_t n = 0;
        while (SUCCEEDED(capture->getNextPacketSize(n)) && n > 0) {
            std::uint8_t* data = nullptr;
            std::uint32_t flags = 0;
            ASSERT_EQ(capture->getBuffer(data, n, flags, nullptr, nullptr), S_OK);
            frames += n;
            capture->releaseBuffer(n);
        }
    }
    EXPECT_GE(frames, 24000u);
}

// A stand-in for the virtual driver, built only from what the world offers:
// what is played on its output comes back on its capture endpoint.
class LoopbackDriver final : public RenderSink, public SignalSource {
public:
    void rendered(const std::wstring&, const WAVEFORMATEXTENSIBLE& format, const std::uint8_t* data,
                  std::uint32_t frames) override
    {
        std::lock_guard lock(m_mutex);
        const auto* samples = reinterpret_cast<const float*>(data);
        m_samples.insert(m_samples.end(), samples, samples + frames * format.Format.nChannels);
    }
    void render(std::uint64_t firstFrame, std::uint32_t frames, std::uint32_t channels, std::uint32_t,
                float* out) const override
    {
        std::lock_guard lock(m_mutex);
        for (std::size_t i = 0; i < std::size_t{frames} * channels; ++i) {
            const std::size_t at = firstFrame * channels + i;
            out[i] = at < m_samples.size() ? m_samples[at] : 0.0f;
        }
    }

private:
    mutable std::mutex m_mutex;
    std::vector<float> m_samples;
};

TEST_F(OsSimStream, AVirtualDriverCanBeBuiltFromSinkAndSignal)
{
    auto driver = std::make_shared<LoopbackDriver>();
    const auto output = world.addEndpoint({.name = L"NUVEX Output", .physical = false});
    const auto streamMix = world.addEndpoint({.name = L"NUVEX Stream Mix", .flow = DataFlow::Capture, .physical = false});
    ASSERT_TRUE(world.setRenderSink(output, driver));
    ASSERT_TRUE(world.setEndpointSignal(streamMix, Signal::custom(driver)));
    EXPECT_EQ(world.findEndpointId(L"NUVEX Stream Mix"), streamMix);

    auto renderStream = open(output, floatFormat(48000, 2));
    auto captureStream = open(streamMix, floatFormat(48000, 2));
    std::shared_ptr<RenderClient> render;
    std::shared_ptr<CaptureClient> capture;
    ASSERT_EQ(renderStream->getRenderClient(render), S_OK);
    ASSERT_EQ(captureStream->getCaptureClient(capture), S_OK);
    std::uint8_t* data = nullptr;
    ASSERT_EQ(render->getBuffer(480, data), S_OK);
    for (int i = 0; i < 960; ++i)
        reinterpret_cast<float*>(data)[i] = static_cast<float>(i) / 1024;
    ASSERT_EQ(render->releaseBuffer(480, 0), S_OK);
    ASSERT_EQ(renderStream->start(), S_OK);
    ASSERT_EQ(captureStream->start(), S_OK);
    clock->advanceMs(10);
    world.recording(output); // the output plays its period
    std::uint32_t frames = 0;
    std::uint32_t flags = 0;
    ASSERT_EQ(capture->getBuffer(data, frames, flags, nullptr, nullptr), S_OK);
    ASSERT_EQ(frames, 480u);
    for (int i = 0; i < 960; ++i)
        ASSERT_EQ(reinterpret_cast<float*>(data)[i], static_cast<float>(i) / 1024);
}

TEST_F(OsSimStream, InvalidatedEndpointStaysListedButItsStreamsFail)
{
    const auto out = world.addEndpoint({.name = L"Speakers"});
    auto client = open(out, floatFormat(48000, 2));
    ASSERT_EQ(client->start(), S_OK);
    ASSERT_TRUE(world.invalidateEndpoint(out));
    std::uint32_t padding = 0;
    EXPECT_EQ(client->getCurrentPadding(padding), AUDCLNT_E_DEVICE_INVALIDATED);
    auto fresh = open(out, floatFormat(48000, 2));
    EXPECT_EQ(fresh->start(), S_OK);
}

// ---- process loopback ----------------------------------------------------

class Completion final : public ActivationCompletionHandler {
public:
    explicit Completion(Clock& clock)
        : done(clock, EventReset::Manual)
    {
    }
    HRESULT activateCompleted(ActivationOperation& operation) override
    {
        operation.getActivateResult(result, client);
        thread = std::this_thread::get_id();
        done.set();
        return S_OK;
    }
    Event done;
    HRESULT result = E_UNEXPECTED;
    std::shared_ptr<AudioClient> client;
    std::thread::id thread;
};

struct OsSimLoopback : OsSimStream {
    std::shared_ptr<AudioClient> activate(std::uint32_t pid, bool includeTree, HRESULT* result = nullptr)
    {
        auto handler = std::make_shared<Completion>(*clock);
        std::shared_ptr<ActivationOperation> op;
        AudioClientActivationParams params;
        params.targetProcessId = pid;
        params.processLoopbackMode = includeTree ? PROCESS_LOOPBACK_MODE_INCLUDE_TARGET_PROCESS_TREE
                                                 : PROCESS_LOOPBACK_MODE_EXCLUDE_TARGET_PROCESS_TREE;
        EXPECT_EQ(world.activateAudioInterfaceAsync(kProcessLoopbackDevicePath, params, handler, op), S_OK);
        EXPECT_TRUE(handler->done.wait(-1));
        EXPECT_NE(handler->thread, std::this_thread::get_id());
        if (result)
            *result = handler->result;
        return handler->client;
    }

    // One 10 ms packet of a started loopback stream, as floats.
    std::vector<float> packet(const std::shared_ptr<AudioClient>& client)
    {
        std::shared_ptr<CaptureClient> capture;
        EXPECT_EQ(client->getCaptureClient(capture), S_OK);
        clock->advanceMs(10);
        std::uint8_t* data = nullptr;
        std::uint32_t frames = 0;
        std::uint32_t flags = 0;
        EXPECT_EQ(capture->getBuffer(data, frames, flags, nullptr, nullptr), S_OK);
        std::vector<float> out(reinterpret_cast<float*>(data), reinterpret_cast<float*>(data) + frames * 2);
        capture->releaseBuffer(frames);
        return out;
    }

    void startLoopback(const std::shared_ptr<AudioClient>& client)
    {
        const WAVEFORMATEX format = floatFormat(48000, 2);
        ASSERT_EQ(client->initialize(ShareMode::Shared,
                                     AUDCLNT_STREAMFLAGS_LOOPBACK | AUDCLNT_STREAMFLAGS_EVENTCALLBACK
                                         | AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM,
                                     k20Ms100ns, 0, &format),
                  S_OK);
        ASSERT_EQ(client->setEventHandle(std::make_shared<Event>(*clock)), S_OK);
        ASSERT_EQ(client->start(), S_OK);
    }

    // Values that add up exactly in float whatever the order.
    void addFamily()
    {
        world.addProcess({.processId = 100, .signal = Signal::buffer({1.0f / 2}, 1)});
        world.addProcess({.processId = 101, .parentId = 100, .signal = Signal::buffer({1.0f / 4}, 1)});
        world.addProcess({.processId = 102, .parentId = 101, .signal = Signal::buffer({1.0f / 8}, 1)});
        world.addProcess({.processId = 200, .signal = Signal::buffer({1.0f / 16}, 1)});
        world.addProcess({.processId = 201, .parentId = 200, .signal = Signal::buffer({1.0f / 32}, 1)});
        world.addProcess({.processId = 103,
                          .parentId = 100,
                          .sessionState = AudioSessionState::Inactive,
                          .signal = Signal::buffer({1.0f / 64}, 1)});
    }
};

TEST_F(OsSimLoopback, IncludedTreeMixesExactlyThatTreesSignals)
{
    addFamily();
    auto client = activate(100, true);
    ASSERT_TRUE(client);
    std::vector<std::uint8_t> mix;
    EXPECT_EQ(client->getMixFormat(mix), E_NOTIMPL); // as the real stream refuses it
    startLoopback(client);
    const auto samples = packet(client);
    ASSERT_EQ(samples.size(), 960u);
    for (float s : samples)
        ASSERT_EQ(s, 0.5f + 0.25f + 0.125f);

    // A subtree holds only itself and its children.
    auto sub = activate(101, true);
    startLoopback(sub);
    for (float s : packet(sub))
        ASSERT_EQ(s, 0.25f + 0.125f);
}

TEST_F(OsSimLoopback, ExcludedTreeMixesEverythingElse)
{
    addFamily();
    auto client = activate(100, false);
    startLoopback(client);
    for (float s : packet(client))
        ASSERT_EQ(s, 1.0f / 16 + 1.0f / 32);

    // A process that starts playing later is heard from the next packet.
    world.setSessionState(103, AudioSessionState::Active);
    world.addProcess({.processId = 300, .signal = Signal::buffer({1.0f / 128}, 1)});
    for (float s : packet(client))
        ASSERT_EQ(s, 1.0f / 16 + 1.0f / 32 + 1.0f / 128);
}

TEST_F(OsSimLoopback, ActivationFailuresAndFormats)
{
    AudioClientActivationParams params;
    auto handler = std::make_shared<Completion>(*clock);
    std::shared_ptr<ActivationOperation> op;
    world.failNext(SimOp::ActivateProcessLoopback, E_ACCESSDENIED);
    EXPECT_EQ(world.activateAudioInterfaceAsync(kProcessLoopbackDevicePath, params, handler, op), E_ACCESSDENIED);
    EXPECT_EQ(world.activateAudioInterfaceAsync(L"VAD\\Other", params, handler, op), E_NOTFOUND);

    world.failNext(SimOp::ProcessLoopbackResult, E_OUTOFMEMORY);
    HRESULT result = S_OK;
    EXPECT_FALSE(activate(100, true, &result));
    EXPECT_EQ(result, E_OUTOFMEMORY);

    // A stream without the loop-back flag is refused.
    auto client = activate(100, true, &result);
    ASSERT_TRUE(client);
    const WAVEFORMATEX format = floatFormat(48000, 2);
    EXPECT_EQ(client->initialize(ShareMode::Shared, AUDCLNT_STREAMFLAGS_EVENTCALLBACK, k20Ms100ns, 0, &format),
              E_INVALIDARG);

    // A mix format with a larger claimed extension is handed out as stored.
    std::vector<std::uint8_t> odd(18 + 30, 0);
    WAVEFORMATEX base = floatFormat(48000, 2);
    base.cbSize = 30;
    std::memcpy(odd.data(), &base, sizeof base);
    world.setLoopbackMixFormat(odd);
    std::vector<std::uint8_t> mix;
    ASSERT_EQ(client->getMixFormat(mix), S_OK);
    EXPECT_EQ(mix, odd);

    addFamily(); // a target that plays nothing would have no packets at all
    world.setSilentPackets(kProcessLoopbackDevicePath, 1);
    startLoopback(client);
    std::shared_ptr<CaptureClient> capture;
    ASSERT_EQ(client->getCaptureClient(capture), S_OK);
    clock->advanceMs(10);
    std::uint8_t* data = nullptr;
    std::uint32_t frames = 0;
    std::uint32_t flags = 0;
    ASSERT_EQ(capture->getBuffer(data, frames, flags, nullptr, nullptr), S_OK);
    EXPECT_TRUE(flags & AUDCLNT_BUFFERFLAGS_SILENT);
}

// What the coming audio code must survive: a silent target, activations
// held, delayed or failed for one process, a stalled or drifting endpoint,
// faults aimed at one endpoint, and counted calls.
TEST_F(OsSimLoopback, SilentTargetHasNoPacketsAndActivationsAreSteeredPerProcess)
{
    addFamily();
    world.addProcess({.processId = 400}); // plays nothing
    auto quiet = activate(400, true);
    ASSERT_TRUE(quiet);
    startLoopback(quiet);
    std::shared_ptr<CaptureClient> capture;
    ASSERT_EQ(quiet->getCaptureClient(capture), S_OK);
    clock->advanceMs(50);
    std::uint32_t frames = 99;
    ASSERT_EQ(capture->getNextPacketSize(frames), S_OK);
    EXPECT_EQ(frames, 0u);
    world.setProcessSignal(400, Signal::buffer({0.25f}, 1));
    clock->advanceMs(10);
    ASSERT_EQ(capture->getNextPacketSize(frames), S_OK);
    EXPECT_EQ(frames, 480u); // heard from the next packet on

    // Held for 100 only: 200 completes at once, 100 when released.
    world.holdActivations(100, true);
    auto held = std::make_shared<Completion>(*clock);
    std::shared_ptr<ActivationOperation> op;
    AudioClientActivationParams params;
    params.targetProcessId = 100;
    ASSERT_EQ(world.activateAudioInterfaceAsync(kProcessLoopbackDevicePath, params, held, op), S_OK);
    EXPECT_TRUE(activate(200, true));
    world.flushNotifications();
    EXPECT_FALSE(held->done.isSet());
    world.holdActivations(100, false);
    EXPECT_TRUE(held->done.wait(-1));
    EXPECT_EQ(held->result, S_OK);

    // Delayed by 300 ms of world time.
    world.delayActivations(101, 300);
    auto delayed = std::make_shared<Completion>(*clock);
    params.targetProcessId = 101;
    ASSERT_EQ(world.activateAudioInterfaceAsync(kProcessLoopbackDevicePath, params, delayed, op), S_OK);
    clock->advanceMs(299);
    world.flushNotifications();
    EXPECT_FALSE(delayed->done.isSet());
    clock->advanceMs(1);
    EXPECT_TRUE(delayed->done.wait(-1));

    // Failed for 102 only.
    world.faults().failNextFor(SimOp::ProcessLoopbackResult, SimFaults::processTarget(102), E_ACCESSDENIED);
    HRESULT result = S_OK;
    EXPECT_TRUE(activate(201, true, &result));
    EXPECT_FALSE(activate(102, true, &result));
    EXPECT_EQ(result, E_ACCESSDENIED);
    EXPECT_GE(world.faults().calls(SimOp::ProcessLoopbackResult), 6u);
}

TEST_F(OsSimStream, StalledEndpointStopsWithoutFailingAndDriftAddsPackets)
{
    const auto a = world.addEndpoint({.name = L"A", .flow = DataFlow::Capture});
    const auto b = world.addEndpoint({.name = L"B", .flow = DataFlow::Capture});
    std::shared_ptr<Event> eventA;
    auto clientA = open(a, floatFormat(48000, 2), &eventA);
    auto clientB = open(b, floatFormat(48000, 2));
    std::shared_ptr<CaptureClient> capA;
    std::shared_ptr<CaptureClient> capB;
    ASSERT_EQ(clientA->getCaptureClient(capA), S_OK);
    ASSERT_EQ(clientB->getCaptureClient(capB), S_OK);
    ASSERT_EQ(clientA->start(), S_OK);
    ASSERT_EQ(clientB->start(), S_OK);

    auto drain = [](CaptureClient& capture) {
        int packets = 0;
        std::uint32_t frames = 0;
        while (capture.getNextPacketSize(frames) == S_OK && frames > 0) {
            std::uint8_t* data = nullptr;
            std::uint32_t flags = 0;
            if (capture.getBuffer(data, frames, flags, nullptr, nullptr) != S_OK)
                break;
            capture.releaseBuffer(frames);
            ++packets;
        }
        return packets;
    };

    clock->advanceMs(10);
    EXPECT_EQ(drain(*capA), 1);
    ASSERT_TRUE(world.stallEndpoint(a, true));
    eventA->trySignalled();
    clock->advanceMs(50);
    world.flushNotifications();
    EXPECT_EQ(drain(*capA), 0); // stalled, yet every call still succeeds
    EXPECT_FALSE(eventA->trySignalled());
    std::uint32_t padding = 0;
    EXPECT_EQ(clientA->getCurrentPadding(padding), S_OK);
    EXPECT_EQ(drain(*capB), 2); // B ran on: its 20 ms buffer holds two
    ASSERT_TRUE(world.stallEndpoint(a, false));
    EXPECT_GT(drain(*capA), 0);

    // Faults aimed at one endpoint leave the other alone; calls are counted.
    const std::uint64_t before = world.faults().calls(SimOp::GetNextPacketSize);
    world.faults().failNextFor(SimOp::GetNextPacketSize, a, E_FAIL);
    std::uint32_t frames = 0;
    EXPECT_EQ(capB->getNextPacketSize(frames), S_OK);
    EXPECT_EQ(capA->getNextPacketSize(frames), E_FAIL);
    EXPECT_EQ(capA->getNextPacketSize(frames), S_OK);
    EXPECT_EQ(world.faults().calls(SimOp::GetNextPacketSize) - before, 3u);

    // 1000 ppm fast: ten simulated seconds bring one packet more than B's.
    drain(*capA);
    drain(*capB);
    ASSERT_TRUE(world.setEndpointDriftPpm(a, 1000));
    int packetsA = 0;
    int packetsB = 0;
    for (int i = 0; i < 1000; ++i) {
        clock->advanceMs(10);
        packetsA += drain(*capA);
        packetsB += drain(*capB);
    }
    EXPECT_EQ(packetsB, 1000);
    EXPECT_EQ(packetsA, 1001);
}

// ---- work queues -----------------------------------------------------------

class CountingCallback final : public AsyncCallback {
public:
    explicit CountingCallback(std::uint32_t queue = kMultithreadedQueue)
        : m_queue(queue)
    {
    }
    std::uint32_t queueId() const override { return m_queue; }
    void invoke() override
    {
        thread = std::this_thread::get_id();
        ++calls;
    }
    std::atomic<int> calls{0};
    std::atomic<std::thread::id> thread{};

private:
    std::uint32_t m_queue;
};

struct OsSimWorkQueues : ::testing::Test {
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    SimAudioWorld world{clock};
    SimWorkQueues& queues = world.simWorkQueues();
};

TEST_F(OsSimWorkQueues, WaitingItemRunsWhenItsEventIsSetAndOnItsQueue)
{
    std::uint32_t captureQueue = 0;
    ASSERT_EQ(queues.startup(), S_OK);
    ASSERT_EQ(queues.lockSharedWorkQueue(L"Capture", 0, captureQueue), S_OK);
    std::uint32_t again = 0;
    ASSERT_EQ(queues.lockSharedWorkQueue(L"Capture", 0, again), S_OK);
    EXPECT_EQ(again, captureQueue);
    EXPECT_NE(captureQueue, kMultithreadedQueue);

    auto event = std::make_shared<Event>(*clock);
    auto callback = std::make_shared<CountingCallback>(captureQueue);
    std::uint64_t key = 0;
    ASSERT_EQ(queues.putWaitingWorkItem(event, 0, callback, key), S_OK);
    EXPECT_NE(key, 0u);
    queues.drain();
    EXPECT_EQ(callback->calls.load(), 0);

    event->set();
    while (callback->calls.load() == 0)
        std::this_thread::yield();
    queues.drain();
    EXPECT_EQ(callback->calls.load(), 1);
    EXPECT_NE(callback->thread.load(), std::this_thread::get_id());
    // It ran once; setting the event again does nothing, cancelling finds nothing.
    event->set();
    queues.drain();
    EXPECT_EQ(callback->calls.load(), 1);
    EXPECT_EQ(queues.cancelWorkItem(key), MF_E_NOT_FOUND);

    EXPECT_EQ(queues.unlockWorkQueue(captureQueue), S_OK);
    EXPECT_EQ(queues.unlockWorkQueue(captureQueue), S_OK);
    EXPECT_EQ(queues.unlockWorkQueue(captureQueue), E_INVALIDARG);
}

TEST_F(OsSimWorkQueues, CancelledWaitingItemNeverRunsAndIsReleased)
{
    auto event = std::make_shared<Event>(*clock);
    auto callback = std::make_shared<CountingCallback>();
    std::uint64_t key = 0;
    ASSERT_EQ(queues.putWaitingWorkItem(event, 0, callback, key), S_OK);
    EXPECT_EQ(callback.use_count(), 2); // the queue keeps it alive
    ASSERT_EQ(queues.cancelWorkItem(key), S_OK);
    EXPECT_EQ(callback.use_count(), 1);
    event->set();
    queues.drain();
    EXPECT_EQ(callback->calls.load(), 0);
    EXPECT_EQ(queues.cancelWorkItem(key), MF_E_NOT_FOUND);
}

TEST_F(OsSimWorkQueues, WorkItemsRunInOrderOnASharedQueue)
{
    std::uint32_t queue = 0;
    ASSERT_EQ(queues.lockSharedWorkQueue(L"Capture", 0, queue), S_OK);
    struct Ordered final : AsyncCallback {
        Ordered(std::vector<int>& log, std::mutex& mutex, int n)
            : m_log(log)
            , m_mutex(mutex)
            , m_n(n)
        {
        }
        void invoke() override
        {
            std::lock_guard lock(m_mutex);
            m_log.push_back(m_n);
        }
        std::vector<int>& m_log;
        std::mutex& m_mutex;
        int m_n;
    };
    std::vector<int> log;
    std::mutex mutex;
    for (int i = 0; i < 20; ++i)
        ASSERT_EQ(queues.putWorkItem(queue, 0, std::make_shared<Ordered>(log, mutex, i)), S_OK);
    queues.drain();
    std::lock_guard lock(mutex);
    ASSERT_EQ(log.size(), 20u);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(log[i], i);
    EXPECT_EQ(queues.putWorkItem(0xDEAD, 0, std::make_shared<CountingCallback>()), E_INVALIDARG);
    world.failNext(SimOp::PutWorkItem, E_OUTOFMEMORY);
    EXPECT_EQ(queues.putWorkItem(kMultithreadedQueue, 0, std::make_shared<CountingCallback>()), E_OUTOFMEMORY);
}

TEST_F(OsSimWorkQueues, ArmedEventAlreadySetRunsAtOnce)
{
    auto event = std::make_shared<Event>(*clock);
    event->set();
    auto callback = std::make_shared<CountingCallback>();
    std::uint64_t key = 0;
    ASSERT_EQ(queues.putWaitingWorkItem(event, 0, callback, key), S_OK);
    while (callback->calls.load() == 0)
        std::this_thread::yield();
    ManualClock otherClock;
    EXPECT_EQ(queues.putWaitingWorkItem(std::make_shared<Event>(otherClock), 0, callback, key), E_INVALIDARG);
}

} // namespace
} // namespace os
