// The emulator's codec and the program's frame layer are written apart; here
// they must agree byte for byte, both ways, on fixed vectors and on random
// streams of good and broken frames cut at random points.
#include "device/emulator/emu_codec.h"
#include "device/protocol/msg_frame.h"
#include "device/protocol/msg_pool.h"
#include "device/protocol/msg_runtime.h"

#include <gtest/gtest.h>

#include <random>

using namespace veloran::emu;

namespace {

struct ProgramSide {
    static inline std::vector<Frame>* received = nullptr;
    static inline std::vector<uint8_t>* encoded = nullptr;
    static inline int checksumErrors = 0;
    static inline int lengthErrors = 0;

    std::vector<Frame> frames;
    std::vector<uint8_t> wire;
    int port = 0;

    ProgramSide()
    {
        msg_reset_for_tests();
        received = &frames;
        encoded = &wire;
        checksumErrors = lengthErrors = 0;
        msg_set_error_callback([](int code, int) {
            if (code == kMsgErrChecksum)
                ++checksumErrors;
            if (code == kMsgErrPayloadTooLong)
                ++lengthErrors;
        });
        port = msg_add_port([](int, int length, const uint8_t* bytes) {
            encoded->insert(encoded->end(), bytes, bytes + length);
            return 0;
        });
        msg_set_receive_hook([](int, msg_record* r) {
            Frame f;
            f.type = r->type;
            f.sequence = r->sequence;
            f.source = NodeAddress::fromPacked(r->source);
            f.destination = NodeAddress::fromPacked(r->destination);
            f.messageId = r->id;
            if (r->length > 0 && r->payload)
                f.payload.assign(r->payload, r->payload + r->length);
            msg_free_payload(r);
            received->push_back(std::move(f));
            return 0;
        });
    }
    ~ProgramSide()
    {
        msg_set_receive_hook(nullptr);
        msg_set_error_callback(nullptr);
        received = nullptr;
        encoded = nullptr;
    }

    std::vector<uint8_t> encode(const Frame& f)
    {
        msg_record r{};
        r.type = f.type;
        r.length = uint16_t(f.payload.size());
        r.sequence = f.sequence;
        r.source = f.source.packed();
        r.destination = f.destination.packed();
        r.id = f.messageId;
        r.payload = const_cast<uint8_t*>(f.payload.empty() ? nullptr : f.payload.data());
        wire.clear();
        EXPECT_EQ(msg_encode_frame(port, &r), 0);
        return wire;
    }
};

Frame randomFrame(std::mt19937& rng, size_t maxPayload)
{
    Frame f;
    f.type = uint8_t(rng() % 4);
    f.sequence = uint16_t(rng());
    f.source = NodeAddress::fromPacked(uint32_t(rng()));
    f.destination = NodeAddress::fromPacked(uint32_t(rng()));
    f.messageId = uint16_t(rng());
    // Mostly short payloads, now and then up to the limit.
    size_t n = rng() % 8 == 0 ? rng() % (maxPayload + 1) : rng() % 40;
    for (size_t i = 0; i < n; ++i)
        f.payload.push_back(uint8_t(rng()));
    return f;
}

// A stream of good frames, broken frames and garbage.
std::vector<uint8_t> randomStream(std::mt19937& rng, int items)
{
    std::vector<uint8_t> s;
    for (int i = 0; i < items; ++i) {
        std::vector<uint8_t> bytes;
        encodeFrame(randomFrame(rng, kMaxPayloadBytes), bytes);
        switch (rng() % 10) {
        case 0:  // bad checksum
            bytes.back() = uint8_t(bytes.back() + 1 + rng() % 255);
            break;
        case 1:  // bad kind byte
            bytes[1] = uint8_t((rng() % 15 + 2) << 4 | (rng() & 0x0F));
            break;
        case 2:  // declared length above the limit
            bytes[2] = uint8_t(0xF5 + rng() % 11);
            bytes[3] = 0x01;
            break;
        case 3:  // cut short
            bytes.resize(rng() % bytes.size());
            break;
        case 4:  // garbage, start bytes included
            bytes.clear();
            for (int g = int(rng() % 30); g > 0; --g)
                bytes.push_back(rng() % 6 == 0 ? kFrameStart : uint8_t(rng()));
            break;
        default:
            break;
        }
        s.insert(s.end(), bytes.begin(), bytes.end());
    }
    return s;
}

}  // namespace

