#pragma once
// State of the PortAudio routing engine, shared by its facade and its
// worker, and the worker's own pass step. Included by the engine's sources
// and its tests only.

#include "platform/os/RealtimeGuard.h"
#include "platform/windows/routerAudio/AudioRouterService.h"

#include <samplerate.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct AudioRouterService::Impl : std::enable_shared_from_this<AudioRouterService::Impl> {
    explicit Impl(const Environment &environment);
    ~Impl();
    Impl(const Impl &) = delete;
    Impl &operator=(const Impl &) = delete;

    bool Start(const AudioRouterConfig &newConfig);
    void Stop();
    bool Restart();
    bool IsRunning() const
    {
        const State s = state.load();
        return s == State::Running || s == State::WorkerEnded;
    }
    bool SetSampleRate(double rate);
    double GetSampleRate() const { return currentSampleRate.load(); }
    bool AddInputDevice(const std::string &name, uint32_t channels, int32_t index);
    bool PostRequest(const std::string &name);
    std::vector<InputDeviceEntry> GetInputDevices() const;
    bool SetOutputDevice(const std::string &name);
    std::string GetOutputDevice() const;
    std::vector<PortAudioDeviceEntry> ListDevices(int mode);
    bool RequestRefresh();
    bool SetAudioCallback(AudioCallback callback);

    // A PortAudio device of the preferred host API whose name contains name
    // (case ignored), or "default" for the direction's default; -1 if none.
    int findDeviceByName(const std::string &name, bool isOutput);
    // Kept for diagnostics; nothing calls it.
    void dumpPortAudioDevices();

    void log(const PaLogLine &line) const { logSink(PaLogChannel::Debug, line.view()); }
    void print(const PaLogLine &line) const { logSink(PaLogChannel::StandardOutput, line.view()); }
    // A pause of the worker on the engine clock; a stop ends it early.
    void pauseMs(int64_t ms);
    int64_t nowMs() const;
    const char *errorText(PaError error) { return pa.GetErrorText(error); }

    PaApi &pa;
    os::Clock &clock;
    const PaHostApiTypeId hostApi;
    const PaLogSink logSink;
    Mixer &mixer;

    // Taken by the worker only for requests, the configuration copy, the rate
    // store and flag writes; never across reads, writes or resampling.
    mutable os::AudioMutex mutex;
    AudioRouterConfig config;                  // guarded by mutex
    std::vector<InputDeviceEntry> pendingInputs; // guarded by mutex
    std::vector<std::string> pendingRemovals;    // guarded by mutex
    std::string pendingOutputDevice;             // guarded by mutex
    std::thread worker;                          // guarded by mutex; joinable only while running

    // The engine's life. Stopped: no worker; Start leaves from here only.
    // Running: the worker passes. WorkerEnded: the worker left on its own
    // (PortAudio failed); the engine still counts as running until Stop.
    // Stopping: Stop told the worker to end and it has not yet, or it was
    // detached after the stop's timeout; its exit makes the engine Stopped.
    // Start and Stop change it under mutex, the worker's exit by a
    // compare-exchange against Stop's.
    enum class State : uint8_t { Stopped, Running, WorkerEnded, Stopping };
    std::atomic<State> state{State::Stopped};
    bool keepRunning() const { return state.load() == State::Running; }
    bool workerExited() const
    {
        const State s = state.load();
        return s == State::Stopped || s == State::WorkerEnded;
    }

    std::atomic<double> currentSampleRate{48000.0};
    std::atomic<double> requestedSampleRate{0.0};
    // A request, not a state: set by anyone, taken by the worker.
    std::atomic<bool> refreshRequested{false};
    // Written without the lock by SetAudioCallback, read by the worker.
    std::atomic<AudioCallback> audioCallback{nullptr};

    // Monitor resampler: used by the worker only (reset by every rebuild).
    SRC_STATE *monitorState = nullptr;
    double monitorSrcRate = 0.0;
    double monitorDstRate = 0.0;
    std::vector<float> monitorStash;
    // The converter's constructor; tests put a failing one in.
    SRC_STATE *(*monitorSrcNew)(int converter, int channels, int *error) = &src_new;

