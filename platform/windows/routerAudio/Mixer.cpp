#include "platform/windows/routerAudio/Mixer.h"

#include "platform/windows/routerAudio/MixerConverters.h"
#include "platform/windows/routerAudio/MixerLog.h"

#include <algorithm>
#include <atomic>
#include <cmath>

namespace {

// Per-thread scratch of the push: kept for the thread's life so that a
// steady stream reuses their capacity instead of allocating.
thread_local std::vector<float> t_converted;
thread_local std::vector<float> t_resampled;

// A pull reads each ring in pieces of at most half a ring, so a long request
// can neither wrap a position past the writer nor read a sample twice.
constexpr uint32_t kPullChunkSamples = kRingSamples / 2;

constexpr float kSoftClipKnee = 0.95f;
constexpr float kSoftClipRange = 0.05f;
constexpr float kSoftClipSteepness = 20.0f;

float gainOf(const BusRouting &routing)
{
    return routing.muted ? 0.0f : routing.volume;
}

float softClip(float x)
{
    if (x > kSoftClipKnee)
        x = kSoftClipKnee + kSoftClipRange * (1.0f - std::exp(-kSoftClipSteepness * (x - kSoftClipKnee)));
    else if (x < -kSoftClipKnee)
        x = -kSoftClipKnee - kSoftClipRange * (1.0f - std::exp(kSoftClipSteepness * (x + kSoftClipKnee)));
    else if (std::isnan(x))
        return 0.0f; // a NaN gain must not reach the output
    return std::clamp(x, -1.0f, 1.0f);
}

void finishBlock(float *out, size_t samples, float gain)
{
    for (size_t i = 0; i < samples; ++i)
        out[i] = softClip(out[i] * gain);
}

// A writer may lap a slow reader by design (the reader then drops what was
// overwritten), so ring slots are touched through relaxed atomics: the overlap
// stays defined and costs plain moves.
float loadSample(const float &slot)
{
    return std::atomic_ref<float>(const_cast<float &>(slot)).load(std::memory_order_relaxed);
}

void storeSample(float &slot, float value)
{
    std::atomic_ref<float>(slot).store(value, std::memory_order_relaxed);
}

uint32_t pendingSamples(const PerAppInputBuffers::InputBuffer &buffer, const std::atomic<uint32_t> &readPos)
{
    const uint32_t read = readPos.load(std::memory_order_relaxed);
    const uint32_t write = buffer.writeIndex.load(std::memory_order_acquire);
    return write >= read ? write - read : kRingSamples - read + write;
}

// At most half the lag a reader may keep, or a source could never start.
size_t marginSamples(uint32_t marginFrames)
{
    return std::min<size_t>(size_t{marginFrames} * 2, kMaxPendingSamples / 2);
}

// Where in an n-sample pull a reader keeping a margin takes how much from a
// ring: once started, the whole pull; before, nothing while the ring holds
// no more than the margin, then what lies beyond it (up to the pull), at the
// end of the pull so that the source begins without a break. Starting on
// the first sample beyond the margin, not on a whole block, keeps a source
// whose pushes are a little short of a block (resampled) from starting a
// period later with nearly two blocks held back.
struct MarginTake {
    size_t offset;
    size_t samples;
};

MarginTake marginTake(const PerAppInputBuffers::InputBuffer &buffer, const std::atomic<uint32_t> &readPos, bool &started,
                      size_t n, size_t margin)
{
    if (margin == 0 || started)
        return {0, n};
    const size_t pending = pendingSamples(buffer, readPos);
    if (pending <= margin)
        return {0, 0}; // the source keeps what it pushed
    started = true;
    const size_t take = std::min(n, pending - margin);
    return {n - take, take};
}

// Adds up to n (at most kPullChunkSamples) waiting samples into out and
// returns how many were taken.
uint32_t readChunk(const PerAppInputBuffers::InputBuffer &buffer, std::atomic<uint32_t> &readPos, float *out,
                   uint32_t n)
{
    uint32_t pending = pendingSamples(buffer, readPos);
    uint32_t read = readPos.load(std::memory_order_relaxed);
    const uint32_t write = (read + pending) % kRingSamples;
    if (pending > kMaxPendingSamples) {
        read = (write + kRingSamples - n) % kRingSamples;
        pending = n;
    }
    const uint32_t take = std::min(n, pending);
    if (take == 0)
        return 0;
    const float *ring = buffer.ring.data();
    const uint32_t first = std::min(take, kRingSamples - read);
    for (uint32_t i = 0; i < first; ++i)
        out[i] += loadSample(ring[read + i]);
    for (uint32_t i = first; i < take; ++i)
        out[i] += loadSample(ring[i - first]);
    readPos.store((read + take) % kRingSamples, std::memory_order_release);
    return take;
}

// Returns how many samples were taken.
size_t drainRing(const PerAppInputBuffers::InputBuffer &buffer, std::atomic<uint32_t> &readPos, float *out,
                 size_t samples)
{
    for (size_t offset = 0; offset < samples; offset += kPullChunkSamples) {
        const auto chunk = static_cast<uint32_t>(std::min<size_t>(kPullChunkSamples, samples - offset));
        const uint32_t taken = readChunk(buffer, readPos, out + offset, chunk);
        if (taken < chunk)
            return offset + taken; // the rest of the block stays silent for this source
    }
    return samples;
}

// A pull's read of one ring for a reader that may keep a margin. A started
// reader that runs dry starts over: a source back from a pause gets its
// margin again instead of racing the pull from then on. Without a margin a
// reader has started once a pull took all it asked for. A started reader
// running dry is an underrun, counted in the ring and in total. Returns how
// many samples were taken.
size_t pullRing(PerAppInputBuffers::InputBuffer &buffer, std::atomic<uint32_t> &readPos, bool &started, float *out,
                size_t n, size_t margin, std::atomic<uint64_t> &underruns)
{
    const bool running = started;
    const MarginTake t = marginTake(buffer, readPos, started, n, margin);
    const size_t taken = drainRing(buffer, readPos, out + t.offset, t.samples);
    if (t.samples > 0)
        started = taken == t.samples;
    if (running && taken < t.samples) {
        buffer.underruns.fetch_add(1, std::memory_order_relaxed);
        underruns.fetch_add(1, std::memory_order_relaxed);
    }
    return taken;
}

void writeRing(PerAppInputBuffers::InputBuffer &buffer, const float *samples, size_t n, float gain)
{
    uint32_t write = buffer.writeIndex.load(std::memory_order_relaxed);
    if (n > kRingSamples) {
        // Only the newest ring's worth survives; land where a full write would.
        const size_t skipped = n - kRingSamples;
        write = static_cast<uint32_t>((write + skipped) % kRingSamples);
        samples += skipped;
        n = kRingSamples;
    }
    float *ring = buffer.ring.data();
    const size_t first = std::min<size_t>(n, kRingSamples - write);
    for (size_t i = 0; i < first; ++i)
        storeSample(ring[write + i], samples[i] * gain);
    for (size_t i = first; i < n; ++i)
        storeSample(ring[i - first], samples[i] * gain);
    buffer.writeIndex.store(static_cast<uint32_t>((write + n) % kRingSamples), std::memory_order_release);
}

// 0.7 x rms + 0.3 x peak, scaled by 1.5, at most 1.0.
StereoLevels meterBlock(const std::vector<float> &block)
{
    const size_t frames = block.size() / 2;
    float peak[2] = {0.0f, 0.0f};
    double sumSquares[2] = {0.0, 0.0};
    for (size_t f = 0; f < frames; ++f) {
        for (int c = 0; c < 2; ++c) {
            const float s = block[f * 2 + c];
            peak[c] = std::max(peak[c], std::fabs(s));
            sumSquares[c] += static_cast<double>(s) * s;
        }
    }
    float level[2];
    for (int c = 0; c < 2; ++c) {
        const auto rms = static_cast<float>(std::sqrt(sumSquares[c] / static_cast<double>(frames)));
        const float l = (0.7f * rms + 0.3f * peak[c]) * 1.5f;
        level[c] = l < 1.0f ? l : 1.0f;
    }
    return {level[0], level[1]};
}

float atMostOne(float level)
{
    return level < 1.0f ? level : 1.0f;
}

} // namespace