TEST(EmuConformance, FixedVectorsBothWays)
{
    ProgramSide program;
    std::vector<Frame> vectors;
    Frame f;  // the checksum example: request, sequence 1, {0,1,28} to broadcast, id 16
    f.sequence = 1;
    f.source = {0, 1, 28};
    f.messageId = 16;
    vectors.push_back(f);
    f = {};  // a name answer to the program: 00 06 "QX-PC\0" and 14 zeros
    f.type = kTypeReply;
    f.sequence = 7;
    f.source = {1, 1, 28};
    f.destination = {0x21, 2, 0x0101};
    f.messageId = 1;
    f.payload = {0x00, 0x06, 'Q', 'X', '-', 'P', 'C', 0x00};
    f.payload.resize(22, 0);
    vectors.push_back(f);
    f.type = kTypeNotification;  // an attribute notification 05 01 2A
    f.messageId = 34;
    f.payload = {0x05, 0x01, 0x2A};
    vectors.push_back(f);
    f.type = kTypeFragment;  // a full 500-byte fragment
    f.payload.assign(500, 0x55);
    vectors.push_back(f);
    f.type = kTypeReply;  // an empty reply
    f.payload.clear();
    vectors.push_back(f);

    const auto checksumExample = encodeFrame(vectors[0]);
    EXPECT_EQ(checksumExample.back(), 0x93);
    for (const Frame& v : vectors) {
        const auto ours = encodeFrame(v);
        EXPECT_EQ(program.encode(v), ours);
        program.frames.clear();
        EXPECT_EQ(msg_parse_bytes(program.port, int(ours.size()), ours.data()), 0);
        ASSERT_EQ(program.frames.size(), 1u);
        EXPECT_EQ(program.frames[0], v);
    }
    EXPECT_EQ(msg_pool_bytes_in_use(), 0u);
}

TEST(EmuConformance, EdgeStreamsAgree)
{
    ProgramSide program;
    const Frame a{.type = kTypeNotification, .sequence = 3, .source = {0x21, 2, 0x0101}, .destination = {1, 1, 28},
                  .messageId = 34, .payload = {0x05, 0x01, 0x2A}};
    Frame b = a;
    b.type = kTypeReply;
    b.messageId = 16;
    b.payload.assign(500, 0x55);
    const auto fa = encodeFrame(a), fb = encodeFrame(b);
    auto over = fa;
    over[2] = 0xF5;  // 501
    over[3] = 0x01;
    over.resize(16);
    over.insert(over.end(), 501, 0x00);
    auto kind = fa;
    kind[1] = 0x20;

    struct Case {
        const char* name;
        std::vector<std::vector<uint8_t>> calls;
        size_t frames;
    };
    const auto cat = [](std::initializer_list<std::vector<uint8_t>> parts) {
        std::vector<uint8_t> v;
        for (const auto& p : parts)
            v.insert(v.end(), p.begin(), p.end());
        return v;
    };
    const std::vector<Case> cases = {
        {"garbage before the first start byte", {cat({{0x00, 0x13, 0xAA}, fa})}, 1},
        {"split over three calls", {{fa.begin(), fa.begin() + 5}, {fa.begin() + 5, fa.begin() + 17}, {fa.begin() + 17, fa.end()}}, 1},
        {"two frames in one call", {cat({fa, fb})}, 2},
        {"declared length 501", {cat({over, fa})}, 1},
        {"kind byte 0x20, then a frame in the same call", {cat({kind, fa})}, 1},
        {"stray start byte", {cat({{kMsgStartByte}, fb})}, 1},
    };
    for (const Case& c : cases) {
        FrameDecoder ours;
        std::vector<Frame> ourFrames;
        program.frames.clear();
        ProgramSide::lengthErrors = 0;
        for (const auto& call : c.calls) {
            ours.feed(call.data(), call.size(), ourFrames);
            msg_parse_bytes(program.port, int(call.size()), call.data());
        }
        EXPECT_EQ(ourFrames.size(), c.frames) << c.name;
        EXPECT_EQ(program.frames, ourFrames) << c.name;
        EXPECT_EQ(uint64_t(ProgramSide::lengthErrors), ours.stats().overLength) << c.name;
        msg_reset_port(program.port);
    }
    EXPECT_EQ(msg_pool_bytes_in_use(), 0u);
}

TEST(EmuConformance, EncodersAgreeOnRandomFrames)
{
    ProgramSide program;
    std::mt19937 rng(2024);
    for (int i = 0; i < 3000; ++i) {
        const Frame f = randomFrame(rng, kMaxPayloadBytes);
        ASSERT_EQ(program.encode(f), encodeFrame(f)) << "frame " << i;
    }
}

TEST(EmuConformance, ParsersAgreeOnRandomStreams)
{
    ProgramSide program;
    std::mt19937 rng(77);
    for (int round = 0; round < 2000; ++round) {
        const auto stream = randomStream(rng, 1 + int(rng() % 12));
        FrameDecoder ours;
        std::vector<Frame> ourFrames;
        program.frames.clear();
        ProgramSide::checksumErrors = ProgramSide::lengthErrors = 0;
        size_t offset = 0;
        while (offset < stream.size()) {
            const size_t n = std::min<size_t>(1 + rng() % 100, stream.size() - offset);
            ours.feed(stream.data() + offset, n, ourFrames);
            msg_parse_bytes(program.port, int(n), stream.data() + offset);
            offset += n;
        }
        ASSERT_EQ(program.frames, ourFrames) << "round " << round;
        ASSERT_EQ(uint64_t(ProgramSide::checksumErrors), ours.stats().badChecksum) << "round " << round;
        ASSERT_EQ(uint64_t(ProgramSide::lengthErrors), ours.stats().overLength) << "round " << round;
        // Neither may keep a partial frame that the other has dropped.
        ours.reset();
        msg_reset_port(program.port);
    }
    EXPECT_EQ(msg_pool_bytes_in_use(), 0u);
}
