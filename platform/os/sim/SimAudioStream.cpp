#include "platform/os/sim/SimAudioStream.h"

#include "platform/os/RealtimeThread.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace os {

namespace {

constexpr std::uint32_t kPeriodsPerSecond = 1'000'000'000 / SimAudioWorld::kPeriodNs;
constexpr std::uint32_t kMinRate = 1000;
constexpr std::uint32_t kMaxRate = 384000;
constexpr std::uint16_t kMaxChannels = 8;
constexpr std::uint32_t kMaxBufferSeconds = 2;

class SimCaptureClient final : public CaptureClient {
public:
    explicit SimCaptureClient(std::shared_ptr<SimStream> stream)
        : m_stream(std::move(stream))
    {
    }
    HRESULT getNextPacketSize(std::uint32_t& frames) override { return m_stream->nextPacketSize(frames); }
    HRESULT getBuffer(std::uint8_t*& data, std::uint32_t& frames, std::uint32_t& flags, std::uint64_t* devicePosition,
                      std::uint64_t* counterPosition) override
    {
        return m_stream->captureBuffer(data, frames, flags, devicePosition, counterPosition);
    }
    HRESULT releaseBuffer(std::uint32_t frames) override { return m_stream->releaseCapture(frames); }

private:
    std::shared_ptr<SimStream> m_stream;
};

class SimRenderClient final : public RenderClient {
public:
    explicit SimRenderClient(std::shared_ptr<SimStream> stream)
        : m_stream(std::move(stream))
    {
    }
    HRESULT getBuffer(std::uint32_t frames, std::uint8_t*& data) override { return m_stream->renderBuffer(frames, data); }
    HRESULT releaseBuffer(std::uint32_t frames, std::uint32_t flags) override
    {
        return m_stream->releaseRender(frames, flags);
    }

private:
    std::shared_ptr<SimStream> m_stream;
};

bool kindForBits(std::uint16_t bits, SampleKind& kind)
{
    switch (bits) {
    case 8: kind = SampleKind::UInt8; return true;
    case 16: kind = SampleKind::Int16; return true;
    case 24: kind = SampleKind::Int24; return true;
    case 32: kind = SampleKind::Int32; return true;
    default: return false;
    }
}

void writeSamples(SampleKind kind, const float* in, std::size_t count, std::uint8_t* out)
{
    if (kind == SampleKind::Float32) {
        std::memcpy(out, in, count * sizeof(float));
        return;
    }
    for (std::size_t i = 0; i < count; ++i) {
        const double v = std::clamp(static_cast<double>(in[i]), -1.0, 1.0);
        switch (kind) {
        case SampleKind::UInt8:
            out[i] = static_cast<std::uint8_t>(std::lround(v * 127.0) + 128);
            break;
        case SampleKind::Int16: {
            const auto s = static_cast<std::int16_t>(std::lround(v * 32767.0));
            std::memcpy(out + i * 2, &s, 2);
            break;
        }
        case SampleKind::Int24: {
            const auto s = static_cast<std::int32_t>(std::lround(v * 8388607.0));
            out[i * 3] = static_cast<std::uint8_t>(s & 0xFF);
            out[i * 3 + 1] = static_cast<std::uint8_t>((s >> 8) & 0xFF);
            out[i * 3 + 2] = static_cast<std::uint8_t>((s >> 16) & 0xFF);
            break;
        }
        case SampleKind::Int32: {
            const auto s = static_cast<std::int32_t>(std::llround(v * 2147483647.0));
            std::memcpy(out + i * 4, &s, 4);
            break;
        }
        case SampleKind::Float32:
            break;
        }
    }
}

} // namespace

