#include "AudioRoad.h"

#include "WavFile.h"

#include "driverclient/sim/SimVirtualDriver.h"
#include "driverclient/sim/SimVirtualDriverEndpoints.h"
#include "platform/os/Apartment.h"
#include "platform/os/RealtimeThread.h"
#include "platform/os/sim/SimAudioWorld.h"
#include "platform/os/sim/SimModelAudio.h"
#include "platform/os/sim/SimWorkQueues.h"
#include "platform/windows/routerAudio/AudioSessionIcons.h"
#include "platform/windows/routerAudio/BusForwarder.h"
#include "platform/windows/routerAudio/DeviceStateMonitor.h"
#include "platform/windows/routerAudio/LivestreamForwarder.h"
#include "platform/windows/routerAudio/LoopbackCapture.h"
#include "platform/windows/routerAudio/Mixer.h"
#include "platform/windows/routerAudio/MixerLog.h"
#include "platform/windows/routerAudio/AudioLogText.h"
#include "platform/windows/routerAudio/VirtualDriverEndpoints.h"
#include "platform/windows/routerAudio/WinMicRouter.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <dirent.h>
#include <fstream>
#include <mutex>
#include <thread>

namespace {

std::atomic<uint64_t> g_micBlocks{0};

void countMicBlock(float *, int, int, double)
{
    g_micBlocks.fetch_add(1, std::memory_order_relaxed);
}

int64_t steadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// Keeps what one render endpoint plays, in buffers sized for the run: the
// audio thread that advances the stream copies and publishes, the road reads.
// Each append is marked with its time, so a stall can be found in the frames.
class Recorder final : public os::RenderSink {
public:
    explicit Recorder(size_t frames)
        : m_samples(frames * 2)
        , m_marks(frames / 48 + 1)
    {
    }
    void rendered(const std::wstring &, const WAVEFORMATEXTENSIBLE &format, const uint8_t *data,
                  uint32_t frames) override
    {
        const WAVEFORMATEX &f = format.Format;
        const bool floatStereo = f.nChannels == 2 && f.wBitsPerSample == 32 && f.nSamplesPerSec == AudioRoad::kRate
                                 && (f.wFormatTag == WAVE_FORMAT_IEEE_FLOAT
                                     || (f.wFormatTag == WAVE_FORMAT_EXTENSIBLE
                                         && format.SubFormat == KSDATAFORMAT_SUBTYPE_IEEE_FLOAT));
        if (!floatStereo) {
            m_foreign.fetch_add(frames, std::memory_order_relaxed);
            return;
        }
        append(reinterpret_cast<const float *>(data), frames);
    }
    void append(const float *samples, uint32_t frames)
    {
        const size_t have = m_frames.load(std::memory_order_relaxed);
        const size_t room = m_samples.size() / 2 - have;
        const size_t take = std::min<size_t>(frames, room);
        if (take)
            std::memcpy(m_samples.data() + have * 2, samples, take * 8);
        publish(have + take);
    }
    void appendSilence(uint32_t frames)
    {
        const size_t have = m_frames.load(std::memory_order_relaxed);
        const size_t take = std::min<size_t>(frames, m_samples.size() / 2 - have);
        std::fill_n(m_samples.data() + have * 2, take * 2, 0.0f);
        publish(have + take);
    }
    // After the run: the frames appended from fromNs to toNs (steady clock),
    // as [first, last); empty when none were.
    std::pair<size_t, size_t> framesBetween(int64_t fromNs, int64_t toNs) const
    {
        size_t first = frames(), last = 0, before = 0;
        for (size_t i = 0; i < m_markCount; before = m_marks[i++].frames) {
            if (m_marks[i].ns >= fromNs && m_marks[i].ns <= toNs) {
                first = std::min(first, before);
                last = m_marks[i].frames;
            }
        }
        return {first, std::max(first, last)};
    }
    size_t frames() const { return m_frames.load(std::memory_order_acquire); }
    // After the run: the samples recorded, the buffer trimmed to them.
    const std::vector<float> &samples()
    {
        m_samples.resize(frames() * 2);
        return m_samples;
    }
    uint64_t foreignFrames() const { return m_foreign.load(); }

private:
    void publish(size_t frames)
    {
        if (m_markCount < m_marks.size())
            m_marks[m_markCount++] = {steadyNs(), frames};
        m_frames.store(frames, std::memory_order_release);
    }

