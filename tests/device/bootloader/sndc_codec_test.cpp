#include "device/bootloader/bootloader_log.h"
#include "device/bootloader/sndc_codec.h"
#include "device/bootloader/sndc_link.h"

#include <gtest/gtest.h>

#include <cstring>
#include <deque>
#include <string>
#include <vector>

using namespace bootloader;

namespace {

std::vector<uint8_t> bytes(std::initializer_list<int> v)
{
    std::vector<uint8_t> out;
    for (int b : v)
        out.push_back(uint8_t(b));
    return out;
}

// Feeds report bodies as a reader would and returns the joined reply, or
// nothing when it never completed.
std::vector<uint8_t> join(const std::vector<std::vector<uint8_t>> &chunks)
{
    SndcReplyState state;
    for (const auto &c : chunks) {
        state.ready += reassembleSndcReply(c.data(), int(c.size()), state);
        if (state.complete)
            return std::vector<uint8_t>(state.buffer.begin(), state.buffer.begin() + state.ready);
    }
    return {};
}

std::vector<std::vector<uint8_t>> cut(const std::vector<uint8_t> &reply, std::vector<size_t> sizes)
{
    std::vector<std::vector<uint8_t>> chunks;
    size_t at = 0;
    for (size_t n : sizes) {
        chunks.emplace_back(reply.begin() + std::ptrdiff_t(at), reply.begin() + std::ptrdiff_t(at + n));
        at += n;
    }
    if (at < reply.size())
        chunks.emplace_back(reply.begin() + std::ptrdiff_t(at), reply.end());
    return chunks;
}

class Quiet : public ::testing::Test
{
protected:
    void SetUp() override
    {
        setPrintSink([this](const std::string &t) { log += t; });
    }
    void TearDown() override { setPrintSink({}); }
    std::string log;
};

} // namespace

using sndc_codec = Quiet;

TEST_F(sndc_codec, RequestFramesAndTheirChecksum)
{
    const std::vector<uint8_t> payload = sndcPayload(0x10, 0x00, 0x81);
    uint8_t frame[256];
    const int n = buildSndcFrame(payload.data(), payload.size(), frame);
    EXPECT_EQ(std::vector<uint8_t>(frame, frame + n),
              bytes({0x01, 0x0B, 0xAA, 0x53, 0x4E, 0x44, 0x43, 0x10, 0x00, 0x81, 0x00, 0x00, 0x9D}));

    std::vector<uint8_t> big(249, 0x01);
    EXPECT_EQ(buildSndcFrame(big.data(), 249, frame), -1);
    EXPECT_EQ(buildSndcFrame(big.data(), 248, frame), 256);
    EXPECT_EQ(frame[1], 254);
    unsigned sum = 0;
    for (int i = 2; i < 256; ++i)
        sum += frame[i];
    EXPECT_EQ(sum % 256, 0u);

    EXPECT_EQ(sndcChecksum(frame, 7), 0);
    EXPECT_NE(log.find("data invalid"), std::string::npos);
    EXPECT_EQ(sndcChecksum(bytes({1, 2, 3, 4, 5, 6, 7, 8}).data(), 8), 256 - 36);
}

TEST_F(sndc_codec, DefaultRepliesCarryTheirBlocksAndChecksums)
{
    struct Case {
        const char *name;
        const std::vector<uint8_t> &reply;
        uint8_t command, dataLength, checksum;
    };
    const Case cases[] = {
        {"ADC", defaultAdcReply(), 0x01, 0x58, 0x3E}, {"DAC", defaultDacReply(), 0x02, 0x20, 0xBE},
        {"I2S", defaultI2sReply(), 0x03, 0x24, 0x25}, {"algorithm", defaultAlgReply(), 0x08, 0x60, 0xEA},
        {"EQ", defaultEqReply(), 0x05, 0xA4, 0x2F},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(c.reply.size(), size_t(c.dataLength) + 11);
        EXPECT_EQ(std::vector<uint8_t>(c.reply.begin(), c.reply.begin() + 10),
                  bytes({0xAA, 0x53, 0x4E, 0x44, 0x43, 0x10, 0x00, c.command, c.dataLength, 0x00}));
        EXPECT_EQ(c.reply.back(), c.checksum);
        EXPECT_EQ(sndcChecksum(c.reply.data(), c.reply.size() - 1), c.checksum);
    }
    EXPECT_EQ(defaultAdcBlock().global[1].sr, 48000u);
    EXPECT_EQ(defaultAdcBlock().pair[2].maxGain, 0x1F);
    EXPECT_EQ(defaultDacBlock().channel[1].en, 1);
    EXPECT_EQ(defaultI2sBlock().config[2].frameLen, 2);
    const AlgBlock alg = defaultAlgBlock();
    EXPECT_EQ(alg.agc.thr, -40.0f);
    EXPECT_EQ(alg.aec.converg, 0.05f);
    EXPECT_EQ(alg.ncDepth, 0.5f);
    EXPECT_EQ(alg.dnDepth, 0.0f);
    EXPECT_EQ(alg.dnVolum, 0.0f);
    const EqRecord eq = defaultEqRecord();
    EXPECT_EQ(eq.left[9].fc, 8000.0f);
    EXPECT_EQ(std::memcmp(eq.left, eq.right, sizeof eq.left), 0);
}

