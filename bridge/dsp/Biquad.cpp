#include "bridge/dsp/Biquad.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr float kSmallestNormal = 1.1754944e-38f;
constexpr float kMinFrequencyHz = 20.0f;

// What the design may use: beyond these the formulas give NaN or poles on or
// outside the unit circle, which would silence the channel for good.
constexpr float kDesignMinHz = 1.0f;
constexpr float kDesignMaxFraction = 0.49f;
constexpr float kDesignMinOctaves = 0.01f;
constexpr float kDesignMaxOctaves = 10.0f;
constexpr float kDesignMaxGainDb = 48.0f;

struct Coefficients {
    float b0 = 1.0f, b1 = 0.0f, b2 = 0.0f, a1 = 0.0f, a2 = 0.0f;
};

bool stable(const Coefficients &k)
{
    const float values[] = {k.b0, k.b1, k.b2, k.a1, k.a2};
    for (float v : values)
        if (!std::isfinite(v))
            return false;
    return std::fabs(k.a2) < 1.0f && std::fabs(k.a1) < 1.0f + k.a2;
}

// Any parameter the formulas cannot serve gives the pass-through section.
Coefficients design(int type, float sampleRate, float frequency, float bandwidth, float gainDb)
{
    if (!std::isfinite(sampleRate) || !std::isfinite(frequency) || !std::isfinite(bandwidth)
        || !std::isfinite(gainDb) || !(sampleRate > 0.0f))
        return {};
    const float maxHz = kDesignMaxFraction * sampleRate;
    if (!(maxHz >= kDesignMinHz))
        return {};
    frequency = std::clamp(frequency, kDesignMinHz, maxHz);
    bandwidth = std::clamp(bandwidth, kDesignMinOctaves, kDesignMaxOctaves);
    gainDb = std::clamp(gainDb, -kDesignMaxGainDb, kDesignMaxGainDb);

    const float w0 = 6.283185f * frequency / sampleRate;
    const float s = std::sin(w0);
    const float c = std::cos(w0);
    const float alpha = s * std::sinh(0.3465736f * bandwidth * w0 / s);

    float b0, b1, b2, a0, a1, a2;
    switch (type) {
    case biquad::kHighPass:
        b0 = (1.0f + c) / 2.0f;
        b1 = -(1.0f + c);
        b2 = (1.0f + c) / 2.0f;
        a0 = 1.0f + s / 1.4142135f;
        a1 = -2.0f * c;
        a2 = 1.0f - s / 1.4142135f;
        break;
    case biquad::kFirstOrderHighPass: {
        const float t = std::tan(std::numbers::pi_v<float> * frequency / sampleRate);
        b0 = 1.0f / (1.0f + t);
        b1 = -1.0f / (1.0f + t);
        b2 = 0.0f;
        a0 = 1.0f;
        a1 = (t - 1.0f) / (1.0f + t);
        a2 = 0.0f;
        break;
    }
    case biquad::kBandPass:
        b0 = alpha;
        b1 = 0.0f;
        b2 = -alpha;
        a0 = 1.0f + alpha;
        a1 = -2.0f * c;
        a2 = 1.0f - alpha;
        break;
    case biquad::kNotch:
        b0 = 1.0f;
        b1 = -2.0f * c;
        b2 = 1.0f;
        a0 = 1.0f + alpha;
        a1 = -2.0f * c;
        a2 = 1.0f - alpha;
        break;
    case biquad::kPeaking: {
        const float A = static_cast<float>(std::pow(10.0, static_cast<double>(gainDb / 40.0f)));
        b0 = 1.0f + alpha * A;
        b1 = -2.0f * c;
        b2 = 1.0f - alpha * A;
        a0 = 1.0f + alpha / A;
        a1 = -2.0f * c;
        a2 = 1.0f - alpha / A;
        break;
    }
    case biquad::kAllPass:
        b0 = 1.0f - alpha;
        b1 = -2.0f * c;
        b2 = 1.0f + alpha;
        a0 = 1.0f + alpha;
        a1 = -2.0f * c;
        a2 = 1.0f - alpha;
        break;
    default: // biquad::kLowPass and anything unknown
        b0 = (1.0f - c) / 2.0f;
        b1 = 1.0f - c;
        b2 = (1.0f - c) / 2.0f;
        a0 = 1.0f + s / 1.4142135f;
        a1 = -2.0f * c;
        a2 = 1.0f - s / 1.4142135f;
        break;
    }
    const Coefficients k{b0 / a0, b1 / a0, b2 / a0, a1 / a0, a2 / a0};
    // Float rounding can put a pole on the unit circle at the far ends of the
    // ranges (a very low corner, a very wide band): pass rather than ring.
    return stable(k) ? k : Coefficients{};
}

} // namespace

float FBiquad::process(float x)
{
    float y = b0 * x + b1 * in1 + b2 * in2 - a1 * out1 - a2 * out2;
    if (y > -kSmallestNormal && y < kSmallestNormal)
        y = 0.0f;
    out2 = out1;
    out1 = y;
    in2 = in1;
    in1 = x;
    return y;
}

