#pragma once
// The PortAudio routing engine: one blocking input stream per configured
// input, read in 5 ms blocks on its own worker thread and pushed into the
// mixer under each input's source id, and the mixer's monitor mix played on
// an optional output device. The facade only queues requests; the worker
// applies them on its next pass.

#include "platform/os/WaveFormat.h"
#include "platform/windows/routerAudio/AudioRouterConfig.h"
#include "platform/windows/routerAudio/PaApi.h"
#include "platform/windows/routerAudio/PaEngineLog.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace os {
class Clock;
}
class Mixer;

// One device of PortAudio's list as ListDevices reports it.
struct PortAudioDeviceEntry {
    int32_t index = -1;
    std::string name;    // "(null)" when the device has none
    std::string hostApi; // "Unknown" without a host API record
    int32_t maxInputChannels = 0;
    int32_t maxOutputChannels = 0;
    double defaultSampleRate = 0.0;
    bool isInput = false;
    bool isOutput = false;
};

// One configured input while the engine runs.
struct InputStreamSlot {
    std::string name;
    uint32_t requestedChannels = 0;
    int32_t index = -1;       // mixer source id; negative: read, never pushed
    int32_t deviceIndex = -1; // PortAudio device, -1 when none
    PaStream *stream = nullptr;
    std::vector<float> buffer; // interleaved samples of the last block
    uint32_t channels = 0;
    double actualSampleRate = 0.0; // 0 when not open
    WAVEFORMATEX pushFormat{};     // of the blocks handed to the mixer; set when opened
};

// Byte-wise ASCII case folding, no Unicode.
std::string toLowerCopy(const std::string &text);
bool equalsIgnoreCase(const std::string &a, const std::string &b);
// Either lower-cased name contains the other.
bool namesOverlap(const std::string &a, const std::string &b);

class AudioRouterService {
public:
    // Called on the worker with each good block of source 0, before the
    // block is pushed; may change the samples in place.
    using AudioCallback = void (*)(float *samples, int channels, int frames, double sampleRate);

    // What the engine runs on. Null members take the real ones: installed
    // PortAudio, the steady clock, the process-wide mixer, the default sink.
    struct Environment {
        PaApi *pa = nullptr;
        os::Clock *clock = nullptr;
        PaHostApiTypeId hostApi = preferredHostApi();
        PaLogSink log;
        Mixer *mixer = nullptr;
    };

    struct Impl;

    AudioRouterService();
    explicit AudioRouterService(const Environment &environment);
    ~AudioRouterService();
    AudioRouterService(const AudioRouterService &) = delete;
    AudioRouterService &operator=(const AudioRouterService &) = delete;

    bool Start(const AudioRouterConfig &config);
    void Stop();
    bool Restart();
    bool IsRunning() const;
    bool SetSampleRate(double rate);
    double GetSampleRate() const;
    bool AddInputDevice(const std::string &name, uint32_t channels);
    bool AddInputDevice(const std::string &name, uint32_t channels, int32_t index);
    bool PostRequest(const std::string &name);
    std::vector<InputDeviceEntry> GetInputDevices() const;
    bool SetOutputDevice(const std::string &name);
    std::string GetOutputDevice() const;
    // mode 1: inputs only, 2: outputs only, anything else: all.
    std::vector<PortAudioDeviceEntry> ListDevices(int mode);
    bool RequestRefresh();
    bool SetAudioCallback(AudioCallback callback);

    Impl &impl() { return *m_impl; }

private:
    // Shared with the worker, so a worker detached after the stop time-out
    // never runs on freed state.
    std::shared_ptr<Impl> m_impl;
};
