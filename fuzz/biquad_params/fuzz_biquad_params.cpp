// Bytes become a sample rate, a channel count, twelve bands (type, frequency,
// bandwidth, gain as raw floats, so NaN, infinities and huge values come up)
// and 16-bit samples. Whatever the parameters, a bounded input must give a
// finite output: an unstable or NaN design would abort here.
#include "bridge/dsp/Biquad.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

constexpr int kBands = 12;
constexpr size_t kBandBytes = 1 + 3 * sizeof(float);
constexpr size_t kHeaderBytes = sizeof(float) + 1 + kBands * kBandBytes;

float readFloat(const uint8_t *p)
{
    float v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < kHeaderBytes)
        return 0;
    const float rate = readFloat(data);
    const int channels = data[4] % 10; // 0 and 9 must be refused
    FBiquadChain chain;
    if (!chain.init(rate, kBands, channels)) {
        if (channels >= 1 && channels <= FBiquadChain::kMaxChannels)
            std::abort();
        return 0;
    }
    const uint8_t *band = data + 5;
    for (int i = 0; i < kBands; ++i, band += kBandBytes) {
        chain.setBand(i, readFloat(band + 1), readFloat(band + 5), readFloat(band + 9), int8_t(band[0]) % 9);
        chain.setBandEnabled(i, (band[0] & 0x80) == 0);
    }

    const uint8_t *samples = data + kHeaderBytes;
    const size_t count = (size - kHeaderBytes) / 2;
    float frame[FBiquadChain::kMaxChannels] = {};
    for (size_t n = 0; n < count; ++n) {
        int16_t v;
        std::memcpy(&v, samples + 2 * n, 2);
        frame[n % channels] = float(v) / 32768.0f;
        if (n % channels != size_t(channels - 1))
            continue;
        chain.processFrame(frame, frame);
        for (int k = 0; k < channels; ++k)
            if (!std::isfinite(frame[k]))
                std::abort();
        if (n == count / 2) // a parameter change mid-stream keeps the history
            chain.setBandGain(int(n % kBands), readFloat(data + 9));
    }
    return 0;
}
