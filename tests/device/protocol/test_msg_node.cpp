#include "msg_test_support.h"

#include <algorithm>
#include <functional>
#include <set>

using namespace msgtest;

namespace {

constexpr uint16_t kTestId = 0x7010;

std::vector<std::pair<msg_record, Bytes>> g_dispatched;

int collect(int, msg_record *r)
{
    msg_record copy = *r;
    copy.payload = nullptr;
    g_dispatched.push_back({copy, r->payload ? Bytes(r->payload, r->payload + r->length) : Bytes{}});
    return 0;
}

class NodeTest : public PeerFixture {
protected:
    void SetUp() override
    {
        PeerFixture::SetUp();
        g_dispatched.clear();
        ASSERT_EQ(msg_register_handler(kTestId, collect, nullptr), 0);
    }
    void sendTo(uint32_t destination, const Bytes &payload, uint8_t type = kMsgTypeNotification)
    {
        sendMessage(0, type, destination, kTestId, payload);
    }
    static Bytes pattern(size_t n)
    {
        Bytes b(n);
        for (size_t i = 0; i < n; ++i)
            b[i] = uint8_t(i * 7 + 3);
        return b;
    }
};

} // namespace

TEST_F(NodeTest, LinkMessageRegistersTheDeviceOnce)
{
    inject(port, frameBytes(kMsgTypeNotification, 1, kDevice, 0, 0, linkPayload()));
    tick();
    ASSERT_NE(msg_find_node(kDevice), nullptr);
    EXPECT_EQ(logins(), (std::vector<std::tuple<int, int, uint32_t>>{{0, 0, kDevice}}));
    const auto links = sentWithId(0);
    ASSERT_EQ(links.size(), 1u);
    EXPECT_EQ(links[0].type, kMsgTypeNotification);
    EXPECT_EQ(links[0].destination, kDevice);
    EXPECT_EQ(links[0].source, msg_self_address());
    EXPECT_EQ(links[0].payload, (Bytes{0x00, 0xF4, 0x01, 0x00, 0x01, 0x0A, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x24}));

    tick(2000);
    inject(port, frameBytes(kMsgTypeNotification, 2, kDevice, 0, 0, linkPayload()));
    tick();
    EXPECT_EQ(logins().size(), 1u);
    EXPECT_EQ(msg_node_count(), 1);
    EXPECT_GE(msg_find_node(kDevice)->lifeMs, 3 * 1024 - 50);
}

TEST_F(NodeTest, LinkRequestIsAnswered)
{
    inject(port, frameBytes(kMsgTypeRequest, 9, kDevice, msg_self_address(), 0, linkPayload()));
    tick();
    const auto links = sentWithId(0);
    ASSERT_GE(links.size(), 1u);
    EXPECT_EQ(links[0].type, kMsgTypeReply);
    EXPECT_EQ(links[0].destination, kDevice);
}

TEST_F(NodeTest, SilentNodeExpiresAfterItsLife)
{
    linkUp();
    tick(3 * 1024);
    EXPECT_NE(msg_find_node(kDevice), nullptr) << "not before its life";
    EXPECT_EQ(logins().size(), 1u);
    tick(300);
    EXPECT_EQ(msg_find_node(kDevice), nullptr);
    ASSERT_EQ(logins().size(), 2u);
    EXPECT_EQ(logins()[1], std::make_tuple(0, 1, kDevice));
}

TEST_F(NodeTest, ShortLinkMessagesAreIgnoredAndCounted)
{
    inject(port, frameBytes(kMsgTypeNotification, 1, kDevice, 0, 0, Bytes(12, 0x01)));
    inject(port, frameBytes(kMsgTypeRequest, 2, kDevice, msg_self_address(), 0, {}));
    tick(3);
    EXPECT_EQ(msg_short_link_count(), 2u);
    EXPECT_EQ(msg_node_count(), 0);
    EXPECT_TRUE(logins().empty());
}

