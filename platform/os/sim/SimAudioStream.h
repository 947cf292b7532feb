#pragma once
// A simulated shared-mode stream: capture from an endpoint's signal, capture
// of a process-loopback mix, or render with recording. Its state is computed
// from the clock on every call, in whole 10 ms periods. Internal to the
// simulation.

#include "platform/os/AudioClient.h"
#include "platform/os/ProcessLoopback.h"
#include "platform/os/sim/SimWorldCore.h"

namespace os {

enum class SampleKind { Float32, UInt8, Int16, Int24, Int32 };

struct StreamFormat {
    WAVEFORMATEXTENSIBLE record{}; // extension zero when the caller gave none
    SampleKind kind = SampleKind::Float32;
    std::uint32_t sampleRate = 0;
    std::uint16_t channels = 0;
    std::uint16_t blockAlign = 0;
};

// Reads a caller's format record (base plus cbSize extension bytes);
// false when it does not describe PCM or float audio we can produce.
bool parseStreamFormat(const WAVEFORMATEX* format, StreamFormat& out);
// The same for a record held in a byte buffer of known size.
bool parseStreamFormat(const std::uint8_t* bytes, std::size_t size, StreamFormat& out);

class SimStream final : public AudioClient, public std::enable_shared_from_this<SimStream> {
public:
    enum class Kind { Capture, Render, Loopback };

    SimStream(std::shared_ptr<SimWorldCore> core, Kind kind, std::wstring endpointId, std::uint32_t endpointRate,
              std::uint16_t endpointChannels, AudioClientActivationParams loopback = {});

    HRESULT initialize(ShareMode mode, std::uint32_t streamFlags, std::int64_t bufferDuration100ns,
                       std::int64_t periodicity100ns, const WAVEFORMATEX* format) override;
    HRESULT getMixFormat(std::vector<std::uint8_t>& format) override;
    HRESULT getBufferSize(std::uint32_t& frames) override;
    HRESULT getCurrentPadding(std::uint32_t& frames) override;
    HRESULT setEventHandle(std::shared_ptr<Event> event) override;
    HRESULT start() override;
    HRESULT stop() override;
    HRESULT reset() override;
    HRESULT getCaptureClient(std::shared_ptr<CaptureClient>& out) override;
    HRESULT getRenderClient(std::shared_ptr<RenderClient>& out) override;

    HRESULT nextPacketSize(std::uint32_t& frames);
    HRESULT captureBuffer(std::uint8_t*& data, std::uint32_t& frames, std::uint32_t& flags,
                          std::uint64_t* devicePosition, std::uint64_t* counterPosition);
    HRESULT releaseCapture(std::uint32_t frames);
    HRESULT renderBuffer(std::uint32_t frames, std::uint8_t*& data);
    HRESULT releaseRender(std::uint32_t frames, std::uint32_t flags);

    const std::wstring& endpointId() const { return m_endpointId; }
    // The target its faults are aimed at: the endpoint, or the process whose
    // tree a loopback stream captures.
    const std::wstring& faultTarget() const { return m_faultTarget; }
    void invalidate() { m_invalidated.store(true, std::memory_order_release); }
    // From clock time atNs on the stream stops (no packets, no events, no
    // playing) without failing; a negative time ends the stall, and the
    // stream carries on from the clock as if it had run meanwhile.
    void setStall(std::int64_t atNs) { m_stallAtNs.store(atNs, std::memory_order_release); }
    // The stream's own clock runs this many parts per million fast (or slow).
    void setDriftPpm(std::int32_t ppm) { m_driftPpm.store(ppm, std::memory_order_release); }
    // Brings the stream up to the clock, sets its event when a period
    // passed, and returns when the next period ends (kNoDeadline when idle).
    std::int64_t catchUp();

private:
    // The checks most calls make before they act: the endpoint is still
    // there, then the operation's scripted fault.
    HRESULT checkLive(SimOp op);
    // The same after initialize, for calls that need it; m_mutex held.
    HRESULT checkReadyLocked(SimOp op);
    // Frames from the stream's start to the end of period k.
    std::uint64_t framesAt(std::uint64_t period) const;
    std::uint64_t elapsedPeriodsLocked(std::int64_t nowNs) const;
    // Clock time the stream has run, as its own clock counts it.
    std::int64_t runNsLocked(std::int64_t nowNs) const;
    // An event to set is handed to setLater when given (to be set once
    // m_mutex is released), else set at once.
    std::int64_t catchUpLocked(std::int64_t nowNs, std::shared_ptr<Event>* setLater = nullptr);
    void producePacketLocked(std::uint64_t firstFrame, std::uint32_t frames);
    void playLocked(std::uint64_t frames);
    bool isCapture() const { return m_kind != Kind::Render; }

    const std::shared_ptr<SimWorldCore> m_core;
    const Kind m_kind;
    const std::wstring m_endpointId;
    const std::uint32_t m_endpointRate;
    const std::uint16_t m_endpointChannels;
    const AudioClientActivationParams m_loopback;
    const std::wstring m_faultTarget;
    std::atomic<bool> m_invalidated{false}; // set by the world, read by every call
    std::atomic<std::int64_t> m_stallAtNs{-1}; // set by the world, read under m_mutex
    std::atomic<std::int32_t> m_driftPpm{0};   // set by the world, read under m_mutex

    std::mutex m_mutex; // guards everything below
    bool m_initialized = false;
    std::uint32_t m_flags = 0;
    StreamFormat m_format;
    std::uint32_t m_bufferFrames = 0;
    std::uint32_t m_maxPacketFrames = 0;
    std::shared_ptr<Event> m_event;
    bool m_running = false;
    std::int64_t m_startNs = 0;     // clock time of the last start
    std::int64_t m_runNs = 0;       // running time before the last start
    std::uint64_t m_signalled = 0;  // periods whose event was set
    // Capture side.
    std::uint64_t m_nextPacket = 0;
    bool m_held = false;
    std::uint32_t m_heldFrames = 0;
    StreamTransfer m_transfer;      // the buffer held now
    bool m_discontinuity = false;
    std::vector<std::uint8_t> m_packet;
    std::vector<float> m_mix;
    std::vector<float> m_scratch;
    // Render side: a ring of m_bufferFrames frames.
    std::uint64_t m_played = 0;     // periods consumed
    std::vector<std::uint8_t> m_ring;
    std::vector<std::uint8_t> m_staging;
    std::uint32_t m_readFrame = 0;
    std::uint32_t m_queued = 0;
    std::uint64_t m_handed = 0;     // frames handed to play since initialize
};

} // namespace os
