#pragma once
// Shared-mode audio streams on an endpoint (or on a process-loopback
// source), with their capture and render sides.
//
// Contract, as the audio code expects it:
// - initialize() once, with a format record followed in memory by its cbSize
//   extension bytes. Without AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM the format
//   must match the mix format; with it any valid PCM or float format is
//   accepted and converted.
// - With AUDCLNT_STREAMFLAGS_EVENTCALLBACK the event given to
//   setEventHandle() is set each time a period of data is ready (capture) or
//   a period of space is free (render); start() fails without one.
// - Every call on a stream whose endpoint has gone away returns
//   AUDCLNT_E_DEVICE_INVALIDATED, except stop() and reset(), which always
//   succeed so that clean-up paths run.
// - The capture side hands out whole packets: getBuffer() returns the next
//   packet (AUDCLNT_S_BUFFER_EMPTY when none), releaseBuffer() takes back
//   exactly that many frames (or 0 to keep it). The render side lends space
//   for at most bufferSize - padding frames; releaseBuffer() queues them.
// - Pointers from getBuffer() stay valid until the matching releaseBuffer().

#include "platform/os/Clock.h"
#include "platform/os/HResult.h"
#include "platform/os/WaveFormat.h"

#include <cstdint>
#include <memory>
#include <vector>

inline constexpr std::uint32_t AUDCLNT_STREAMFLAGS_LOOPBACK = 0x00020000;
inline constexpr std::uint32_t AUDCLNT_STREAMFLAGS_EVENTCALLBACK = 0x00040000;
inline constexpr std::uint32_t AUDCLNT_STREAMFLAGS_NOPERSIST = 0x00080000;
inline constexpr std::uint32_t AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY = 0x08000000;
inline constexpr std::uint32_t AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM = 0x80000000;

inline constexpr std::uint32_t AUDCLNT_BUFFERFLAGS_DATA_DISCONTINUITY = 0x1;
inline constexpr std::uint32_t AUDCLNT_BUFFERFLAGS_SILENT = 0x2;
inline constexpr std::uint32_t AUDCLNT_BUFFERFLAGS_TIMESTAMP_ERROR = 0x4;

namespace os {

enum class ShareMode { Shared, Exclusive };

class CaptureClient {
public:
    virtual ~CaptureClient() = default;
    // Frames in the next packet, 0 when none is ready.
    virtual HRESULT getNextPacketSize(std::uint32_t& frames) = 0;
    // Positions may be null. A packet flagged AUDCLNT_BUFFERFLAGS_SILENT must
    // be treated as silence whatever its bytes hold.
    virtual HRESULT getBuffer(std::uint8_t*& data, std::uint32_t& frames, std::uint32_t& flags,
                              std::uint64_t* devicePosition, std::uint64_t* counterPosition) = 0;
    virtual HRESULT releaseBuffer(std::uint32_t frames) = 0;
};

class RenderClient {
public:
    virtual ~RenderClient() = default;
    virtual HRESULT getBuffer(std::uint32_t frames, std::uint8_t*& data) = 0;
    // flags: 0 or AUDCLNT_BUFFERFLAGS_SILENT (the frames are queued as zeros).
    virtual HRESULT releaseBuffer(std::uint32_t frames, std::uint32_t flags) = 0;
};

class AudioClient {
public:
    virtual ~AudioClient() = default;
    virtual HRESULT initialize(ShareMode mode, std::uint32_t streamFlags, std::int64_t bufferDuration100ns,
                               std::int64_t periodicity100ns, const WAVEFORMATEX* format) = 0;
    // The engine's format: the base record and its cbSize extension bytes.
    virtual HRESULT getMixFormat(std::vector<std::uint8_t>& format) = 0;
    virtual HRESULT getBufferSize(std::uint32_t& frames) = 0;
    // Render: frames queued and not yet played. Capture: frames waiting.
    virtual HRESULT getCurrentPadding(std::uint32_t& frames) = 0;
    virtual HRESULT setEventHandle(std::shared_ptr<Event> event) = 0;
    virtual HRESULT start() = 0;
    // S_FALSE when it was not running.
    virtual HRESULT stop() = 0;
    virtual HRESULT reset() = 0;
    // AUDCLNT_E_WRONG_ENDPOINT_TYPE for the other direction.
    virtual HRESULT getCaptureClient(std::shared_ptr<CaptureClient>& out) = 0;
    virtual HRESULT getRenderClient(std::shared_ptr<RenderClient>& out) = 0;
};

} // namespace os
