#pragma once
// A simulated operating system for the audio and system code: endpoints
// that can be added, removed, renamed, unplugged and made default; streams
// that run on the world's clock (capture streams deliver a signal in
// 10 ms packets, render streams consume at their rate and record what they
// played); processes with sessions, image paths, icons and signals, which
// process-loopback streams mix by process tree; work queues; the policy
// object; and fault injection.
//
// Threads: one service thread delivers endpoint notifications and loopback
// activation completions, and sets the events of running streams at each
// period. With a ManualClock nothing moves until the test advances the
// clock; stream calls compute their state from the clock, so a test can
// drive a stream directly without any thread.
//
// The clock must outlive every Event made on it; the world and the objects
// it hands out keep it alive through the shared pointer.

#include "platform/os/OsPlatform.h"
#include "platform/os/AudioSessions.h"
#include "platform/os/WaveFormat.h"
#include "platform/os/sim/Signal.h"
#include "platform/os/sim/SimFaults.h"
#include "platform/os/sim/SimSystem.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace os {

class SimWorkQueues;
struct SimWorldCore;

struct SimEndpointSpec {
    std::wstring name{};
    DataFlow flow = DataFlow::Render;
    std::uint32_t sampleRate = 48000;
    std::uint16_t channels = 2;
    std::uint16_t deviceBits = 24; // sample size of the device format property
    bool physical = true;          // has jack connectors
    std::uint32_t state = DEVICE_STATE_ACTIVE;
    std::wstring id{};             // made up when empty
};

struct SimProcessSpec {
    std::uint32_t processId = 0;
    std::uint32_t parentId = 0;
    std::wstring imagePath{}; // empty: the path cannot be read
    std::wstring displayName{}; // of its sessions
    std::uint32_t sessions = 1;
    AudioSessionState sessionState = AudioSessionState::Active;
    Signal signal{};          // heard through process loopback while its session is active
};

// What render streams of an endpoint played: the bytes exactly as written,
// in the format of the stream that wrote them.
struct SimRecording {
    WAVEFORMATEXTENSIBLE format{};
    std::vector<std::uint8_t> bytes;
    std::uint64_t underrunFrames = 0; // periods the stream could not fill
    std::uint64_t droppedFrames = 0;  // beyond the recording limit
};

// Sees every block that a render endpoint plays, on the thread that made
// the stream advance. Must not call back into the world.
class RenderSink {
public:
    virtual ~RenderSink() = default;
    virtual void rendered(const std::wstring& endpointId, const WAVEFORMATEXTENSIBLE& format, const std::uint8_t* data,
                          std::uint32_t frames) = 0;
};

// A buffer passed between the program and a stream: a capture packet taken
// then released, or a render block got then released. begin and end number
// the two calls in one order across all streams of the world, so which
// buffer certainly went before which holds on any clock.
struct StreamTransfer {
    bool render = false;
    std::uint32_t loopbackProcessId = 0; // target of a process-loopback capture, else 0
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
    std::uint64_t firstFrame = 0; // capture: of the stream's signal; render: of all the stream was handed
    std::uint32_t frames = 0;
};

// Sees each transfer once it is released, on the program's thread, under
// the stream's lock. Must not call back into the world.
class TransferObserver {
public:
    virtual ~TransferObserver() = default;
    virtual void transferred(const std::wstring& endpointId, const StreamTransfer& transfer) = 0;
};

class SimAudioWorld final : public OsPlatform {
public:
    static constexpr std::int64_t kPeriodNs = 10'000'000; // the engine's period

    explicit SimAudioWorld(std::shared_ptr<Clock> clock = std::make_shared<RealClock>());
    ~SimAudioWorld() override;
    SimAudioWorld(const SimAudioWorld&) = delete;
    SimAudioWorld& operator=(const SimAudioWorld&) = delete;

    // Endpoints. Each change is notified on the service thread; an endpoint
    // that leaves the active state, is removed or changes format invalidates
    // its open streams. The first active endpoint of a flow becomes its
    // default for every role, and a default that goes away passes to the
    // next active endpoint of the flow.
    std::wstring addEndpoint(const SimEndpointSpec& spec);
    bool removeEndpoint(const std::wstring& id);
    bool renameEndpoint(const std::wstring& id, const std::wstring& name);
    bool setEndpointState(const std::wstring& id, std::uint32_t state);
    bool unplugEndpoint(const std::wstring& id) { return setEndpointState(id, DEVICE_STATE_UNPLUGGED); }
    bool plugEndpoint(const std::wstring& id) { return setEndpointState(id, DEVICE_STATE_ACTIVE); }
    bool setDefaultEndpoint(const std::wstring& id, Role role);
    bool setDefaultEndpoint(const std::wstring& id); // every role
    std::wstring defaultEndpointId(DataFlow flow, Role role) const;
    // First endpoint with exactly this friendly name, empty when none.
    std::wstring findEndpointId(const std::wstring& name) const;
    // Open streams fail from their next call on; the endpoint itself stays.
    bool invalidateEndpoint(const std::wstring& id);

