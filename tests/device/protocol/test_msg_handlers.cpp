#include "device/protocol/msg_handlers.h"

#include "msg_test_support.h"

#include <algorithm>
#include <functional>
#include <cstring>
#include <string>

using namespace msgtest;

namespace {

struct Call {
    char what; // 'n' name, 'v' version, 's' serial, 'a' attribute
    msg_reply_info info;
    uint8_t attribute;
    bool hasData;
    Bytes data;
};
std::vector<Call> g_calls;

void record(char what, const msg_reply_info *info, uint8_t attribute, const uint8_t *data)
{
    Call c{what, *info, attribute, data != nullptr, {}};
    if (data)
        c.data.assign(data, data + info->length); // asan checks the whole range
    g_calls.push_back(c);
}
void onName(const msg_reply_info *i, const uint8_t *d) { record('n', i, 0, d); }
void onVersion(const msg_reply_info *i, const uint8_t *d) { record('v', i, 0, d); }
void onSerial(const msg_reply_info *i, const uint8_t *d) { record('s', i, 0, d); }
void onAttr(const msg_reply_info *i, uint8_t a, const uint8_t *d) { record('a', i, a, d); }

void answerLogin(int from, int kind, uint32_t address)
{
    captureLogin(from, kind, address);
    msg_answer_login(from, address);
}

Bytes text(const std::string &s) { return Bytes(s.begin(), s.end()); }
Bytes withPath(uint8_t status, uint32_t path, const Bytes &rest = {})
{
    Bytes b = {status, uint8_t(path), uint8_t(path >> 8), uint8_t(path >> 16), uint8_t(path >> 24)};
    b.insert(b.end(), rest.begin(), rest.end());
    return b;
}

class HandlerTest : public PeerFixture {
protected:
    void SetUp() override
    {
        PeerFixture::SetUp();
        g_calls.clear();
        msg_set_name_callback(onName);
        msg_set_version_callback(onVersion);
        msg_set_serial_callback(onSerial);
        msg_set_attr_callback(onAttr);
        linkUp();
    }
    // The device asks; returns the program's answers of that id.
    std::vector<Frame> ask(uint16_t id, const Bytes &payload, uint16_t sequence = 0x0300)
    {
        sentFrames().clear();
        fromDevice(kMsgTypeRequest, sequence, id, payload);
        tick(3);
        return sentWithId(id);
    }
    Bytes answer(uint16_t id, const Bytes &payload)
    {
        const auto frames = ask(id, payload);
        EXPECT_EQ(frames.size(), 1u) << "id " << id;
        if (frames.empty())
            return {};
        EXPECT_EQ(frames[0].type, kMsgTypeReply);
        EXPECT_EQ(frames[0].sequence, 0x0300);
        EXPECT_EQ(frames[0].destination, kDevice);
        return frames[0].payload;
    }
    void replyFromDevice(uint16_t id, const Bytes &payload)
    {
        fromDevice(kMsgTypeReply, 0x0900, id, payload);
        tick(2);
    }
};

} // namespace

TEST_F(HandlerTest, LoginAsksForNameSerialVersionAndSubscribes)
{
    msg_set_login_callback(answerLogin);
    const uint32_t device = msg_make_address(9, 1, 28);
    inject(port, frameBytes(kMsgTypeNotification, 1, device, 0, 0, linkPayload()));
    tick(6);
    std::vector<std::pair<uint16_t, Bytes>> requests;
    for (const Sent &s : sentFrames()) {
        const Frame f = decode(s.frame);
        if (f.id != 0) {
            EXPECT_EQ(f.type, kMsgTypeRequest);
            EXPECT_EQ(f.destination, device);
            requests.push_back({f.id, f.payload});
        }
    }
    const std::vector<std::pair<uint16_t, Bytes>> expected = {
        {1, {}}, {23, {0x00}}, {16, {}}, {34, {0x00}}, {14, {0x01, 0x01, 0x1C, 0x00}}};
    EXPECT_EQ(requests, expected);
    EXPECT_EQ(msg_pending_count(), 5);
}

