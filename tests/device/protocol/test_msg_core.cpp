#include "msg_test_support.h"

using namespace msgtest;

namespace {

constexpr uint16_t kTestId = 0x7001;

struct HandlerLog {
    std::vector<msg_record> responses; // payload pointers cleared
    std::vector<Bytes> payloads;
    std::vector<msg_record> timeouts;
    std::vector<uint32_t> timeoutClock;
};
HandlerLog g_log;

int onResponse(int, msg_record *r)
{
    msg_record copy = *r;
    copy.payload = nullptr;
    g_log.responses.push_back(copy);
    g_log.payloads.push_back(r->payload ? Bytes(r->payload, r->payload + r->length) : Bytes{});
    return 0;
}

int onTimeout(int port, msg_record *r)
{
    EXPECT_EQ(port, 0);
    EXPECT_EQ(r->payload, nullptr);
    EXPECT_EQ(+r->length, 0);
    g_log.timeouts.push_back(*r);
    g_log.timeoutClock.push_back(msg_clock_ms());
    return 0;
}

int replyFromHandler(int, msg_record *r)
{
    if (r->type != kMsgTypeRequest)
        return 0;
    msg_record reply{};
    reply.type = kMsgTypeReply;
    reply.destination = r->source;
    reply.id = r->id;
    msg_send(0, &reply); // sequence left 0: the dispatch supplies it
    return 0;
}

class CoreTest : public PeerFixture {
protected:
    void SetUp() override
    {
        PeerFixture::SetUp();
        g_log = {};
        ASSERT_EQ(msg_register_handler(kTestId, onResponse, onTimeout), 0);
        linkUp();
    }
    int request(uint8_t flags, const Bytes &payload = {0x01, 0x02}, uint8_t type = kMsgTypeRequest)
    {
        return sendMessage(flags, type, kDevice, kTestId, payload);
    }
    std::vector<uint32_t> sendTimes;
};

std::vector<uint32_t> *g_sendTimes = nullptr;
int timedSend(int port, int length, const uint8_t *frame)
{
    if (g_sendTimes && decode(Bytes(frame, frame + length)).id == kTestId)
        g_sendTimes->push_back(msg_clock_ms());
    return captureSend(port, length, frame);
}

} // namespace

TEST_F(CoreTest, TrackedRequestIsSentFourTimesThenTimesOutOnce)
{
    // Route the port through a sender that notes the clock of each send.
    msg_reset_for_tests();
    msg_set_error_callback(captureError);
    ASSERT_EQ(msg_register_handler(kTestId, onResponse, onTimeout), 0);
    port = msg_add_port(timedSend);
    linkUp();
    g_sendTimes = &sendTimes;
    msg_advance_clock(100);
    const uint32_t askedMs = msg_clock_ms();
    EXPECT_EQ(request(kMsgSendTrack), kMsgSendOk);
    EXPECT_EQ(msg_pending_count(), 1);
    tick(6000);
    g_sendTimes = nullptr;
    // Out at once, then again each time more than 1000 ms passed without a
    // reply (a retransmission leaves the queue on the tick after); the fourth
    // silence times it out.
    EXPECT_EQ(sendTimes, (std::vector<uint32_t>{askedMs, askedMs + 1 + 1001, askedMs + 1 + 2002, askedMs + 1 + 3003}));
    ASSERT_EQ(g_log.timeouts.size(), 1u);
    EXPECT_EQ(g_log.timeoutClock[0], askedMs + 4004);
    EXPECT_EQ(+g_log.timeouts[0].destination, kDevice);
    EXPECT_EQ(msg_pending_count(), 0);
    // Every transmission carries the same sequence number.
    const auto frames = sentWithId(kTestId);
    for (const Frame &f : frames)
        EXPECT_EQ(f.sequence, frames[0].sequence);
}

TEST_F(CoreTest, ReplyStopsRetransmission)
{
    request(kMsgSendTrack);
    tick();
    const auto first = sentWithId(kTestId);
    ASSERT_EQ(first.size(), 1u);
    EXPECT_EQ(first[0].source, msg_self_address());
    fromDevice(kMsgTypeReply, first[0].sequence, kTestId, {0x00, 0x07});
    tick();
    EXPECT_EQ(msg_pending_count(), 0);
    ASSERT_EQ(g_log.responses.size(), 1u);
    EXPECT_EQ(g_log.payloads[0], (Bytes{0x00, 0x07}));
    tick(5000);
    EXPECT_EQ(sentWithId(kTestId).size(), 1u);
    EXPECT_TRUE(g_log.timeouts.empty());
}

TEST_F(CoreTest, ReplyReleasesOnlyItsOwnRequest)
{
    request(kMsgSendTrack);
    request(kMsgSendTrack);
    tick(2);
    const auto sent = sentWithId(kTestId);
    ASSERT_EQ(sent.size(), 2u);
    EXPECT_NE(sent[0].sequence, sent[1].sequence);
    fromDevice(kMsgTypeReply, sent[1].sequence, kTestId, {0x00});
    tick();
    EXPECT_EQ(msg_pending_count(), 1);
    // A reply from another node does not release it.
    const uint32_t other = msg_make_address(6, 1, 28);
    linkUp(other);
    fromDevice(kMsgTypeReply, sent[0].sequence, kTestId, {0x00}, other);
    tick();
    EXPECT_EQ(msg_pending_count(), 1);
    EXPECT_EQ(g_log.responses.size(), 2u) << "unmatched replies still reach the handler";
}