namespace PerAppInputBuffers {

InputBuffer::InputBuffer()
    : ring(kRingSamples, 0.0f)
    , handoff(std::make_shared<ConverterHandoff>())
{
}

InputBuffer::~InputBuffer()
{
    if (resamplerState)
        src_delete(resamplerState);
}

} // namespace PerAppInputBuffers

Mixer &Mixer::instance()
{
    static Mixer mixer(AudioRouteConfigStore::instance());
    return mixer;
}

Mixer::Mixer(AudioRouteConfigStore &store, std::shared_ptr<ConverterFactory> factory)
    : m_store(store)
    , m_converters(std::make_unique<ConverterMaker>(std::move(factory)))
    , m_soloRing(std::make_shared<InputBuffer>())
{
    mixerLogLine(std::string("[Mixer] Resampler backend: libsamplerate (SRC_SINC_BEST_QUALITY), ") + src_get_version());
}

Mixer::~Mixer()
{
    // Buffers go first: their converters are theirs, not the converter thread's.
    std::lock_guard lock(m_mutex);
    m_sources.clear();
}

Mixer::Source &Mixer::sourceLocked(uint32_t sourceId)
{
    auto it = m_sources.find(sourceId);
    if (it == m_sources.end()) {
        Source source;
        source.bus[0] = std::make_shared<InputBuffer>();
        source.bus[1] = std::make_shared<InputBuffer>();
        it = m_sources.emplace(sourceId, std::move(source)).first;
    }
    return it->second;
}