private:
    bool startWorkerLocked();
    void workerLeft();
};

// Streaming conversion of the 48 kHz stereo monitor mix to the output rate;
// writes exactly outFrames x 2 floats.
void resampleMonitor(AudioRouterService::Impl &engine, const float *in, uint32_t inFrames, double srcRate,
                     float *out, uint32_t outFrames, double dstRate);
// Stateless Catmull-Rom conversion (linear at the block edges); inFrames >= 1.
void cubicResample(const float *in, uint32_t inFrames, double srcRate, float *out, uint32_t outFrames,
                   double dstRate);
// Frees the monitor converter and forgets its rates and stash.
void resetMonitorResampler(AudioRouterService::Impl &engine);

// Frames of a 5 ms block at rate r (at least 1, at most kMaxBlockFrames).
uint32_t blockFrames(double rate);
inline constexpr uint32_t kMaxBlockFrames = 3840; // 5 ms at 768 kHz

// The worker's stream state and its pass step. The thread body is start(),
// pass() while the engine keeps running, then finish(); tests drive the
// steps themselves.
class WorkerLoop {
public:
    explicit WorkerLoop(AudioRouterService::Impl &engine);
    ~WorkerLoop();
    WorkerLoop(const WorkerLoop &) = delete;
    WorkerLoop &operator=(const WorkerLoop &) = delete;

    // The whole thread body.
    void run();
    // Initialises PortAudio and opens the configured streams; false when
    // PortAudio did not initialise (the loop must not run).
    bool start();
    // One pass; false when the loop must end.
    bool pass();
    // Closes everything and terminates PortAudio.
    void finish();

    // Rebuild of every stream; false only when PortAudio could not be
    // initialised again.
    bool reopenStreams(bool reinitialize);
    PaStream *openInputStream(InputStreamSlot &slot, double &rate, uint32_t framesPerBuffer);
    PaStream *openOutputStreamDefault(int32_t deviceIndex, int32_t channels, double &rate,
                                      uint32_t framesPerBuffer);
    void closeStreams();

    // Worker-owned stream state.
    std::vector<InputStreamSlot> slots;
    PaStream *outputStream = nullptr;
    double outputRate = 0.0;
    double currentRate = 48000.0;
    int32_t outputChannels = 0;
    int32_t outputDeviceIndex = -1;
    std::map<std::string, int, std::less<>> readErrorCounts;

private:
    struct OpenTally {
        int opened = 0;           // input streams opened by this rebuild
        bool deviceError = false; // a failure that a fresh device list may cure
    };

    // The steps of a rebuild, in order.
    void buildSlots(const std::vector<InputDeviceEntry> &inputs);
    void resolveSlotDevices();
    void findOutputDevice(const std::string &name);
    // The first input opens at the target rate, which it returns.
    double openFirstInput(OpenTally &tally);
    // The output and the later inputs may move the rate (unless one was
    // requested).
    void openOutput(double &rate, bool rateRequested);
    void openOtherInputs(double &rate, bool rateRequested, OpenTally &tally);
    bool openSlot(InputStreamSlot &slot, double &openedRate, OpenTally &tally);
    void prepareSlotBuffers();

    bool reinitializePortAudio();
    void refreshDeviceList(int retry);
    // The first usable lookup of the slot's device, with up to two refreshes
    // of PortAudio's list; true when a refresh happened.
    bool resolveInputDevice(InputStreamSlot &slot);
    bool lookupInput(const std::string &name, int &index);
    bool applyRequests(bool &leave);
    bool healthy();
    bool readInputs();
    void pushInputs();
    void playMonitor();
    void writeSilence();
    bool outputActive();
    void requestRefresh() { m_engine.refreshRequested.store(true); }

    AudioRouterService::Impl &m_engine;
    uint32_t m_framesPerBuffer = 256;
    int64_t m_lastMissingRefreshMs = 0;
    bool m_paInitialized = false;
    // Scratch kept between passes.
    std::vector<float> m_outputBlock;
    std::vector<float> m_mixBlock;
    std::vector<float> m_resampledBlock;
};