TEST_F(sndc_codec, RepliesJoinAcrossReportsAndSkipWhatIsNotOne)
{
    const std::vector<uint8_t> &reply = defaultAdcReply(); // 99 bytes
    const std::vector<uint8_t> stale(20, 0x5A);
    struct Case {
        const char *name;
        std::vector<std::vector<uint8_t>> chunks;
        bool whole;
    };
    auto with = [](std::vector<uint8_t> head, std::vector<std::vector<uint8_t>> rest) {
        rest.insert(rest.begin(), std::move(head));
        return rest;
    };
    const Case cases[] = {
        {"one chunk", {reply}, true},
        {"62 + 37", cut(reply, {62}), true},
        {"11 + 1 + 1 + rest", cut(reply, {11, 1, 1}), true},
        {"stale report first", with(stale, cut(reply, {62})), true},
        {"two stale reports", with(stale, with(stale, cut(reply, {40}))), true},
        {"first chunk of 10", cut(reply, {10}), false},
        {"first chunk of 1", cut(reply, {1, 61}), false},
        {"cut short", {std::vector<uint8_t>(reply.begin(), reply.begin() + 62)}, false},
    };
    for (const Case &c : cases)
        EXPECT_EQ(join(c.chunks) == reply, c.whole) << c.name;

    // A chunk beyond the total is taken only up to it; a reply of no data
    // never starts.
    SndcReplyState state;
    std::vector<uint8_t> longer = reply;
    longer.resize(140, 0xEE);
    EXPECT_EQ(reassembleSndcReply(longer.data(), int(longer.size()), state), 99);
    EXPECT_TRUE(state.complete);
    SndcReplyState empty;
    const auto none = bytes({0xAA, 0x53, 0x4E, 0x44, 0x43, 0x10, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00});
    EXPECT_EQ(reassembleSndcReply(none.data(), int(none.size()), empty), 0);
    EXPECT_TRUE(empty.buffer.empty());
    EXPECT_EQ(reassembleSndcReply(nullptr, 0, empty), 0);
}

namespace {

// A link that is open and answers each read with the next scripted body,
// then nothing.
struct ScriptedIo : SndcIo
{
    std::deque<std::vector<uint8_t>> bodies;
    bool isOpen() const override { return true; }
    int sendSndcFrame(const uint8_t *, uint16_t) override { return 13; }
    int readSndcReport(uint8_t *body, uint16_t *length) override
    {
        *length = 0;
        if (bodies.empty())
            return 0;
        const std::vector<uint8_t> b = bodies.front();
        bodies.pop_front();
        std::memcpy(body, b.data(), b.size());
        *length = uint16_t(b.size());
        return int(b.size()) + 2;
    }
};

} // namespace