// Reads every cached record and both masters again when the store has
// changed since they were read; otherwise touches nothing.
void Mixer::refreshRecordsLocked()
{
    const uint64_t generation = m_store.generation();
    if (generation == m_recordsGeneration)
        return;
    for (auto &[id, source] : m_sources) {
        source.record = m_store.get(id);
        source.recordGeneration = generation;
    }
    m_listenMaster = m_store.getBusMaster(1);
    m_mixMaster = m_store.getBusMaster(2);
    m_recordsGeneration = generation;
}

void Mixer::push(uint32_t sourceId, const void *data, uint32_t byteCount, const WAVEFORMATEX *format)
{
    if (!format || (!data && byteCount > 0))
        return;
    if (!m_store.virtualOutputIsDefault.load(std::memory_order_relaxed))
        return;

    // Converted before the lock: an inactive source's block is wasted work,
    // but the mixer's mutex is never held for a conversion.
    convertToFloatStereo(data, byteCount, *format, t_converted);
    if (t_converted.size() / 2 == 0)
        return;

    // The one lock trip of a push: the record and both buffers.
    AudioRouteConfig record;
    std::shared_ptr<InputBuffer> bus1;
    std::shared_ptr<InputBuffer> bus2;
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_sources.find(sourceId);
        if (it != m_sources.end()) {
            refreshRecordsLocked();
            record = it->second.record;
        } else {
            record = m_store.get(sourceId);
        }
        if (!record.active)
            return;
        if (it != m_sources.end()) {
            bus1 = it->second.bus[0];
            bus2 = it->second.bus[1];
        } else {
            Source &source = sourceLocked(sourceId);
            source.record = record;
            source.recordGeneration = m_recordsGeneration;
            // A record read now may be newer than the cache's generation:
            // the next refresh reads it again, never older.
            bus1 = source.bus[0];
            bus2 = source.bus[1];
        }
        bus1->writersInFlight.fetch_add(1, std::memory_order_relaxed);
    }
    struct WriteDone {
        InputBuffer &bus1;
        ~WriteDone() { bus1.writersInFlight.fetch_sub(1, std::memory_order_release); }
    } writeDone{*bus1};

    const std::vector<float> *block = &t_converted;
    if (format->nSamplesPerSec != kMixSampleRate) {
        t_resampled.clear();
        resampleTo48k(t_converted, format->nSamplesPerSec, t_resampled, *bus1);
        block = &t_resampled;
    }
    const size_t frames = block->size() / 2;
    if (frames == 0)
        return;

    const StereoLevels level = meterBlock(*block);
    bus1->levelLeft.store(atMostOne(level.left * record.input1.volume), std::memory_order_relaxed);
    bus1->levelRight.store(atMostOne(level.right * record.input1.volume), std::memory_order_relaxed);
    bus1->pushCount.fetch_add(1, std::memory_order_relaxed);
    bus2->levelLeft.store(atMostOne(level.left * record.input2.volume), std::memory_order_relaxed);
    bus2->levelRight.store(atMostOne(level.right * record.input2.volume), std::memory_order_relaxed);
    bus2->pushCount.fetch_add(1, std::memory_order_relaxed);

    const size_t n = frames * 2;
    if (record.input1.enabled)
        writeRing(*bus1, block->data(), n, gainOf(record.input1));
    if (record.input2.enabled)
        writeRing(*bus2, block->data(), n, gainOf(record.input2));
    // Soloing is listening to the source alone: at its listen volume, whatever
    // its bus-1 mute or enable say.
    if (record.solo)
        writeRing(*m_soloRing, block->data(), n, record.input1.volume);
}

