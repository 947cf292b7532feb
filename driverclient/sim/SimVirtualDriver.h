#pragma once
// A simulated virtual audio driver behind the driver client's control-device
// seam, for tests and the demonstration. It reports a wanted format and a
// status, keeps a buffer of fixed capacity that drains at the wanted
// format's byte rate on its clock, records every byte written to it, and
// fails any request on demand. What drains is what its capture endpoint
// plays back.

#include "driverclient/NUVEXAudio.h"
#include "platform/os/Clock.h"

#include <cstdint>
#include <map>
#include <mutex>
#include <set>
#include <vector>

// A byte queue in a buffer that only grows when asked: pushing and popping
// never allocate, so an audio thread may write to the driver.
class SimByteRing {
public:
    // Makes room for at least this many bytes, keeping what is queued.
    void reserve(size_t capacity);
    size_t size() const { return m_size; }
    size_t capacity() const { return m_bytes.size(); }
    // Appends n bytes (zeros when data is null); what does not fit pushes
    // the oldest bytes out.
    void push(const uint8_t* data, size_t n);
    // Takes up to n of the oldest bytes into out (dropped when out is null).
    size_t pop(uint8_t* out, size_t n);
    // Moves up to n bytes from the front of this ring to the back of another.
    size_t moveTo(SimByteRing& other, size_t n);

private:
    // Hands up to n of the oldest bytes to take(data, offset, run), in at most two
    // runs, and drops them from the ring.
    template <class Take>
    size_t consume(size_t n, Take take);

    std::vector<uint8_t> m_bytes;
    size_t m_head = 0;
    size_t m_size = 0;
};

class SimVirtualDriver final : public VadControlDevice {
public:
    static constexpr uint32_t kDefaultCapacityBytes = 38400; // 100 ms of the default format
    static constexpr uint32_t kFormatRecordBytes = sizeof(WAVEFORMATEXTENSIBLE);
    static constexpr uint32_t kStatusRecordBytes = sizeof(VadDriverStatusRecord);
    static constexpr uint32_t kErrorInvalidFunction = 1;

    explicit SimVirtualDriver(os::Clock& clock);
    ~SimVirtualDriver() override;
    SimVirtualDriver(const SimVirtualDriver&) = delete;
    SimVirtualDriver& operator=(const SimVirtualDriver&) = delete;

    // Puts this driver behind the library, or takes it away again.
    void install();
    void uninstall();

    // 48000 Hz, 2 channels, 32-bit integer PCM, channel mask 3.
    static WAVEFORMATEXTENSIBLE defaultFormat();
    static WAVEFORMATEXTENSIBLE makeFormat(uint32_t sampleRate, uint16_t channels, uint16_t bitsPerSample,
                                           bool isFloat);

    // --- What the driver reports -----------------------------------------
    void setWantedFormat(const WAVEFORMATEXTENSIBLE& format);
    WAVEFORMATEXTENSIBLE wantedFormat() const;
    // How many bytes of the format record GET_FORMAT returns (at most 40).
    void setFormatAnswerBytes(uint32_t bytes);
    void setStatusWords(uint32_t word0, uint32_t word1);
    // The status byte: 0 while the stream is stopped; the buffer drains only
    // while it is non-zero.
    void setActiveByte(uint8_t active);
    void setCapacityBytes(uint32_t bytes);
    // The write reply value and how many of its 4 bytes are returned.
    void setWriteReply(int32_t reply, uint32_t replyBytes = kVadWriteReplyBytes);

    // --- Faults ------------------------------------------------------------
    // Open fails with this system error number (0: opens normally).
    void setOpenError(uint32_t systemError);
    // The next count requests with this control code fail with systemError
    // (count < 0: until cleared with systemError 0).
    void failRequest(uint32_t ioControlCode, uint32_t systemError, int count = -1);

    // --- What happened -----------------------------------------------------
    // Off by default: a copy of every write grows without limit in a
    // long-running program. Tests that read the record turn it on.
    void setRecordWrites(bool record);
    std::vector<uint8_t> writtenBytes() const;     // every byte of every accepted write
    std::vector<uint32_t> writeSizes() const;      // byte count of every accepted write
    std::vector<WAVEFORMATEXTENSIBLE> formatsSet() const;
    uint32_t requestCount(uint32_t ioControlCode) const;
    uint32_t fillBytes();                          // after draining to now
    int openHandles() const;
    void clearRecord();
    // Takes up to maxBytes of what the buffer has played out, oldest first,
    // in the wanted format; underruns were filled with silence.
    size_t takePlayed(uint8_t* out, size_t maxBytes);
    size_t playedBytesAvailable();

    // --- VadControlDevice --------------------------------------------------
    uint32_t open(const char* path, VadDeviceHandle* outDevice) override;
    uint32_t ioControl(VadDeviceHandle device, uint32_t code, const void* in, uint32_t inBytes,
                       void* out, uint32_t outBytes, uint32_t* returnedBytes) override;
    void close(VadDeviceHandle device) override;

private:
    struct Fault {
        uint32_t systemError = 0;
        int remaining = 0; // < 0: persistent
    };

    void drainLocked();
    void restartDrainLocked();
    uint32_t takeFaultLocked(uint32_t code);
    uint32_t bytesPerSecondLocked() const;
    uint32_t handleWriteLocked(const void* in, uint32_t inBytes, void* out, uint32_t outBytes,
                               uint32_t* returnedBytes);

    os::Clock& m_clock;
    mutable std::mutex m_mutex; // guards every member below
    WAVEFORMATEXTENSIBLE m_wantedFormat;
    uint32_t m_formatAnswerBytes = kFormatRecordBytes;
    uint32_t m_word0 = 0;
    uint32_t m_word1 = 0;
    uint8_t m_active = 1;
    uint32_t m_capacityBytes = kDefaultCapacityBytes;
    int32_t m_writeReply = 0;
    uint32_t m_writeReplyBytes = kVadWriteReplyBytes;
    uint32_t m_openError = 0;
    std::map<uint32_t, Fault> m_faults;
    std::map<uint32_t, uint32_t> m_requestCounts;

    SimByteRing m_buffer;  // written, not yet played
    SimByteRing m_played;  // played out, waiting for the capture side (bounded)
    int64_t m_drainOriginNs = 0;   // clock time from which frames are counted
    uint64_t m_framesDrained = 0;  // frames played since m_drainOriginNs

    bool m_recordWrites = false;
    std::vector<uint8_t> m_written;
    std::vector<uint32_t> m_writeSizes;
    std::vector<WAVEFORMATEXTENSIBLE> m_formatsSet;

    std::set<uintptr_t> m_openDevices;
    uintptr_t m_nextDevice = 0x1000;
};
