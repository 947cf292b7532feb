#include "device/emulator/emu_codec.h"

#include <gtest/gtest.h>

#include <random>

using namespace veloran::emu;

namespace {

std::vector<Frame> decodeAll(const std::vector<uint8_t>& bytes, FrameDecoder* decoder = nullptr)
{
    FrameDecoder local;
    FrameDecoder& d = decoder ? *decoder : local;
    std::vector<Frame> out;
    d.feed(bytes.data(), bytes.size(), out);
    return out;
}

Frame sample(uint16_t payloadBytes, uint8_t type = kTypeRequest)
{
    Frame f;
    f.type = type;
    f.sequence = 0x1234;
    f.source = {7, 2, 0x0101};
    f.destination = {1, 1, 28};
    f.messageId = 31;
    for (uint16_t i = 0; i < payloadBytes; ++i)
        f.payload.push_back(uint8_t(i * 7 + 3));
    return f;
}

}  // namespace

TEST(EmuFrame, ChecksumExampleAndLayout)
{
    Frame f;
    f.type = kTypeRequest;
    f.sequence = 1;
    f.source = {0, 1, 28};
    f.destination = {};
    f.messageId = 16;
    const std::vector<uint8_t> expected = {0x55, 0x10, 0x00, 0x00, 0x01, 0x00, 0x00, 0x01, 0x1C,
                                           0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x93};
    EXPECT_EQ(encodeFrame(f), expected);
    auto frames = decodeAll(expected);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], f);
    EXPECT_TRUE(frames[0].destination.isBroadcast());
}

TEST(EmuFrame, AddressPacksNodeInLowByte)
{
    NodeAddress a{0x21, 2, 0x0101};
    EXPECT_EQ(a.packed(), 0x01010221u);
    EXPECT_EQ(NodeAddress::fromPacked(a.packed()), a);
}

TEST(EmuFrame, PayloadLimits)
{
    EXPECT_EQ(encodeFrame(sample(0)).size(), 17u);
    auto max = encodeFrame(sample(500));
    ASSERT_EQ(max.size(), 517u);
    auto frames = decodeAll(max);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].payload.size(), 500u);

    std::vector<uint8_t> out;
    EXPECT_FALSE(encodeFrame(sample(501), out));
    EXPECT_TRUE(out.empty());
}

TEST(EmuDecoder, RejectsAndResynchronises)
{
    // Over-length header: dropped after the header, before any payload byte.
    auto bad = encodeFrame(sample(4));
    bad[2] = 0xF5;  // 501
    bad[3] = 0x01;
    auto good = encodeFrame(sample(3));
    std::vector<uint8_t> stream = {0x00, 0x13};
    stream.insert(stream.end(), bad.begin(), bad.end());
    stream.insert(stream.end(), good.begin(), good.end());
    FrameDecoder d;
    auto frames = decodeAll(stream, &d);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], sample(3));
    EXPECT_EQ(d.stats().overLength, 1u);

    // Bad kind byte and bad checksum.
    auto kind = encodeFrame(sample(2));
    kind[1] = 0x20;
    auto sum = encodeFrame(sample(2));
    sum.back() ^= 0x01;
    stream = kind;
    stream.insert(stream.end(), sum.begin(), sum.end());
    stream.insert(stream.end(), good.begin(), good.end());
    FrameDecoder d2;
    frames = decodeAll(stream, &d2);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(d2.stats().badKind, 1u);
    EXPECT_EQ(d2.stats().badChecksum, 1u);

    // A stray start byte right before a frame costs nothing.
    stream = {kFrameStart};
    stream.insert(stream.end(), good.begin(), good.end());
    frames = decodeAll(stream);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0], sample(3));
}

