// Block conversion to float stereo and resampling to the mix rate.
#include "platform/windows/routerAudio/CatmullRom.h"
#include "platform/windows/routerAudio/Mixer.h"
#include "platform/windows/routerAudio/MixerConverters.h"
#include "platform/windows/routerAudio/MixerLog.h"

#include "platform/os/RealtimeThread.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace {

enum class SampleKind { Unsupported, Integer, Float };

struct SampleLayout {
    SampleKind kind = SampleKind::Unsupported;
    uint32_t widthBytes = 0;
    uint32_t validBits = 0;
};

bool isIntegerWidth(uint32_t bits)
{
    return bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

SampleLayout layoutOf(const WAVEFORMATEX &format)
{
    SampleLayout layout;
    switch (format.wFormatTag) {
    case WAVE_FORMAT_PCM:
        if (isIntegerWidth(format.wBitsPerSample))
            layout = {SampleKind::Integer, format.wBitsPerSample / 8u, format.wBitsPerSample};
        break;
    case WAVE_FORMAT_IEEE_FLOAT:
        layout = {SampleKind::Float, 4, 32}; // always read as 32-bit floats
        break;
    case WAVE_FORMAT_EXTENSIBLE: {
        if (format.cbSize < kWaveFormatExtensibleExtraBytes)
            break;
        WAVEFORMATEXTENSIBLE ext;
        std::memcpy(&ext, &format, sizeof(ext));
        const uint32_t container = ext.Format.wBitsPerSample;
        const uint32_t valid = ext.Samples.wValidBitsPerSample;
        if (ext.SubFormat == KSDATAFORMAT_SUBTYPE_PCM) {
            if (isIntegerWidth(container) && valid >= 1 && valid <= container)
                layout = {SampleKind::Integer, container / 8, valid};
        } else if (ext.SubFormat == KSDATAFORMAT_SUBTYPE_IEEE_FLOAT) {
            if (container == 32 && valid == 32)
                layout = {SampleKind::Float, 4, 32};
        }
        break;
    }
    default:
        break;
    }
    return layout;
}

// Integer samples are placed in the top bits of an int32 (8-bit PCM is
// unsigned, the rest signed), padding below the valid bits is dropped, and
// the result is scaled by 2^31: for 16-bit this is sample / 32768.
float readInteger(const uint8_t *p, uint32_t widthBytes, uint32_t validBits)
{
    uint32_t raw = 0;
    for (uint32_t i = 0; i < widthBytes; ++i)
        raw |= static_cast<uint32_t>(p[i]) << (32 - 8 * widthBytes + 8 * i);
    if (widthBytes == 1)
        raw ^= 0x80000000u;
    raw &= ~((uint32_t{1} << (32 - validBits)) - 1);
    const auto value = static_cast<float>(static_cast<int32_t>(raw)) / 2147483648.0f;
    return std::clamp(value, -1.0f, 1.0f);
}

float readFloat(const uint8_t *p)
{
    float value;
    std::memcpy(&value, p, sizeof(value));
    // Non-finite samples would poison a converter, a level or a later
    // integer conversion; finite ones pass unclamped.
    return std::isfinite(value) ? value : 0.0f;
}

} // namespace

void convertToFloatStereo(const void *data, uint32_t byteCount, const WAVEFORMATEX &format, std::vector<float> &out)
{
    // Every refusal empties the output: a reused buffer must never hand the
    // previous block's samples to another source.
    out.clear();
    const SampleLayout layout = layoutOf(format);
    const uint32_t channels = format.nChannels;
    const uint32_t blockAlign = format.nBlockAlign;
    if (layout.kind == SampleKind::Unsupported || channels == 0 || !data)
        return;
    const uint32_t rightChannel = channels > 1 ? 1 : 0;
    // The frame must hold the two channels read; larger alignments (padding,
    // extra channels) are stepped over.
    if (blockAlign == 0 || blockAlign < channels * layout.widthBytes)
        return;
    const uint32_t frames = byteCount / blockAlign;
    if (frames == 0)
        return;

    out.resize(static_cast<size_t>(frames) * 2);
    const auto *bytes = static_cast<const uint8_t *>(data);
    const uint32_t rightOffset = rightChannel * layout.widthBytes;
    for (uint32_t f = 0; f < frames; ++f) {
        const uint8_t *frame = bytes + static_cast<size_t>(f) * blockAlign;
        float left;
        float right;
        if (layout.kind == SampleKind::Float) {
            left = readFloat(frame);
            right = readFloat(frame + rightOffset);
        } else {
            left = readInteger(frame, layout.widthBytes, layout.validBits);
            right = readInteger(frame + rightOffset, layout.widthBytes, layout.validBits);
        }
        out[2 * static_cast<size_t>(f)] = left;
        out[2 * static_cast<size_t>(f) + 1] = right;
    }
}

SRC_STATE *ConverterFactory::create(int &error)
{
    error = 0;
    return src_new(SRC_SINC_BEST_QUALITY, 2, &error);
}

ConverterHandoff::~ConverterHandoff()
{
    if (made)
        src_delete(made);
}

ConverterMaker::ConverterMaker(std::shared_ptr<ConverterFactory> factory)
    : m_factory(factory ? std::move(factory) : std::make_shared<ConverterFactory>())
    , m_thread([this] { run(); })
{
}