    struct Mark {
        int64_t ns;
        size_t frames; // recorded once this append was done
    };
    std::vector<float> m_samples;
    std::vector<Mark> m_marks; // written by the appending thread, read after the run
    size_t m_markCount = 0;    // the same
    std::atomic<size_t> m_frames{0};
    std::atomic<uint64_t> m_foreign{0};
};

// The buffers that tell when the monitor took up the player: the headphones'
// render blocks and the player's loopback packets, the first of each kept.
class StartWatch final : public os::TransferObserver {
public:
    explicit StartWatch(std::wstring headphones)
        : m_headphones(std::move(headphones))
    {
        m_blocks.reserve(kKept);
        m_packets.reserve(kKept);
    }
    void transferred(const std::wstring &endpointId, const os::StreamTransfer &transfer) override
    {
        std::vector<os::StreamTransfer> *list = nullptr;
        if (transfer.render && endpointId == m_headphones)
            list = &m_blocks;
        else if (!transfer.render && transfer.loopbackProcessId == AudioRoad::kPlayerPid)
            list = &m_packets;
        else
            return; // the other streams' buffers, without taking the lock
        std::lock_guard lock(m_mutex);
        if (list->size() < kKept)
            list->push_back(transfer);
    }
    // After the run: "[margin] monitor" and, of the player's packets pushed
    // before the pull that began it and before the pull before that one,
    // how many were certainly (released before the pull began) and possibly
    // (taken before it ended).
    std::string marginLine(const std::vector<float> &monitor) const
    {
        std::lock_guard lock(m_mutex);
        const auto began = std::find_if(m_blocks.begin(), m_blocks.end(), [&](const os::StreamTransfer &b) {
            const size_t from = std::min<size_t>(b.firstFrame * 2, monitor.size());
            const size_t to = std::min<size_t>((b.firstFrame + b.frames) * 2, monitor.size());
            return std::any_of(monitor.begin() + long(from), monitor.begin() + long(to),
                               [](float v) { return std::fabs(v) > 1e-4f; });
        });
        if (began == m_blocks.end())
            return "[margin] monitor never began";
        // Before the stream's first pull nothing was pushed.
        const os::StreamTransfer none{};
        std::string line = "[margin] monitor";
        for (const os::StreamTransfer &pull : {*began, began == m_blocks.begin() ? none : *(began - 1)}) {
            const auto certain = std::count_if(m_packets.begin(), m_packets.end(),
                                               [&](const os::StreamTransfer &p) { return p.end < pull.begin; });
            const auto possible = std::count_if(m_packets.begin(), m_packets.end(),
                                                [&](const os::StreamTransfer &p) { return p.begin < pull.end; });
            line += " " + std::to_string(certain) + " " + std::to_string(possible);
        }
        return line;
    }

private:
    static constexpr size_t kKept = 4096;
    const std::wstring m_headphones;
    mutable std::mutex m_mutex;
    std::vector<os::StreamTransfer> m_blocks;  // guarded by m_mutex
    std::vector<os::StreamTransfer> m_packets; // guarded by m_mutex
};

std::vector<uint8_t> pcm44Record()
{
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = 2;
    f.nSamplesPerSec = 44100;
    f.wBitsPerSample = 16;
    f.nBlockAlign = 4;
    f.nAvgBytesPerSec = 44100 * 4;
    std::vector<uint8_t> bytes(sizeof f);
    std::memcpy(bytes.data(), &f, sizeof f);
    return bytes;
}

os::IconImage playerIcon()
{
    os::IconImage icon;
    icon.width = icon.height = 16;
    icon.pixels.resize(256);
    for (uint32_t y = 0; y < 16; ++y)
        for (uint32_t x = 0; x < 16; ++x)
            icon.pixels[y * 16 + x] = 0xFF000000u | (x * 16) << 16 | (y * 16) << 8 | 0x80;
    return icon;
}

AudioRouteConfig record(uint32_t id, bool listen, bool mix, float mixVolume, bool solo)
{
    AudioRouteConfig r;
    r.processID = id;
    r.active = 1;
    r.input1 = {static_cast<uint8_t>(listen), 1.0f, 0};
    r.input2 = {static_cast<uint8_t>(mix), mixVolume, 0};
    r.solo = solo ? 1 : 0;
    return r;
}

std::string levelText(float v)
{
    char text[16];
    std::snprintf(text, sizeof text, "%.3f", v);
    return text;
}

} // namespace