TEST_F(HandlerTest, LoginsStatedByAMessageOrWithoutNodeNumberAreNotGreeted)
{
    msg_set_login_callback(answerLogin);
    // A node the core knows, so that requests to it would leave at once.
    const uint32_t stated = kDevice;
    const uint32_t nodeless = msg_make_address(0, 1, 29);
    struct Row {
        const char *what;
        uint32_t address;
        int from;
        std::function<void()> report;
    };
    const Row rows[] = {
        {"stated by a login message", stated, 1,
         [&] {
             const Bytes address = {uint8_t(stated), uint8_t(stated >> 8), uint8_t(stated >> 16), uint8_t(stated >> 24)};
             fromDevice(kMsgTypeRequest, 0x0400, kMsgIdLogin, address);
         }},
        {"seen by the core, node number 0", nodeless, 0,
         [&] { inject(port, frameBytes(kMsgTypeNotification, 1, nodeless, 0, 0, linkPayload())); }},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.what);
        logins().clear();
        sentFrames().clear();
        row.report();
        tick(6);
        EXPECT_NE(std::find(logins().begin(), logins().end(), std::make_tuple(row.from, 0, row.address)),
                  logins().end());
        // The core's own greeting (a login message) is not the program's answer.
        for (const Sent &s : sentFrames()) {
            const Frame f = decode(s.frame);
            EXPECT_FALSE(f.destination == row.address && f.type == kMsgTypeRequest && f.id != kMsgIdLogin)
                << "request " << f.id;
        }
    }
}

TEST_F(HandlerTest, AttributeRequestsAreByteExact)
{
    const uint8_t value[] = {0x10, 0x20};
    msg_attr_set(kDevice, 5, 2, value);
    msg_attr_get(kDevice, 5);
    const uint16_t list[] = {0x0105, 0x0207};
    msg_attr_get_list(kDevice, 2, list);
    msg_attr_get_list(kDevice, 0, nullptr);
    uint8_t big[201] = {};
    msg_attr_set(kDevice, 6, 201, big);
    tick(6);
    std::vector<std::pair<uint16_t, Bytes>> sent;
    for (const Sent &s : sentFrames())
        sent.push_back({decode(s.frame).id, decode(s.frame).payload});
    const std::vector<std::pair<uint16_t, Bytes>> expected = {
        {30, {0x05, 0x02, 0x10, 0x20}}, {31, {0x05}}, {33, {0x02, 0x05, 0x07}}, {33, {0x00}}};
    EXPECT_EQ(sent, expected);
}