TEST_F(sndc_codec, DumpsLogEveryFieldUnderItsHeading)
{
    ScriptedIo io;
    SndcLink link(io);
    link.printEqParams();
    EXPECT_NE(log.find("EQ para NULL!"), std::string::npos);

    // A silent device: the defaults are stored and dumped.
    log.clear();
    ASSERT_TRUE(link.readAdcParams() && link.readDacParams() && link.readI2sParams() && link.readAlgParams());
    ASSERT_TRUE(link.readSpkEqCount() && link.readMicEqCount());
    EXPECT_EQ(link.spkEqCount(), 1);
    ASSERT_TRUE(link.readSpkEqParams() && link.readMicEqParams());
    EXPECT_EQ(std::memcmp(&link.adc(), &defaultAdcReply()[10], 88), 0);
    log.clear();
    link.printAdcParams();
    link.printDacParams();
    link.printI2sParams();
    link.printAlgParams();
    link.printEqParams();

    struct Section {
        const char *heading;
        std::vector<const char *> fields;
    };
    const Section sections[] = {
        {"adcCfg:", {"aias=", "wordLen=", "mixadc1=", "mixadc2=", "sr=48000", "en=", "gim=", "gid=", "aiadc=",
                     "mute=", "hpf=", "mixrec=", "wnf=", "agcEn=", "stereo=", "ngEn=", "snrOptEn=", "target=",
                     "holdTime=", "atkTime=", "dcyTime=", "ngThr=", "minGain=", "maxGain=31", "rev="}},
        {"dacCfg:", {"aias=", "mix=", "drcEn=", "wordLen=1", "en=1", "mute=", "god=", "gom=", "gomix=", "gimix=",
                     "mixdac=", "aidac=", "drcThr=", "drcComp=", "rev="}},
        {"i2sCfg:", {"en=1", "txEn=", "rxEn=", "isMaster=", "mute=", "format=", "dataW=5", "frameLen=2"}},
        {"algCfg:", {"volCtrlEn=", "agcEn=", "drcEn=", "aecEn=", "derevrbEn=", "ncEn=", "bfEn=", "doaEn=",
                     "spkEqEn=", "micEqEn=", "referenEn=", "DenoiseEn=", "vol=", "thr=-40.0", "ratio=1.0",
                     "kneeWid=", "depth=1.0", "converg=0.05", "rat=", "str=", "ncDepth=0.5", "dnDepth=0.0",
                     "dnVolum=0.0"}},
        {"Spk EqNum:1", {"eqNum=", "bypass=", "    L band9:", "    R band9:", "bandEn=1", "eqType=4", "qbw=",
                         "fc=8000.0"}},
        {"Mic EqNum:1", {"    L band0:", "    R band0:", "fc=20.0"}},
    };
    for (const Section &s : sections) {
        const size_t at = log.find(s.heading);
        ASSERT_NE(at, std::string::npos) << s.heading;
        for (const char *field : s.fields)
            EXPECT_NE(log.find(field, at), std::string::npos) << s.heading << " " << field;
    }
    EXPECT_EQ(log.find("EQ para NULL!"), std::string::npos);
}

TEST_F(sndc_codec, EqCountsNeedTheWholeHeaderAndReplaceTheRecords)
{
    const auto magic = bytes({0xAA, 0x53, 0x4E, 0x44, 0x43});
    auto body = [&magic](std::vector<uint8_t> rest) {
        std::vector<uint8_t> b = magic;
        b.insert(b.end(), rest.begin(), rest.end());
        return b;
    };
    struct Case {
        const char *name;
        std::vector<uint8_t> reply;
        uint8_t count;
    };
    const Case cases[] = {
        {"whole reply of 3", body({0x10, 0x00, 0x04, 0x01, 0x00, 0x03, 0x00}), 3},
        {"count of 0", body({0x10, 0x00, 0x04, 0x01, 0x00, 0x00, 0x00}), 0},
        {"body of 10 bytes", body({0x10, 0x00, 0x04, 0x01, 0x00}), 1},
        {"body of 5 bytes", magic, 1},
        {"no magic", bytes({0x00, 0x00, 0x55, 0x10, 0x00, 0x04, 0x01, 0x00, 0x00, 0x00, 0x07, 0x00}), 1},
        {"nothing", {}, 1},
        {"whole reply of 2", body({0x10, 0x00, 0x04, 0x01, 0x00, 0x02, 0x00}), 2},
    };
    ScriptedIo io;
    SndcLink link(io);
    for (const Case &c : cases) {
        if (!c.reply.empty())
            io.bodies.push_back(c.reply);
        ASSERT_TRUE(link.readSpkEqCount()) << c.name;
        EXPECT_EQ(link.spkEqCount(), c.count) << c.name;
        ASSERT_TRUE(link.spkEq()) << c.name;
        EXPECT_EQ(link.spkEq()->size(), c.count) << c.name;
        // Records read by index: the scripted link is silent, so each is the default.
        EXPECT_EQ(link.readSpkEqParams(), c.count > 0) << c.name;
    }
}