bool parseStreamFormat(const std::uint8_t* bytes, std::size_t size, StreamFormat& out)
{
    if (!bytes || size < sizeof(WAVEFORMATEX))
        return false;
    WAVEFORMATEXTENSIBLE record{};
    std::memcpy(&record.Format, bytes, sizeof(WAVEFORMATEX));
    const WAVEFORMATEX& base = record.Format;
    if (base.nChannels == 0 || base.nChannels > kMaxChannels || base.nSamplesPerSec < kMinRate
        || base.nSamplesPerSec > kMaxRate || base.wBitsPerSample % 8 != 0
        || base.nBlockAlign != base.nChannels * (base.wBitsPerSample / 8))
        return false;

    SampleKind kind{};
    switch (base.wFormatTag) {
    case WAVE_FORMAT_PCM:
        if (!kindForBits(base.wBitsPerSample, kind))
            return false;
        record.Format.cbSize = 0;
        break;
    case WAVE_FORMAT_IEEE_FLOAT:
        if (base.wBitsPerSample != 32)
            return false;
        kind = SampleKind::Float32;
        record.Format.cbSize = 0;
        break;
    case WAVE_FORMAT_EXTENSIBLE:
        if (base.cbSize < kWaveFormatExtensibleExtraBytes || size < sizeof(WAVEFORMATEXTENSIBLE))
            return false;
        std::memcpy(&record, bytes, sizeof(WAVEFORMATEXTENSIBLE));
        record.Format.cbSize = kWaveFormatExtensibleExtraBytes;
        if (record.Samples.wValidBitsPerSample > base.wBitsPerSample)
            return false;
        if (record.SubFormat == KSDATAFORMAT_SUBTYPE_IEEE_FLOAT && base.wBitsPerSample == 32)
            kind = SampleKind::Float32;
        else if (!(record.SubFormat == KSDATAFORMAT_SUBTYPE_PCM) || !kindForBits(base.wBitsPerSample, kind))
            return false;
        break;
    default:
        return false;
    }
    out.record = record;
    out.kind = kind;
    out.sampleRate = base.nSamplesPerSec;
    out.channels = base.nChannels;
    out.blockAlign = base.nBlockAlign;
    return true;
}

bool parseStreamFormat(const WAVEFORMATEX* format, StreamFormat& out)
{
    if (!format)
        return false;
    // The caller promises cbSize bytes after the base record; only an
    // extensible record's own 22 are read.
    const bool extensible = format->wFormatTag == WAVE_FORMAT_EXTENSIBLE && format->cbSize >= kWaveFormatExtensibleExtraBytes;
    return parseStreamFormat(reinterpret_cast<const std::uint8_t*>(format),
                             extensible ? sizeof(WAVEFORMATEXTENSIBLE) : sizeof(WAVEFORMATEX), out);
}

SimStream::SimStream(std::shared_ptr<SimWorldCore> core, Kind kind, std::wstring endpointId,
                     std::uint32_t endpointRate, std::uint16_t endpointChannels, AudioClientActivationParams loopback)
    : m_core(std::move(core))
    , m_kind(kind)
    , m_endpointId(std::move(endpointId))
    , m_endpointRate(endpointRate)
    , m_endpointChannels(endpointChannels)
    , m_loopback(loopback)
    , m_faultTarget(kind == Kind::Loopback ? SimFaults::processTarget(loopback.targetProcessId) : m_endpointId)
{
}

std::uint64_t SimStream::framesAt(std::uint64_t period) const
{
    return period * m_format.sampleRate / kPeriodsPerSecond;
}

std::uint64_t SimStream::elapsedPeriodsLocked(std::int64_t nowNs) const
{
    return static_cast<std::uint64_t>(runNsLocked(nowNs) / SimAudioWorld::kPeriodNs);
}

std::int64_t SimStream::runNsLocked(std::int64_t nowNs) const
{
    const std::int64_t stallAt = m_stallAtNs.load(std::memory_order_acquire);
    if (stallAt >= 0 && nowNs > stallAt)
        nowNs = stallAt;
    std::int64_t runNs = m_runNs;
    if (m_running)
        runNs += std::max<std::int64_t>(0, nowNs - m_startNs);
    const std::int32_t ppm = m_driftPpm.load(std::memory_order_acquire);
    if (ppm != 0)
        runNs += static_cast<std::int64_t>(static_cast<__int128>(runNs) * ppm / 1'000'000);
    return runNs;
}

HRESULT SimStream::checkLive(SimOp op)
{
    if (m_invalidated.load(std::memory_order_acquire))
        return AUDCLNT_E_DEVICE_INVALIDATED;
    return m_core->faults.take(op, m_faultTarget);
}

HRESULT SimStream::checkReadyLocked(SimOp op)
{
    if (!m_initialized)
        return AUDCLNT_E_NOT_INITIALIZED;
    return checkLive(op);
}

