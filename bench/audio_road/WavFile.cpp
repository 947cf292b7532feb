#include "WavFile.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

constexpr uint16_t kTagPcm = 1;
constexpr uint16_t kTagFloat = 3;
constexpr size_t kMaxWavBytes = size_t{1} << 30;

void put32(std::vector<uint8_t> &out, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void put16(std::vector<uint8_t> &out, uint16_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void putTag(std::vector<uint8_t> &out, const char *tag)
{
    out.insert(out.end(), tag, tag + 4);
}

uint32_t get32(const uint8_t *p)
{
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

uint16_t get16(const uint8_t *p)
{
    return static_cast<uint16_t>(p[0] | p[1] << 8);
}

} // namespace

bool writeWavFloat(const std::string &path, uint32_t sampleRate, uint16_t channels, const float *samples,
                   size_t frames)
{
    const uint64_t dataBytes = uint64_t(frames) * channels * 4;
    if (channels == 0 || dataBytes > kMaxWavBytes)
        return false;
    std::vector<uint8_t> out;
    out.reserve(44 + dataBytes);
    putTag(out, "RIFF");
    put32(out, static_cast<uint32_t>(36 + dataBytes));
    putTag(out, "WAVE");
    putTag(out, "fmt ");
    put32(out, 16);
    put16(out, kTagFloat);
    put16(out, channels);
    put32(out, sampleRate);
    put32(out, sampleRate * channels * 4);
    put16(out, static_cast<uint16_t>(channels * 4));
    put16(out, 32);
    putTag(out, "data");
    put32(out, static_cast<uint32_t>(dataBytes));
    const size_t at = out.size();
    out.resize(at + dataBytes);
    if (dataBytes)
        std::memcpy(out.data() + at, samples, dataBytes);
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char *>(out.data()), static_cast<std::streamsize>(out.size()));
    return static_cast<bool>(file);
}

bool parseWav(const uint8_t *bytes, size_t size, WavAudio &out, std::string &error)
{
    out = {};
    if (!bytes || size < 12 || std::memcmp(bytes, "RIFF", 4) != 0 || std::memcmp(bytes + 8, "WAVE", 4) != 0) {
        error = "not a RIFF/WAVE file";
        return false;
    }
    const uint64_t riffEnd = uint64_t(get32(bytes + 4)) + 8;
    if (riffEnd > size || riffEnd < 12) {
        error = "RIFF length runs past the file";
        return false;
    }
    uint16_t tag = 0, bits = 0, blockAlign = 0;
    bool haveFormat = false;
    size_t at = 12;
    while (at + 8 <= riffEnd) {
        const uint8_t *chunk = bytes + at;
        const uint64_t length = get32(chunk + 4);
        if (at + 8 + length > riffEnd) {
            error = "chunk length runs past the RIFF data";
            return false;
        }
        const uint8_t *body = chunk + 8;
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (length < 16) {
                error = "fmt chunk too short";
                return false;
            }
            tag = get16(body);
            out.channels = get16(body + 2);
            out.sampleRate = get32(body + 4);
            blockAlign = get16(body + 12);
            bits = get16(body + 14);
            const bool known = (tag == kTagFloat && bits == 32) || (tag == kTagPcm && bits == 16);
            if (!known || out.channels == 0 || out.channels > 8 || out.sampleRate == 0
                || blockAlign != out.channels * (bits / 8)) {
                error = "unsupported sample format";
                return false;
            }
            haveFormat = true;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (!haveFormat) {
                error = "data before fmt";
                return false;
            }
            if (length % blockAlign != 0) {
                error = "data is not whole frames";
                return false;
            }
            const size_t count = static_cast<size_t>(length / (bits / 8));
            out.samples.resize(count);
            for (size_t i = 0; i < count; ++i) {
                if (tag == kTagFloat) {
                    std::memcpy(&out.samples[i], body + 4 * i, 4);
                } else {
                    out.samples[i] = static_cast<int16_t>(get16(body + 2 * i)) / 32768.0f;
                }
            }
            return true;
        }
        at += 8 + length + (length & 1); // chunks are word aligned
    }
    error = haveFormat ? "no data chunk" : "no fmt chunk";
    return false;
}

bool readWav(const std::string &path, WavAudio &out, std::string &error)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        error = "cannot open " + path;
        return false;
    }
    file.seekg(0, std::ios::end);
    const std::streamoff size = file.tellg();
    if (size < 0 || static_cast<uint64_t>(size) > kMaxWavBytes) {
        error = "file too large";
        return false;
    }
    file.seekg(0);
    std::vector<uint8_t> bytes(static_cast<size_t>(size));
    file.read(reinterpret_cast<char *>(bytes.data()), size);
    if (!file) {
        error = "cannot read " + path;
        return false;
    }
    return parseWav(bytes.data(), bytes.size(), out, error);
}

SilentGaps silentGaps(const std::vector<float> &interleaved, uint16_t channels, size_t from, size_t longerThanFrames)
{
    SilentGaps gaps;
    if (channels == 0)
        return gaps;
    size_t run = 0;
    const size_t frames = interleaved.size() / channels;
    for (size_t f = from; f <= frames; ++f) {
        bool quiet = f < frames;
        for (uint16_t c = 0; quiet && c < channels; ++c)
            quiet = std::fabs(interleaved[f * channels + c]) < 1e-3f;
        if (quiet) {
            ++run;
            continue;
        }
        if (run > longerThanFrames)
            ++gaps.count;
        gaps.longestFrames = std::max(gaps.longestFrames, run);
        run = 0;
    }
    return gaps;
}