void FBiquadFilter::init(float rate, int channelCount, int filterType, float hz, float octaves, float db)
{
    sampleRate = rate;
    channels = std::max(channelCount, 0);
    type = filterType;
    frequency = std::max(hz, kMinFrequencyHz);
    bandwidth = octaves;
    gainDb = db;
    sections.reset(channels > 0 ? new FBiquad[channels] : nullptr);
    reset();
    updateCoefficients();
}

void FBiquadFilter::reset()
{
    for (int k = 0; k < channels; ++k) {
        sections[k].in1 = sections[k].in2 = 0.0f;
        sections[k].out1 = sections[k].out2 = 0.0f;
    }
}

void FBiquadFilter::set(int filterType, float hz, float octaves, float db)
{
    hz = std::max(hz, kMinFrequencyHz);
    if (filterType == type && hz == frequency && octaves == bandwidth && db == gainDb)
        return;
    type = filterType;
    frequency = hz;
    bandwidth = octaves;
    gainDb = db;
    updateCoefficients();
}

void FBiquadFilter::setType(int filterType)
{
    if (filterType == type)
        return;
    type = filterType;
    updateCoefficients();
}

void FBiquadFilter::setFrequency(float hz)
{
    hz = std::max(hz, 0.0f);
    if (hz == frequency)
        return;
    frequency = hz;
    updateCoefficients();
}

void FBiquadFilter::setBandwidth(float octaves)
{
    if (octaves == bandwidth)
        return;
    bandwidth = octaves;
    updateCoefficients();
}

void FBiquadFilter::setGain(float db)
{
    if (db == gainDb)
        return;
    gainDb = db;
    if (type == biquad::kPeaking)
        updateCoefficients();
}

void FBiquadFilter::updateCoefficients()
{
    const Coefficients k = design(type, sampleRate, frequency, bandwidth, gainDb);
    for (int i = 0; i < channels; ++i) {
        FBiquad &section = sections[i];
        section.b0 = k.b0;
        section.b1 = k.b1;
        section.b2 = k.b2;
        section.a1 = k.a1;
        section.a2 = k.a2;
    }
}

void FBiquadFilter::process(const float *in, float *out)
{
    if (enabled) {
        for (int k = 0; k < channels; ++k)
            out[k] = sections[k].process(in[k]);
    } else {
        for (int k = 0; k < channels; ++k)
            out[k] = in[k];
    }
}

bool FBiquadChain::init(float rate, int count, int channelCount)
{
    if (channelCount < 1 || channelCount > kMaxChannels || count < 0)
        return false;
    clear();
    sampleRate = rate;
    bandCount = count;
    channels = channelCount;
    if (count > 0) {
        bands.reset(new FBiquadFilter[count]);
        for (int i = 0; i < count; ++i)
            bands[i].init(rate, channelCount, biquad::kPeaking, 500.0f, 1.0f, 0.0f);
    }
    return true;
}

void FBiquadChain::clear()
{
    bands.reset();
    bandCount = 0;
}

FBiquadFilter *FBiquadChain::band(int index)
{
    if (!bands || index < 0 || index >= bandCount)
        return nullptr;
    return &bands[index];
}

void FBiquadChain::setBandEnabled(int index, bool on)
{
    if (FBiquadFilter *b = band(index))
        b->setEnabled(on);
}

void FBiquadChain::setBand(int index, float frequency, float bandwidth, float gainDb, int type)
{
    if (FBiquadFilter *b = band(index))
        b->set(type, frequency, bandwidth, gainDb);
}

void FBiquadChain::setBandFrequency(int index, float frequency)
{
    if (FBiquadFilter *b = band(index))
        b->setFrequency(frequency);
}

void FBiquadChain::setBandBandwidth(int index, float octaves)
{
    if (FBiquadFilter *b = band(index))
        b->setBandwidth(octaves);
}

void FBiquadChain::setBandGain(int index, float gainDb)
{
    if (FBiquadFilter *b = band(index))
        b->setGain(gainDb);
}

void FBiquadChain::processFrame(const float *in, float *out)
{
    if (!bands || bandCount == 0)
        return;
    float scratch[kMaxChannels];
    for (int k = 0; k < channels; ++k)
        scratch[k] = std::isfinite(in[k]) ? in[k] : 0.0f;
    for (int i = 0; i < bandCount; ++i) {
        bands[i].process(scratch, out);
        for (int k = 0; k < channels; ++k)
            scratch[k] = out[k];
    }
}

void FBiquadChain::processBlock(float *data, int frames)
{
    if (!bands || bandCount == 0 || !data || frames < 1)
        return;
    const long samples = static_cast<long>(frames) * channels;
    for (long i = 0; i < samples; ++i)
        data[i] = std::isfinite(data[i]) ? data[i] : 0.0f;
    for (int i = 0; i < bandCount; ++i) {
        const FBiquadFilter &band = bands[i];
        if (!band.enabled)
            continue;
        for (int k = 0; k < channels; ++k) {
            // A copy the compiler keeps in registers through the block.
            FBiquad section = band.sections[k];
            float *x = data + k;
            for (int n = 0; n < frames; ++n, x += channels)
                *x = section.process(*x);
            band.sections[k] = section;
        }
    }
}