HRESULT SimStream::initialize(ShareMode mode, std::uint32_t streamFlags, std::int64_t bufferDuration100ns,
                              std::int64_t, const WAVEFORMATEX* format)
{
    if (m_invalidated.load(std::memory_order_acquire))
        return AUDCLNT_E_DEVICE_INVALIDATED;
    std::lock_guard lock(m_mutex);
    if (m_initialized)
        return AUDCLNT_E_ALREADY_INITIALIZED;
    if (HRESULT hr = m_core->faults.take(SimOp::Initialize, m_faultTarget); FAILED(hr))
        return hr;
    if (!format)
        return E_POINTER;
    if (mode != ShareMode::Shared)
        return AUDCLNT_E_EXCLUSIVE_MODE_NOT_ALLOWED;
    if (bufferDuration100ns < 0)
        return E_INVALIDARG;
    const bool loopbackFlag = (streamFlags & AUDCLNT_STREAMFLAGS_LOOPBACK) != 0;
    if (m_kind == Kind::Loopback && !loopbackFlag)
        return E_INVALIDARG;
    if (m_kind == Kind::Capture && loopbackFlag)
        return AUDCLNT_E_WRONG_ENDPOINT_TYPE;
    if (m_kind == Kind::Render && loopbackFlag)
        return E_NOTIMPL; // endpoint loopback is not simulated
    StreamFormat parsed;
    if (!parseStreamFormat(format, parsed))
        return AUDCLNT_E_UNSUPPORTED_FORMAT;
    if (m_kind != Kind::Loopback && !(streamFlags & AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM)
        && (parsed.kind != SampleKind::Float32 || parsed.sampleRate != m_endpointRate
            || parsed.channels != m_endpointChannels))
        return AUDCLNT_E_UNSUPPORTED_FORMAT;

    m_format = parsed;
    m_flags = streamFlags;
    m_maxPacketFrames = (m_format.sampleRate + kPeriodsPerSecond - 1) / kPeriodsPerSecond;
    const std::uint64_t requested =
        (static_cast<std::uint64_t>(bufferDuration100ns) * m_format.sampleRate + 9'999'999) / 10'000'000;
    m_bufferFrames = static_cast<std::uint32_t>(
        std::clamp<std::uint64_t>(requested, m_maxPacketFrames, std::uint64_t{m_format.sampleRate} * kMaxBufferSeconds));
    if (isCapture()) {
        m_packet.assign(static_cast<std::size_t>(m_maxPacketFrames) * m_format.blockAlign, 0);
        m_mix.assign(static_cast<std::size_t>(m_maxPacketFrames) * m_format.channels, 0.0f);
        m_scratch.assign(m_mix.size(), 0.0f);
    } else {
        m_ring.assign(static_cast<std::size_t>(m_bufferFrames) * m_format.blockAlign, 0);
        m_staging.assign(m_ring.size(), 0);
    }
    m_initialized = true;
    return S_OK;
}

HRESULT SimStream::getMixFormat(std::vector<std::uint8_t>& format)
{
    if (HRESULT hr = checkLive(SimOp::GetMixFormat); FAILED(hr))
        return hr;
    std::lock_guard lock(m_core->mutex);
    if (m_kind == Kind::Loopback) {
        if (m_core->loopbackMixFormat.empty())
            return E_NOTIMPL;
        format = m_core->loopbackMixFormat;
        return S_OK;
    }
    const SimEndpointRecord* record = m_core->findLocked(m_endpointId);
    if (!record)
        return AUDCLNT_E_DEVICE_INVALIDATED;
    if (FAILED(record->mixFormatRefusal))
        return record->mixFormatRefusal;
    format = makeDeviceFormat(m_endpointRate, m_endpointChannels, 32, true);
    return S_OK;
}

HRESULT SimStream::getBufferSize(std::uint32_t& frames)
{
    std::lock_guard lock(m_mutex);
    if (HRESULT hr = checkReadyLocked(SimOp::GetBufferSize); FAILED(hr))
        return hr;
    frames = m_bufferFrames;
    return S_OK;
}

HRESULT SimStream::getCurrentPadding(std::uint32_t& frames)
{
    std::lock_guard lock(m_mutex);
    if (HRESULT hr = checkReadyLocked(SimOp::GetCurrentPadding); FAILED(hr))
        return hr;
    const std::int64_t now = m_core->clock->nowNs();
    catchUpLocked(now);
    if (isCapture()) {
        const std::uint64_t periods = elapsedPeriodsLocked(now);
        frames = periods > m_nextPacket ? static_cast<std::uint32_t>(framesAt(periods) - framesAt(m_nextPacket)) : 0;
    } else {
        frames = m_queued;
    }
    return S_OK;
}

