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
#include <functional>
#include <mutex>
#include <set>
#include <string>
#include <vector>

#include "platform/os/RealtimeGuard.h"

inline constexpr uint32_t kMixSampleRate = 48000;
inline constexpr uint32_t kRingSamples = 9600;       // 4800 stereo frames, 100 ms
inline constexpr uint32_t kMaxPendingSamples = 5760; // 60 ms; a reader further behind skips ahead
// The margin the program's render pulls keep: one block.
inline constexpr uint32_t kPullMarginFrames = 480;

class ConverterMaker;
struct ConverterHandoff;

namespace PerAppInputBuffers {

// The ring of one source on one bus. Samples are plain floats written in
// blocks by the source's single thread; a block becomes visible to a reader
// through the release store of writeIndex that follows it. The writer never
// looks at the readers: the read side bounds the lag (kMaxPendingSamples),
// and every push takes the mixer's mutex once, so a reader's earlier reads
// happen before the writer's next lap, and during one pull (under the mutex)
// at most the one push already past its lock trip writes: a block would
// have to exceed 9600 - 5760 samples to reach the slots being read.
struct InputBuffer {
    InputBuffer();
    ~InputBuffer();
    InputBuffer(const InputBuffer &) = delete;
    InputBuffer &operator=(const InputBuffer &) = delete;

    std::vector<float> ring; // kRingSamples, never resized
    std::atomic<uint32_t> writeIndex{0};       // written by the source's thread (release)
    std::atomic<uint32_t> readIndex{0};        // the bus pull's (solo ring: the monitor's)
    std::atomic<uint32_t> monitorReadIndex{0}; // the monitor pull's
    std::atomic<float> levelLeft{0.0f};        // relaxed, 0.0 to 1.0
    std::atomic<float> levelRight{0.0f};
    std::atomic<uint32_t> pushCount{0};        // blocks metered (wraps)
    std::atomic<uint32_t> underruns{0};        // pulls of a started reader that found it dry (relaxed)
    bool primed = false;                       // guarded by the mixer's mutex: readIndex's pull has its margin
    bool monitorPrimed = false;                // guarded by the mixer's mutex: the same for monitorReadIndex
    bool fed = false;                          // guarded by the mixer's mutex: the last bus pull took half of it or more
    uint32_t pushCountAtDecay = 0;             // guarded by the mixer's mutex
    // Bus-1 buffers only; used by the source's single pushing thread.
    SRC_STATE *resamplerState = nullptr;
    uint32_t resamplerRate = 0;
    // Where converters made off the pushing thread are handed over.
    std::shared_ptr<ConverterHandoff> handoff;
    // Bus-1 buffers only: pushes of the source between their lock trip and
    // the end of their ring writes (raised under the mixer's mutex).
    std::atomic<uint32_t> writersInFlight{0};
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

// Makes the libsamplerate converters; tests replace it to count, hold or
// fail creations. Called only on the mixer's converter thread.
class ConverterFactory {
public:
    virtual ~ConverterFactory() = default;
    // A best-quality stereo converter, or null with error set.
    virtual SRC_STATE *create(int &error);
};

class Mixer {
public:
    using InputBuffer = PerAppInputBuffers::InputBuffer;

    static Mixer &instance();

    explicit Mixer(AudioRouteConfigStore &store, std::shared_ptr<ConverterFactory> factory = {});
    ~Mixer();
    Mixer(const Mixer &) = delete;
    Mixer &operator=(const Mixer &) = delete;

    void push(uint32_t sourceId, const void *data, uint32_t byteCount, const WAVEFORMATEX *format);
    std::shared_ptr<InputBuffer> bufferFor(uint32_t sourceId, uint32_t bus);
    void removeSource(uint32_t sourceId);
    std::set<uint32_t> sourceIds() const;
    void clear();

    // Write frames x 2 interleaved samples; missing data is silence. With a
    // margin, a pull starts taking from a source only once the source is
    // that far ahead of it: a push landing just after a later pull still
    // finds its block there (at most the margin's latency).
    void pullBus(float *out, uint32_t frames, uint32_t bus, uint32_t marginFrames = 0);
    void pullMonitor(float *out, uint32_t frames, uint32_t marginFrames = 0);
    // True when a source the bus's last pull fed from now holds less than
    // half of frames: its next push is due about now, and a pull made at
    // once would miss it.
    bool busSourceDue(uint32_t bus, uint32_t frames) const;

    void updateBusMeters();
    void decayLevels(float factor);
    StereoLevels getSourceLevels(uint32_t sourceId) const;
    // Pulls that found a source dry while it was running (an underrun):
    // per source, its listen and mix rings with the monitor's reads of
    // them; the solo ring, whichever source it carries, apart.
    struct Underruns {
        std::map<uint32_t, uint32_t> bySource;
        uint32_t solo = 0;
    };
    Underruns underruns() const;
    // Of every ring, without the lock.
    uint64_t underrunCount() const { return m_underruns.load(std::memory_order_relaxed); }

    StereoLevels getListenBusLevels() const;
    StereoLevels getMixBusLevels() const;

    // Brings a float stereo block to 48 kHz with the source's own streaming
    // converter kept in holder (its bus-1 buffer). A converter for a new
    // rate is made on the converter thread: until it is handed over, blocks
    // go through the cubic fallback, so a push never waits for one.
    void resampleTo48k(const std::vector<float> &in, uint32_t inputRate, std::vector<float> &out,
                       InputBuffer &holder);
    // The libsamplerate path with the holder's converter; false when it has
    // none for this rate or processing failed (out is then empty).
    static bool resampleWithSrc(const std::vector<float> &in, uint32_t inputRate, std::vector<float> &out,
                                InputBuffer &holder);
    static void cubicResample(const std::vector<float> &in, uint32_t inputRate, std::vector<float> &out);

    // Waits until every requested converter has been made (tests, benches).
    void waitForConverters();

    // Source rates the mixer takes; outside them a block would blow up into
    // an unbounded output (or past what the converter accepts) and is dropped.
    static constexpr uint32_t kMinSourceRate = 1000;
    static constexpr uint32_t kMaxSourceRate = 768000;

private:
    // A source's two buffers with its routing record as last read from the
    // store; the record is read again only when the store has changed.
    struct Source {
        std::shared_ptr<InputBuffer> bus[2];
        AudioRouteConfig record;
        uint64_t recordGeneration = 0;
    };
    using SourceMap = std::map<uint32_t, Source>;

    Source &sourceLocked(uint32_t sourceId);
    void refreshRecordsLocked();
    void updateBusMetersLocked();

    AudioRouteConfigStore &m_store;
    std::unique_ptr<ConverterMaker> m_converters;
    mutable os::AudioMutex m_mutex;
    SourceMap m_sources;                           // guarded by m_mutex
    uint64_t m_recordsGeneration = 0;              // guarded by m_mutex: store generation of the cached records
    AudioRouteConfig m_listenMaster;               // guarded by m_mutex, cached like the records
    AudioRouteConfig m_mixMaster;                  // guarded by m_mutex
    const std::shared_ptr<InputBuffer> m_soloRing; // made once; one writer at a time, read under m_mutex
    // Written by the meter update under m_mutex, read without it (relaxed).
    std::atomic<float> m_listenLevelLeft{0.0f};
    std::atomic<float> m_listenLevelRight{0.0f};
    std::atomic<float> m_mixLevelLeft{0.0f};
    std::atomic<float> m_mixLevelRight{0.0f};
    std::atomic<uint64_t> m_underruns{0}; // raised by pulls (relaxed)
};
