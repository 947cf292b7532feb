#include "device/bootloader/sndc_codec.h"

#include "device/bootloader/bootloader_log.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace bootloader {

namespace {

std::vector<uint8_t> reply(uint8_t command, const void *data, size_t length, uint8_t checksum)
{
    std::vector<uint8_t> r(std::begin(kSndcMagic), std::end(kSndcMagic));
    r.insert(r.end(), {0x10, 0x00, command, uint8_t(length), uint8_t(length >> 8)});
    const auto *bytes = static_cast<const uint8_t *>(data);
    r.insert(r.end(), bytes, bytes + length);
    r.push_back(checksum);
    return r;
}

template <class Block>
Block blockFrom(const std::vector<uint8_t> &defaultReply)
{
    Block b{};
    const size_t data = defaultReply.size() - kSndcReplyOverheadBytes;
    std::memcpy(&b, defaultReply.data() + kSndcReplyDataOffset, std::min(sizeof b, data));
    return b;
}

AlgBlock algDefaults()
{
    AlgBlock a{};
    a.agc = {48000, 0.0f, -1.0f, 20.0f, 10.0f, 100.0f, 100.0f, -40.0f};
    a.drc = {48000, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f};
    a.aec = {1.0f, 0.05f};
    a.ncDepth = 0.5f;
    return a;
}

EqRecord eqDefaults()
{
    EqRecord e{};
    struct Band {
        uint8_t type;
        float fc, qbw;
    };
    const Band bands[10] = {{5, 20.0f, 1.0f},   {0, 120.0f, 1.0f},  {0, 150.0f, 0.2f},  {0, 220.0f, 0.5f},
                            {0, 300.0f, 0.2f},  {0, 800.0f, 2.0f},  {0, 1000.0f, 0.2f}, {0, 1500.0f, 2.0f},
                            {0, 4000.0f, 0.2f}, {4, 8000.0f, 1.0f}};
    for (int i = 0; i < 10; ++i) {
        e.left[i] = EqBand{1, bands[i].type, {0, 0}, bands[i].qbw, bands[i].fc, 0.0f};
        e.right[i] = e.left[i];
    }
    return e;
}

} // namespace

uint8_t sndcChecksum(const uint8_t *bytes, size_t count)
{
    if (count <= 7) {
        print("data invalid\n");
        return 0;
    }
    unsigned sum = 0;
    for (size_t i = 0; i < count; ++i)
        sum += bytes[i];
    return uint8_t(256 - (sum & 0xFF));
}

int buildSndcFrame(const uint8_t *payload, size_t length, uint8_t *out)
{
    if (length > kSndcMaxPayloadBytes)
        return -1;
    out[0] = 0x01;
    out[1] = uint8_t(length + 6);
    std::memcpy(out + 2, kSndcMagic, sizeof kSndcMagic);
    if (length > 0)
        std::memcpy(out + 7, payload, length);
    out[7 + length] = sndcChecksum(out + 2, length + 5);
    return int(length + 8);
}

std::vector<uint8_t> sndcPayload(uint8_t group, uint8_t channel, uint8_t command, const uint8_t *data,
                                 size_t dataLength)
{
    std::vector<uint8_t> p{group, channel, command, uint8_t(dataLength >> 8), uint8_t(dataLength)};
    if (data)
        p.insert(p.end(), data, data + dataLength);
    else
        p.resize(p.size() + dataLength, 0);
    return p;
}

int reassembleSndcReply(const uint8_t *chunk, int length, SndcReplyState &state)
{
    if (chunk == nullptr || length <= 0) {
        print("invalid data buf\n");
        return 0;
    }
    state.complete = false;
    std::string hex;
    for (int i = 0; i < length; ++i) {
        char b[4];
        std::snprintf(b, sizeof b, "%02X ", chunk[i]);
        hex += b;
    }
    print(" totalLen = %d readyDataLen = %d %s\n", state.total, state.ready, hex.c_str());

    if (!state.buffer.empty() && state.ready > 0) {
        if (state.ready > state.total || size_t(state.total) > state.buffer.size())
            return 0;
        const int need = state.total - state.ready;
        const int taken = std::min(length, need);
        std::memcpy(state.buffer.data() + state.ready, chunk, size_t(taken));
        print("needLend=%d len=%d\n", need, length);
        if (state.ready + taken >= state.total) {
            print("parse complete!\n");
            state.complete = true;
        }
        return taken;
    }
    if (length > 10 && std::memcmp(chunk, kSndcMagic, sizeof kSndcMagic) == 0) {
        const int total = int(chunk[8] | chunk[9] << 8) + int(kSndcReplyOverheadBytes);
        print(" totalLen = %d\n", total);
        if (total <= int(kSndcReplyOverheadBytes))
            return 0;
        state.total = total;
        state.buffer.assign(size_t(total), 0);
        const int taken = std::min(length, total);
        std::memcpy(state.buffer.data(), chunk, size_t(taken));
        if (taken >= total) {
            print("parse complete!\n");
            state.complete = true;
        }
        return taken;
    }
    // Not part of a reply: it must not count towards one.
    return 0;
}