HRESULT SimStream::setEventHandle(std::shared_ptr<Event> event)
{
    std::lock_guard lock(m_mutex);
    if (!m_initialized)
        return AUDCLNT_E_NOT_INITIALIZED;
    if (!(m_flags & AUDCLNT_STREAMFLAGS_EVENTCALLBACK))
        return AUDCLNT_E_EVENTHANDLE_NOT_EXPECTED;
    if (!event || &event->clock() != m_core->clock.get())
        return E_INVALIDARG;
    if (HRESULT hr = m_core->faults.take(SimOp::SetEventHandle, m_faultTarget); FAILED(hr))
        return hr;
    m_event = std::move(event);
    return S_OK;
}

HRESULT SimStream::start()
{
    {
        std::lock_guard lock(m_mutex);
        if (HRESULT hr = checkReadyLocked(SimOp::Start); FAILED(hr))
            return hr;
        if (m_running)
            return AUDCLNT_E_NOT_STOPPED;
        if ((m_flags & AUDCLNT_STREAMFLAGS_EVENTCALLBACK) && !m_event)
            return AUDCLNT_E_EVENTHANDLE_NOT_SET;
        m_running = true;
        m_startNs = m_core->clock->nowNs();
    }
    m_core->wakeService();
    return S_OK;
}

HRESULT SimStream::stop()
{
    std::lock_guard lock(m_mutex);
    if (!m_initialized)
        return AUDCLNT_E_NOT_INITIALIZED;
    if (!m_running)
        return S_FALSE;
    const std::int64_t now = m_core->clock->nowNs();
    catchUpLocked(now);
    m_runNs += std::max<std::int64_t>(0, now - m_startNs);
    m_running = false;
    return S_OK;
}

HRESULT SimStream::reset()
{
    std::lock_guard lock(m_mutex);
    if (!m_initialized)
        return AUDCLNT_E_NOT_INITIALIZED;
    if (m_running)
        return AUDCLNT_E_NOT_STOPPED;
    m_held = false;
    if (isCapture()) {
        m_nextPacket = elapsedPeriodsLocked(m_core->clock->nowNs());
    } else {
        m_queued = 0;
        m_readFrame = 0;
    }
    return S_OK;
}

HRESULT SimStream::getCaptureClient(std::shared_ptr<CaptureClient>& out)
{
    std::lock_guard lock(m_mutex);
    if (HRESULT hr = checkReadyLocked(SimOp::GetService); FAILED(hr))
        return hr;
    if (!isCapture())
        return AUDCLNT_E_WRONG_ENDPOINT_TYPE;
    out = std::make_shared<SimCaptureClient>(shared_from_this());
    return S_OK;
}

HRESULT SimStream::getRenderClient(std::shared_ptr<RenderClient>& out)
{
    std::lock_guard lock(m_mutex);
    if (HRESULT hr = checkReadyLocked(SimOp::GetService); FAILED(hr))
        return hr;
    if (isCapture())
        return AUDCLNT_E_WRONG_ENDPOINT_TYPE;
    out = std::make_shared<SimRenderClient>(shared_from_this());
    return S_OK;
}

HRESULT SimStream::nextPacketSize(std::uint32_t& frames)
{
    if (HRESULT hr = checkLive(SimOp::GetNextPacketSize); FAILED(hr))
        return hr;
    std::lock_guard lock(m_mutex);
    const std::int64_t now = m_core->clock->nowNs();
    catchUpLocked(now);
    const std::uint64_t periods = elapsedPeriodsLocked(now);
    frames = m_nextPacket < periods ? static_cast<std::uint32_t>(framesAt(m_nextPacket + 1) - framesAt(m_nextPacket)) : 0;
    return S_OK;
}