TEST_F(NodeTest, LongMessageLeavesAsFragments)
{
    linkUp();
    const Bytes message = pattern(1200);
    sendTo(kDevice, message);
    tick(5);
    const auto pieces = sentWithId(kTestId);
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[0].type, kMsgTypeFragment);
    EXPECT_EQ(pieces[1].type, kMsgTypeFragment);
    EXPECT_EQ(pieces[2].type, kMsgTypeNotification);
    EXPECT_EQ(pieces[0].length, 500);
    EXPECT_EQ(pieces[1].length, 500);
    EXPECT_EQ(pieces[2].length, 200);
    // The peer's check: fragments count up from the message's number, the
    // last piece carries their sum.
    const uint16_t s = uint16_t(pieces[0].sequence - 1);
    EXPECT_EQ(pieces[1].sequence, uint16_t(s + 2));
    EXPECT_EQ(pieces[2].sequence, uint16_t(s + (s + 1) + (s + 2)));
    Bytes joined;
    for (const Frame &f : pieces)
        joined.insert(joined.end(), f.payload.begin(), f.payload.end());
    EXPECT_EQ(joined, message);

    // The same pieces sent back to the program exceed its 500-byte buffer:
    // dropped and reported, never dispatched in part.
    for (const Frame &f : pieces)
        fromDevice(f.type, f.sequence, kTestId, f.payload);
    tick(4);
    EXPECT_TRUE(g_dispatched.empty());
    EXPECT_EQ(errors(), (std::vector<std::pair<int, int>>{{kMsgErrReassemblyTooLong, kTestId}}));
}

TEST_F(NodeTest, FragmentsFromAPeerAreJoinedWhole)
{
    linkUp();
    const Bytes message = pattern(450);
    const uint16_t s = 0x0FFF;
    fromDevice(kMsgTypeFragment, uint16_t(s + 1), kTestId, Bytes(message.begin(), message.begin() + 150));
    fromDevice(kMsgTypeFragment, uint16_t(s + 2), kTestId, Bytes(message.begin() + 150, message.begin() + 300));
    fromDevice(kMsgTypeRequest, uint16_t(s + (s + 1) + (s + 2)), kTestId, Bytes(message.begin() + 300, message.end()));
    tick(4);
    ASSERT_EQ(g_dispatched.size(), 1u);
    EXPECT_EQ(g_dispatched[0].second, message);
    EXPECT_EQ(+g_dispatched[0].first.sequence, s);
    EXPECT_EQ(g_dispatched[0].first.type, kMsgTypeRequest);

    // A last piece that fails the check drops the reassembly and itself.
    fromDevice(kMsgTypeFragment, 11, kTestId, Bytes(10, 1));
    fromDevice(kMsgTypeNotification, 99, kTestId, Bytes(10, 2));
    fromDevice(kMsgTypeNotification, 100, kTestId, Bytes(3, 3));
    tick(4);
    ASSERT_EQ(g_dispatched.size(), 2u);
    EXPECT_EQ(g_dispatched[1].second, Bytes(3, 3));
}

TEST_F(NodeTest, ChunkSizedMessageGoesWhole)
{
    linkUp(kDevice, 64);
    sendTo(kDevice, pattern(64));
    sendTo(kDevice, pattern(65));
    tick(5);
    const auto pieces = sentWithId(kTestId);
    ASSERT_EQ(pieces.size(), 3u);
    EXPECT_EQ(pieces[0].type, kMsgTypeNotification);
    EXPECT_EQ(pieces[1].type, kMsgTypeFragment);
    EXPECT_EQ(pieces[2].length, 1);
}

TEST_F(NodeTest, PacingFollowsThePeerRate)
{
    std::vector<uint32_t> times;
    linkUp(kDevice, 500, 10);
    sendTo(kDevice, pattern(1200)); // three pieces
    sendTo(kDevice, {0x01});
    for (int t = 0; t < 500; ++t) {
        const size_t before = sentWithId(kTestId).size();
        tick();
        if (sentWithId(kTestId).size() > before)
            times.push_back(msg_clock_ms() - 1);
    }
    ASSERT_EQ(times.size(), 4u);
    for (size_t i = 1; i < times.size(); ++i)
        EXPECT_EQ(times[i] - times[i - 1], 100u);
}