void copyReplyData(const SndcReplyState &reply, void *block, size_t size)
{
    if (!reply.complete || reply.total < int(kSndcReplyOverheadBytes) || reply.buffer.size() < size_t(reply.total))
        return;
    const size_t data = size_t(reply.total) - kSndcReplyOverheadBytes;
    std::memcpy(block, reply.buffer.data() + kSndcReplyDataOffset, std::min(size, data));
}

const std::vector<uint8_t> &defaultAdcReply()
{
    static const std::vector<uint8_t> r = [] {
        std::vector<uint8_t> b;
        for (int i = 0; i < 2; ++i)
            b.insert(b.end(), {0x00, 0x01, 0x00, 0x00, 0x80, 0xBB, 0x00, 0x00});
        for (int i = 0; i < 2; ++i)
            b.insert(b.end(), {0x01, 0x01, 0x00, 0x00});
        for (int i = 0; i < 4; ++i)
            b.insert(b.end(), {0x00, 0x00, 0x0C, 0x00});
        for (int i = 0; i < 3; ++i)
            b.insert(b.end(), {0, 0, 0, 0, 0, 0, 0, 0, 0x0D, 0x07, 0x04, 0x04, 0x00, 0x0E, 0x1F, 0x00});
        return reply(0x01, b.data(), b.size(), 0x3E);
    }();
    return r;
}

const std::vector<uint8_t> &defaultDacReply()
{
    static const std::vector<uint8_t> r = [] {
        std::vector<uint8_t> b{0x00, 0x00, 0x00, 0x01, 0x80, 0xBB, 0x00, 0x00};
        for (int i = 0; i < 2; ++i) {
            b.push_back(0x01);
            b.resize(b.size() + 11, 0);
        }
        return reply(0x02, b.data(), b.size(), 0xBE);
    }();
    return r;
}

const std::vector<uint8_t> &defaultI2sReply()
{
    static const std::vector<uint8_t> r = [] {
        std::vector<uint8_t> b;
        for (int i = 0; i < 3; ++i)
            b.insert(b.end(), {0x01, 0x01, 0x01, 0x01, 0x00, 0x00, 0x05, 0x02, 0x80, 0xBB, 0x00, 0x00});
        return reply(0x03, b.data(), b.size(), 0x25);
    }();
    return r;
}

const std::vector<uint8_t> &defaultAlgReply()
{
    static const std::vector<uint8_t> r = [] {
        const AlgBlock a = algDefaults();
        return reply(0x08, &a, offsetof(AlgBlock, dnDepth), 0xEA);
    }();
    return r;
}

const std::vector<uint8_t> &defaultEqReply()
{
    static const std::vector<uint8_t> r = [] {
        const EqRecord e = eqDefaults();
        return reply(0x05, &e, offsetof(EqRecord, right), 0x2F);
    }();
    return r;
}

AdcBlock defaultAdcBlock() { return blockFrom<AdcBlock>(defaultAdcReply()); }
DacBlock defaultDacBlock() { return blockFrom<DacBlock>(defaultDacReply()); }
I2sBlock defaultI2sBlock() { return blockFrom<I2sBlock>(defaultI2sReply()); }
AlgBlock defaultAlgBlock() { return algDefaults(); }
EqRecord defaultEqRecord() { return eqDefaults(); }