HRESULT SimStream::captureBuffer(std::uint8_t*& data, std::uint32_t& frames, std::uint32_t& flags,
                                 std::uint64_t* devicePosition, std::uint64_t* counterPosition)
{
    if (HRESULT hr = checkLive(SimOp::CaptureGetBuffer); FAILED(hr))
        return hr;
    std::lock_guard lock(m_mutex);
    if (m_held)
        return AUDCLNT_E_OUT_OF_ORDER;
    const std::int64_t now = m_core->clock->nowNs();
    catchUpLocked(now);
    if (m_nextPacket >= elapsedPeriodsLocked(now)) {
        data = nullptr;
        frames = 0;
        flags = 0;
        return AUDCLNT_S_BUFFER_EMPTY;
    }
    const std::uint64_t first = framesAt(m_nextPacket);
    const auto count = static_cast<std::uint32_t>(framesAt(m_nextPacket + 1) - first);
    producePacketLocked(first, count);
    flags = 0;
    if (m_discontinuity)
        flags |= AUDCLNT_BUFFERFLAGS_DATA_DISCONTINUITY;
    if (m_core->takeSilentPacket(m_endpointId))
        flags |= AUDCLNT_BUFFERFLAGS_SILENT;
    m_discontinuity = false;
    if (devicePosition)
        *devicePosition = first;
    if (counterPosition)
        *counterPosition = static_cast<std::uint64_t>(now / 100);
    m_held = true;
    m_heldFrames = count;
    m_transfer = {false, m_loopback.targetProcessId, m_core->nextCall(), 0, first, count};
    data = m_packet.data();
    frames = count;
    return S_OK;
}

HRESULT SimStream::releaseCapture(std::uint32_t frames)
{
    if (HRESULT hr = m_core->faults.take(SimOp::ReleaseBuffer, m_faultTarget); FAILED(hr))
        return hr;
    std::lock_guard lock(m_mutex);
    if (!m_held)
        return AUDCLNT_E_OUT_OF_ORDER;
    if (frames != 0 && frames != m_heldFrames)
        return AUDCLNT_E_INVALID_SIZE;
    m_held = false;
    if (frames != 0) {
        ++m_nextPacket; // 0 keeps the packet for the next getBuffer
        m_transfer.end = m_core->nextCall();
        m_core->transferred(m_endpointId, m_transfer);
    }
    return S_OK;
}

HRESULT SimStream::renderBuffer(std::uint32_t frames, std::uint8_t*& data)
{
    if (HRESULT hr = checkLive(SimOp::RenderGetBuffer); FAILED(hr))
        return hr;
    std::lock_guard lock(m_mutex);
    if (m_held)
        return AUDCLNT_E_OUT_OF_ORDER;
    catchUpLocked(m_core->clock->nowNs());
    if (frames > m_bufferFrames - m_queued)
        return AUDCLNT_E_BUFFER_TOO_LARGE;
    m_held = true;
    m_heldFrames = frames;
    m_transfer = {true, 0, m_core->nextCall(), 0, m_handed, 0};
    data = m_staging.data();
    return S_OK;
}

HRESULT SimStream::releaseRender(std::uint32_t frames, std::uint32_t flags)
{
    if (HRESULT hr = m_core->faults.take(SimOp::ReleaseBuffer, m_faultTarget); FAILED(hr))
        return hr;
    std::lock_guard lock(m_mutex);
    if (!m_held)
        return AUDCLNT_E_OUT_OF_ORDER;
    if (frames > m_heldFrames)
        return AUDCLNT_E_INVALID_SIZE;
    m_held = false;
    const std::size_t align = m_format.blockAlign;
    std::uint32_t write = (m_readFrame + m_queued) % m_bufferFrames;
    std::uint32_t done = 0;
    while (done < frames) {
        const std::uint32_t run = std::min(frames - done, m_bufferFrames - write);
        std::uint8_t* dst = m_ring.data() + write * align;
        if (flags & AUDCLNT_BUFFERFLAGS_SILENT)
            std::memset(dst, 0, run * align);
        else
            std::memcpy(dst, m_staging.data() + done * align, run * align);
        done += run;
        write = (write + run) % m_bufferFrames;
    }
    m_queued += frames;
    m_handed += frames;
    m_transfer.end = m_core->nextCall();
    m_transfer.frames = frames;
    m_core->transferred(m_endpointId, m_transfer);
    return S_OK;
}

