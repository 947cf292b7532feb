#include "driverclient/sim/SimVirtualDriver.h"

#include <algorithm>
#include <cstring>

namespace {

// Played audio waits at most this long for the capture side before the
// oldest is dropped, as a real endpoint buffer would overrun.
constexpr uint64_t kPlayedLimitMs = 1000;

bool isKnownCode(uint32_t code)
{
    return code == IOCTL_VAD_AUDIO_WRITE || code == IOCTL_VAD_AUDIO_GET_FORMAT ||
           code == IOCTL_VAD_AUDIO_GET_STATUS || code == IOCTL_VAD_AUDIO_SET_FORMAT;
}

} // namespace

SimVirtualDriver::SimVirtualDriver(os::Clock& clock)
    : m_clock(clock)
    , m_wantedFormat(defaultFormat())
    , m_drainOriginNs(clock.nowNs())
{
    m_buffer.reserve(m_capacityBytes);
    m_played.reserve(static_cast<size_t>(bytesPerSecondLocked()) * kPlayedLimitMs / 1000);
}

SimVirtualDriver::~SimVirtualDriver() = default;

void SimVirtualDriver::install()
{
    NUVEXControl_Install(this);
}

void SimVirtualDriver::uninstall()
{
    NUVEXControl_Install(nullptr);
}

WAVEFORMATEXTENSIBLE SimVirtualDriver::makeFormat(uint32_t sampleRate, uint16_t channels, uint16_t bitsPerSample,
                                                  bool isFloat)
{
    WAVEFORMATEXTENSIBLE f{};
    f.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    f.Format.nChannels = channels;
    f.Format.nSamplesPerSec = sampleRate;
    f.Format.nBlockAlign = static_cast<uint16_t>(channels * bitsPerSample / 8);
    f.Format.nAvgBytesPerSec = sampleRate * f.Format.nBlockAlign;
    f.Format.wBitsPerSample = bitsPerSample;
    f.Format.cbSize = kWaveFormatExtensibleExtraBytes;
    f.Samples.wValidBitsPerSample = bitsPerSample;
    f.dwChannelMask = channels == 2 ? (SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT) : 0;
    f.SubFormat = isFloat ? KSDATAFORMAT_SUBTYPE_IEEE_FLOAT : KSDATAFORMAT_SUBTYPE_PCM;
    return f;
}

WAVEFORMATEXTENSIBLE SimVirtualDriver::defaultFormat()
{
    return makeFormat(48000, 2, 32, false);
}

void SimVirtualDriver::setWantedFormat(const WAVEFORMATEXTENSIBLE& format)
{
    std::lock_guard lock(m_mutex);
    drainLocked();
    m_wantedFormat = format;
    restartDrainLocked();
}

WAVEFORMATEXTENSIBLE SimVirtualDriver::wantedFormat() const
{
    std::lock_guard lock(m_mutex);
    return m_wantedFormat;
}

void SimVirtualDriver::setFormatAnswerBytes(uint32_t bytes)
{
    std::lock_guard lock(m_mutex);
    m_formatAnswerBytes = std::min(bytes, kFormatRecordBytes);
}

void SimVirtualDriver::setStatusWords(uint32_t word0, uint32_t word1)
{
    std::lock_guard lock(m_mutex);
    m_word0 = word0;
    m_word1 = word1;
}

void SimVirtualDriver::setActiveByte(uint8_t active)
{
    std::lock_guard lock(m_mutex);
    drainLocked();
    m_active = active;
    restartDrainLocked();
}

void SimVirtualDriver::setCapacityBytes(uint32_t bytes)
{
    std::lock_guard lock(m_mutex);
    m_capacityBytes = bytes;
    m_buffer.reserve(bytes);
}

void SimVirtualDriver::setWriteReply(int32_t reply, uint32_t replyBytes)
{
    std::lock_guard lock(m_mutex);
    m_writeReply = reply;
    m_writeReplyBytes = std::min(replyBytes, kVadWriteReplyBytes);
}

void SimVirtualDriver::setOpenError(uint32_t systemError)
{
    std::lock_guard lock(m_mutex);
    m_openError = systemError;
}

void SimVirtualDriver::failRequest(uint32_t ioControlCode, uint32_t systemError, int count)
{
    std::lock_guard lock(m_mutex);
    if (systemError == 0 || count == 0)
        m_faults.erase(ioControlCode);
    else
        m_faults[ioControlCode] = Fault{systemError, count};
}

void SimVirtualDriver::setRecordWrites(bool record)
{
    std::lock_guard lock(m_mutex);
    m_recordWrites = record;
}

std::vector<uint8_t> SimVirtualDriver::writtenBytes() const
{
    std::lock_guard lock(m_mutex);
    return m_written;
}

