#include "platform/windows/routerAudio/LivestreamForwarder.h"

#include "platform/os/RealtimeGuard.h"
#include "platform/os/RealtimeThread.h"
#include "platform/windows/routerAudio/Mixer.h"
#include "platform/windows/routerAudio/MixerLog.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <system_error>
#include <thread>

namespace {

constexpr char kTag[] = "[LivestreamForwarder] ";

// NaN counts as silence; everything else is limited to full scale.
float clampSample(float v)
{
    if (std::isnan(v))
        return 0.0f;
    return v > 1.0f ? 1.0f : (v < -1.0f ? -1.0f : v);
}

enum class SampleType { Float32, Int16, Int24, Int32, None };

SampleType sampleTypeOf(const WAVEFORMATEXTENSIBLE& format)
{
    const uint16_t tag = format.Format.wFormatTag;
    const bool isFloat = tag == WAVE_FORMAT_IEEE_FLOAT ||
                         (tag == WAVE_FORMAT_EXTENSIBLE && format.SubFormat == KSDATAFORMAT_SUBTYPE_IEEE_FLOAT);
    const uint16_t bits = format.Format.wBitsPerSample;
    if (isFloat)
        return bits == 32 ? SampleType::Float32 : SampleType::None;
    switch (bits) {
    case 16:
        return SampleType::Int16;
    case 24:
        return SampleType::Int24;
    case 32:
        return SampleType::Int32;
    default:
        return SampleType::None;
    }
}

uint32_t sampleBytes(SampleType type)
{
    switch (type) {
    case SampleType::Int16:
        return 2;
    case SampleType::Int24:
        return 3;
    case SampleType::Float32:
    case SampleType::Int32:
        return 4;
    case SampleType::None:
        break;
    }
    return 0;
}

void storeSample(uint8_t* at, SampleType type, float value)
{
    switch (type) {
    case SampleType::Float32:
        std::memcpy(at, &value, 4);
        break;
    case SampleType::Int16: {
        const auto s = static_cast<int16_t>(value * 32767.0f);
        const uint16_t u = static_cast<uint16_t>(s);
        at[0] = static_cast<uint8_t>(u);
        at[1] = static_cast<uint8_t>(u >> 8);
        break;
    }
    case SampleType::Int24: {
        const auto s = static_cast<int32_t>(value * 8388607.0f);
        const uint32_t u = static_cast<uint32_t>(s);
        at[0] = static_cast<uint8_t>(u);
        at[1] = static_cast<uint8_t>(u >> 8);
        at[2] = static_cast<uint8_t>(u >> 16);
        break;
    }
    case SampleType::Int32: {
        const auto s = static_cast<int32_t>(static_cast<double>(value) * 2147483647.0);
        const uint32_t u = static_cast<uint32_t>(s);
        for (int b = 0; b < 4; ++b)
            at[b] = static_cast<uint8_t>(u >> (8 * b));
        break;
    }
    case SampleType::None:
        break;
    }
}

void defaultLog(const std::string& line)
{
    // Narrow, like every other audio line: one stream cannot carry both.
    mixerLogLine(line);
}

} // namespace

// --- Conversion --------------------------------------------------------------

uint32_t LivestreamForwarder::outputFrames(uint32_t sampleRate)
{
    return static_cast<uint32_t>(uint64_t{sampleRate} * kBlockFrames / kInputRate);
}

bool LivestreamForwarder::usableFormat(const WAVEFORMATEXTENSIBLE& format)
{
    const WAVEFORMATEX& f = format.Format;
    if (f.nSamplesPerSec == 0 || f.nChannels == 0 || f.nBlockAlign == 0)
        return false;
    if (f.nSamplesPerSec > kMaxDriverRate)
        return false;
    // Below 100 Hz a block holds no frame: there would be nothing to write
    // but an empty request, every period.
    const uint32_t frames = outputFrames(f.nSamplesPerSec);
    return frames > 0 && size_t{frames} * f.nBlockAlign <= kMaxOutputBlockBytes;
}

