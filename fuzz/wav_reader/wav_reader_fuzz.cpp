// WAV files as the demonstration's analysis reads them back.
#include "WavFile.h"

#include <cstddef>
#include <cstdint>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    WavAudio wav;
    std::string error;
    if (parseWav(data, size, wav, error)) {
        // Whatever parses is whole frames of a known format.
        if (wav.channels == 0 || wav.samples.size() % wav.channels != 0)
            __builtin_trap();
    } else if (error.empty()) {
        __builtin_trap();
    }
    return 0;
}