TEST_F(NodeTest, FragmentingIsAllOrNothing)
{
    linkUp();
    for (int i = 0; i < kMsgQueueEntries - 2; ++i)
        sendTo(kDevice, {0x01});
    EXPECT_EQ(msg_transmit_queue_count(), kMsgQueueEntries - 2);
    sendTo(kDevice, pattern(1200));
    EXPECT_EQ(msg_transmit_queue_count(), kMsgQueueEntries - 2);
    EXPECT_EQ(errors(), (std::vector<std::pair<int, int>>{{kMsgErrTransmitDropped, kTestId}}));
    sendTo(kDevice, pattern(1000)); // two pieces fit
    EXPECT_EQ(msg_transmit_queue_count(), kMsgQueueEntries);
}

TEST_F(NodeTest, MessagesOfUnknownNodesAreDropped)
{
    fromDevice(kMsgTypeNotification, 1, kTestId, {0x01});
    tick(2);
    EXPECT_TRUE(g_dispatched.empty());
    sendTo(kDevice, {0x01});
    tick(2);
    EXPECT_TRUE(sentWithId(kTestId).empty());
}

TEST_F(NodeTest, BroadcastFromANodeIsDispatchedOnce)
{
    linkUp();
    inject(port, frameBytes(kMsgTypeNotification, 4, kDevice, 0, kTestId, {0x05}));
    tick(5);
    EXPECT_EQ(g_dispatched.size(), 1u);
    // A broadcast of the program goes out at once on every port.
    sendTo(0, {0x01});
    EXPECT_EQ(sentWithId(kTestId).size(), 1u);
}

TEST_F(NodeTest, CollisionTakesAValidNewNodeByte)
{
    std::set<uint8_t> used;
    for (uint8_t n = 2; n < 40; ++n) {
        linkUp(msg_make_address(n, 1, 28));
        used.insert(n);
    }
    tick(500);
    for (int round = 0; round < 20; ++round) {
        const uint8_t old = msg_node_byte();
        sentFrames().clear();
        inject(port, frameBytes(kMsgTypeNotification, 1, msg_self_address(), 0, 0,
                                linkPayload(500, 0, msg_clock_ms() + 1000)));
        tick();
        const uint8_t now = msg_node_byte();
        EXPECT_NE(now, 0);
        EXPECT_NE(now, old);
        EXPECT_EQ(used.count(now), 0u);
        const auto links = sentWithId(0);
        ASSERT_FALSE(links.empty());
        EXPECT_EQ(links.back().source, msg_self_address());
        EXPECT_EQ(links.back().destination, 0u);
    }
    // An older claimant does not make the program move.
    const uint8_t before = msg_node_byte();
    inject(port, frameBytes(kMsgTypeNotification, 1, msg_self_address(), 0, 0, linkPayload(500, 0, 0)));
    tick();
    EXPECT_EQ(msg_node_byte(), before);
}

TEST_F(NodeTest, ForgottenPortLogsInAgain)
{
    linkUp();
    msg_record r{};
    r.type = kMsgTypeRequest;
    r.destination = kDevice;
    r.id = kTestId;
    msg_send(kMsgSendTrack, &r);
    msg_send(kMsgSendTrack, &r); // queued, not yet sent
    fromDevice(kMsgTypeNotification, 1, kTestId, Bytes(20, 1)); // still in the ring
    EXPECT_EQ(msg_pending_count(), 2);
    msg_forget_port_nodes(port);
    EXPECT_EQ(msg_node_count(), 0);
    EXPECT_EQ(msg_pending_count(), 0);
    EXPECT_EQ(msg_transmit_queue_count(), 0);
    EXPECT_EQ(msg_receive_ring_count(), 0);
    EXPECT_EQ(logins().size(), 1u) << "no logout report";
    EXPECT_EQ(msg_pool_bytes_in_use(), 0u);
    linkUp();
    EXPECT_EQ(logins().size(), 2u);
    EXPECT_EQ(logins()[1], std::make_tuple(0, 0, kDevice));
}

TEST_F(NodeTest, RemovedNodeIsReported)
{
    linkUp();
    EXPECT_TRUE(msg_remove_node(kDevice));
    EXPECT_FALSE(msg_remove_node(kDevice));
    EXPECT_EQ(logins().back(), std::make_tuple(0, 1, kDevice));
}