LivestreamForwarder::Conversion LivestreamForwarder::convertBlock(const float* in, const WAVEFORMATEXTENSIBLE& format,
                                                                  std::vector<uint8_t>& out)
{
    const uint32_t rate = format.Format.nSamplesPerSec;
    const uint32_t channels = format.Format.nChannels;
    const uint32_t blockAlign = format.Format.nBlockAlign;
    const uint32_t frames = outputFrames(rate);
    out.resize(size_t{frames} * blockAlign);

    const SampleType type = sampleTypeOf(format);
    if (type == SampleType::None) {
        // Never resend whatever an earlier format left in the block.
        std::memset(out.data(), 0, out.size());
        return Conversion::Silence;
    }
    const uint32_t width = sampleBytes(type);
    if (blockAlign < channels * width)
        return Conversion::BlockAlignSmall;

    const float step = static_cast<float>(kInputRate) / static_cast<float>(rate);
    for (uint32_t i = 0; i < frames; ++i) {
        const float p = static_cast<float>(i) * step;
        auto k = static_cast<uint32_t>(p);
        float left;
        float right;
        if (k + 1 >= kBlockFrames) {
            left = in[2 * (kBlockFrames - 1)];
            right = in[2 * (kBlockFrames - 1) + 1];
        } else {
            const float f = p - static_cast<float>(k);
            left = (1.0f - f) * in[2 * k] + f * in[2 * k + 2];
            right = (1.0f - f) * in[2 * k + 1] + f * in[2 * k + 3];
        }
        uint8_t* frame = out.data() + size_t{i} * blockAlign;
        for (uint32_t c = 0; c < channels; ++c) {
            const float v = c == 0 ? left : (c == 1 ? right : 0.0f);
            storeSample(frame + size_t{c} * width, type, clampSample(v));
        }
    }
    return Conversion::Written;
}

WAVEFORMATEXTENSIBLE LivestreamForwarder::streamFormat()
{
    WAVEFORMATEXTENSIBLE f{};
    f.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    f.Format.nChannels = 2;
    f.Format.nSamplesPerSec = kInputRate;
    f.Format.wBitsPerSample = 32;
    f.Format.nBlockAlign = static_cast<uint16_t>(f.Format.nChannels * f.Format.wBitsPerSample / 8);
    f.Format.nAvgBytesPerSec = f.Format.nSamplesPerSec * f.Format.nBlockAlign;
    f.Format.cbSize = kWaveFormatExtensibleExtraBytes;
    f.Samples.wValidBitsPerSample = 32;
    f.dwChannelMask = SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT;
    f.SubFormat = KSDATAFORMAT_SUBTYPE_PCM;
    return f;
}

// --- The loop ----------------------------------------------------------------

LivestreamForwarder::ForwardLoop::ForwardLoop(Mixer& mixer, const LogSink& log)
    : m_mixer(mixer)
    , m_log(log)
    , m_input(kBlockSamples, 0.0f)
{
}

int64_t LivestreamForwarder::ForwardLoop::dueWaitNs(VadAudioHandle driver, uint32_t bus)
{
    if (!m_haveFormat || m_output.empty() || !m_mixer.busSourceDue(bus, kBlockFrames))
        return 0;
    os::realtimeCheck("LivestreamForwarder driver status");
    VadAudioStatus status{};
    if (VadAudio_GetStatus(driver, &status) != VAD_AUDIO_OK || status.active == 0)
        return 0;
    // Queued: what the driver holds of the lead and the last block.
    const uint32_t queued = m_emptyFreeBytes - std::min(m_emptyFreeBytes, status.freeBytes);
    const auto block = static_cast<uint32_t>(m_output.size());
    if (queued <= block / 4)
        return 0;
    constexpr int64_t kPeriodNs = kPeriodMs * os::Clock::kNsPerMs;
    return std::min(kPeriodNs / 2, static_cast<int64_t>(queued - block / 4) * kPeriodNs / block);
}

void LivestreamForwarder::ForwardLoop::step(VadAudioHandle driver, uint32_t bus)
{
    ++m_stats.loop;
    // Pulled on every loop so the bus drains in real time whatever the driver does.
    m_mixer.pullBus(m_input.data(), kBlockFrames, bus);

    os::realtimeCheck("LivestreamForwarder driver status");
    VadAudioStatus status{};
    const int statusResult = VadAudio_GetStatus(driver, &status);
    if (statusResult != VAD_AUDIO_OK || status.active == 0) {
        ++m_stats.streamInactive;
        return;
    }

    if (!m_haveFormat || m_stats.loop - m_formatLoop >= kFormatRefreshLoops)
        refreshFormat(driver);
    if (!m_haveFormat)
        return;

    const Conversion conversion = convertBlock(m_input.data(), m_currentFormat, m_output);
    if (conversion != Conversion::BlockAlignSmall) {
        const auto bytes = static_cast<uint32_t>(m_output.size());
        // The driver plays on without waiting for us: a buffer found empty
        // (at start, or after a wake-up late enough to run it dry) gets a
        // block of silence ahead of the audio, so that the next late
        // wake-up finds a block still queued instead of a gap.
        const bool dry = status.freeBytes >= m_emptyFreeBytes;
        m_emptyFreeBytes = std::max(m_emptyFreeBytes, status.freeBytes);
        if (dry && status.freeBytes / 2 >= bytes)
            writeLead(driver, bytes);
        if (status.freeBytes >= bytes) {
            os::realtimeCheck("LivestreamForwarder driver write");
            int32_t reply = 0;
            const int result = VadAudio_Write(driver, m_output.data(), bytes, &reply);
            if (result == VAD_AUDIO_OK) {
                ++m_stats.writeOk;
            } else if (result == VAD_AUDIO_ERROR_BUFFER_FULL) {
                ++m_stats.bufferFull;
            } else {
                ++m_stats.errors;
                m_log(std::string(kTag) + "TarvoAudio_Write failed: " + std::to_string(result));
            }
        } else {
            ++m_stats.bufferFull;
        }
    }

    if (m_stats.loop % kStatsEveryLoops == 0)
        logStats();
}

