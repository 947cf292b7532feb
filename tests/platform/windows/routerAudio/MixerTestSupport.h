#pragma once
// Small builders shared by the mixer tests.

#include "platform/windows/routerAudio/Mixer.h"

#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

namespace mixertest {

inline AudioRouteConfig routed(uint32_t id, float volume1 = 1.0f, float volume2 = 1.0f)
{
    AudioRouteConfig r;
    r.processID = id;
    r.active = 1;
    r.input1 = {1, volume1, 0};
    r.input2 = {1, volume2, 0};
    return r;
}

inline WAVEFORMATEX pcmFormat(uint16_t bits, uint16_t channels, uint32_t rate = kMixSampleRate)
{
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = bits;
    f.nBlockAlign = static_cast<uint16_t>(channels * bits / 8);
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    return f;
}

inline WAVEFORMATEXTENSIBLE extensibleFormat(const WaveGuid &sub, uint16_t bits, uint16_t validBits,
                                             uint16_t channels = 2)
{
    WAVEFORMATEXTENSIBLE x{};
    x.Format = pcmFormat(bits, channels);
    x.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    x.Format.cbSize = kWaveFormatExtensibleExtraBytes;
    x.Samples.wValidBitsPerSample = validBits;
    x.dwChannelMask = SPEAKER_FRONT_LEFT | SPEAKER_FRONT_RIGHT;
    x.SubFormat = sub;
    return x;
}

// Pushes interleaved float samples (channels taken from the format).
inline void pushFloats(Mixer &mixer, uint32_t id, const std::vector<float> &samples,
                       uint32_t rate = kMixSampleRate, uint16_t channels = 2)
{
    const WAVEFORMATEX f = os::floatFormat(rate, channels);
    mixer.push(id, samples.data(), static_cast<uint32_t>(samples.size() * sizeof(float)), &f);
}

inline std::vector<float> constantBlock(uint32_t frames, float value)
{
    return std::vector<float>(static_cast<size_t>(frames) * 2, value);
}

// Stereo sine, both channels alike, continuing from frame `start`.
inline std::vector<float> sineBlock(uint32_t frames, double hz, double rate, float amplitude, uint64_t start = 0)
{
    std::vector<float> out(static_cast<size_t>(frames) * 2);
    for (uint32_t f = 0; f < frames; ++f) {
        const auto v = static_cast<float>(amplitude * std::sin(2.0 * M_PI * hz * double(start + f) / rate));
        out[2 * f] = v;
        out[2 * f + 1] = v;
    }
    return out;
}

} // namespace mixertest