struct AudioRoad::Impl {
    AudioRoadOptions options;
    std::shared_ptr<os::ManualClock> manual;
    std::shared_ptr<os::Clock> clock;
    std::shared_ptr<os::SimAudioWorld> world;
    std::unique_ptr<SimVirtualDriver> driver;
    std::unique_ptr<SimVirtualDriverEndpoints> driverEndpoints;
    std::wstring speakers, mic, headphones, listenCable;
    std::shared_ptr<Recorder> monitorSink, listenSink;
    std::unique_ptr<Recorder> streamMixSink;
    std::shared_ptr<StartWatch> startWatch;
    std::unique_ptr<WinMicRouter> router;
    std::unique_ptr<LivestreamForwarder> livestream;
    std::unique_ptr<BusForwarder> busForwarder;
    std::shared_ptr<os::AudioClient> recordClient;
    std::shared_ptr<os::CaptureClient> recordCapture;
    // Each rise of the mixer's underrun count, between the steady times
    // of the two looks that saw it, and when in the run; kept for the run.
    struct UnderrunSeen {
        int64_t afterNs, byNs;
        int64_t runMs;
        uint64_t count;
    };
    std::vector<UnderrunSeen> underrunsSeen;
    uint64_t underrunsLooked = 0;
    int64_t lastLookNs = 0;
    int64_t steadyOriginNs = 0;
    Mixer::Underruns underrunsAtStop; // the run's, before stopping empties the mixer
    bool apiStarted = false;
    bool monitorStarted = false;
    int threads = 2; // on the clock: the world's service thread and its work queues' watcher
    int64_t originNs = 0;
    int64_t lastLevelSecond = 0;
    bool gateOff = false, gateBack = false;

    std::mutex levelMutex;
    std::array<AudioLevelInfo, 16> levels{}; // guarded by levelMutex
    size_t levelCount = 0;                   // guarded by levelMutex

    void print(const std::string &line) const
    {
        if (options.print)
            options.print(line);
    }
    bool lockstep() const { return static_cast<bool>(manual); }

    // Lockstep: every thread of the road waits on the clock again, and what
    // the last step queued has run.
    bool settle()
    {
        if (!lockstep())
            return true;
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        for (;;) {
            while (manual->settledThreads() != threads || manual->waitingThreads() != threads) {
                if (std::chrono::steady_clock::now() > until) {
                    print("[road] lockstep: " + std::to_string(manual->waitingThreads()) + " threads waiting, "
                          + std::to_string(threads) + " expected");
                    return false;
                }
                std::this_thread::yield();
            }
            world->simWorkQueues().drain();
            world->flushNotifications();
            if (manual->settledThreads() == threads && manual->waitingThreads() == threads)
                return true;
        }
    }

    // One millisecond of the run.
    void stepMs()
    {
        if (lockstep()) {
            settle();
            manual->advanceMs(1);
            settle();
        } else {
            clock->sleepUntilNs(clock->nowNs() / os::Clock::kNsPerMs * os::Clock::kNsPerMs + os::Clock::kNsPerMs);
        }
        drainRecorder();
        lookForUnderruns();
    }

    void lookForUnderruns()
    {
        const int64_t now = steadyNs();
        const uint64_t count = Mixer::instance().underrunCount();
        if (count > underrunsLooked && underrunsSeen.size() < underrunsSeen.capacity())
            underrunsSeen.push_back({lastLookNs, now, (clock->nowNs() - originNs) / os::Clock::kNsPerMs,
                                     count - underrunsLooked});
        underrunsLooked = count;
        lastLookNs = now;
    }

