#pragma once
// The microphone router: one capture thread per microphone unit, each
// pushing its endpoint's blocks into the mixer under the unit's index, and
// one monitor ("solo") thread rendering the mixer's monitor mix to the
// output endpoint. Every stream uses one fixed format (48 kHz float stereo)
// and leaves conversion to the audio engine.
//
// Start, Stop and Restart are serialised by a lifecycle lock held for their
// whole run; `mutex` guards the configuration, the units and the output
// name, and is never held while a thread is joined. Capture, solo and reaper
// threads take neither lock but `mutex` for the output name (solo only).

#include "platform/os/AudioClient.h"
#include "platform/os/AudioEndpoints.h"
#include "platform/os/OsPlatform.h"
#include "platform/os/RealtimeGuard.h"
#include "platform/os/WaveFormat.h"
#include "platform/windows/routerAudio/AudioRouterConfig.h"

#include <atomic>
#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class Mixer;
class WinMicRouter;

using MicBlockCallback = void (*)(float *samples, int channels, int frames, double sampleRate);

WAVEFORMATEX makeMixFormat();
// Invalid UTF-8 becomes U+FFFD, never a failure.
std::wstring utf8ToWide(const std::string &text);
std::wstring toLowerWide(const std::wstring &text);
std::wstring getFriendlyName(os::AudioEndpoint &device);
// The first active endpoint of the flow whose lowered friendly name holds
// the lowered name; null for an empty name or a missing enumerator.
std::shared_ptr<os::AudioEndpoint> findEndpointByName(os::EndpointEnumerator *enumerator, os::DataFlow flow,
                                                      const std::wstring &name);
// Sleeps on the clock in slices of at most 20 ms while the flag holds.
void waitWhileRunning(os::Clock &clock, const std::atomic<bool> &running, int64_t ms);

struct MicUnit {
    std::string name;
    uint32_t requestedChannels = 0;
    int32_t index = -1;
    std::wstring endpointName; // the capture thread's own; log lines only
    std::thread thread;
    std::atomic<bool> running{false};
    WinMicRouter *router = nullptr;

    // One step of the capture thread: search and open a stream when there is
    // none, else one wait on its event and the drain that follows.
    void pumpOnce();
    // Searches for the endpoint and starts a stream on it; pauses on failure.
    void openStream();
    // One wait on the stream's event; true when packets are there to drain.
    // Now and then asks a quiet stream directly whether it still lives.
    bool packetsWaiting();
    // Hands every waiting packet to the mixer (and source 0's to the level
    // callback) until none is left or the stream is invalidated.
    void drainPackets();
    // Ends the open stream (log line, mixer source emptied).
    void closeStream();

    // The capture thread's stream state.
    std::shared_ptr<os::EndpointEnumerator> enumerator;
    std::shared_ptr<os::AudioClient> client;
    std::shared_ptr<os::CaptureClient> capture;
    std::shared_ptr<os::Event> event;
    bool invalidated = false;
    int misses = 0;
    std::vector<uint8_t> zeros; // silent packets; grows only
};

class WinMicRouter {
public:
    static constexpr int64_t kBufferDuration100ns = 200000;
    static constexpr uint32_t kStreamFlags = AUDCLNT_STREAMFLAGS_EVENTCALLBACK | AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY
                                             | AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM;

    WinMicRouter();
    WinMicRouter(std::shared_ptr<os::OsPlatform> platform, Mixer &mixer);
    ~WinMicRouter();
    WinMicRouter(const WinMicRouter &) = delete;
    WinMicRouter &operator=(const WinMicRouter &) = delete;

    bool Start(const AudioRouterConfig &config);
    void Stop();
    bool Restart();
    bool AddInputDevice(const std::string &name, uint32_t requestedChannels, int32_t index);
    bool RemoveInputDevice(const std::string &name);
    bool SetLevelCallback(MicBlockCallback callback);
    bool IsRunning() const { return m_running.load(); }
    std::vector<InputDeviceEntry> GetInputDevices();
    bool SetOutputDevice(const std::string &name);
    std::string GetOutputDevice();

    // Reapers not yet joined (tests).
    size_t retiredThreadCount();

    // The monitor thread's state and step.
    struct SoloOutput {
        WinMicRouter &router;
        std::shared_ptr<os::EndpointEnumerator> enumerator;
        std::wstring searchName;
        std::shared_ptr<os::AudioClient> client;
        std::shared_ptr<os::RenderClient> render;
        std::shared_ptr<os::Event> event;
        uint32_t bufferFrames = 0;
        bool invalidated = false;
        void pumpOnce();
        // Searches for the output named now and starts a stream on it;
        // pauses on failure.
        void openStream();
        // One wait on the event, then the free part of the device's buffer
        // filled from the monitor mix.
        void renderOnce();
        void closeStream();
    };

private:
    friend struct MicUnit;
    struct Reaper {
        std::thread thread;
        std::shared_ptr<std::atomic<bool>> done;
    };

    void startUnitLocked(std::unique_ptr<MicUnit> unit);
    void retireUnit(std::unique_ptr<MicUnit> unit);
    void pruneRetiredLocked();
    void joinRetiredThreads();
    void startSolo();
    void stopSolo();
    void soloOutputThread();
    void micCaptureThread(MicUnit &unit);
    void stopLocked(std::unique_lock<std::mutex> &lifecycle);
    bool startLocked(const AudioRouterConfig &config);
    void log(const std::string &line) const;

    const std::shared_ptr<os::OsPlatform> m_platform;
    os::Clock &m_clock;
    Mixer &m_mixer;

    std::mutex m_lifecycle;                      // Start, Stop, Restart for their whole run
    os::AudioMutex mutex;                        // config, units, outputName, transitions of running
    AudioRouterConfig config;                    // guarded by mutex
    std::list<std::unique_ptr<MicUnit>> units;   // guarded by mutex
    std::mutex retiredLock;                      // never taken under mutex
    std::vector<Reaper> retiredThreads;          // guarded by retiredLock
    std::thread soloThread;                      // started and joined under m_lifecycle
    std::atomic<bool> soloRunning{false};
    std::atomic<bool> m_running{false};
    std::atomic<MicBlockCallback> levelCallback{nullptr};
    std::wstring outputName = L"NUVEX Output";   // guarded by mutex
};