void LivestreamForwarder::ForwardLoop::writeLead(VadAudioHandle driver, uint32_t bytes)
{
    if (m_lead.size() != bytes)
        m_lead.assign(bytes, 0); // only when the driver's format changes
    int32_t reply = 0;
    if (VadAudio_Write(driver, m_lead.data(), bytes, &reply) == VAD_AUDIO_OK)
        ++m_stats.leads;
}

void LivestreamForwarder::ForwardLoop::refreshFormat(VadAudioHandle driver)
{
    WAVEFORMATEXTENSIBLE format{};
    if (VadAudio_GetFormat(driver, &format) != VAD_AUDIO_OK || !usableFormat(format))
        return;
    const WAVEFORMATEX& f = format.Format;
    const WAVEFORMATEX& old = m_currentFormat.Format;
    if (!m_haveFormat || f.nSamplesPerSec != old.nSamplesPerSec || f.nChannels != old.nChannels ||
        f.wBitsPerSample != old.wBitsPerSample) {
        m_log(std::string(kTag) + "Capture format: " + std::to_string(f.nSamplesPerSec) + " Hz, " +
              std::to_string(f.nChannels) + " ch, " + std::to_string(f.wBitsPerSample) + "-bit");
    }
    if (m_haveFormat && std::memcmp(&format, &m_currentFormat, sizeof(format)) != 0) {
        // Padding bytes of the old layout must not leak into the new one.
        std::memset(m_output.data(), 0, m_output.size());
    }
    m_currentFormat = format;
    m_haveFormat = true;
    m_formatLoop = m_stats.loop;
}

namespace {
constexpr int kStatsFree = 0;
constexpr int kStatsReady = 1;
constexpr int kStatsStopped = 2;
} // namespace

// On the audio thread: no allocation, no lock. A line the writer has not
// taken yet is kept and this one dropped.
void LivestreamForwarder::ForwardLoop::logStats()
{
    if (m_statsState.load(std::memory_order_acquire) != kStatsFree)
        return;
    std::snprintf(m_statsText.data(), m_statsText.size(),
                  "%sloop=%d writeOk=%d bufferFull=%d streamInactive=%d errors=%d", kTag, m_stats.loop,
                  m_stats.writeOk, m_stats.bufferFull, m_stats.streamInactive, m_stats.errors);
    int expected = kStatsFree;
    if (m_statsState.compare_exchange_strong(expected, kStatsReady, std::memory_order_acq_rel))
        m_statsState.notify_one();
}

bool LivestreamForwarder::ForwardLoop::writeStats()
{
    if (m_statsState.load(std::memory_order_acquire) != kStatsReady)
        return false;
    m_log(std::string(m_statsText.data()));
    int expected = kStatsReady;
    m_statsState.compare_exchange_strong(expected, kStatsFree, std::memory_order_acq_rel);
    return true;
}

bool LivestreamForwarder::ForwardLoop::waitForStats()
{
    m_statsState.wait(kStatsFree, std::memory_order_acquire);
    return m_statsState.load(std::memory_order_acquire) != kStatsStopped;
}

// Once step() runs no more: a line still waiting is left to the writer.
void LivestreamForwarder::ForwardLoop::stopStatsWriter()
{
    int expected = kStatsFree;
    while (!m_statsState.compare_exchange_weak(expected, kStatsStopped, std::memory_order_acq_rel)
           && expected != kStatsStopped) {
        expected = kStatsFree;
        std::this_thread::yield();
    }
    m_statsState.notify_all();
}

// --- Lifecycle ---------------------------------------------------------------

LivestreamForwarder& LivestreamForwarder::instance()
{
    static os::RealClock clock;
    static LivestreamForwarder forwarder(Mixer::instance(), clock);
    return forwarder;
}