    void drainRecorder()
    {
        if (!recordCapture)
            return;
        for (;;) {
            uint32_t frames = 0;
            if (FAILED(recordCapture->getNextPacketSize(frames)) || frames == 0)
                return;
            uint8_t *data = nullptr;
            uint32_t flags = 0;
            if (recordCapture->getBuffer(data, frames, flags, nullptr, nullptr) != S_OK)
                return;
            if ((flags & AUDCLNT_BUFFERFLAGS_SILENT) || !data)
                streamMixSink->appendSilence(frames);
            else
                streamMixSink->append(reinterpret_cast<const float *>(data), frames);
            recordCapture->releaseBuffer(frames);
        }
    }

    bool openRecorder()
    {
        std::shared_ptr<os::EndpointEnumerator> enumerator;
        std::shared_ptr<os::AudioEndpoint> endpoint;
        if (FAILED(world->createEndpointEnumerator(enumerator))
            || FAILED(enumerator->getEndpoint(driverEndpoints->streamMixId(), endpoint))
            || FAILED(endpoint->activateAudioClient(recordClient)))
            return false;
        const WAVEFORMATEX format = makeMixFormat();
        return SUCCEEDED(recordClient->initialize(os::ShareMode::Shared, AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM, 2000000, 0,
                                                  &format))
               && SUCCEEDED(recordClient->getCaptureClient(recordCapture)) && SUCCEEDED(recordClient->start());
    }

    void levelLine(int64_t second)
    {
        std::string line = "[levels] " + std::to_string(second) + "s";
        std::lock_guard lock(levelMutex);
        for (size_t i = 0; i < levelCount; ++i)
            line += " " + std::to_string(levels[i].sourceId) + "=" + levelText(levels[i].left) + "/"
                    + levelText(levels[i].right);
        print(line);
    }
};

AudioRoad::AudioRoad(AudioRoadOptions options)
    : m(std::make_unique<Impl>())
{
    m->options = std::move(options);
}

AudioRoad::~AudioRoad()
{
    stop();
}

uint32_t AudioRoad::driverWrites() const
{
    return m->driver ? m->driver->requestCount(IOCTL_VAD_AUDIO_WRITE) : 0;
}

uint64_t AudioRoad::micBlocks()
{
    return g_micBlocks.load();
}

double AudioRoad::nowSeconds() const
{
    return m->clock ? double(m->clock->nowNs() - m->originNs) / 1e9 : 0.0;
}