std::vector<uint32_t> SimVirtualDriver::writeSizes() const
{
    std::lock_guard lock(m_mutex);
    return m_writeSizes;
}

std::vector<WAVEFORMATEXTENSIBLE> SimVirtualDriver::formatsSet() const
{
    std::lock_guard lock(m_mutex);
    return m_formatsSet;
}

uint32_t SimVirtualDriver::requestCount(uint32_t ioControlCode) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_requestCounts.find(ioControlCode);
    return it == m_requestCounts.end() ? 0 : it->second;
}

uint32_t SimVirtualDriver::fillBytes()
{
    std::lock_guard lock(m_mutex);
    drainLocked();
    return static_cast<uint32_t>(m_buffer.size());
}

int SimVirtualDriver::openHandles() const
{
    std::lock_guard lock(m_mutex);
    return static_cast<int>(m_openDevices.size());
}

void SimVirtualDriver::clearRecord()
{
    std::lock_guard lock(m_mutex);
    m_written.clear();
    m_writeSizes.clear();
    m_formatsSet.clear();
    m_requestCounts.clear();
}

size_t SimVirtualDriver::takePlayed(uint8_t* out, size_t maxBytes)
{
    std::lock_guard lock(m_mutex);
    drainLocked();
    return m_played.pop(out, maxBytes);
}

size_t SimVirtualDriver::playedBytesAvailable()
{
    std::lock_guard lock(m_mutex);
    drainLocked();
    return m_played.size();
}

uint32_t SimVirtualDriver::bytesPerSecondLocked() const
{
    return m_wantedFormat.Format.nSamplesPerSec * m_wantedFormat.Format.nBlockAlign;
}

void SimVirtualDriver::restartDrainLocked()
{
    m_drainOriginNs = m_clock.nowNs();
    m_framesDrained = 0;
}