std::shared_ptr<Mixer::InputBuffer> Mixer::bufferFor(uint32_t sourceId, uint32_t bus)
{
    std::lock_guard lock(m_mutex);
    const bool known = m_sources.count(sourceId) != 0;
    Source &source = sourceLocked(sourceId);
    if (!known) {
        source.record = m_store.get(sourceId);
        source.recordGeneration = m_recordsGeneration;
    }
    return source.bus[bus == 1 ? 0 : 1];
}

void Mixer::removeSource(uint32_t sourceId)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_sources.find(sourceId);
    if (it == m_sources.end())
        return;
    // A push past its lock trip still writes the rings: the samples are then
    // left to it (unreachable behind the rewound positions), the positions
    // and levels are reset all the same.
    const bool writing = it->second.bus[0]->writersInFlight.load(std::memory_order_acquire) != 0;
    for (const auto &buffer : it->second.bus) {
        InputBuffer &b = *buffer;
        if (!writing)
            for (float &slot : b.ring)
                storeSample(slot, 0.0f);
        b.writeIndex.store(0, std::memory_order_release);
        b.readIndex.store(0, std::memory_order_relaxed);
        b.monitorReadIndex.store(0, std::memory_order_relaxed);
        b.levelLeft.store(0.0f, std::memory_order_relaxed);
        b.levelRight.store(0.0f, std::memory_order_relaxed);
        b.primed = false;
        b.monitorPrimed = false;
        b.fed = false;
    }
}

std::set<uint32_t> Mixer::sourceIds() const
{
    std::lock_guard lock(m_mutex);
    std::set<uint32_t> ids;
    for (const auto &entry : m_sources)
        ids.insert(entry.first);
    return ids;
}

void Mixer::clear()
{
    std::lock_guard lock(m_mutex);
    m_sources.clear();
}

void Mixer::pullBus(float *out, uint32_t frames, uint32_t bus, uint32_t marginFrames)
{
    if (!out)
        return;
    const size_t n = static_cast<size_t>(frames) * 2;
    std::fill_n(out, n, 0.0f);
    if (bus != 1 && bus != 2) {
        return; // no source has a ring on another bus
    }
    std::lock_guard lock(m_mutex);
    const size_t margin = marginSamples(marginFrames);
    for (const auto &entry : m_sources) {
        InputBuffer &buffer = *entry.second.bus[bus - 1];
        const size_t taken = pullRing(buffer, buffer.readIndex, buffer.primed, out, n, margin, m_underruns);
        buffer.fed = n > 0 && taken * 2 >= n;
    }
    refreshRecordsLocked();
    // Drained even when muted, so the bus does not fall behind meanwhile.
    finishBlock(out, n, bus == 1 ? gainOf(m_listenMaster.input1) : gainOf(m_mixMaster.input2));
}

bool Mixer::busSourceDue(uint32_t bus, uint32_t frames) const
{
    if (bus != 1 && bus != 2)
        return false;
    std::lock_guard lock(m_mutex);
    for (const auto &entry : m_sources) {
        const InputBuffer &buffer = *entry.second.bus[bus - 1];
        if (buffer.fed && pendingSamples(buffer, buffer.readIndex) < frames)
            return true;
    }
    return false;
}

void Mixer::pullMonitor(float *out, uint32_t frames, uint32_t marginFrames)
{
    if (!out)
        return;
    const size_t n = static_cast<size_t>(frames) * 2;
    std::fill_n(out, n, 0.0f);
    std::lock_guard lock(m_mutex);
    refreshRecordsLocked();

    uint32_t monitoredBus = 0;
    float gain = 1.0f; // the solo ring already carries the listen volume
    if (m_listenMaster.solo) {
        monitoredBus = 1;
        gain = gainOf(m_listenMaster.input1);
    } else if (m_mixMaster.solo) {
        monitoredBus = 2;
        gain = gainOf(m_mixMaster.input2);
    }

    const size_t margin = marginSamples(marginFrames);
    if (monitoredBus == 0) {
        InputBuffer &solo = *m_soloRing;
        pullRing(solo, solo.readIndex, solo.primed, out, n, margin, m_underruns);
    } else {
        for (const auto &entry : m_sources) {
            InputBuffer &buffer = *entry.second.bus[monitoredBus - 1];
            pullRing(buffer, buffer.monitorReadIndex, buffer.monitorPrimed, out, n, margin, m_underruns);
        }
    }
    finishBlock(out, n, gain);
}