TEST_F(CoreTest, NotificationsAndUnflaggedRequestsAreNotTracked)
{
    EXPECT_EQ(request(kMsgSendTrack, {}, kMsgTypeNotification), kMsgSendOk);
    EXPECT_EQ(request(0), kMsgSendOk);
    EXPECT_EQ(msg_pending_count(), 0);
    tick(5000);
    EXPECT_EQ(sentWithId(kTestId).size(), 2u);
}

TEST_F(CoreTest, DispatchReachesTheFirstHandlerOfItsId)
{
    ASSERT_EQ(msg_register_handler(kTestId, onTimeout, onTimeout), 0); // shadowed
    fromDevice(kMsgTypeNotification, 3, kTestId, {0x09});
    fromDevice(kMsgTypeNotification, 4, kTestId + 1, {0x09}); // no handler
    tick(2);
    ASSERT_EQ(g_log.responses.size(), 1u);
    EXPECT_EQ(g_log.responses[0].type, kMsgTypeNotification);
    EXPECT_EQ(+g_log.responses[0].sequence, 3);
}

TEST_F(CoreTest, ReplyFromAHandlerCarriesTheRequestSequence)
{
    ASSERT_EQ(msg_register_handler(0x7002, replyFromHandler, nullptr), 0);
    fromDevice(kMsgTypeRequest, 0x4321, 0x7002, {});
    tick(2);
    const auto replies = sentWithId(0x7002);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].type, kMsgTypeReply);
    EXPECT_EQ(replies[0].sequence, 0x4321);
    EXPECT_EQ(replies[0].destination, kDevice);
}

TEST_F(CoreTest, FullPendingTableSendsUntracked)
{
    for (int i = 0; i < kMsgPendingEntries; ++i) {
        ASSERT_EQ(request(kMsgSendTrack), kMsgSendOk);
        tick();
    }
    EXPECT_EQ(request(kMsgSendTrack), kMsgSendUntracked);
    tick();
    EXPECT_EQ(sentWithId(kTestId).size(), size_t(kMsgPendingEntries) + 1);
    EXPECT_TRUE(errors().empty());
}

TEST_F(CoreTest, FailedCopyIsReportedAsUntracked)
{
    uint8_t *hog = msg_pool_alloc(kMsgPoolBytes - msg_pool_bytes_in_use());
    ASSERT_NE(hog, nullptr);
    EXPECT_EQ(request(kMsgSendTrack, Bytes(32, 1)), kMsgSendUntracked);
    EXPECT_EQ(msg_pending_count(), 0);
    msg_pool_free(hog);
}

TEST_F(CoreTest, CancelFlagDropsTheWaitingRequest)
{
    request(kMsgSendTrack);
    EXPECT_EQ(request(kMsgSendTrack | kMsgSendCancelPending), kMsgSendCancelled);
    EXPECT_EQ(msg_pending_count(), 0);
    EXPECT_EQ(g_log.timeouts.size(), 1u);
    tick(2);
    EXPECT_EQ(sentWithId(kTestId).size(), 1u);
}

TEST_F(CoreTest, OneTimeOutPerTick)
{
    request(kMsgSendTrack);
    request(kMsgSendTrack);
    tick(4003);
    const size_t before = g_log.timeouts.size();
    tick(3);
    EXPECT_EQ(g_log.timeouts.size(), 2u);
    EXPECT_LT(before, 2u);
    EXPECT_EQ(g_log.timeoutClock[1] - g_log.timeoutClock[0], 1u);
}

TEST_F(CoreTest, HandlerRegistryHoldsAtMost256)
{
    int added = 0;
    while (msg_register_handler(0x7100, nullptr, nullptr) == 0)
        ++added;
    // The core's own modules hold 28 entries and the fixture one.
    EXPECT_EQ(added, kMsgHandlerEntries - 29);
    EXPECT_EQ(msg_register_handler(0x7101, nullptr, nullptr), 1);
}

TEST_F(CoreTest, FullReceiveRingDropsAndReports)
{
    for (int i = 0; i < kMsgRingEntries + 1; ++i)
        fromDevice(kMsgTypeNotification, uint16_t(i), kTestId, {0x01});
    EXPECT_EQ(msg_receive_ring_count(), kMsgRingEntries);
    ASSERT_EQ(errors().size(), 1u);
    EXPECT_EQ(errors()[0], std::make_pair(int(kMsgErrReceiveRingFull), int(kTestId)));
    tick(kMsgRingEntries);
    EXPECT_EQ(g_log.responses.size(), size_t(kMsgRingEntries)) << "one message per tick";
}