TEST_F(NodeTest, NodeTableHolds52Nodes)
{
    for (int n = 0; n < 53; ++n)
        linkUp(msg_make_address(uint8_t(10 + n), 1, 28));
    EXPECT_EQ(msg_node_count(), 52);
    EXPECT_EQ(errors(), (std::vector<std::pair<int, int>>{{kMsgErrNodeTableFull, 0}}));
}

namespace {

std::vector<uint32_t> g_timeoutClock;
int noteTimeout(int, msg_record *)
{
    g_timeoutClock.push_back(msg_clock_ms());
    return 0;
}

// Ticks ms times; notes the clock of every frame of that id sent meanwhile.
std::vector<uint32_t> tickNoting(int ms, uint16_t id, const std::function<void(int)> &everyTick = {})
{
    std::vector<uint32_t> at;
    for (int i = 0; i < ms; ++i) {
        if (everyTick)
            everyTick(i);
        sentFrames().clear();
        const uint32_t now = msg_clock_ms();
        tick();
        for (size_t k = 0; k < sentWithId(id).size(); ++k)
            at.push_back(now);
    }
    return at;
}

} // namespace

// The message sequence is a u16 that wraps to 0, and a request numbered 0
// is matched by its reply like any other.
TEST_F(NodeTest, SequenceWrapsFrom65535To0)
{
    linkUp();
    sendTo(0, {});
    const uint16_t first = decode(sentFrames().back().frame).sequence;
    for (uint32_t s = first; s < 65534; ++s)
        sendTo(0, {});
    sentFrames().clear();
    msg_record r{};
    r.type = kMsgTypeRequest;
    r.destination = kDevice;
    r.id = kTestId;
    sendTo(0, {});
    msg_send(kMsgSendTrack, &r);
    sendTo(0, {});
    tick();
    std::vector<uint16_t> sequences;
    for (const Sent &s : sentFrames())
        sequences.push_back(decode(s.frame).sequence);
    EXPECT_EQ(sequences, (std::vector<uint16_t>{65535, 1, 0}));  // broadcasts leave at once, the request next tick
    fromDevice(kMsgTypeReply, 0, kTestId, {});
    tick();
    EXPECT_EQ(msg_pending_count(), 0);
}

// A request pending and a device alive while the u32 clock wraps: the
// retransmissions and the time-out keep their spacing, the node its life.
TEST_F(NodeTest, ClockWrapsPast2To32WithARequestPendingAndANodeAlive)
{
    constexpr uint16_t kTimedId = 0x7011;
    g_timeoutClock.clear();
    ASSERT_EQ(msg_register_handler(kTimedId, collect, noteTimeout), 0);
    linkUp();
    const uint32_t target = 0xFFFFFFFFu - 1500;
    while (msg_clock_ms() < target)
        msg_advance_clock(uint16_t(std::min<uint32_t>(65535, target - msg_clock_ms())));
    fromDevice(kMsgTypeNotification, 7, 0, linkPayload());
    tick();
    sentFrames().clear();

    const uint32_t askedMs = msg_clock_ms();
    msg_record r{};
    r.type = kMsgTypeRequest;
    r.destination = kDevice;
    r.id = kTimedId;
    msg_send(kMsgSendTrack, &r);
    const auto keepAlive = [this](int i) {
        if (i % 500 == 0)
            fromDevice(kMsgTypeNotification, uint16_t(i), 0, linkPayload());
    };
    const std::vector<uint32_t> sends = tickNoting(6000, kTimedId, keepAlive);
    EXPECT_LT(msg_clock_ms(), askedMs) << "the clock wrapped";
    EXPECT_EQ(sends, (std::vector<uint32_t>{askedMs, askedMs + 1 + 1001, askedMs + 1 + 2002, askedMs + 1 + 3003}));
    EXPECT_EQ(g_timeoutClock, (std::vector<uint32_t>{askedMs + 4004}));
    EXPECT_NE(msg_find_node(kDevice), nullptr);
    EXPECT_EQ(logins().size(), 1u) << "no logout";
}