TEST(EmuDecoder, ResetDropsPartialFrame)
{
    auto bytes = encodeFrame(sample(10));
    FrameDecoder d;
    std::vector<Frame> out;
    d.feed(bytes.data(), 8, out);
    EXPECT_TRUE(d.midFrame());
    d.reset();
    d.feed(bytes.data() + 8, bytes.size() - 8, out);
    EXPECT_TRUE(out.empty());
    d.feed(bytes.data(), bytes.size(), out);
    EXPECT_EQ(out.size(), 1u);
}

TEST(EmuDecoder, SameRecordsHoweverTheStreamIsCut)
{
    std::mt19937 rng(42);
    for (int round = 0; round < 200; ++round) {
        std::vector<uint8_t> stream;
        std::vector<Frame> expected;
        for (int i = 0; i < 6; ++i) {
            for (int g = int(rng() % 5); g > 0; --g)
                stream.push_back(uint8_t(rng() % 0x55));  // garbage without a start byte
            Frame f = sample(uint16_t(rng() % 80), uint8_t(rng() % 4));
            f.sequence = uint16_t(rng());
            expected.push_back(f);
            encodeFrame(f, stream);
        }
        FrameDecoder d;
        std::vector<Frame> got;
        size_t offset = 0;
        while (offset < stream.size()) {
            size_t n = std::min<size_t>(1 + rng() % 70, stream.size() - offset);
            d.feed(stream.data() + offset, n, got);
            offset += n;
        }
        ASSERT_EQ(got, expected) << "round " << round;
    }
}

TEST(EmuFragments, SplitFollowsSequenceRuleAndJoins)
{
    Frame m = sample(1200, kTypeReply);
    m.sequence = 100;
    auto pieces = splitIntoPieces(m, 500);
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[0].type, kTypeFragment);
    EXPECT_EQ(pieces[0].sequence, 101);
    EXPECT_EQ(pieces[0].payload.size(), 500u);
    EXPECT_EQ(pieces[1].type, kTypeFragment);
    EXPECT_EQ(pieces[1].sequence, 102);
    EXPECT_EQ(pieces[2].type, kTypeReply);
    EXPECT_EQ(pieces[2].sequence, uint16_t(100 + 101 + 102));
    EXPECT_EQ(pieces[2].payload.size(), 200u);

    // The joined message may not exceed 500 bytes: this one is dropped.
    Reassembler r;
    Frame out;
    EXPECT_EQ(r.accept(pieces[0], out), Reassembler::Outcome::Pending);
    EXPECT_EQ(r.accept(pieces[1], out), Reassembler::Outcome::Dropped);

    Frame small = sample(450, kTypeRequest);
    small.sequence = 0xFFFF;  // the sums wrap
    pieces = splitIntoPieces(small, 200);
    ASSERT_EQ(pieces.size(), 3u);
    Reassembler r2;
    EXPECT_EQ(r2.accept(pieces[0], out), Reassembler::Outcome::Pending);
    EXPECT_EQ(r2.accept(pieces[1], out), Reassembler::Outcome::Pending);
    ASSERT_EQ(r2.accept(pieces[2], out), Reassembler::Outcome::Complete);
    EXPECT_EQ(out, small);
    EXPECT_FALSE(r2.active());
}

TEST(EmuFragments, ExactChunkIsWholeAndBrokenSequenceDrops)
{
    auto whole = splitIntoPieces(sample(200), 200);
    ASSERT_EQ(whole.size(), 1u);
    EXPECT_EQ(whole[0], sample(200));

    auto pieces = splitIntoPieces(sample(300), 100);
    ASSERT_EQ(pieces.size(), 3u);
    pieces[2].sequence = uint16_t(pieces[2].sequence + 1);
    Reassembler r;
    Frame out;
    r.accept(pieces[0], out);
    r.accept(pieces[1], out);
    EXPECT_EQ(r.accept(pieces[2], out), Reassembler::Outcome::Dropped);
    EXPECT_EQ(r.accept(sample(5), out), Reassembler::Outcome::Passed);
    EXPECT_EQ(out, sample(5));
}