LivestreamForwarder::LivestreamForwarder(Mixer& mixer, os::Clock& clock, LogSink log)
    : m_mixer(mixer)
    , m_clock(clock)
    , m_log(log ? std::move(log) : LogSink(defaultLog))
{
}

LivestreamForwarder::~LivestreamForwarder()
{
    Stop();
}

bool LivestreamForwarder::Start()
{
    std::lock_guard lock(m_lifecycleMutex);
    if (m_running.load())
        return true;
    if (!openDriver())
        return false;
    m_running.exchange(true);
    m_loop = std::make_unique<ForwardLoop>(m_mixer, m_log);
    try {
        m_statsWriter = std::thread(&LivestreamForwarder::statsThread, this);
        m_thread = std::thread(&LivestreamForwarder::forwardThread, this, m_driver);
    } catch (const std::system_error&) {
        m_running.store(false);
        m_loop->stopStatsWriter();
        if (m_statsWriter.joinable())
            m_statsWriter.join();
        m_loop.reset();
        VadAudio_Close(m_driver);
        m_driver = nullptr;
        return false;
    }
    return true;
}

void LivestreamForwarder::Stop()
{
    std::lock_guard lock(m_lifecycleMutex);
    if (!m_running.load() && !m_thread.joinable())
        return;
    m_running.exchange(false);
    m_clock.wake(); // ends the thread's pause at once
    if (m_thread.joinable())
        m_thread.join();
    if (m_loop)
        m_loop->stopStatsWriter();
    if (m_statsWriter.joinable())
        m_statsWriter.join();
    m_loop.reset();
    if (m_driver != nullptr) {
        VadAudio_Close(m_driver);
        m_driver = nullptr;
    }
}

bool LivestreamForwarder::IsRunning() const
{
    return m_running.load();
}

void LivestreamForwarder::SetSourceBus(uint32_t bus)
{
    m_sourceBus.store(bus, std::memory_order_relaxed);
}

bool LivestreamForwarder::openDriver()
{
    const int result = VadAudio_Open(&m_driver);
    if (result == VAD_AUDIO_ERROR_DEVICE_NOT_FOUND) {
        m_log(std::string(kTag) + "NUVEX" + " Stream Mix device not found " +
              "(driver not installed), livestream forwarding disabled");
        return false;
    }
    if (result != VAD_AUDIO_OK) {
        m_log(std::string(kTag) + "TarvoAudio_Open failed with error: " + std::to_string(result));
        return false;
    }
    const WAVEFORMATEXTENSIBLE format = streamFormat();
    VadAudio_SetFormat(m_driver, &format); // the thread reads back what the driver really uses
    m_log(std::string(kTag) + "Initialized, source bus=" + std::to_string(m_sourceBus.load(std::memory_order_relaxed)));
    return true;
}

void LivestreamForwarder::forwardThread(VadAudioHandle driver)
{
    os::nameCurrentThread("vd-livestream");
    {
        // Its buffer: what the driver still holds after the half block it may wait.
        const os::RealtimeThreadScope realtime(L"Pro Audio", os::RealtimePriority::Normal, kPeriodMs / 2);
        int64_t nextNs = m_clock.nowNs();
        constexpr int64_t kPeriodNs = kPeriodMs * os::Clock::kNsPerMs;
        while (m_running.load()) {
            nextNs += kPeriodNs;
            const uint32_t bus = m_sourceBus.load(std::memory_order_relaxed);
            if (const int64_t waitNs = m_loop->dueWaitNs(driver, bus); waitNs > 0) {
                // Looked at each millisecond: the pull follows the push as soon as it lands.
                const int64_t untilNs = m_clock.nowNs() + waitNs;
                for (int64_t now = m_clock.nowNs(); now < untilNs && m_running.load() && m_mixer.busSourceDue(bus, kBlockFrames);
                     now = m_clock.nowNs())
                    m_clock.waitUntil([this] { return !m_running.load(); }, std::min(untilNs, now + os::Clock::kNsPerMs));
            }
            m_loop->step(driver, bus);
            pace(nextNs);
        }
    }
    m_log(std::string(kTag) + "Thread stopped");
}

// Writes the loop's statistics lines, off the audio thread: the log may
// block and allocate.
void LivestreamForwarder::statsThread()
{
    os::nameCurrentThread("livestream-log");
    while (m_loop->waitForStats())
        m_loop->writeStats();
}

// Sleeps until the deadline; a late loop moves the deadline to now instead
// of catching up with a burst.
void LivestreamForwarder::pace(int64_t& nextNs)
{
    const int64_t now = m_clock.nowNs();
    m_clock.waitUntil([this] { return !m_running.load(); }, nextNs);
    nextNs = std::max(nextNs, now);
}