// The program's beacon, byte for byte: a type-2 link message to everyone
// once more than 1024 ms have passed, with its own link sequence and the
// clock as uptime.
TEST_F(NodeTest, PeriodicBeaconMatchesAHandBuiltFrame)
{
    const auto beacon = [](uint16_t sequence, uint32_t uptimeMs) {
        return frameBytes(kMsgTypeNotification, sequence, msg_self_address(), 0, 0,
                          {0x00, 0xF4, 0x01, 0x00, 0x01, 0x0A, uint8_t(uptimeMs), uint8_t(uptimeMs >> 8),
                           uint8_t(uptimeMs >> 16), uint8_t(uptimeMs >> 24), 0x00, 0x00, 0x24});
    };
    EXPECT_EQ(tickNoting(1025, 0), std::vector<uint32_t>{});
    tick();
    ASSERT_EQ(sentFrames().size(), 1u);
    EXPECT_EQ(sentFrames()[0].port, port);
    EXPECT_EQ(sentFrames()[0].frame, beacon(1, 1025));
    sentFrames().clear();
    tick(1025);
    ASSERT_EQ(sentFrames().size(), 1u);
    EXPECT_EQ(sentFrames()[0].frame, beacon(2, 2050));
}

// A device heard on a second port waits there as pending; when its life on
// the first port ends it moves over instead of logging out, and traffic
// between devices on different ports is forwarded.
TEST_F(NodeTest, NodeOnASecondPortMovesThereAtExpiryAndTrafficCrossesPorts)
{
    const int second = msg_add_port(captureSend);
    ASSERT_NE(second, port);
    linkUp();
    const Bytes link = linkPayload(500, 0, 1000);
    inject(second, frameBytes(kMsgTypeNotification, 3, kDevice, 0, 0, link));
    tick();
    ASSERT_NE(msg_find_node(kDevice), nullptr);
    EXPECT_EQ(int(msg_find_node(kDevice)->port), port);
    EXPECT_EQ(int(msg_find_node(kDevice)->pendingPort), second);
    // Passed back out on the port it came in on, a hop further and ten link
    // periods older.
    const auto echoed = sentWithId(0);
    ASSERT_EQ(echoed.size(), 1u);
    EXPECT_EQ(echoed[0].source, kDevice);
    EXPECT_EQ(echoed[0].payload[3], 1);
    EXPECT_EQ(echoed[0].payload[6] | (echoed[0].payload[7] << 8), 1000 + 10 * 1024);

    // Heard only on the second port from now on, more often than the 50 ms
    // expiry pass, so that it is refreshed there as soon as it moved.
    for (int i = 0; i < 100; ++i) {
        inject(second, frameBytes(kMsgTypeNotification, uint16_t(4 + i), kDevice, 0, 0, link));
        tick(40);
    }
    ASSERT_NE(msg_find_node(kDevice), nullptr);
    EXPECT_EQ(int(msg_find_node(kDevice)->port), second);
    EXPECT_EQ(msg_find_node(kDevice)->pendingPort, 0u);
    EXPECT_EQ(logins().size(), 1u) << "moved, not logged out";
    sentFrames().clear();
    sendTo(kDevice, {0x42});
    tick(2);
    ASSERT_EQ(sentWithId(kTestId).size(), 1u);
    for (const Sent &s : sentFrames()) {
        if (decode(s.frame).id == kTestId)
            EXPECT_EQ(s.port, second);
    }

    // A device on the first port talks to the one on the second: forwarded.
    const uint32_t other = msg_make_address(7, 1, 28);
    linkUp(other);
    inject(second, frameBytes(kMsgTypeNotification, 20, kDevice, 0, 0, link));
    const Bytes message = frameBytes(kMsgTypeNotification, 21, other, kDevice, kTestId, {1, 2, 3});
    inject(port, message);
    tick(2);
    std::vector<Sent> forwarded;
    for (const Sent &s : sentFrames())
        if (decode(s.frame).id == kTestId)
            forwarded.push_back(s);
    ASSERT_EQ(forwarded.size(), 1u);
    EXPECT_EQ(forwarded[0].port, second);
    EXPECT_EQ(forwarded[0].frame, message);
    EXPECT_TRUE(g_dispatched.empty());
}
