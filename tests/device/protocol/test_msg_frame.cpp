#include "msg_test_support.h"

#include <random>

using namespace msgtest;

namespace {

struct Received {
    int port;
    msg_record header; // payload pointer cleared
    Bytes payload;
    bool operator==(const Received &o) const
    {
        return port == o.port && header.type == o.header.type && header.length == o.header.length
            && header.sequence == o.header.sequence && header.source == o.header.source
            && header.destination == o.header.destination && header.id == o.header.id
            && header.checksum == o.header.checksum && payload == o.payload;
    }
};

std::vector<Received> g_received;

int collect(int port, msg_record *record)
{
    Received r{port, *record, {}};
    if (record->payload)
        r.payload.assign(record->payload, record->payload + record->length);
    r.header.payload = nullptr;
    g_received.push_back(r);
    msg_free_payload(record);
    return 0;
}

class FrameTest : public CoreFixture {
protected:
    void SetUp() override
    {
        CoreFixture::SetUp();
        g_received.clear();
        port = msg_add_port(captureSend);
        msg_set_receive_hook(collect);
    }
    int feed(const Bytes &bytes) { return msg_parse_bytes(port, int(bytes.size()), bytes.data()); }
    int port = 0;
};

const uint32_t kProgram = msg_make_address(0, 1, 28);

// The example frame: a request with no payload, sequence 1, source {0, 1, 28},
// broadcast destination, message id 16.
const Bytes kExampleHeader = {0x55, 0x10, 0x00, 0x00, 0x01, 0x00, 0x00, 0x01, 0x1C, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00};

} // namespace

TEST_F(FrameTest, ExampleFrameEncodesWithItsChecksum)
{
    msg_record r{};
    r.type = kMsgTypeRequest;
    r.sequence = 1;
    r.source = kProgram;
    r.destination = 0;
    r.id = 16;
    ASSERT_EQ(msg_encode_frame(port, &r), 0);
    ASSERT_EQ(sentFrames().size(), 1u);
    Bytes expected = kExampleHeader;
    expected.push_back(0x93);
    EXPECT_EQ(sentFrames()[0].frame, expected);
    EXPECT_EQ(sentFrames()[0].port, port);
}

TEST_F(FrameTest, ExampleFrameParsesToItsRecord)
{
    Bytes frame = kExampleHeader;
    frame.push_back(0x93);
    EXPECT_EQ(feed(frame), 0);
    ASSERT_EQ(g_received.size(), 1u);
    const msg_record &r = g_received[0].header;
    EXPECT_EQ(r.start, 0x55);
    EXPECT_EQ(r.type, 0);
    EXPECT_EQ(+r.length, 0);
    EXPECT_EQ(+r.sequence, 1);
    EXPECT_EQ(+r.source, kProgram);
    EXPECT_EQ(+r.destination, 0u);
    EXPECT_EQ(+r.id, 16);
    EXPECT_EQ(r.checksum, 0x93);
    EXPECT_TRUE(g_received[0].payload.empty());
}

TEST_F(FrameTest, PayloadRoundTripsThroughEncoderAndParser)
{
    Bytes payload = {0x1E, 0x02, 0x55, 0x10}; // a 0x55 inside a payload is data
    msg_record r{};
    r.type = kMsgTypeNotification;
    r.length = uint16_t(payload.size());
    r.sequence = 0xBEEF;
    r.source = msg_make_address(7, 1, 28);
    r.destination = msg_make_address(3, 2, 0x1234);
    r.id = 0x8003;
    ASSERT_EQ(msg_alloc_payload(&r, payload.data()), 0);
    ASSERT_EQ(msg_encode_frame(port, &r), 0);
    msg_free_payload(&r);
    ASSERT_EQ(sentFrames().size(), 1u);
    const Bytes &frame = sentFrames()[0].frame;
    EXPECT_EQ(frame, frameBytes(2, 0xBEEF, msg_make_address(7, 1, 28), msg_make_address(3, 2, 0x1234), 0x8003, payload));
    EXPECT_EQ(feed(frame), 0);
    ASSERT_EQ(g_received.size(), 1u);
    EXPECT_EQ(g_received[0].payload, payload);
    EXPECT_EQ(+g_received[0].header.id, 0x8003);
    EXPECT_EQ(+g_received[0].header.destination, msg_make_address(3, 2, 0x1234));
}