void Mixer::updateBusMeters()
{
    std::lock_guard lock(m_mutex);
    updateBusMetersLocked();
}

void Mixer::updateBusMetersLocked()
{
    refreshRecordsLocked();
    double sum[2][2] = {{0.0, 0.0}, {0.0, 0.0}}; // [bus - 1][channel]
    bool counted[2] = {false, false};
    for (const auto &entry : m_sources) {
        const AudioRouteConfig &record = entry.second.record;
        for (int bus = 0; bus < 2; ++bus) {
            const BusRouting &routing = bus == 0 ? record.input1 : record.input2;
            if (record.active && routing.muted)
                continue;
            const InputBuffer &buffer = *entry.second.bus[bus];
            const float l = buffer.levelLeft.load(std::memory_order_relaxed);
            const float r = buffer.levelRight.load(std::memory_order_relaxed);
            sum[bus][0] += static_cast<double>(l) * l;
            sum[bus][1] += static_cast<double>(r) * r;
            counted[bus] = true;
        }
    }
    auto meter = [&](int bus, int channel) {
        return counted[bus] ? static_cast<float>(std::sqrt(sum[bus][channel])) : 0.0f;
    };
    const float g1 = gainOf(m_listenMaster.input1);
    const float g2 = gainOf(m_mixMaster.input2);
    m_listenLevelLeft.store(meter(0, 0) * g1, std::memory_order_relaxed);
    m_listenLevelRight.store(meter(0, 1) * g1, std::memory_order_relaxed);
    m_mixLevelLeft.store(meter(1, 0) * g2, std::memory_order_relaxed);
    m_mixLevelRight.store(meter(1, 1) * g2, std::memory_order_relaxed);
}

void Mixer::decayLevels(float factor)
{
    std::lock_guard lock(m_mutex);
    for (const auto &entry : m_sources) {
        for (const auto &buffer : entry.second.bus) {
            InputBuffer &b = *buffer;
            const uint32_t count = b.pushCount.load(std::memory_order_relaxed);
            if (count == b.pushCountAtDecay) {
                for (std::atomic<float> *level : {&b.levelLeft, &b.levelRight}) {
                    const float decayed = level->load(std::memory_order_relaxed) * factor;
                    level->store(decayed < 0.01f ? 0.0f : decayed, std::memory_order_relaxed);
                }
            }
            b.pushCountAtDecay = count;
        }
    }
    updateBusMetersLocked();
}

StereoLevels Mixer::getSourceLevels(uint32_t sourceId) const
{
    StereoLevels levels;
    std::lock_guard lock(m_mutex);
    const auto it = m_sources.find(sourceId);
    if (it == m_sources.end())
        return levels;
    for (const auto &buffer : it->second.bus) {
        levels.left = std::max(levels.left, buffer->levelLeft.load(std::memory_order_relaxed));
        levels.right = std::max(levels.right, buffer->levelRight.load(std::memory_order_relaxed));
    }
    return levels;
}

Mixer::Underruns Mixer::underruns() const
{
    Underruns counts;
    std::lock_guard lock(m_mutex);
    for (const auto &[id, source] : m_sources)
        counts.bySource[id] = source.bus[0]->underruns.load(std::memory_order_relaxed)
                              + source.bus[1]->underruns.load(std::memory_order_relaxed);
    counts.solo = m_soloRing->underruns.load(std::memory_order_relaxed);
    return counts;
}

StereoLevels Mixer::getListenBusLevels() const
{
    return {m_listenLevelLeft.load(std::memory_order_relaxed), m_listenLevelRight.load(std::memory_order_relaxed)};
}

StereoLevels Mixer::getMixBusLevels() const
{
    return {m_mixLevelLeft.load(std::memory_order_relaxed), m_mixLevelRight.load(std::memory_order_relaxed)};
}
