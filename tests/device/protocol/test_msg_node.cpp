#include "msg_test_support.h"

#include <algorithm>
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
        msg_record r{};
        r.type = type;
        r.destination = destination;
        r.id = kTestId;
        r.length = uint16_t(payload.size());
        r.payload = const_cast<uint8_t *>(payload.data());
        msg_send(0, &r);
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