    // What a capture endpoint hears.
    bool setEndpointSignal(const std::wstring& id, Signal signal);
    // The next `packets` capture packets of the endpoint (or, with
    // kProcessLoopbackDevicePath, of loopback streams) carry the silent
    // flag; their bytes still hold the signal, so a reader that ignores the
    // flag is caught.
    void setSilentPackets(const std::wstring& id, int packets);
    // getMixFormat() of the endpoint's streams fails with code (S_OK undoes).
    bool refuseMixFormat(const std::wstring& id, HRESULT code = E_NOTIMPL);
    // Mix format of loopback streams; empty (the default) refuses with
    // E_NOTIMPL as the real stream does. The record may claim any extension.
    void setLoopbackMixFormat(std::vector<std::uint8_t> format);

    SimRecording recording(const std::wstring& id) const;
    void clearRecording(const std::wstring& id);
    void setRecordingLimitBytes(std::size_t bytes);
    bool setRenderSink(const std::wstring& id, std::shared_ptr<RenderSink> sink);
    void setTransferObserver(std::shared_ptr<TransferObserver> observer);

    // Processes and their sessions (listed on the default console render
    // endpoint, in the order the processes were added).
    void addProcess(const SimProcessSpec& spec);
    bool removeProcess(std::uint32_t processId);
    bool setSessionState(std::uint32_t processId, AudioSessionState state);
    bool setProcessSignal(std::uint32_t processId, Signal signal);
    void setProgramIcon(const std::wstring& imagePath, IconImage icon);
    // Version information of a program file (either separator names the
    // same file); an empty list removes it, so reading it fails.
    void setVersionStrings(const std::wstring& path, std::vector<VersionStrings> blocks);
    // What applicationFolders() lists; none unless set.
    void setApplicationFolders(std::vector<std::wstring> folders);

    // Loopback activations for one target process: held ones complete only
    // once released; delayed ones a set time (world clock) after the call.
    // Failing one process: faults().failNextFor(SimOp::ProcessLoopbackResult,
    // SimFaults::processTarget(pid), code).
    void holdActivations(std::uint32_t processId, bool hold);
    void delayActivations(std::uint32_t processId, std::int64_t delayMs);
    // The endpoint's streams stop delivering (no packets, no events, no
    // playing) without being invalidated, until the stall ends.
    bool stallEndpoint(const std::wstring& id, bool stalled);
    // The endpoint's streams run on a clock off by ppm parts per million.
    bool setEndpointDriftPpm(const std::wstring& id, std::int32_t ppm);

    // Device-format writes through the policy object. Held writes wait,
    // before anything else happens to them, until the test lets them go one
    // at a time; the waits are in real time, so the test can act while a
    // write is under way. Turning the hold off lets every waiting write go.
    // An endpoint's writes can instead report success and change nothing.
    // A write refused as in use: failNext(SimOp::SetDeviceFormat,
    // AUDCLNT_E_DEVICE_IN_USE), or failNextFor with the endpoint id.
    void holdDeviceFormatWrites(bool hold);
    // Waits until this many writes are held; false after timeoutMs.
    bool waitForHeldDeviceFormatWrites(std::size_t count, std::int64_t timeoutMs);
    // Lets one held write go on and returns once it has left the hold;
    // false when none is waiting.
    bool releaseDeviceFormatWrite();
    bool ignoreDeviceFormatWrites(const std::wstring& id, bool ignore);
    // The endpoint's device-format blob as stored; empty for an unknown id.
    std::vector<std::uint8_t> deviceFormat(const std::wstring& id) const;

    SimFaults& faults();
    void failNext(SimOp op, HRESULT code, int count = 1);

    // Waits (real time) until every queued notification and activation has
    // been delivered. Not from the service thread.
    void flushNotifications();
    // Streams not yet released.
    std::size_t openStreams() const;
    SimWorkQueues& simWorkQueues();

    // OsPlatform
    Clock& clock() override;
    WorkQueues& workQueues() override;
    HRESULT createEndpointEnumerator(std::shared_ptr<EndpointEnumerator>& out) override;
    HRESULT activateAudioInterfaceAsync(const std::wstring& devicePath, const AudioClientActivationParams& params,
                                        std::shared_ptr<ActivationCompletionHandler> handler,
                                        std::shared_ptr<ActivationOperation>& operation) override;
    HRESULT createPolicyConfig(PolicyConfigClass policyClass, std::shared_ptr<PolicyConfig>& out) override;
    HRESULT processImagePath(std::uint32_t processId, std::wstring& path) override;
    HRESULT extractIcon(const std::wstring& imagePath, IconImage& icon) override;
    HRESULT fileVersionStrings(const std::wstring& path, std::vector<VersionStrings>& out) override;
    std::vector<std::wstring> applicationFolders() override;
    MicrophonePermission& microphonePermission() override { return m_permission; }
    KeyInjector& keyInjector() override { return m_keys; }
    PowerEvents& powerEvents() override { return m_power; }

    // Desktop services: the permission is granted unless scripted, keys are
    // recorded, power and session events are fired by the test.
    SimMicrophonePermission& simPermission() { return m_permission; }
    SimKeyInjector& simKeys() { return m_keys; }
    SimPowerEvents& simPowerEvents() { return m_power; }

private:
    void serviceLoop();

    std::shared_ptr<SimWorldCore> m_core;
    std::unique_ptr<SimWorkQueues> m_queues;
    std::thread m_service;
    SimMicrophonePermission m_permission;
    SimKeyInjector m_keys;
    SimPowerEvents m_power;
};

} // namespace os