TEST_F(FrameTest, LengthLimitsOfThePayload)
{
    const Bytes full(500, 0xA5);
    EXPECT_EQ(feed(frameBytes(0, 1, kProgram, 0, 5, full)), 0);
    ASSERT_EQ(g_received.size(), 1u);
    EXPECT_EQ(g_received[0].payload, full);

    // 501 is refused at the header, before any payload byte is stored.
    Bytes tooLong = frameBytes(0, 1, kProgram, 0, 6, Bytes(501, 0x00));
    EXPECT_EQ(feed(Bytes(tooLong.begin(), tooLong.begin() + 16)), 0);
    EXPECT_EQ(errors(), (std::vector<std::pair<int, int>>{{kMsgErrPayloadTooLong, 6}}));
    EXPECT_EQ(msg_pool_bytes_in_use(), 0u);
    EXPECT_EQ(feed(Bytes(tooLong.begin() + 16, tooLong.end())), 0);
    EXPECT_EQ(g_received.size(), 1u);
}

TEST_F(FrameTest, LeadingNoiseAndSplitFrames)
{
    const Bytes frame = frameBytes(1, 9, kProgram, 0, 31, {0x00, 0x05, 0x01, 0x2A});
    Bytes stream = {0x00, 0x13, 0xFF};
    stream.insert(stream.end(), frame.begin(), frame.end());
    for (size_t i = 0; i < stream.size(); ++i)
        EXPECT_EQ(msg_parse_bytes(port, 1, &stream[i]), 0);
    ASSERT_EQ(g_received.size(), 1u);
    EXPECT_EQ(g_received[0].payload, (Bytes{0x00, 0x05, 0x01, 0x2A}));
}

TEST_F(FrameTest, BadKindByteResynchronisesWithinTheCall)
{
    const Bytes good = frameBytes(2, 3, kProgram, 0, 34, {0x05, 0x01, 0x2A});
    Bytes stream = {0x55, 0x20};
    stream.insert(stream.end(), good.begin(), good.end());
    EXPECT_EQ(feed(stream), 0) << "a later good frame sets the call's result";
    EXPECT_EQ(g_received.size(), 1u);

    EXPECT_EQ(feed({0x55, 0x20, 0x01, 0x02}), kMsgParseBadKind);
    // A 0x55 in the kind position starts the next frame.
    Bytes restart = {0x55};
    restart.insert(restart.end(), good.begin(), good.end());
    EXPECT_EQ(feed(restart), 0);
    EXPECT_EQ(g_received.size(), 2u);
}

TEST_F(FrameTest, TwoFramesInOneCallArriveInOrder)
{
    Bytes stream = frameBytes(0, 1, kProgram, 0, 1, {});
    const Bytes second = frameBytes(0, 2, kProgram, 0, 2, {0x42});
    stream.insert(stream.end(), second.begin(), second.end());
    EXPECT_EQ(feed(stream), 0);
    ASSERT_EQ(g_received.size(), 2u);
    EXPECT_EQ(+g_received[0].header.id, 1);
    EXPECT_EQ(+g_received[1].header.id, 2);
}

TEST_F(FrameTest, ChecksumMismatchDropsTheFrame)
{
    Bytes bad = frameBytes(0, 1, kProgram, 0, 23, {0x00, 0x01});
    bad.back() ^= 0xFF;
    EXPECT_EQ(feed(bad), kMsgParseBadChecksum);
    EXPECT_TRUE(g_received.empty());
    EXPECT_EQ(errors(), (std::vector<std::pair<int, int>>{{kMsgErrChecksum, 23}}));
    EXPECT_EQ(msg_pool_bytes_in_use(), 0u);
    // A later good frame in the same call clears the result.
    Bytes both = bad;
    const Bytes good = frameBytes(0, 2, kProgram, 0, 23, {0x00});
    both.insert(both.end(), good.begin(), good.end());
    EXPECT_EQ(feed(both), 0);
    EXPECT_EQ(g_received.size(), 1u);
}

