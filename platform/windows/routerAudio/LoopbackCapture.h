#pragma once
// Per-application audio: CLoopbackCapture captures what one process tree
// plays through the platform's process-loopback stream and pushes every
// packet into the mixer under the process id; AudioRouterAPI turns the
// mixer page's routing list into running captures and routing records,
// reports levels every 50 ms and follows the default playback endpoint.
//
// A capture is shared-owned: every queued work item and armed wait holds a
// reference to it (aliasing shared_ptrs of its callback members), so it
// lives until the last of them has run. Its audio work runs on the
// platform's work queues, its activation completes on a platform thread.

#include "platform/os/AudioClient.h"
#include "platform/os/Clock.h"
#include "platform/os/OsPlatform.h"
#include "platform/os/WaveFormat.h"
#include "platform/windows/routerAudio/AudioRouteConfig.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class Mixer;

enum class CaptureState : uint32_t {
    Created = 0,
    Failed = 1,
    Initialized = 2,
    Starting = 3,
    Capturing = 4,
    Stopping = 5,
    Stopped = 6,
};

class CLoopbackCapture final : public os::ActivationCompletionHandler,
                               public std::enable_shared_from_this<CLoopbackCapture> {
public:
    // Activation and stop waits end after this long on the platform clock.
    static constexpr int64_t kWaitTimeoutMs = 5000;
    static constexpr uint16_t kMaxFormatExtensionBytes = 22;

    static std::shared_ptr<CLoopbackCapture> create(std::shared_ptr<os::OsPlatform> platform, Mixer &mixer);
    static std::shared_ptr<CLoopbackCapture> create();
    ~CLoopbackCapture() override;

    HRESULT StartCapture(uint32_t processId, bool includeProcessTree);
    HRESULT StopCapture();
    // ActivateCompleted: the platform's thread.
    HRESULT activateCompleted(os::ActivationOperation &operation) override;

    CaptureState state() const { return m_state.load(std::memory_order_acquire); }
    uint32_t processId() const { return m_processId; }
    // Set before StartCapture (100-ns units).
    void setBufferDuration(int64_t duration100ns) { m_bufferDuration = duration100ns; }
    // The stream format with its extension (cbSize bytes follow the record).
    const WAVEFORMATEX &captureFormat() const { return m_captureFormat.format; }

private:
    // One work-queue entry point; AddRef/Release of the platform are the
    // capture's own count through the aliasing shared_ptr.
    class Callback final : public os::AsyncCallback {
    public:
        Callback(CLoopbackCapture &capture, void (CLoopbackCapture::*handler)())
            : m_capture(capture)
            , m_handler(handler)
        {
        }
        uint32_t queueId() const override { return m_queueId; }
        void invoke() override { (m_capture.*m_handler)(); }
        uint32_t m_queueId = os::kMultithreadedQueue; // set before the first use
    private:
        CLoopbackCapture &m_capture;
        void (CLoopbackCapture::*m_handler)();
    };

    CLoopbackCapture(std::shared_ptr<os::OsPlatform> platform, Mixer &mixer);
    std::shared_ptr<os::AsyncCallback> shared(Callback &callback);

    HRESULT PrepareCapture();
    HRESULT ActivateAudioClient(uint32_t processId, bool includeProcessTree);
    HRESULT activationBody(os::ActivationOperation &operation);
    void HandleStartCapture();
    void HandleStopCapture();
    void HandleSampleReady();
    void HandleFinishCapture();
    HRESULT DrainCaptureBuffer(os::CaptureClient &capture);
    // Arms the sample-ready wait; criticalSection held.
    void armSampleReadyLocked();
    void log(const std::string &line) const;

    const std::shared_ptr<os::OsPlatform> m_platform;
    os::Clock &m_clock;
    Mixer &m_mixer;

    Callback m_callbackStartCapture{*this, &CLoopbackCapture::HandleStartCapture};
    Callback m_callbackStopCapture{*this, &CLoopbackCapture::HandleStopCapture};
    Callback m_callbackSampleReady{*this, &CLoopbackCapture::HandleSampleReady};
    Callback m_callbackFinishCapture{*this, &CLoopbackCapture::HandleFinishCapture};

    // Written by the activation (platform thread) before activateCompleted is
    // set; read afterwards by the caller and the queue steps; released by the
    // finish step (or a late completion) under m_criticalSection.
    std::shared_ptr<os::AudioClient> m_audioClient;
    struct {
        WAVEFORMATEX format{};
        uint8_t extension[kMaxFormatExtensionBytes]{};
    } m_captureFormat;
    static_assert(sizeof(m_captureFormat) == sizeof(WAVEFORMATEX) + kMaxFormatExtensionBytes);
    uint32_t m_bufferFrames = 0;
    std::shared_ptr<os::CaptureClient> m_captureClient;
    std::vector<uint8_t> m_silence; // zeros for packets flagged silent; sized at activation

    // The drain's start and end (never held across the drain or the push);
    // the stop step's cancel and release; the finish step's release of the
    // stream. A plain mutex of the capture's own: an audio thread waits
    // behind it only for another step's short turn.
    std::mutex m_criticalSection;
    std::condition_variable m_drainDone; // with m_criticalSection
    bool m_draining = false;             // guarded by m_criticalSection
    std::shared_ptr<os::AsyncCallback> m_sampleReadyResult; // guarded by m_criticalSection
    uint64_t m_sampleReadyKey = 0;                        // guarded by m_criticalSection
    std::shared_ptr<os::Event> m_sampleReadyEvent;

    uint32_t m_queueId = 0;                   // the locked "Capture" queue, 0 when none
    int64_t m_bufferDuration = 500000;
    std::atomic<HRESULT> m_activateResult{E_UNEXPECTED};
    std::atomic<CaptureState> m_state{CaptureState::Created};
    std::mutex m_activationMutex;             // the handshake of a late completion with a timed-out start
    bool m_activationAbandoned = false;       // guarded by m_activationMutex: the caller gave up waiting
    os::Event m_activateCompleted;
    os::Event m_captureStopped;
    os::Event m_startSettled;                 // manual reset: the start step has run
    uint32_t m_processId = 0;
};

struct AudioLevelInfo {
    uint32_t sourceId = 0;
    float left = 0.0f;
    float right = 0.0f;
};

namespace AudioRouterAPI {

using LevelCallback = std::function<void(const std::vector<AudioLevelInfo> &)>;

inline constexpr int64_t kCaptureBufferMs = 20;

bool Initialize();
void SetLevelCallback(LevelCallback callback);
bool UpdateConfigs(const std::vector<AudioRouteConfig> &configs);
void Shutdown();
bool IsRunning();

// The two threads' bodies, one pass each (the threads loop over them on the
// platform clock).
void endpointMonitorTick();
void levelReportTick();

// Running captures by process id (tests).
std::vector<uint32_t> captureIds();
// The next Initialize meets this apartment answer instead of its own (tests:
// our apartments on this platform never refuse).
void failNextInitialize(HRESULT result);

} // namespace AudioRouterAPI

bool isVirtualOutputDefault();
std::wstring endpointFriendlyName(os::AudioEndpoint &device);