namespace {

struct Range {
    uint8_t group, first, last;
    SndcShape shape;
    uint8_t fixedLength = 0;
};

using S = SndcShape;
constexpr Range kRanges[] = {
    {0x20, 0x81, 0x83, S::Fixed, 0},
    {0x30, 0x80, 0x86, S::ChannelByte}, {0x30, 0x87, 0x87, S::ChannelWord},
    {0x30, 0x88, 0x96, S::ChannelByte}, {0x30, 0x97, 0x97, S::Fixed, 1},
    {0x31, 0x80, 0x83, S::ChannelByte}, {0x31, 0x84, 0x84, S::ChannelWord},
    {0x31, 0x85, 0x8E, S::ChannelByte}, {0x31, 0x8F, 0x8F, S::Fixed, 0},
    {0x32, 0x80, 0x84, S::ChannelByte}, {0x32, 0x85, 0x85, S::ChannelWord}, {0x32, 0x86, 0x88, S::ChannelByte},
    {0x40, 0x80, 0x83, S::Byte},        {0x40, 0x84, 0x85, S::Fixed, 0},
    {0x40, 0x86, 0x86, S::ChannelByte}, {0x40, 0x87, 0x87, S::ChannelRecord24},
    {0x40, 0x88, 0x88, S::ChannelRecord13}, {0x40, 0x89, 0x89, S::Channel},
    // The same four commands again, as operations with templates of their own.
    {0x40, 0x86, 0x86, S::ChannelByte}, {0x40, 0x87, 0x87, S::ChannelRecord24},
    {0x40, 0x88, 0x88, S::ChannelRecord13}, {0x40, 0x89, 0x89, S::Channel},
    {0x40, 0x8A, 0x8A, S::ChannelByte}, {0x40, 0x8B, 0x8B, S::ChannelRecord24},
    {0x40, 0x8C, 0x8C, S::ChannelRecord13}, {0x40, 0x8D, 0x8D, S::Channel},
    {0x41, 0x80, 0x80, S::Byte},        {0x41, 0x82, 0x83, S::Byte},
    {0x41, 0x84, 0x85, S::Fixed, 0},    {0x41, 0x86, 0x86, S::ChannelByte},
    {0x41, 0x87, 0x87, S::ChannelRecord24}, {0x41, 0x88, 0x88, S::ChannelRecord13},
    {0x41, 0x89, 0x89, S::Channel},
    {0x50, 0x80, 0x80, S::Byte},        {0x50, 0x81, 0x81, S::ChannelByte},
    {0x51, 0x80, 0x80, S::Byte},        {0x51, 0x81, 0x88, S::Word},
    {0x52, 0x80, 0x80, S::Byte},        {0x52, 0x81, 0x86, S::Word},
    {0x53, 0x80, 0x80, S::Byte},        {0x53, 0x81, 0x82, S::Word},
    {0x54, 0x80, 0x81, S::Byte},        {0x54, 0x82, 0x82, S::Word},
    {0x55, 0x80, 0x80, S::Byte},        {0x55, 0x81, 0x81, S::Word},
    {0x56, 0x80, 0x84, S::Byte},        {0x56, 0x85, 0x85, S::Fixed, 0},
    {0x57, 0x80, 0x80, S::Byte},        {0x57, 0x81, 0x82, S::Word},
};

constexpr uint8_t dataLengthOf(const Range &r)
{
    switch (r.shape) {
    case S::ChannelByte:
    case S::Byte: return 1;
    case S::ChannelWord:
    case S::Word: return 4;
    case S::ChannelRecord24: return 24;
    case S::ChannelRecord13: return 13;
    case S::Channel: return 0;
    case S::Fixed: return r.fixedLength;
    }
    return 0;
}

constexpr size_t rowsOf()
{
    size_t n = 0;
    for (const Range &r : kRanges)
        n += size_t(r.last - r.first + 1);
    return n;
}
static_assert(rowsOf() == kSndcCommandCount);

constexpr std::array<SndcCommand, kSndcCommandCount> makeTable()
{
    std::array<SndcCommand, kSndcCommandCount> t{};
    size_t i = 0;
    for (const Range &r : kRanges)
        for (int c = r.first; c <= r.last; ++c)
            t[i++] = SndcCommand{r.group, uint8_t(c), r.shape, dataLengthOf(r)};
    return t;
}

constexpr std::array<SndcCommand, kSndcCommandCount> kTable = makeTable();

} // namespace

const std::array<SndcCommand, kSndcCommandCount> &sndcCommandTable() { return kTable; }

size_t sndcTemplateBytes(const SndcCommand &command)
{
    // Fixed templates carry no data bytes, whatever their length field says.
    return kSndcCommandHeaderBytes + (command.shape == SndcShape::Fixed ? 0 : command.dataLength);
}

} // namespace bootloader
