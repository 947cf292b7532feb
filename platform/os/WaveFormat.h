#pragma once
// Our own mirror of the Windows wave-format records, byte for byte as they
// travel between the audio engine, the mixer and the virtual driver. All
// fields are little-endian; the records are packed so they can be copied to
// and from raw buffers unchanged. Self-contained on purpose: no other header
// of platform/os is needed to describe a block of audio.

#include <cstddef>
#include <cstdint>
#include <cstring>

#pragma pack(push, 1)

struct WaveGuid {
    uint32_t Data1;
    uint16_t Data2;
    uint16_t Data3;
    uint8_t Data4[8];

    friend bool operator==(const WaveGuid& a, const WaveGuid& b)
    {
        return std::memcmp(&a, &b, sizeof(WaveGuid)) == 0;
    }
};

struct WAVEFORMATEX {
    uint16_t wFormatTag;
    uint16_t nChannels;
    uint32_t nSamplesPerSec;
    uint32_t nAvgBytesPerSec;
    uint16_t nBlockAlign;
    uint16_t wBitsPerSample;
    uint16_t cbSize; // bytes of extension that follow this record
};

struct WAVEFORMATEXTENSIBLE {
    WAVEFORMATEX Format;
    union {
        uint16_t wValidBitsPerSample;
        uint16_t wSamplesPerBlock;
        uint16_t wReserved;
    } Samples;
    uint32_t dwChannelMask;
    WaveGuid SubFormat;
};

#pragma pack(pop)

static_assert(sizeof(WaveGuid) == 16);
static_assert(sizeof(WAVEFORMATEX) == 18);
static_assert(sizeof(WAVEFORMATEXTENSIBLE) == 40);
static_assert(offsetof(WAVEFORMATEXTENSIBLE, Samples) == 18);
static_assert(offsetof(WAVEFORMATEXTENSIBLE, dwChannelMask) == 20);
static_assert(offsetof(WAVEFORMATEXTENSIBLE, SubFormat) == 24);

inline constexpr uint16_t WAVE_FORMAT_PCM = 0x0001;
inline constexpr uint16_t WAVE_FORMAT_IEEE_FLOAT = 0x0003;
inline constexpr uint16_t WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

// Extension size of an extensible record (everything after cbSize).
inline constexpr uint16_t kWaveFormatExtensibleExtraBytes =
    sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX);

inline constexpr uint32_t SPEAKER_FRONT_LEFT = 0x1;
inline constexpr uint32_t SPEAKER_FRONT_RIGHT = 0x2;

// Sub-formats of the extensible record: the plain format tag in the first
// field, followed by the fixed audio-media suffix.
inline constexpr WaveGuid KSDATAFORMAT_SUBTYPE_PCM = {
    0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
inline constexpr WaveGuid KSDATAFORMAT_SUBTYPE_IEEE_FLOAT = {
    0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

namespace os {

// Interleaved 32-bit float: what the mixer mixes and what the engine hands it.
constexpr WAVEFORMATEX floatFormat(uint32_t rate, uint16_t channels)
{
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_IEEE_FLOAT;
    f.nChannels = channels;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = 32;
    f.nBlockAlign = static_cast<uint16_t>(channels * sizeof(float));
    f.nAvgBytesPerSec = rate * f.nBlockAlign;
    f.cbSize = 0;
    return f;
}

} // namespace os