TEST_F(FrameTest, PortResults)
{
    const uint8_t b = 0x55;
    EXPECT_EQ(msg_parse_bytes(3, 1, &b), kMsgParseBadPort);
    EXPECT_EQ(msg_parse_bytes(-1, 1, &b), kMsgParseBadPort);
    EXPECT_EQ(msg_parse_bytes(0, 1, &b), kMsgParsePortUnused);
    EXPECT_EQ(msg_parse_bytes(port, 0, &b), 0);

    msg_record r{};
    EXPECT_EQ(msg_encode_frame(3, &r), kMsgEncodeBadPort);
    EXPECT_EQ(msg_encode_frame(0, &r), kMsgEncodePortUnused);
    r.length = 501;
    EXPECT_EQ(msg_encode_frame(port, &r), kMsgEncodeTooLong);
    EXPECT_EQ(errors().back(), std::make_pair(int(kMsgErrEncodeTooLong), 0));
    r.length = 4;
    EXPECT_EQ(msg_encode_frame(port, &r), kMsgEncodeNoPayload);
    EXPECT_TRUE(sentFrames().empty());
}

TEST_F(FrameTest, PortTableHoldsTwoTransports)
{
    EXPECT_EQ(port, 1);
    EXPECT_EQ(msg_add_port(captureSend), 2);
    EXPECT_EQ(msg_add_port(captureSend), 0);
    EXPECT_EQ(errors(), (std::vector<std::pair<int, int>>{{kMsgErrPortTableFull, 0}}));
}

TEST_F(FrameTest, AllocationFailuresAreReported)
{
    uint8_t *hog = msg_pool_alloc(kMsgPoolBytes - 10);
    ASSERT_NE(hog, nullptr);
    msg_record r{};
    r.id = 77;
    EXPECT_EQ(msg_encode_frame(port, &r), kMsgEncodeNoMemory);
    EXPECT_TRUE(hasError(kMsgErrPoolNoGap));

    errors().clear();
    const Bytes frame = frameBytes(0, 1, kProgram, 0, 78, Bytes(40, 1));
    EXPECT_EQ(feed(frame), 0);
    EXPECT_TRUE(g_received.empty());
    EXPECT_EQ(errors().back(), std::make_pair(int(kMsgErrPoolNoGap), 78));
    msg_pool_free(hog);
    // The parser is back at the start and takes the next frame.
    EXPECT_EQ(feed(frame), 0);
    EXPECT_EQ(g_received.size(), 1u);
}

TEST_F(FrameTest, ResetPortDropsAHalfFrame)
{
    const Bytes frame = frameBytes(0, 1, kProgram, 0, 30, Bytes(100, 7));
    feed(Bytes(frame.begin(), frame.begin() + 60));
    EXPECT_GT(msg_pool_bytes_in_use(), 0u);
    msg_reset_port(port);
    EXPECT_EQ(msg_pool_bytes_in_use(), 0u);
    feed(Bytes(frame.begin() + 60, frame.end()));
    EXPECT_TRUE(g_received.empty());
    feed(frame);
    EXPECT_EQ(g_received.size(), 1u);
}

TEST_F(FrameTest, PayloadIsFreedWithoutAReceiveHook)
{
    msg_set_receive_hook(nullptr);
    feed(frameBytes(0, 1, kProgram, 0, 30, Bytes(64, 7)));
    EXPECT_EQ(msg_pool_bytes_in_use(), 0u);
}