bool AudioRoad::start()
{
    Impl &r = *m;
    if (r.options.clock == AudioRoadOptions::ClockKind::Lockstep) {
        r.manual = std::make_shared<os::ManualClock>();
        r.clock = r.manual;
    } else {
        r.clock = std::make_shared<os::RealClock>(r.options.speed);
        // The recording software takes the driver's lock: it must not sit
        // on it behind the machine's other work while the forwarder waits.
        os::scheduleAboveAudioThreads();
    }
    r.originNs = r.clock->nowNs();
    r.steadyOriginNs = r.lastLookNs = steadyNs();
    r.underrunsLooked = Mixer::instance().underrunCount();
    r.underrunsSeen.reserve(4096);
    const size_t frames = static_cast<size_t>((r.options.seconds + 1.0) * kRate);
    r.monitorSink = std::make_shared<Recorder>(frames);
    r.listenSink = std::make_shared<Recorder>(frames);
    r.streamMixSink = std::make_unique<Recorder>(frames);

    // The world, in the order its endpoints were found: the emulated T40's
    // (the base's two, then the speakers), a virtual cable, the driver's two.
    r.world = std::make_shared<os::SimAudioWorld>(r.clock);
    r.world->setRecordingLimitBytes(0);
    const os::SimModelEndpoints model = os::addModelEndpoints(*r.world, L"T40");
    r.mic = model.microphone;
    r.headphones = model.headphones;
    r.speakers = model.speakers;
    r.listenCable = r.world->addEndpoint(
        {.name = L"Virtual Listen Cable", .flow = os::DataFlow::Render, .physical = false});
    r.driver = std::make_unique<SimVirtualDriver>(*r.clock);
    r.driver->setRecordWrites(false);
    r.driver->install();
    r.driverEndpoints = std::make_unique<SimVirtualDriverEndpoints>(*r.world, *r.driver);
    r.world->addProcess({.processId = kPlayerPid,
                         .imagePath = L"C:\\Apps\\player.x64.exe",
                         .displayName = L"Player",
                         .signal = os::Signal::sine(440.0, 0.3f)});
    r.world->setProgramIcon(L"C:\\Apps\\player.x64.exe", playerIcon());
    r.world->addProcess({.processId = kChatPid,
                         .imagePath = L"C:\\Apps\\chat.exe",
                         .displayName = L"Chat",
                         .signal = os::Signal::sine(1000.0, 0.3f)});
    if (r.options.loopbackFormat == AudioRoadOptions::LoopbackFormat::Pcm44)
        r.world->setLoopbackMixFormat(pcm44Record());
    r.world->setRenderSink(r.headphones, r.monitorSink);
    r.world->setRenderSink(r.listenCable, r.listenSink);
    r.startWatch = std::make_shared<StartWatch>(r.headphones);
    r.world->setTransferObserver(r.startWatch);
    os::installPlatform(r.world);
    const os::ApartmentScope apartment(os::ApartmentKind::Multithreaded);

    for (const AudioDeviceInfo &d : DeviceStateMonitor::enumerateDevices(0))
        r.print("[road] endpoint: \"" + logText(d.name) + "\" " + (d.isInput ? "capture" : "render") + " "
                + std::to_string(static_cast<int>(d.defaultSampleRate)) + " Hz");
    r.monitorStarted = DeviceStateMonitor::instance().start([&r] { r.print("[road] endpoints changed"); });
    std::atomic<bool> iconsDone{false};
    for (const AudioSessionInfo &s :
         AudioRouterAPI::enumerateAudioSessions([](uint32_t, const std::wstring &) {}, [&iconsDone] { iconsDone = true; }))
        r.print("[road] session: " + std::to_string(s.processId) + " \"" + logText(s.name) + "\" " + logText(s.state)
                + " icon " + logText(s.iconPath));
    for (int i = 0; i < 5000 && !iconsDone.load(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    const bool installed = DriverDetection::isVirtualDriverInstalled();
    r.print(std::string("[road] virtual driver ") + (installed ? "found" : "missing"));
    if (!installed || !DefaultDeviceManager::setVirtualOutputAsDefault()) {
        r.print("[road] the virtual output could not be made the default device");
        return false;
    }
    r.print("[road] virtual output is the default device");

    // The services in the bridge's order, each on a millisecond of its own,
    // producers first.
    r.stepMs();
    r.router = std::make_unique<WinMicRouter>(r.world, Mixer::instance());
    r.router->SetLevelCallback(&countMicBlock);
    AudioRouterConfig config;
    config.outputDevice = "Veloran T40";
    config.inputDevices = {{"Veloran T40", 0, 0}};
    if (!r.router->Start(config))
        return false;
    r.threads += 2;
    r.stepMs();
    if (!AudioRouterAPI::Initialize()) {
        r.print("[road] AudioRouterAPI did not start");
        return false;
    }
    r.apiStarted = true;
    AudioRouterAPI::SetLevelCallback([&r](const std::vector<AudioLevelInfo> &report) {
        std::lock_guard lock(r.levelMutex);
        r.levelCount = std::min(report.size(), r.levels.size());
        std::copy_n(report.begin(), r.levelCount, r.levels.begin());
    });
    r.threads += 2;
    AudioRouterAPI::UpdateConfigs({record(0, true, true, 1.0f, false), record(kPlayerPid, true, false, 1.0f, true),
                                   record(kChatPid, false, true, 0.5f, false),
                                   record(kListenBusMasterId, true, false, 1.0f, false),
                                   record(kMixBusMasterId, false, true, 1.0f, false)});
    r.stepMs();
    r.livestream = std::make_unique<LivestreamForwarder>(Mixer::instance(), *r.clock);
    if (!r.livestream->Start()) {
        r.print("[road] the livestream forwarder did not start");
        return false;
    }
    r.threads += 1;
    r.stepMs();
    r.busForwarder = std::make_unique<BusForwarder>(r.world, Mixer::instance());
    r.busForwarder->SetListenDevice(L"virtual listen cable");
    r.busForwarder->Start();
    if (r.busForwarder->unit(1).thread.joinable())
        r.threads += 1;
    r.stepMs();
    if (!r.openRecorder()) {
        r.print("[road] \"NUVEX Stream Mix\" cannot be recorded");
        return false;
    }
    return r.settle();
}

void AudioRoad::runUntil(double seconds)
{
    Impl &r = *m;
    if (!r.clock)
        return;
    const int64_t endMs = static_cast<int64_t>(std::llround(seconds * 1000.0));
    const int64_t offMs = static_cast<int64_t>(std::llround(r.options.gateOffAt * 1000.0));
    const int64_t backMs = static_cast<int64_t>(std::llround((r.options.gateOffAt + r.options.gateOffFor) * 1000.0));
    for (int64_t now = (r.clock->nowNs() - r.originNs) / os::Clock::kNsPerMs; now < endMs;
         now = (r.clock->nowNs() - r.originNs) / os::Clock::kNsPerMs) {
        if (r.options.gateOffAt >= 0 && !r.gateOff && now >= offMs) {
            r.gateOff = true;
            r.world->setDefaultEndpoint(r.speakers);
            r.print("[road] " + std::to_string(now) + " ms: the speakers are the default device");
        }
        if (r.options.gateOffAt >= 0 && r.gateOff && !r.gateBack && now >= backMs) {
            r.gateBack = true;
            r.world->setDefaultEndpoint(r.driverEndpoints->outputId());
            r.print("[road] " + std::to_string(now) + " ms: \"NUVEX Output\" is the default device again");
        }
        if (now / 1000 > r.lastLevelSecond) {
            r.lastLevelSecond = now / 1000;
            r.levelLine(r.lastLevelSecond);
        }
        r.stepMs();
    }
}

void AudioRoad::stop()
{
    Impl &r = *m;
    if (!r.world)
        return;
    r.underrunsAtStop = Mixer::instance().underruns();
    // Stopping needs no time to pass: every stop wakes what it waits for.
    if (r.recordClient)
        r.recordClient->stop();
    r.recordCapture.reset();
    r.recordClient.reset();
    if (r.busForwarder)
        r.busForwarder->Stop();
    if (r.livestream)
        r.livestream->Stop();
    if (r.apiStarted) {
        AudioRouterAPI::SetLevelCallback({});
        AudioRouterAPI::Shutdown();
        r.apiStarted = false;
    }
    if (r.router)
        r.router->Stop();
    if (r.monitorStarted) {
        DeviceStateMonitor::instance().stop();
        r.monitorStarted = false;
    }
    r.busForwarder.reset();
    r.livestream.reset();
    r.router.reset();
    r.world->setRenderSink(r.headphones, nullptr);
    r.world->setRenderSink(r.listenCable, nullptr);
    r.driverEndpoints.reset();
    r.driver->uninstall();
    os::installPlatform(nullptr);
    // A capture's last callback may still hold the world on one of the
    // world's threads; the world must end here, not join that thread from
    // inside it.
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (r.world.use_count() > 1 && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    r.world.reset();
    r.driver.reset();
}

const std::vector<float> &AudioRoad::streamMix() const
{
    return m->streamMixSink->samples();
}

const std::vector<float> &AudioRoad::monitor() const
{
    return m->monitorSink->samples();
}

const std::vector<float> &AudioRoad::listenBus() const
{
    return m->listenSink->samples();
}

bool AudioRoad::writeFiles()
{
    bool ok = true;
    const struct {
        const char *name;
        const std::vector<float> &samples;
    } files[] = {{"stream_mix.wav", streamMix()}, {"monitor.wav", monitor()}, {"listen_bus.wav", listenBus()}};
    for (const auto &f : files) {
        const std::string path = m->options.outDir + "/" + f.name;
        const bool written = writeWavFloat(path, kRate, 2, f.samples.data(), f.samples.size() / 2);
        m->print(std::string("[road] ") + (written ? "wrote " : "could not write ") + path + " ("
                 + std::to_string(f.samples.size() / 2) + " frames)");
        ok = ok && written;
    }
    return ok;
}

void AudioRoad::printSummary()
{
    Impl &r = *m;
    // What the machine lost: each stall, and each underrun a shorter delay
    // of the machine explains, widened by the audio in flight before it and
    // by the time the road takes to settle again after it (the listen bus
    // alone buffers 150 ms), in the frames of each recording ("[stall] file
    // first last"). The program's own lateness and what it lost outside
    // those stretches are its faults and mask nothing.
    constexpr int64_t kInFlightNs = 50 * os::Clock::kNsPerMs;
    constexpr int64_t kSettleNs = 250 * os::Clock::kNsPerMs;
    uint64_t lost = 0;
    const std::vector<os::Stall> stalls = os::notedStalls(lost);
    const struct {
        const char *file;
        const Recorder &recorder;
    } recordings[] = {{"stream_mix.wav", *r.streamMixSink}, {"monitor.wav", *r.monitorSink}, {"listen_bus.wav", *r.listenSink}};
    // A shorter delay costs a source its place only in the pulls it meets.
    constexpr int64_t kPullNs = 10 * os::Clock::kNsPerMs;
    auto machineLate = [&](int64_t fromNs, int64_t toNs) {
        return std::any_of(stalls.begin(), stalls.end(), [&](const os::Stall &s) {
            if (s.kind == os::StallKind::Delay)
                return fromNs <= s.endNs + kPullNs && toNs >= s.endNs - s.lateNs;
            return s.machine() && fromNs <= s.endNs + kSettleNs && toNs >= s.endNs - s.lateNs - kInFlightNs;
        });
    };
    auto mask = [&](int64_t fromNs, int64_t toNs) {
        for (const auto &rec : recordings) {
            const auto [first, last] = rec.recorder.framesBetween(fromNs - kInFlightNs, toNs + kSettleNs);
            if (first < last)
                r.print(std::string("[stall] ") + rec.file + " " + std::to_string(first) + " " + std::to_string(last));
        }
    };
    auto ms = [&r](int64_t steady) { return std::to_string((steady - r.steadyOriginNs) / os::Clock::kNsPerMs); };
    struct Figure {
        size_t count = 0;
        int64_t longestNs = 0;
        void add(int64_t ns)
        {
            ++count;
            longestNs = std::max(longestNs, ns);
        }
        std::string text() const
        {
            return std::to_string(count) + " (longest " + std::to_string(longestNs / os::Clock::kNsPerMs) + " ms)";
        }
    } devices, threads, delays, programLate;
    size_t dropped = 0, droppedByProgram = 0;
    for (const os::Stall &s : stalls) {
        switch (s.kind) {
        case os::StallKind::Device:
        case os::StallKind::Thread:
            (s.kind == os::StallKind::Device ? devices : threads).add(s.lateNs);
            mask(s.endNs - s.lateNs, s.endNs);
            break;
        case os::StallKind::Delay:
            delays.add(s.lateNs);
            break;
        case os::StallKind::Program: {
            // A virtual machine's host may stop every CPU of it at once,
            // unseen by the thread's statistics: while a device (run above
            // every audio thread) or a thread already waiting stalled too,
            // the lateness was the machine's.
            const bool frozen = std::any_of(stalls.begin(), stalls.end(), [&](const os::Stall &m) {
                return (m.kind == os::StallKind::Device || m.kind == os::StallKind::Thread)
                       && s.endNs - s.lateNs <= m.endNs && s.endNs >= m.endNs - m.lateNs;
            });
            (frozen ? threads : programLate).add(s.lateNs);
            if (frozen)
                mask(s.endNs - s.lateNs, s.endNs);
            r.print(std::string("[late] ") + s.thread + " at " + ms(s.endNs) + " ms, "
                    + std::to_string(s.lateNs / os::Clock::kNsPerMs)
                    + (frozen ? " ms late while the machine stalled" : " ms late by its own doing"));
            break;
        }
        case os::StallKind::Overflow: {
            const size_t packets = size_t(s.lateNs / os::SimAudioWorld::kPeriodNs);
            const bool program = !machineLate(s.endNs, s.endNs);
            dropped += packets;
            droppedByProgram += program ? packets : 0;
            r.print(std::string("[dropped] ") + std::to_string(packets) + " packets at " + ms(s.endNs) + " ms, seen by "
                    + s.thread + (program ? ", not read in time" : ", the machine stalled"));
            break;
        }
        }
    }
    // A source may start short while its converter is handed over.
    constexpr int64_t kSettledMs = 500;
    uint64_t underruns = 0, dropouts = 0;
    for (const Impl::UnderrunSeen &u : r.underrunsSeen) {
        underruns += u.count;
        if (machineLate(u.afterNs, u.byNs)) {
            mask(u.afterNs, u.byNs);
        } else if (u.runMs >= kSettledMs) {
            dropouts += u.count;
            r.print("[dropout] " + std::to_string(u.count) + " at " + std::to_string(u.runMs) + " ms");
        }
    }
    std::string line = "[underruns]";
    for (const auto &[id, count] : r.underrunsAtStop.bySource)
        line += " " + std::to_string(id) + "=" + std::to_string(count);
    r.print(line + " solo=" + std::to_string(r.underrunsAtStop.solo));
    r.print("[road] summary: " + std::to_string(nowSeconds()) + " s simulated, microphone blocks "
            + std::to_string(micBlocks()) + ", stream mix " + std::to_string(r.streamMixSink->frames())
            + " frames, monitor " + std::to_string(r.monitorSink->frames()) + " frames, listen bus "
            + std::to_string(r.listenSink->frames()) + " frames, stalls: devices " + devices.text() + ", threads "
            + threads.text() + ", shorter delays " + delays.text() + ", not kept " + std::to_string(lost)
            + ", program late " + programLate.text()
            + ", packets dropped " + std::to_string(dropped) + " (program " + std::to_string(droppedByProgram)
            + "), underruns " + std::to_string(underruns) + " (dropouts " + std::to_string(dropouts) + ")");
    r.print(r.startWatch->marginLine(r.monitorSink->samples()));
    r.print("[road] icon cache: " + logText(AudioRouterAPI::iconPathFor(L"C:\\Apps\\player.x64.exe", kPlayerPid)));
}

std::vector<AudioThreadCost> AudioRoad::threadCosts() const
{
    std::vector<AudioThreadCost> costs;
    DIR *dir = opendir("/proc/self/task");
    if (!dir)
        return costs;
    while (const dirent *entry = readdir(dir)) {
        const long tid = std::strtol(entry->d_name, nullptr, 10);
        if (tid <= 0)
            continue;
        std::ifstream comm(std::string("/proc/self/task/") + entry->d_name + "/comm");
        std::string name;
        std::getline(comm, name);
        if (name.rfind("vd-", 0) != 0)
            continue;
        // The thread's own CPU clock, named by its id (per-thread, scheduler time).
        const clockid_t cpuClock = static_cast<clockid_t>((~static_cast<unsigned long>(tid) << 3) | 6);
        timespec t{};
        if (clock_gettime(cpuClock, &t) != 0)
            continue;
        uint64_t switches = 0;
        std::ifstream status(std::string("/proc/self/task/") + entry->d_name + "/status");
        for (std::string line; std::getline(status, line);)
            if (line.find("ctxt_switches:") != std::string::npos)
                switches += std::strtoull(line.c_str() + line.find(':') + 1, nullptr, 10);
        costs.push_back({tid, name, double(t.tv_sec) * 1e6 + double(t.tv_nsec) / 1e3, switches});
    }
    closedir(dir);
    return costs;
}
