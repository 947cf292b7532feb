#pragma once
// 48 kHz float stereo WAV files for the audio demonstration: a writer, and a
// reader that checks every chunk length against the file before it trusts it.

#include <cstdint>
#include <string>
#include <vector>

struct WavAudio {
    uint32_t sampleRate = 0;
    uint16_t channels = 0;
    std::vector<float> samples; // interleaved
};

// IEEE float, 32 bits. False when the file cannot be written.
bool writeWavFloat(const std::string &path, uint32_t sampleRate, uint16_t channels, const float *samples,
                   size_t frames);

// Parses a whole file's bytes: RIFF/WAVE, a "fmt " chunk of IEEE float 32 or
// PCM 16, a "data" chunk; other chunks are skipped. Any length that runs past
// the bytes, an odd or missing chunk, or a data size that is not whole frames
// gives false and a reason.
bool parseWav(const uint8_t *bytes, size_t size, WavAudio &out, std::string &error);
bool readWav(const std::string &path, WavAudio &out, std::string &error);

// Stretches where every channel is silent (below 1e-3) for more than
// longerThanFrames frames, from frame `from` on, and the longest stretch.
struct SilentGaps {
    size_t count = 0;
    size_t longestFrames = 0;
};
SilentGaps silentGaps(const std::vector<float> &interleaved, uint16_t channels, size_t from, size_t longerThanFrames);