TEST_F(FrameTest, SendOnPortModes)
{
    const int second = msg_add_port(captureSend);
    msg_record r{};
    r.id = 9;
    msg_send_on_port(0, 0, &r);
    ASSERT_EQ(sentFrames().size(), 2u);
    EXPECT_EQ(sentFrames()[0].port, port);
    EXPECT_EQ(sentFrames()[1].port, second);

    sentFrames().clear();
    msg_send_on_port(1, uint8_t(port), &r); // towards port 0, which has no transport
    EXPECT_TRUE(sentFrames().empty());
    msg_send_on_port(1, 0, &r);
    EXPECT_EQ(sentFrames().size(), 2u);
    sentFrames().clear();
    msg_send_on_port(2, 0, &r);
    EXPECT_TRUE(sentFrames().empty());

    r.length = 501;
    msg_send_on_port(0, 0, &r);
    EXPECT_EQ(errors().size(), 2u) << "reported once per used port";
}

TEST_F(FrameTest, RecordCopiesOwnTheirPayload)
{
    const Bytes bytes = {1, 2, 3};
    msg_record a{};
    a.length = 3;
    a.id = 5;
    EXPECT_EQ(msg_alloc_payload(&a, nullptr), 1);
    ASSERT_EQ(msg_alloc_payload(&a, bytes.data()), 0);
    msg_record b{};
    ASSERT_EQ(msg_copy_record(&b, &a), 0);
    EXPECT_NE(b.payload, a.payload);
    EXPECT_EQ(Bytes(b.payload, b.payload + 3), bytes);
    EXPECT_EQ(b.id, 5);
    msg_free_payload(&a);
    EXPECT_EQ(a.length, 0);
    EXPECT_EQ(a.payload, nullptr);

    uint8_t *front = msg_pool_alloc(3); // the gap that a left
    uint8_t *hog = msg_pool_alloc(kMsgPoolBytes - msg_pool_bytes_in_use());
    ASSERT_TRUE(front && hog);
    msg_record c{};
    EXPECT_EQ(msg_copy_record(&c, &b), -1);
    EXPECT_EQ(c.payload, nullptr);
    msg_pool_free(front);
    msg_pool_free(hog);
    msg_free_payload(&b);
}

// Random valid frames among noise must give the same records however the
// stream is cut into calls.
TEST_F(FrameTest, DeliveryDoesNotDependOnCallBoundaries)
{
    std::mt19937 rng(20261209);
    for (int round = 0; round < 40; ++round) {
        Bytes stream;
        std::vector<Bytes> frames;
        const bool cleanNoise = round % 2 == 0; // noise without 0x55 loses no frame
        for (int i = 0; i < 12; ++i) {
            const int noise = int(rng() % 8);
            for (int n = 0; n < noise; ++n) {
                uint8_t b = uint8_t(rng());
                if (cleanNoise && b == 0x55)
                    b = 0x54;
                stream.push_back(b);
            }
            Bytes payload(rng() % 120);
            for (auto &b : payload)
                b = uint8_t(rng() % 4 == 0 ? 0x55 : rng());
            Bytes f = frameBytes(uint8_t(rng() % 4), uint16_t(rng()), uint32_t(rng()), uint32_t(rng()),
                                 uint16_t(rng()), payload);
            if (rng() % 6 == 0)
                f.back() ^= 0x01;
            else
                frames.push_back(f);
            stream.insert(stream.end(), f.begin(), f.end());
        }

        g_received.clear();
        msg_reset_port(port);
        feed(stream);
        const std::vector<Received> whole = g_received;
        if (cleanNoise) {
            ASSERT_EQ(whole.size(), frames.size());
            for (size_t i = 0; i < frames.size(); ++i)
                EXPECT_EQ(whole[i].header.id, decode(frames[i]).id);
        }

        for (int cut = 0; cut < 5; ++cut) {
            g_received.clear();
            msg_reset_port(port);
            size_t at = 0;
            while (at < stream.size()) {
                const size_t n = std::min<size_t>(stream.size() - at, 1 + rng() % 40);
                msg_parse_bytes(port, int(n), stream.data() + at);
                at += n;
            }
            ASSERT_EQ(g_received, whole) << "round " << round << " cut " << cut;
        }
        msg_reset_port(port);
    }
}