TEST_F(HandlerTest, AnswersToADeviceAsking)
{
    Bytes name = {0x00, 0x06, 'Q', 'X', '-', 'P', 'C', 0x00};
    name.resize(22, 0x00);
    EXPECT_EQ(answer(1, {}), name);
    EXPECT_EQ(answer(16, {}), (Bytes{0x00, 0x01, 0x00, 0x00, 0x00, 0x1C, 0x00, 0x00, 0x00, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(answer(23, {0x00}), (Bytes{0x01}));
    EXPECT_EQ(answer(23, {0x01, 'A', 'B'}), (Bytes{0x01}));
    EXPECT_EQ(answer(31, {0x05}), (Bytes{0x01, 0x05, 0x00}));
    EXPECT_EQ(answer(33, {0x00}), (Bytes{0x01}));
    EXPECT_EQ(answer(30, {0x05, 0x01, 0x2A}), (Bytes{0x00, 0x05}));
    EXPECT_EQ(answer(32, {0x05, 0x01, 0x2A}), (Bytes{0x00}));
    EXPECT_EQ(answer(34, {0x00}), (Bytes{0x00}));
    EXPECT_EQ(msg_attr_subscriber_count(), 1);
    EXPECT_EQ(answer(34, {0x00}), (Bytes{0x00}));
    EXPECT_EQ(msg_attr_subscriber_count(), 1);
    EXPECT_EQ(answer(34, {0xFF}), (Bytes{0x00}));
    EXPECT_EQ(msg_attr_subscriber_count(), 0);
    EXPECT_TRUE(g_calls.empty());
}

TEST_F(HandlerTest, LoginAndLogoutMessagesOfADevice)
{
    EXPECT_EQ(answer(14, {0x05, 0x01, 0x1C, 0x00}), (Bytes{0x00}));
    EXPECT_EQ(logins().back(), std::make_tuple(1, 0, kDevice));
    fromDevice(kMsgTypeRequest, 7, 13, {0x05, 0x01, 0x1C, 0x00});
    tick(2);
    ASSERT_GE(logins().size(), 2u);
    EXPECT_EQ(logins()[logins().size() - 2], std::make_tuple(0, 1, kDevice));
    EXPECT_EQ(logins().back(), std::make_tuple(1, 1, kDevice));
    EXPECT_EQ(msg_find_node(kDevice), nullptr);
}

TEST_F(HandlerTest, GetAllReplyYieldsItsAttributesInOrder)
{
    replyFromDevice(33, {0x00, 0x05, 0x01, 0x2A, 0x07, 0x02, 0x10, 0x20});
    ASSERT_EQ(g_calls.size(), 2u);
    EXPECT_EQ(g_calls[0].attribute, 5);
    EXPECT_EQ(g_calls[0].data, (Bytes{0x2A}));
    EXPECT_EQ(g_calls[1].attribute, 7);
    EXPECT_EQ(g_calls[1].data, (Bytes{0x10, 0x20}));
    for (const Call &c : g_calls) {
        EXPECT_EQ(c.info.kind, 0);
        EXPECT_EQ(+c.info.id, 33);
        EXPECT_EQ(c.info.status, 0);
        EXPECT_EQ(+c.info.address, kDevice);
    }
}

TEST_F(HandlerTest, AttributeNotificationOfTheDevice)
{
    fromDevice(kMsgTypeNotification, 4, 34, {0x05, 0x01, 0x2A});
    tick(2);
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(g_calls[0].info.kind, 2);
    EXPECT_EQ(g_calls[0].attribute, 5);
    EXPECT_EQ(+g_calls[0].info.length, 1);
    EXPECT_EQ(g_calls[0].data, (Bytes{0x2A}));
}

TEST_F(HandlerTest, GoodRepliesReachTheirCallbacks)
{
    replyFromDevice(1, {0x00, 0x04, 'T', '4', '0', 0x00});
    replyFromDevice(16, {0x00, 0x02, 0x07});
    replyFromDevice(23, {0x00, 'S', 'N', '1'});
    replyFromDevice(31, {0x00, 0x05, 0x01, 0x2A});
    replyFromDevice(30, {0x00, 0x05});
    replyFromDevice(34, {0x00});
    ASSERT_EQ(g_calls.size(), 6u);
    EXPECT_EQ(g_calls[0].data, (Bytes{'T', '4', '0', 0x00}));
    EXPECT_EQ(g_calls[1].data, (Bytes{0x00, 0x02, 0x07})) << "the whole payload, status included";
    EXPECT_EQ(g_calls[2].data, text("SN1"));
    EXPECT_EQ(g_calls[3].data, (Bytes{0x2A}));
    EXPECT_EQ(g_calls[4].attribute, 5);
    EXPECT_EQ(+g_calls[5].info.id, 34);
    for (const Call &c : g_calls)
        EXPECT_EQ(c.info.status, 0) << c.what;
}

TEST_F(HandlerTest, OwnNameIsAnsweredLocally)
{
    msg_request_node_name(msg_self_address());
    msg_request_serial(msg_self_address());
    tick(3);
    ASSERT_EQ(g_calls.size(), 1u);
    EXPECT_EQ(+g_calls[0].info.length, 6);
    EXPECT_EQ(g_calls[0].data, (Bytes{'Q', 'X', '-', 'P', 'C', 0x00}));
    EXPECT_TRUE(sentFrames().empty());
}

TEST_F(HandlerTest, TimeOutsReportFailureWithoutData)
{
    msg_request_node_name(kDevice);
    msg_attr_get(kDevice, 5);
    tick(4100);
    ASSERT_EQ(g_calls.size(), 2u);
    for (const Call &c : g_calls) {
        EXPECT_EQ(c.info.status, 1);
        EXPECT_FALSE(c.hasData);
        EXPECT_EQ(+c.info.address, kDevice);
    }
}

// Replies shorter or longer than what their handlers read.
TEST_F(HandlerTest, MalformedRepliesFailCleanly)
{
    struct Case {
        uint16_t id;
        Bytes payload;
        std::vector<std::pair<uint8_t, uint16_t>> calls; // (status, length) per callback
    };
    Bytes longName = {0x00, 0x40};
    longName.resize(62, 'n');
    Bytes longVersion(40, 0x00);
    const std::vector<Case> cases = {
        {1, {}, {{1, 0}}},
        {1, {0x00}, {{1, 0}}},
        {1, {0x05}, {{5, 0}}},
        {1, {0x00, 0x30, 'a'}, {{0, 1}}}, // declared 48, one present
        {1, longName, {{0, kMsgNameBufferBytes}}},
        {16, {}, {{1, 0}}},
        {16, {0x02, 0x01}, {{2, 0}}},
        {16, longVersion, {{0, kMsgVersionBufferBytes}}},
        {23, {}, {{1, 0}}},
        {23, {0x00}, {{0, 0}}},
        {23, {0x01, 'x'}, {{1, 1}}},
        {30, {}, {{1, 0}}},
        {30, {0x00}, {{1, 0}}},
        {31, {}, {{1, 0}}},
        {31, {0x00, 0x05}, {{1, 0}}},
        {31, {0x00, 0x05, 0x03, 0x01}, {{1, 0}}},
        {31, {0x01, 0x05}, {{1, 0}}},
        {32, {0x01, 0x05, 0x07}, {{1, 0}, {1, 0}}},
        {32, {0x00}, {{0, 0}}},
        {33, {}, {{1, 0}}},
        {33, {0x01}, {{1, 0}}},
        {33, {0x00, 0x05}, {}},
        {33, {0x00, 0x05, 0x01}, {}},
        {33, {0x00, 0x05, 0x01, 0x2A, 0x07, 0x05, 0x10}, {{0, 1}}},
        {34, {}, {{1, 0}}},
    };
    for (const Case &c : cases) {
        g_calls.clear();
        replyFromDevice(c.id, c.payload);
        ASSERT_EQ(g_calls.size(), c.calls.size()) << "id " << c.id << " length " << c.payload.size();
        for (size_t i = 0; i < c.calls.size(); ++i) {
            EXPECT_EQ(g_calls[i].info.status, c.calls[i].first) << "id " << c.id;
            EXPECT_EQ(+g_calls[i].info.length, c.calls[i].second) << "id " << c.id;
            EXPECT_EQ(g_calls[i].hasData, c.calls[i].second > 0) << "id " << c.id;
        }
    }
    // Malformed notifications are dropped.
    g_calls.clear();
    fromDevice(kMsgTypeNotification, 5, 34, {0x05});
    fromDevice(kMsgTypeNotification, 6, 34, {0x05, 0x03, 0x01});
    tick(3);
    EXPECT_TRUE(g_calls.empty());
}

TEST_F(HandlerTest, SelfDescriptionAnswers)
{
    EXPECT_EQ(answer(2, {0x00}), (Bytes{0x00, 0x00, 0x02, 0x00}));
    EXPECT_EQ(answer(2, {0x01}), (Bytes{0x00, 0x01, 67, 0x00}));
    EXPECT_EQ(answer(2, {0x09}), (Bytes{0x04, 0x09, 0x00, 0x00}));
    EXPECT_EQ(answer(3, {0x01, 0, 0, 0}), withPath(0, 1, text("{t:2,a:0,v:0,n:'%0'}")));
    EXPECT_EQ(answer(3, {0x03, 0, 0, 0}), withPath(1, 3));
    EXPECT_EQ(answer(3, {0x01, 0x01, 0, 0}), withPath(1, 0x0101)) << "item 1 has no nested list";
    EXPECT_EQ(answer(17, {}), (Bytes{0x00, 'e', 'n', 'c', 'n'}));
}

TEST_F(HandlerTest, NameListsAndLookup)
{
    Bytes names = {0x00};
    const Bytes list = text("[mic base;test;]");
    names.insert(names.end(), list.begin(), list.end());
    EXPECT_EQ(answer(19, text("en")), names);
    EXPECT_EQ(answer(19, text("cn")), names);
    EXPECT_EQ(answer(19, text("fr")), (Bytes{0x01}));
    EXPECT_EQ(answer(19, {}), (Bytes{0x01}));
    Bytes byName = {0x00};
    const Bytes test = text("test");
    byName.insert(byName.end(), test.begin(), test.end());
    EXPECT_EQ(answer(6, byName), withPath(0, 2, text("{t:1,a:0,v:0,M:10,m:0,s:1,n:'%1'}")));
    EXPECT_EQ(answer(6, {0x00, 'x'}).at(0), 0x01);
}

TEST_F(HandlerTest, ValuesAreWrittenWithinTheTemplate)
{
    EXPECT_EQ(answer(4, {0x02, 0, 0, 0, '5'}), withPath(0, 2));
    EXPECT_EQ(answer(5, {0x02, 0, 0, 0}), withPath(0, 2, text("5")));
    EXPECT_EQ(answer(4, {0x02, 0, 0, 0, '1', '0'}), withPath(0, 2)) << "grows within the buffer";
    EXPECT_EQ(answer(5, {0x02, 0, 0, 0}), withPath(0, 2, text("10")));
    EXPECT_EQ(answer(4, {0x02, 0, 0, 0, '7'}), withPath(0, 2));
    EXPECT_EQ(answer(5, {0x02, 0, 0, 0}), withPath(0, 2, text("7")));
    EXPECT_EQ(answer(3, {0x02, 0, 0, 0}), withPath(0, 2, text("{t:1,a:0,v:7 ,M:10,m:0,s:1,n:'%1'}")));
    // Refused: syntax characters, blanks, empty, and more than the buffer holds.
    for (const Bytes &bad : {text("1,2"), text("a}"), text("x'"), text("1 2"), Bytes{}, Bytes(80, '9')}) {
        Bytes request = {0x02, 0, 0, 0};
        request.insert(request.end(), bad.begin(), bad.end());
        EXPECT_EQ(answer(4, request), withPath(1, 2));
    }
    EXPECT_EQ(answer(3, {0x02, 0, 0, 0}), withPath(0, 2, text("{t:1,a:0,v:7 ,M:10,m:0,s:1,n:'%1'}")));
    EXPECT_EQ(answer(4, {0x09, 0, 0, 0, '1'}), withPath(1, 9));
}

TEST_F(HandlerTest, WatchesNotifyOnChangeAndPeriodically)
{
    EXPECT_EQ(answer(7, {0x02, 0, 0, 0, 0x03, 0x05, 0x00, 0x00, 0x00}), (Bytes{0x00})); // value >= 5
    sentFrames().clear();
    fromDevice(kMsgTypeRequest, 1, 4, {0x02, 0, 0, 0, '3'});
    fromDevice(kMsgTypeRequest, 2, 4, {0x02, 0, 0, 0, '8'});
    tick(6);
    auto notes = sentWithId(7);
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].type, kMsgTypeNotification);
    EXPECT_EQ(notes[0].payload, (Bytes{0x03, 0x02, 0, 0, 0, '8'}));

    EXPECT_EQ(answer(7, {0x02, 0, 0, 0, 0x00, 0, 0, 0, 0}), (Bytes{0x00})); // removed
    EXPECT_EQ(answer(7, {0x02, 0, 0, 0, 0x00, 0, 0, 0, 0}), (Bytes{0x01})); // nothing to remove
    EXPECT_EQ(answer(7, {0x01, 0, 0, 0, 0x01, 100, 0, 0, 0}), (Bytes{0x00})); // every 100 ms
    EXPECT_EQ(answer(7, {0x01, 0, 0}), (Bytes{0x01}));
    sentFrames().clear();
    tick(350);
    notes = sentWithId(7);
    EXPECT_EQ(notes.size(), 3u);
    for (const Frame &f : notes)
        EXPECT_EQ(f.payload, (Bytes{0x01, 0x01, 0, 0, 0, '0'}));
}

TEST_F(HandlerTest, BlockTransferAndValueModules)
{
    const Bytes open = answer(9, {0x00, 0x00, 0x02, 'f'});
    ASSERT_EQ(open.size(), 11u);
    EXPECT_EQ(open[0], 0x10);
    EXPECT_EQ(answer(11, {0x07, 0, 0, 0}), (Bytes{0x12, 0x07, 0, 0, 0}));
    EXPECT_EQ(answer(12, {0x01, 0, 0, 0}), (Bytes{0x01, 0, 0, 0, 0}));
    EXPECT_EQ(answer(8, {0x02}), (Bytes{0x00}));
    EXPECT_TRUE(ask(8, {0x01}).empty());
    EXPECT_TRUE(ask(15, {0x01}).empty());
    EXPECT_EQ(answer(21, {}), (Bytes{0x00, 0x00}));
    EXPECT_EQ(answer(22, Bytes(9, 1)), (Bytes{0x00}));
    EXPECT_EQ(answer(24, {0x00}), (Bytes{0x01}));
    EXPECT_TRUE(ask(18, {0x01}).empty());

    const auto time = ask(26, {0x01});
    ASSERT_EQ(time.size(), 2u) << "the answer, then a request of our own";
    EXPECT_EQ(time[0].type, kMsgTypeReply);
    EXPECT_EQ(time[0].payload, Bytes(10, 0x00));
    EXPECT_EQ(time[1].type, kMsgTypeRequest);
    EXPECT_EQ(time[1].length, 10);
}

// Ten watches every millisecond produce ten notifications a tick while the
// queue drains one: the program's own requests must still go out.
TEST_F(HandlerTest, FastWatchesNeverCrowdOutTheProgramsRequests)
{
    std::vector<uint32_t> watchers = {kDevice};
    for (uint8_t node = 6; node < 10; ++node) {
        watchers.push_back(msg_make_address(node, 1, 28));
        linkUp(watchers.back());
    }
    uint16_t sequence = 0x0400;
    for (uint32_t watcher : watchers) {
        for (uint8_t path : {1, 2}) {
            fromDevice(kMsgTypeRequest, sequence++, 7, {path, 0, 0, 0, 0x01, 0x01, 0x00, 0x00, 0x00}, watcher);
            tick();
        }
    }
    sentFrames().clear();
    errors().clear();

    std::vector<uint16_t> asked;
    for (int i = 0; i < 50; ++i) {
        for (uint32_t watcher : watchers) // the devices stay alive
            inject(port, frameBytes(kMsgTypeNotification, uint16_t(i), watcher, 0, 0, linkPayload()));
        msg_attr_get(kDevice, 5);
        tick(100);
        for (const Frame &f : sentWithId(31)) {
            if (f.type == kMsgTypeRequest && f.destination == kDevice
                && std::find(asked.begin(), asked.end(), f.sequence) == asked.end())
                asked.push_back(f.sequence);
        }
        sentFrames().clear();
        // Answered, so that no retransmission blurs the count.
        if (!asked.empty())
            fromDevice(kMsgTypeReply, asked.back(), 31, {0x00, 0x05, 0x01, 0x07});
    }
    tick(150);
    for (const Frame &f : sentWithId(31))
        if (std::find(asked.begin(), asked.end(), f.sequence) == asked.end())
            asked.push_back(f.sequence);
    EXPECT_EQ(asked.size(), 50u);
    EXPECT_FALSE(hasError(kMsgErrTransmitDropped));
    EXPECT_GT(msg_watch_skipped_count(), 1000u);
    EXPECT_LE(msg_transmit_queue_count(), kMsgQueueEntries / 2 + 1);
}

// What each watch mode reports of the values 3, 5, 8, 12 set in turn
// (thresholds 5 and 10); and the transfer end (id 12) with a matching and a
// wrong check value.
TEST_F(HandlerTest, WatchModesChooseWhichChangesAreReported)
{
    struct Case {
        uint8_t mode;
        std::vector<std::string> reported;
    };
    const Case cases[] = {
        {2, {"3", "5", "8", "12"}}, // every change
        {3, {"5", "8", "12"}},      // at least the first threshold
        {4, {"3", "5"}},            // at most the first threshold
        {5, {"5", "8"}},            // within both
        {6, {"3", "12"}},           // outside them
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(int(c.mode));
        EXPECT_EQ(answer(7, {0x02, 0, 0, 0, c.mode, 5, 0, 10, 0}), (Bytes{0x00}));
        sentFrames().clear();
        uint16_t sequence = 0x0500;
        for (const char *value : {"3", "5", "8", "12"}) {
            Bytes request = {0x02, 0, 0, 0};
            request.insert(request.end(), value, value + std::strlen(value));
            fromDevice(kMsgTypeRequest, sequence++, 4, request);
            tick(3);
        }
        std::vector<std::string> reported;
        for (const Frame &f : sentWithId(7)) {
            EXPECT_EQ(f.payload.at(0), c.mode);
            reported.emplace_back(f.payload.begin() + 5, f.payload.end());
        }
        EXPECT_EQ(reported, c.reported);
        EXPECT_EQ(answer(7, {0x02, 0, 0, 0, 0x00, 0, 0, 0, 0}), (Bytes{0x00}));
    }
    EXPECT_EQ(answer(12, {0x00, 0, 0, 0}), (Bytes{0x00, 0, 0, 0, 0})) << "the check matches";
    EXPECT_EQ(answer(12, {0x01, 0, 0, 0}), (Bytes{0x01, 0, 0, 0, 0}));
}
