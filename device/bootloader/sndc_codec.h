// "SNDC" frames of the boot-loader link: the request frame, its checksum,
// the reassembly of replies that arrive over several reports, the parameter
// blocks as the device lays them out, their built-in default replies and the
// table of the command family. Plain functions, no Qt.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace bootloader {

static_assert(std::endian::native == std::endian::little, "parameter blocks are copied as little-endian bytes");

inline constexpr uint8_t kSndcMagic[5] = {0xAA, 0x53, 0x4E, 0x44, 0x43};
inline constexpr size_t kSndcFrameBufferBytes = 256;
inline constexpr size_t kSndcMaxPayloadBytes = kSndcFrameBufferBytes - 8; // 248
inline constexpr size_t kSndcReplyOverheadBytes = 11;                     // magic, header, length, checksum
inline constexpr size_t kSndcReplyDataOffset = 10;
inline constexpr size_t kSndcCommandHeaderBytes = 5; // group, channel, command, length (BE)

// 256 minus the low byte of the sum, kept to 8 bits; 0 with "data invalid"
// logged for 7 bytes or fewer.
uint8_t sndcChecksum(const uint8_t *bytes, size_t count);

// [0x01][n + 6][magic][payload][checksum] into out (256 bytes). Returns the
// frame length n + 8, or -1 for a payload above 248 bytes.
int buildSndcFrame(const uint8_t *payload, size_t length, uint8_t *out);

// A command payload: [group][channel][command][length BE][data].
std::vector<uint8_t> sndcPayload(uint8_t group, uint8_t channel, uint8_t command, const uint8_t *data = nullptr,
                                 size_t dataLength = 0);

// One reply being joined from report bodies.
struct SndcReplyState {
    bool complete = false;
    std::vector<uint8_t> buffer; // empty until a reply has started
    int ready = 0;               // bytes joined so far
    int total = 0;               // data length + 11 once started
};

// Takes one report body into the reply; returns the bytes taken, which the
// caller adds to state.ready. A chunk of 10 bytes or fewer, or one that does
// not start with the magic while no reply has started, is skipped and counts
// 0. A reply whose total is 11 or less is not started.
int reassembleSndcReply(const uint8_t *chunk, int length, SndcReplyState &state);

#pragma pack(push, 1)
struct AdcGlobal {
    uint8_t aias, wordLen, mixadc1, mixadc2;
    uint32_t sr;
};
struct AdcChannel {
    uint8_t en, gim, gid, aiadc;
};
struct AdcPair {
    uint8_t mute, hpf, mixrec, wnf;
    uint8_t agcEn, stereo, ngEn, snrOptEn, target, holdTime, atkTime, dcyTime, ngThr, minGain, maxGain, rev;
};
struct AdcBlock {
    AdcGlobal global[2];
    AdcChannel channel[6];
    AdcPair pair[3];
};
struct DacChannel {
    uint8_t en, mute, god, gom, gomix, gimix, mixdac, aidac, drcThr, drcComp, rev[2];
};
struct DacBlock {
    uint8_t aias, mix, drcEn, wordLen;
    uint32_t sr;
    DacChannel channel[2];
};
struct I2sConfig {
    uint8_t en, txEn, rxEn, isMaster, mute, format, dataW, frameLen;
    uint32_t sr;
};
struct I2sBlock {
    I2sConfig config[3];
};
struct AlgBlock {
    uint8_t volCtrlEn, agcEn, drcEn, aecEn, derevrbEn, ncEn, bfEn, doaEn, spkEqEn, micEqEn, referenEn, DenoiseEn;
    uint8_t vol[8];
    struct {
        uint32_t sr;
        float target, minGain, maxGain, holdTime, atkTime, rlsTime, thr;
    } agc;
    struct {
        uint32_t sr;
        float ratio, atkTime, rlsTime, kneeWid, thr;
    } drc;
    struct {
        float depth, converg;
    } aec;
    struct {
        uint8_t rat;
        uint8_t rev[3];
        float str;
    } derevrb;
    float ncDepth, dnDepth, dnVolum;
};
struct EqBand {
    uint8_t bandEn, eqType, rev[2];
    float qbw, fc, gain;
};
struct EqRecord {
    uint8_t eqNum, stereo, bypass, gain;
    EqBand left[10];
    EqBand right[10];
};
#pragma pack(pop)

static_assert(sizeof(AdcBlock) == 88);
static_assert(sizeof(DacBlock) == 32);
static_assert(sizeof(I2sBlock) == 36);
static_assert(sizeof(AlgBlock) == 104);
static_assert(sizeof(EqRecord) == 324);

// The built-in default replies, from the magic to the checksum.
const std::vector<uint8_t> &defaultAdcReply();
const std::vector<uint8_t> &defaultDacReply();
const std::vector<uint8_t> &defaultI2sReply();
const std::vector<uint8_t> &defaultAlgReply();
const std::vector<uint8_t> &defaultEqReply();
// The blocks those replies fill; the bytes they leave out are ours: the
// algorithm block's dnDepth and dnVolum 0.0, the EQ record's right bands a
// copy of its left bands.
AdcBlock defaultAdcBlock();
DacBlock defaultDacBlock();
I2sBlock defaultI2sBlock();
AlgBlock defaultAlgBlock();
EqRecord defaultEqRecord();

// Copies min(size, dataLength) bytes of a complete reply's data over a block
// that holds its default.
void copyReplyData(const SndcReplyState &reply, void *block, size_t size);

// The command family: shapes of the arguments an operation writes.
enum class SndcShape : uint8_t {
    ChannelByte = 1,   // channel at byte 1, one data byte
    Byte = 2,          // one data byte, channel 0
    ChannelWord = 3,   // channel, u32 LE data
    Word = 4,          // u32 LE data, channel 0
    ChannelRecord24 = 5,
    ChannelRecord13 = 6,
    Channel = 7,       // channel, no data
    Fixed = 8,         // nothing written; data length as listed
};

struct SndcCommand {
    uint8_t group;
    uint8_t command;
    SndcShape shape;
    uint8_t dataLength; // the template's length field
};

inline constexpr size_t kSndcCommandCount = 114;
const std::array<SndcCommand, kSndcCommandCount> &sndcCommandTable();
// Bytes a template has: header plus its data (0x30/0x97 has none).
size_t sndcTemplateBytes(const SndcCommand &command);

} // namespace bootloader
