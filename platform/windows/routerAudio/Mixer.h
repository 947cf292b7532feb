#pragma once
// The in-process mixer: sources push blocks in their own format from their
// own threads; consumers pull 48 kHz float stereo of a bus or of the monitor
// mix. One ring per source and bus (plus one solo ring), each written by the
// source's thread without the mixer's lock and published by a release store of
// its write position; pulls, meters, decay and level readers run under the
// mixer's mutex. Lock order: the mixer's mutex, then the routing store's.

#include "platform/os/WaveFormat.h"
#include "platform/windows/routerAudio/AudioRouteConfig.h"

#include <samplerate.h>

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <string_view>
#include <vector>

inline constexpr uint32_t kMixSampleRate = 48000;
inline constexpr uint32_t kRingSamples = 9600;       // 4800 stereo frames, 100 ms
inline constexpr uint32_t kMaxPendingSamples = 5760; // 60 ms; a reader further behind skips ahead

namespace PerAppInputBuffers {

// The ring of one source on one bus. Slots are relaxed atomics: the writer
// never looks at the readers and may lap a slow one, which must stay a
// defined (if audible) overwrite rather than a data race.
struct InputBuffer {
    InputBuffer();
    ~InputBuffer();
    InputBuffer(const InputBuffer &) = delete;
    InputBuffer &operator=(const InputBuffer &) = delete;

    std::vector<std::atomic<float>> ring; // kRingSamples slots, never resized
    std::atomic<uint32_t> writeIndex{0};       // written by the source's thread (release)
    std::atomic<uint32_t> readIndex{0};        // the bus pull's (solo ring: the monitor's)
    std::atomic<uint32_t> monitorReadIndex{0}; // the monitor pull's
    std::atomic<float> levelLeft{0.0f};        // relaxed, 0.0 to 1.0
    std::atomic<float> levelRight{0.0f};
    std::atomic<uint32_t> pushCount{0};        // blocks metered (wraps)
    uint32_t pushCountAtDecay = 0;             // guarded by the mixer's mutex
    // Bus-1 buffers only; used by the source's single pushing thread.
    SRC_STATE *resamplerState = nullptr;
    uint32_t resamplerRate = 0;
};

} // namespace PerAppInputBuffers

struct StereoLevels {
    float left = 0.0f;
    float right = 0.0f;
};

// Fills out with the block as float stereo at the block's own rate, or
// empties it when the block holds no frame or a format it does not read.
// For the extensible tag the record must carry its full extension.
void convertToFloatStereo(const void *data, uint32_t byteCount, const WAVEFORMATEX &format,
                          std::vector<float> &out);

class Mixer {
public:
    using InputBuffer = PerAppInputBuffers::InputBuffer;

    static Mixer &instance();

    explicit Mixer(AudioRouteConfigStore &store);
    Mixer(const Mixer &) = delete;
    Mixer &operator=(const Mixer &) = delete;

    void push(uint32_t sourceId, const void *data, uint32_t byteCount, const WAVEFORMATEX *format);
    std::shared_ptr<InputBuffer> bufferFor(uint32_t sourceId, uint32_t bus);
    void removeSource(uint32_t sourceId);
    std::set<uint32_t> sourceIds() const;
    void clear();

    // Write frames x 2 interleaved samples; missing data is silence.
    void pullBus(float *out, uint32_t frames, uint32_t bus);
    void pullMonitor(float *out, uint32_t frames);

    void updateBusMeters();
    void decayLevels(float factor);
    StereoLevels getSourceLevels(uint32_t sourceId) const;
    StereoLevels getListenBusLevels() const;
    StereoLevels getMixBusLevels() const;

    // Brings a float stereo block to 48 kHz with the source's own streaming
    // converter kept in holder (its bus-1 buffer).
    static void resampleTo48k(const std::vector<float> &in, uint32_t inputRate, std::vector<float> &out,
                              InputBuffer &holder);
    static void resampleWithSrc(const std::vector<float> &in, uint32_t inputRate, std::vector<float> &out,
                                InputBuffer &holder);
    static void cubicResample(const std::vector<float> &in, uint32_t inputRate, std::vector<float> &out);

    // Source rates the mixer takes; outside them a block would blow up into
    // an unbounded output (or past what the converter accepts) and is dropped.
    static constexpr uint32_t kMinSourceRate = 1000;
    static constexpr uint32_t kMaxSourceRate = 768000;

private:
    using BufferMap = std::map<std::string, std::shared_ptr<InputBuffer>, std::less<>>;

    void updateBusMetersLocked();

    AudioRouteConfigStore &m_store;
    mutable std::mutex m_mutex;
    BufferMap m_buffers;                         // guarded by m_mutex
    const std::shared_ptr<InputBuffer> m_soloRing; // made once; its slots and positions are atomics
    // Written by the meter update under m_mutex, read without it (relaxed).
    std::atomic<float> m_listenLevelLeft{0.0f};
    std::atomic<float> m_listenLevelRight{0.0f};
    std::atomic<float> m_mixLevelLeft{0.0f};
    std::atomic<float> m_mixLevelRight{0.0f};
};
