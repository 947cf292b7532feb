// A pushed block is described by a format record that the platform hands
// over: the first 40 bytes are that record (extensible or not), the rest the
// block. Convert, push and pull it; nothing may read out of bounds, and the
// pulled output must stay within [-1, 1].
#include "platform/windows/routerAudio/Mixer.h"

#include <cstdlib>
#include <cstring>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static AudioRouteConfigStore store;
    static Mixer mixer(store);
    static bool routedOnce = [] {
        AudioRouteConfig r;
        r.active = 1;
        r.solo = 1;
        r.input1 = {1, 1.0f, 0};
        r.input2 = {1, 1.0f, 0};
        store.set(1, r);
        return true;
    }();
    (void)routedOnce;

    if (size < sizeof(WAVEFORMATEXTENSIBLE))
        return 0;
    WAVEFORMATEXTENSIBLE format;
    std::memcpy(&format, data, sizeof(format));
    // Keep the converter count small: a handful of rates, including odd ones.
    static const uint32_t kRates[] = {0, 8000, 44100, 48000, 96000, 999, 22050, 768001};
    format.Format.nSamplesPerSec = kRates[format.Format.nSamplesPerSec % 8];
    const uint8_t *block = data + sizeof(format);
    const auto bytes = static_cast<uint32_t>(size - sizeof(format));

    std::vector<float> converted;
    convertToFloatStereo(block, bytes, format.Format, converted);
    if (converted.size() % 2 != 0)
        std::abort();

    mixer.push(1, block, bytes, &format.Format);
    float out[2 * 480];
    mixer.pullBus(out, 480, 2);
    for (float s : out)
        if (!(s >= -1.0f && s <= 1.0f))
            std::abort();
    mixer.pullMonitor(out, 480);
    for (float s : out)
        if (!(s >= -1.0f && s <= 1.0f))
            std::abort();
    return 0;
}