void SimStream::producePacketLocked(std::uint64_t firstFrame, std::uint32_t frames)
{
    if (m_kind == Kind::Loopback)
        m_core->renderLoopback(m_loopback, firstFrame, frames, m_format.channels, m_format.sampleRate, m_mix.data(),
                               m_scratch.data());
    else
        m_core->renderEndpointSignal(m_endpointId, firstFrame, frames, m_format.channels, m_format.sampleRate,
                                     m_mix.data());
    writeSamples(m_format.kind, m_mix.data(), static_cast<std::size_t>(frames) * m_format.channels, m_packet.data());
}

void SimStream::playLocked(std::uint64_t frames)
{
    const auto take = static_cast<std::uint32_t>(std::min<std::uint64_t>(frames, m_queued));
    std::uint32_t done = 0;
    while (done < take) {
        const std::uint32_t run = std::min(take - done, m_bufferFrames - m_readFrame);
        m_core->appendRendered(m_endpointId, m_format.record, m_ring.data() + m_readFrame * m_format.blockAlign, run);
        m_readFrame = (m_readFrame + run) % m_bufferFrames;
        done += run;
    }
    m_queued -= take;
    if (frames > take)
        m_core->addUnderrun(m_endpointId, frames - take);
}

std::int64_t SimStream::catchUp()
{
    std::shared_ptr<Event> due;
    std::int64_t next = Clock::kNoDeadline;
    {
        std::lock_guard lock(m_mutex);
        next = catchUpLocked(m_core->clock->nowNs(), &due);
    }
    // Set with the stream unlocked: the client it wakes takes that lock first.
    if (due)
        due->set();
    return next;
}

std::int64_t SimStream::catchUpLocked(std::int64_t nowNs, std::shared_ptr<Event>* setLater)
{
    if (!m_initialized || m_invalidated.load(std::memory_order_acquire))
        return Clock::kNoDeadline;
    const std::uint64_t periods = elapsedPeriodsLocked(nowNs);
    // A loopback target whose processes play nothing has no packets.
    const bool silentLoopback = m_kind == Kind::Loopback && !m_core->loopbackAudible(m_loopback);
    if (silentLoopback && !m_held && periods > m_nextPacket)
        m_nextPacket = periods;
    if (isCapture()) {
        // A full buffer loses its oldest packets; the next one says so.
        const std::uint64_t capacity = std::max<std::uint64_t>(1, m_bufferFrames / (m_format.sampleRate / kPeriodsPerSecond));
        if (!m_held && periods > m_nextPacket + capacity) {
            // The device kept its time; the program did not read in time.
            noteStall(static_cast<std::int64_t>(periods - capacity - m_nextPacket) * SimAudioWorld::kPeriodNs,
                      StallKind::Overflow);
            m_nextPacket = periods - capacity;
            m_discontinuity = true;
        }
    } else if (periods > m_played) {
        playLocked(framesAt(periods) - framesAt(m_played));
        m_played = periods;
    }
    if (periods > m_signalled) {
        // A device never waits: its period served a period or more late
        // was lost to the machine, not to the program; served later within
        // the period, it was the machine's delay.
        const std::int64_t late = runNsLocked(nowNs) - static_cast<std::int64_t>(m_signalled + 1) * SimAudioWorld::kPeriodNs;
        if (late > SimAudioWorld::kPeriodNs)
            noteStall(late, StallKind::Device);
        else if (late > kShortestDelayNs)
            noteStall(late, StallKind::Delay);
        m_signalled = periods;
        if (m_event && !silentLoopback) {
            if (setLater)
                *setLater = m_event;
            else
                m_event->set();
        }
    }
    if (!m_running || !m_event)
        return Clock::kNoDeadline;
    const std::int64_t stallAt = m_stallAtNs.load(std::memory_order_acquire);
    if (stallAt >= 0 && nowNs >= stallAt)
        return Clock::kNoDeadline; // the service thread is woken when the stall ends
    // Clock time at which the stream's own (drifting) time reaches the next period.
    std::int64_t runNeeded = static_cast<std::int64_t>(periods + 1) * SimAudioWorld::kPeriodNs;
    const std::int32_t ppm = m_driftPpm.load(std::memory_order_acquire);
    if (ppm != 0)
        runNeeded = static_cast<std::int64_t>(static_cast<__int128>(runNeeded) * 1'000'000 / (1'000'000 + ppm)) + 1;
    return m_startNs + runNeeded - m_runNs;
}

} // namespace os
