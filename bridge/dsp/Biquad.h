#pragma once
// Second-order recursive filter sections after the audio-equaliser cookbook
// (bilinear transform, bandwidth in octaves), run in single precision over
// interleaved frames. Nothing here allocates or locks while processing.

#include <cstdint>
#include <memory>

// One section for one channel, Direct Form I. A new section passes its input.
class FBiquad
{
public:
    virtual ~FBiquad() = default;

    float process(float x);

    float b0 = 1.0f;
    float b1 = 0.0f;
    float b2 = 0.0f;
    float a1 = 0.0f;
    float a2 = 0.0f;
    float in1 = 0.0f;
    float in2 = 0.0f;
    float out1 = 0.0f;
    float out2 = 0.0f;
};

// Band types, numbered 0 to 6 in this order. Any other number designs a
// low-pass, so none is refused.
namespace biquad {
enum Type : int { kLowPass, kHighPass, kFirstOrderHighPass, kBandPass, kNotch, kPeaking, kAllPass };
} // namespace biquad

// One band: a type (see biquad:: above) with its parameters and one section
// per channel, all sharing the band's coefficients.
class FBiquadFilter
{
public:
    FBiquadFilter() = default;
    virtual ~FBiquadFilter() = default;
    FBiquadFilter(const FBiquadFilter &) = delete;
    FBiquadFilter &operator=(const FBiquadFilter &) = delete;

    void init(float sampleRate, int channels, int type, float frequency, float bandwidth, float gainDb);
    void reset();
    void set(int type, float frequency, float bandwidth, float gainDb);
    void setType(int type);
    void setFrequency(float frequency);
    void setBandwidth(float octaves);
    void setGain(float gainDb);
    void setEnabled(bool on) { enabled = on; }
    void updateCoefficients();
    void process(const float *in, float *out);

    int32_t type = 0;
    std::unique_ptr<FBiquad[]> sections;
    float sampleRate = 0.0f;
    int32_t channels = 0;
    float frequency = 0.0f;
    float bandwidth = 0.0f;
    float gainDb = 0.0f;
    bool enabled = true;
};

// A fixed number of bands applied in index order to interleaved frames of at
// most kMaxChannels channels.
class FBiquadChain
{
public:
    static constexpr int kMaxChannels = 8;

    FBiquadChain() = default;
    ~FBiquadChain() { clear(); }
    FBiquadChain(const FBiquadChain &) = delete;
    FBiquadChain &operator=(const FBiquadChain &) = delete;

    // Refuses (false, chain unchanged) channels outside 1..kMaxChannels and
    // a negative band count: the scratch frame holds kMaxChannels samples.
    bool init(float sampleRate, int bandCount, int channels);
    void clear();

    void setBandEnabled(int index, bool on);
    void setBand(int index, float frequency, float bandwidth, float gainDb, int type);
    void setBandFrequency(int index, float frequency);
    void setBandBandwidth(int index, float octaves);
    void setBandGain(int index, float gainDb);

    // in and out may be the same frame. A sample that is not finite enters
    // as 0, so one bad sample cannot poison the filters' history.
    void processFrame(const float *in, float *out);
    // The same over a block of interleaved frames in place, band by band:
    // each section runs through the whole block with its state in registers.
    void processBlock(float *data, int frames);

    int32_t bandCount = 0;
    int32_t channels = 0;
    std::unique_ptr<FBiquadFilter[]> bands;
    float sampleRate = 0.0f;

private:
    FBiquadFilter *band(int index);
};