ConverterMaker::~ConverterMaker()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_all();
    m_thread.join();
    for (Job &job : m_jobs)
        if (job.retired)
            src_delete(job.retired);
}

void ConverterMaker::request(std::shared_ptr<ConverterHandoff> handoff, uint32_t rate)
{
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back({std::move(handoff), rate, nullptr});
    }
    m_changed.notify_all();
}

void ConverterMaker::retire(SRC_STATE *state)
{
    if (!state)
        return;
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back({nullptr, 0, state});
    }
    m_changed.notify_all();
}

void ConverterMaker::waitIdle()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [this] { return m_jobs.empty() && !m_busy; });
}

void ConverterMaker::run()
{
    os::nameCurrentThread("vd-converters");
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_changed.wait(lock, [this] { return m_stop || !m_jobs.empty(); });
        if (m_stop)
            return;
        Job job = std::move(m_jobs.front());
        m_jobs.pop_front();
        m_busy = true;
        lock.unlock();
        if (job.retired) {
            src_delete(job.retired);
        } else {
            int error = 0;
            SRC_STATE *state = m_factory->create(error);
            if (state)
                mixerLogLine("[Mixer] LibSR engaged, rate=" + std::to_string(job.rate) + " Hz, conv=SINC_BEST_QUALITY");
            else
                mixerLogLine("[Mixer] src_new failed (err=" + std::to_string(error)
                             + "); falling back to cubic for rate=" + std::to_string(job.rate));
            std::lock_guard handoffLock(job.handoff->mutex);
            if (job.handoff->made)
                src_delete(job.handoff->made); // never taken: the source asked again meanwhile
            job.handoff->made = state;
            job.handoff->madeRate = state ? job.rate : 0;
            job.handoff->failed = !state;
        }
        job = {};
        lock.lock();
        m_busy = false;
        m_changed.notify_all();
    }
}

void Mixer::waitForConverters()
{
    m_converters->waitIdle();
}

void Mixer::resampleTo48k(const std::vector<float> &in, uint32_t inputRate, std::vector<float> &out,
                          InputBuffer &holder)
{
    os::realtimeCheck("Mixer::resampleTo48k");
    if (in.empty() || inputRate < kMinSourceRate || inputRate > kMaxSourceRate) {
        out.clear();
        return;
    }
    if (!holder.resamplerState || holder.resamplerRate != inputRate) {
        // The old rate's converter goes at once: a source coming back to
        // that rate starts a fresh stream, as if it had been remade.
        if (holder.resamplerState) {
            m_converters->retire(holder.resamplerState);
            holder.resamplerState = nullptr;
            holder.resamplerRate = 0;
        }
        ConverterHandoff &handoff = *holder.handoff;
        if (handoff.mutex.try_lock()) {
            if (handoff.made) {
                if (handoff.madeRate == inputRate) {
                    holder.resamplerState = handoff.made;
                    holder.resamplerRate = inputRate;
                } else {
                    m_converters->retire(handoff.made);
                }
                handoff.made = nullptr;
                handoff.madeRate = 0;
            }
            if (handoff.failed) {
                handoff.failed = false;
                handoff.requestedRate = 0; // the next block tries again
            }
            handoff.mutex.unlock();
        }
        if (holder.resamplerRate != inputRate || !holder.resamplerState) {
            if (handoff.requestedRate != inputRate) {
                handoff.requestedRate = inputRate;
                m_converters->request(holder.handoff, inputRate);
            }
            cubicResample(in, inputRate, out);
            return;
        }
    }
    if (!resampleWithSrc(in, inputRate, out, holder))
        cubicResample(in, inputRate, out);
}

bool Mixer::resampleWithSrc(const std::vector<float> &in, uint32_t inputRate, std::vector<float> &out,
                            InputBuffer &holder)
{
    const size_t frames = in.size() / 2;
    if (frames == 0 || inputRate == 0 || !holder.resamplerState || holder.resamplerRate != inputRate) {
        out.clear();
        return false;
    }
    const double ratio = static_cast<double>(kMixSampleRate) / inputRate;
    const auto capacity = static_cast<size_t>(static_cast<double>(frames) * ratio + 0.5) + 16;
    out.resize(capacity * 2);

    SRC_DATA job{};
    job.data_in = in.data();
    job.input_frames = static_cast<long>(frames);
    job.data_out = out.data();
    job.output_frames = static_cast<long>(capacity);
    job.src_ratio = ratio;
    job.end_of_input = 0;
    if (src_process(holder.resamplerState, &job) != 0) {
        out.clear();
        return false;
    }
    out.resize(static_cast<size_t>(job.output_frames_gen) * 2);
    return true;
}

void Mixer::cubicResample(const std::vector<float> &in, uint32_t inputRate, std::vector<float> &out)
{
    const size_t frames = in.size() / 2;
    if (frames == 0 || inputRate == 0) {
        out.clear();
        return;
    }
    const size_t outFrames = std::max<size_t>(1, static_cast<size_t>(frames * uint64_t{kMixSampleRate} / inputRate));
    out.resize(outFrames * 2);
    const float step = static_cast<float>(inputRate) / static_cast<float>(kMixSampleRate);
    for (size_t i = 0; i < outFrames; ++i) {
        const float position = static_cast<float>(i) * step;
        for (size_t c = 0; c < 2; ++c)
            out[i * 2 + c] = catmullRomAt(in.data(), frames, position, c);
    }
}