// Plays out the frames due since the last look: whole frames at the wanted
// rate, counted from an origin so that no rounding accumulates. A buffer
// that runs dry plays silence.
void SimVirtualDriver::drainLocked()
{
    const uint32_t rate = m_wantedFormat.Format.nSamplesPerSec;
    const uint32_t blockAlign = m_wantedFormat.Format.nBlockAlign;
    if (m_active == 0 || rate == 0 || blockAlign == 0) {
        restartDrainLocked();
        return;
    }
    const int64_t elapsedNs = m_clock.nowNs() - m_drainOriginNs;
    if (elapsedNs <= 0)
        return;
    const auto framesDue = static_cast<uint64_t>(static_cast<unsigned __int128>(elapsedNs) * rate / 1'000'000'000u);
    if (framesDue <= m_framesDrained)
        return;
    const uint64_t dueBytes64 = (framesDue - m_framesDrained) * blockAlign;
    m_framesDrained = framesDue;

    const uint64_t playedLimit = static_cast<uint64_t>(bytesPerSecondLocked()) * kPlayedLimitMs / 1000;
    const uint64_t dueBytes = std::min(dueBytes64, playedLimit);
    m_played.reserve(static_cast<size_t>(playedLimit)); // grows only for a larger format
    const size_t fromBuffer = m_buffer.moveTo(m_played, static_cast<size_t>(dueBytes));
    m_played.push(nullptr, static_cast<size_t>(dueBytes) - fromBuffer);
    if (m_played.size() > playedLimit)
        m_played.pop(nullptr, m_played.size() - static_cast<size_t>(playedLimit));
}

uint32_t SimVirtualDriver::takeFaultLocked(uint32_t code)
{
    const auto it = m_faults.find(code);
    if (it == m_faults.end())
        return 0;
    const uint32_t error = it->second.systemError;
    if (it->second.remaining > 0 && --it->second.remaining == 0)
        m_faults.erase(it);
    return error;
}

uint32_t SimVirtualDriver::open(const char* path, VadDeviceHandle* outDevice)
{
    std::lock_guard lock(m_mutex);
    *outDevice = nullptr;
    if (path == nullptr || std::strcmp(path, kVadControlDevicePath) != 0)
        return kVadSysErrorFileNotFound;
    if (m_openError != 0)
        return m_openError;
    const uintptr_t id = m_nextDevice++;
    m_openDevices.insert(id);
    *outDevice = reinterpret_cast<VadDeviceHandle>(id);
    return 0;
}

void SimVirtualDriver::close(VadDeviceHandle device)
{
    std::lock_guard lock(m_mutex);
    m_openDevices.erase(reinterpret_cast<uintptr_t>(device));
}

uint32_t SimVirtualDriver::ioControl(VadDeviceHandle device, uint32_t code, const void* in, uint32_t inBytes,
                                     void* out, uint32_t outBytes, uint32_t* returnedBytes)
{
    std::lock_guard lock(m_mutex);
    *returnedBytes = 0;
    if (m_openDevices.count(reinterpret_cast<uintptr_t>(device)) == 0)
        return kVadSysErrorInvalidHandle;
    if (!isKnownCode(code))
        return kErrorInvalidFunction;
    ++m_requestCounts[code];
    if (const uint32_t fault = takeFaultLocked(code))
        return fault;
    drainLocked();

    switch (code) {
    case IOCTL_VAD_AUDIO_GET_FORMAT:
        if (out == nullptr || outBytes < m_formatAnswerBytes)
            return kVadSysErrorInsufficientBuffer;
        std::memcpy(out, &m_wantedFormat, m_formatAnswerBytes);
        *returnedBytes = m_formatAnswerBytes;
        return 0;
    case IOCTL_VAD_AUDIO_SET_FORMAT: {
        if (in == nullptr || inBytes < kFormatRecordBytes)
            return kVadSysErrorInvalidParameter;
        WAVEFORMATEXTENSIBLE f;
        std::memcpy(&f, in, sizeof(f));
        m_formatsSet.push_back(f);
        return 0;
    }
    case IOCTL_VAD_AUDIO_GET_STATUS: {
        if (out == nullptr || outBytes < kStatusRecordBytes)
            return kVadSysErrorInsufficientBuffer;
        VadDriverStatusRecord record{};
        record.word0 = m_word0;
        record.word1 = m_word1;
        record.freeBytes = m_capacityBytes > m_buffer.size() ? m_capacityBytes - static_cast<uint32_t>(m_buffer.size())
                                                             : 0;
        record.active = m_active;
        std::memcpy(out, &record, sizeof(record));
        *returnedBytes = kStatusRecordBytes;
        return 0;
    }
    default:
        return handleWriteLocked(in, inBytes, out, outBytes, returnedBytes);
    }
}

uint32_t SimVirtualDriver::handleWriteLocked(const void* in, uint32_t inBytes, void* out, uint32_t outBytes,
                                             uint32_t* returnedBytes)
{
    if (in == nullptr || inBytes == 0)
        return kVadSysErrorInvalidParameter;
    const size_t freeBytes = m_capacityBytes > m_buffer.size() ? m_capacityBytes - m_buffer.size() : 0;
    if (inBytes > freeBytes)
        return kVadSysErrorInsufficientBuffer;
    const auto* bytes = static_cast<const uint8_t*>(in);
    m_buffer.push(bytes, inBytes);
    if (m_recordWrites) {
        m_written.insert(m_written.end(), bytes, bytes + inBytes);
        m_writeSizes.push_back(inBytes);
    }
    // The input has been read in full: the reply may now overwrite it.
    const uint32_t replyBytes = std::min(m_writeReplyBytes, outBytes);
    if (out != nullptr && replyBytes > 0) {
        std::memcpy(out, &m_writeReply, replyBytes);
        *returnedBytes = replyBytes;
    }
    return 0;
}

void SimByteRing::reserve(size_t capacity)
{
    if (capacity <= m_bytes.size())
        return;
    std::vector<uint8_t> bytes(capacity);
    const size_t kept = pop(bytes.data(), m_size);
    m_bytes.swap(bytes);
    m_head = 0;
    m_size = kept;
}

void SimByteRing::push(const uint8_t* data, size_t n)
{
    const size_t cap = m_bytes.size();
    if (cap == 0)
        return;
    if (n > cap) {
        if (data)
            data += n - cap;
        n = cap;
    }
    if (m_size + n > cap)
        pop(nullptr, m_size + n - cap);
    size_t at = (m_head + m_size) % cap;
    size_t done = 0;
    while (done < n) {
        const size_t run = std::min(n - done, cap - at);
        if (data)
            std::memcpy(m_bytes.data() + at, data + done, run);
        else
            std::memset(m_bytes.data() + at, 0, run);
        done += run;
        at = (at + run) % cap;
    }
    m_size += n;
}

template <class Take>
size_t SimByteRing::consume(size_t n, Take take)
{
    n = std::min(n, m_size);
    const size_t cap = m_bytes.size();
    size_t done = 0;
    while (done < n) {
        const size_t run = std::min(n - done, cap - m_head);
        take(m_bytes.data() + m_head, done, run);
        done += run;
        m_head = (m_head + run) % cap;
    }
    m_size -= n;
    if (m_size == 0)
        m_head = 0;
    return n;
}

size_t SimByteRing::pop(uint8_t* out, size_t n)
{
    return consume(n, [out](const uint8_t* data, size_t at, size_t run) {
        if (out)
            std::memcpy(out + at, data, run);
    });
}

size_t SimByteRing::moveTo(SimByteRing& other, size_t n)
{
    return consume(n, [&other](const uint8_t* data, size_t, size_t run) { other.push(data, run); });
}
