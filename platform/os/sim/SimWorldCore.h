#pragma once
// State of a SimAudioWorld shared with the objects it hands out, so that an
// endpoint or stream kept past the world's end stays safe (its calls then
// fail). Internal to the simulation.

#include "platform/os/sim/SimAudioWorld.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>

namespace os {

class SimStream;

struct SimEndpointRecord {
    std::wstring id;
    std::wstring name;
    DataFlow flow = DataFlow::Render;
    std::uint32_t state = DEVICE_STATE_ACTIVE;
    std::uint32_t sampleRate = 48000;
    std::uint16_t channels = 2;
    bool physical = true;
    std::vector<std::uint8_t> deviceFormat;
    Signal signal;
    HRESULT mixFormatRefusal = S_OK;
    bool ignoreFormatWrites = false; // device-format writes succeed and change nothing
    std::int64_t stallAtNs = -1; // clock time its streams stalled, -1 when running
    std::int32_t driftPpm = 0;
    std::shared_ptr<RenderSink> sink;
    SimRecording recording;
};

// Lock order: a stream's own mutex, then SimWorldCore::mutex, then
// taskMutex. The notification dispatch mutex is taken only by the service
// thread (and briefly by unregistration), never under the others. Setting
// an event takes the clock's mutex last; under the clock's mutex only the
// work queues' own mutex is ever taken.
struct SimWorldCore {
    explicit SimWorldCore(std::shared_ptr<Clock> worldClock);

    std::shared_ptr<Clock> clock;
    SimFaults faults;

    mutable std::mutex mutex;                   // guards the state below
    std::vector<SimEndpointRecord> endpoints;   // in order of appearance
    std::wstring defaults[2][3];                // [flow][role]
    std::vector<SimProcessSpec> processes;
    std::map<std::wstring, IconImage> icons;
    std::map<std::wstring, std::vector<VersionStrings>> versionStrings; // by path, backslash separated
    std::vector<std::wstring> applicationFolders;
    std::vector<std::uint8_t> loopbackMixFormat;
    std::map<std::wstring, int> silentPackets; // by endpoint id or the loopback path
    std::vector<std::weak_ptr<SimStream>> streams;
    // Activations held back or delayed per target process.
    struct PendingActivation {
        std::uint32_t processId;
        std::int64_t dueNs;
        std::function<void()> complete;
    };
    std::vector<PendingActivation> pendingActivations;
    std::set<std::uint32_t> heldActivations;
    std::map<std::uint32_t, std::int64_t> activationDelayNs;
    std::size_t recordingLimitBytes = 32u << 20;
    std::shared_ptr<TransferObserver> transferObserver;
    std::uint32_t nextEndpointNumber = 1;
    bool closed = false;                        // the world has ended

    // Service thread work.
    std::mutex taskMutex;                       // guards tasks, taskRunning
    std::condition_variable tasksDone;          // with taskMutex
    std::deque<std::function<void()>> tasks;
    bool taskRunning = false;
    std::atomic<bool> serviceWake{false};
    WaitChannel serviceChannel;                 // the service thread's own wait
    std::atomic<bool> serviceStop{false};
    std::atomic<std::thread::id> serviceThreadId{};

    // Held device-format writes; never taken under another lock of the core.
    std::mutex formatWriteMutex;                // guards the three below
    std::condition_variable formatWriteChanged; // with formatWriteMutex
    bool holdFormatWrites = false;
    std::size_t heldFormatWrites = 0;           // writes waiting now
    std::size_t formatWritePasses = 0;          // releases not yet taken by a waiting write
    // Blocks a device-format write while writes are held.
    void waitWhileFormatWriteHeld();

    std::mutex notifyMutex;                     // guards notifyClients
    std::vector<std::shared_ptr<EndpointNotificationClient>> notifyClients;
    std::mutex dispatchMutex;                   // held while a task runs

    SimEndpointRecord* findLocked(const std::wstring& id);
    void post(std::function<void()> task);
    void notify(std::function<void(EndpointNotificationClient&)> call);
    void wakeService();
    // Marks the open streams of an endpoint invalid.
    void invalidateStreamsLocked(const std::wstring& endpointId);
    // Keeps defaults pointing at active endpoints; notifies each change.
    void refreshDefaultsLocked(DataFlow flow);
    void setDefaultLocked(DataFlow flow, Role role, const std::wstring& id);

    // Used by streams.
    void renderEndpointSignal(const std::wstring& id, std::uint64_t firstFrame, std::uint32_t frames,
                              std::uint32_t channels, std::uint32_t sampleRate, float* out);
    void renderLoopback(const AudioClientActivationParams& params, std::uint64_t firstFrame, std::uint32_t frames,
                        std::uint32_t channels, std::uint32_t sampleRate, float* mix, float* scratch);
    bool takeSilentPacket(const std::wstring& id);
    bool heardInLoopbackLocked(const AudioClientActivationParams& params, const SimProcessSpec& p) const;
    bool loopbackAudible(const AudioClientActivationParams& params);
    // Posts the completions whose time has come and whose process is not
    // held; returns when the next one is due. Service thread.
    std::int64_t releaseDueActivations();
    void appendRendered(const std::wstring& id, const WAVEFORMATEXTENSIBLE& format, const std::uint8_t* data,
                        std::uint32_t frames);
    void addUnderrun(const std::wstring& id, std::uint64_t frames);
    // The next number of the world's call order. One read-modify-write
    // chain: a call numbered lower happened before one numbered higher.
    std::uint64_t nextCall() { return callOrder.fetch_add(1, std::memory_order_acq_rel) + 1; }
    void transferred(const std::wstring& endpointId, const StreamTransfer& transfer);
    std::atomic<std::uint64_t> callOrder{0};
};

std::vector<std::uint8_t> makeDeviceFormat(std::uint32_t sampleRate, std::uint16_t channels, std::uint16_t bits,
                                           bool isFloat);

} // namespace os
