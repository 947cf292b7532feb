#include "device/emulator/mic_base_emulator.h"

#include "host_side.h"

#include <gtest/gtest.h>

using namespace veloran::emu;
using veloran::emu::testing::HostSide;
using veloran::emu::testing::kHost;

namespace {

std::string text(const std::vector<uint8_t>& v, size_t from) { return {v.begin() + std::ptrdiff_t(from), v.end()}; }

struct Bench {
    explicit Bench(Model m = Model::T40) : emu(defaultConfig(m)), host(emu) {}
    explicit Bench(ModelConfig c) : emu(std::move(c)), host(emu) {}
    MicBaseEmulator emu;
    HostSide host;
};

}  // namespace

TEST(EmuLink, BeaconsCarryTheLinkPayload)
{
    Bench b;
    b.emu.step(0);
    auto beacons = b.host.takeId(kMsgLink);
    ASSERT_EQ(beacons.size(), 1u);
    const Frame f = beacons[0];
    EXPECT_EQ(f.type, kTypeNotification);
    EXPECT_TRUE(f.destination.isBroadcast());
    EXPECT_EQ(f.source, b.emu.config().address);
    ASSERT_EQ(f.payload.size(), kLinkPayloadBytes);
    EXPECT_EQ(getU16(f.payload.data() + 1), 500);
    EXPECT_NE(f.payload[4], 0);
    EXPECT_NE(f.payload[5], 0);
    EXPECT_EQ(f.payload[12], 0x24);

    b.emu.step(999);
    EXPECT_TRUE(b.host.take().empty());
    b.emu.step(1000);
    beacons = b.host.takeId(kMsgLink);
    ASSERT_EQ(beacons.size(), 1u);
    EXPECT_EQ(getU32(beacons[0].payload.data() + 6), 1000u);
    EXPECT_EQ(beacons[0].sequence, f.sequence + 1);
}

TEST(EmuLink, LinkRequestIsAnsweredAndHostLearnt)
{
    Bench b;
    EXPECT_FALSE(b.emu.host());
    b.host.link(500, kTypeRequest);
    auto replies = b.host.takeId(kMsgLink);
    ASSERT_EQ(replies.size(), 1u);
    EXPECT_EQ(replies[0].type, kTypeReply);
    EXPECT_EQ(replies[0].destination, kHost);
    ASSERT_TRUE(b.emu.host());
    EXPECT_EQ(*b.emu.host(), kHost);
}

TEST(EmuIdentity, NameSerialVersionAndLogin)
{
    for (Model m : {Model::T40, Model::U20, Model::R7}) {
        Bench b(m);
        const auto& c = b.emu.config();
        uint16_t seq = b.host.request(kMsgNodeName, {});
        auto r = b.host.takeId(kMsgNodeName);
        ASSERT_EQ(r.size(), 1u) << modelName(m);
        EXPECT_EQ(r[0].type, kTypeReply);
        EXPECT_EQ(r[0].sequence, seq);
        EXPECT_EQ(r[0].destination, kHost);
        ASSERT_GE(r[0].payload.size(), 2u);
        EXPECT_EQ(r[0].payload[0], 0);
        EXPECT_EQ(r[0].payload[1], c.name.size());
        EXPECT_EQ(text(r[0].payload, 2), c.name);

        b.host.request(kMsgSerial, {0x00});
        r = b.host.takeId(kMsgSerial);
        ASSERT_EQ(r.size(), 1u);
        EXPECT_EQ(r[0].payload[0], 0);
        EXPECT_EQ(text(r[0].payload, 1), c.serial);

        b.host.request(kMsgVersion, {});
        r = b.host.takeId(kMsgVersion);
        ASSERT_EQ(r.size(), 1u);
        EXPECT_EQ(r[0].payload, c.versionAnswer);

        b.host.request(kMsgLogin, {1, 1, 28, 0});
        r = b.host.takeId(kMsgLogin);
        ASSERT_EQ(r.size(), 1u);
        EXPECT_EQ(r[0].payload, std::vector<uint8_t>{0});
    }
}

TEST(EmuIdentity, SerialWriteAndOtherNodesAreRefusedOrIgnored)
{
    Bench b;
    b.host.request(kMsgSerial, {0x01, 'X'});
    auto r = b.host.takeId(kMsgSerial);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].payload, std::vector<uint8_t>{1});

    Frame f;
    f.source = kHost;
    f.destination = {9, 9, 9};
    f.messageId = kMsgNodeName;
    b.host.sendFrame(f);
    EXPECT_TRUE(b.host.take().empty());
}

TEST(EmuAttributes, SetGetAndLists)
{
    Bench b;
    b.host.request(kMsgAttrSet, {5, 1, 12});
    auto r = b.host.takeId(kMsgAttrSet);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].payload, (std::vector<uint8_t>{0, 5}));
    EXPECT_EQ(*b.emu.attributes().get(5), std::vector<uint8_t>{12});

    // Out of range, unknown, and a length that runs past the payload.
    for (auto p : {std::vector<uint8_t>{5, 1, 40}, std::vector<uint8_t>{20, 1, 0}, std::vector<uint8_t>{5, 3, 1}}) {
        b.host.request(kMsgAttrSet, p);
        r = b.host.takeId(kMsgAttrSet);
        ASSERT_EQ(r.size(), 1u);
        EXPECT_EQ(r[0].payload, (std::vector<uint8_t>{1, p[0]}));
    }
    EXPECT_EQ(*b.emu.attributes().get(5), std::vector<uint8_t>{12});

    b.host.request(kMsgAttrGet, {6});
    r = b.host.takeId(kMsgAttrGet);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].payload, (std::vector<uint8_t>{0, 6, 1, 3}));
    b.host.request(kMsgAttrGet, {20});
    EXPECT_EQ(b.host.takeId(kMsgAttrGet)[0].payload, (std::vector<uint8_t>{1, 20, 0}));

    // Set list: the second triple fails, the third is truncated.
    b.host.request(kMsgAttrSetList, {1, 1, 1, 5, 1, 99, 2, 4, 1});
    r = b.host.takeId(kMsgAttrSetList);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].payload, (std::vector<uint8_t>{1, 5, 2}));
    EXPECT_EQ(*b.emu.attributes().get(1), std::vector<uint8_t>{1});
    b.host.request(kMsgAttrSetList, {1, 1, 0, 2, 1, 1});
    EXPECT_EQ(b.host.takeId(kMsgAttrSetList)[0].payload, std::vector<uint8_t>{0});

    // Get list of two ids, in the asked order; the count is bounded by the payload.
    b.host.request(kMsgAttrGetList, {9, 7, 2});
    r = b.host.takeId(kMsgAttrGetList);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].payload, (std::vector<uint8_t>{0, 7, 1, 13, 2, 1, 1}));
    b.host.request(kMsgAttrGetList, {1, 20});
    EXPECT_EQ(b.host.takeId(kMsgAttrGetList)[0].payload, std::vector<uint8_t>{1});
}

TEST(EmuAttributes, GetAllStaysWithinOneMessage)
{
    Bench b;
    b.host.request(kMsgAttrGetList, {0});
    auto r = b.host.takeId(kMsgAttrGetList);
    ASSERT_EQ(r.size(), 1u);
    const auto& p = r[0].payload;
    EXPECT_LE(p.size(), kMaxPayloadBytes);
    ASSERT_EQ(p[0], 0);
    // Triples in ascending id order, each a real value.
    size_t i = 1;
    int last = -1, count = 0;
    while (i < p.size()) {
        ASSERT_LE(i + 2 + p[i + 1], p.size());
        EXPECT_GT(int(p[i]), last);
        last = p[i];
        EXPECT_EQ(std::vector<uint8_t>(p.begin() + std::ptrdiff_t(i + 2), p.begin() + std::ptrdiff_t(i + 2 + p[i + 1])),
                  *b.emu.attributes().get(p[i]));
        i += 2 + p[i + 1];
        ++count;
    }
    EXPECT_GE(count, 10);
}

TEST(EmuAttributes, SubscribersGetNotifications)
{
    Bench b;
    EXPECT_TRUE(b.emu.changeAttribute(5, {9}));
    EXPECT_TRUE(b.host.take().empty());  // nobody subscribed

    b.host.request(kMsgAttrSubscribe, {0x00});
    EXPECT_EQ(b.host.takeId(kMsgAttrSubscribe)[0].payload, std::vector<uint8_t>{0});
    b.host.request(kMsgAttrSubscribe, {0x00});  // no second entry
    b.host.take();
    ASSERT_EQ(b.emu.subscribers().size(), 1u);

    EXPECT_TRUE(b.emu.changeAttribute(5, {10}));
    auto n = b.host.takeId(kMsgAttrSubscribe);
    ASSERT_EQ(n.size(), 1u);
    EXPECT_EQ(n[0].type, kTypeNotification);
    EXPECT_EQ(n[0].destination, kHost);
    EXPECT_EQ(n[0].payload, (std::vector<uint8_t>{5, 1, 10}));
    EXPECT_FALSE(b.emu.changeAttribute(20, {1}));

    b.emu.floodNotifications(6, 50);
    n = b.host.takeId(kMsgAttrSubscribe);
    ASSERT_EQ(n.size(), 50u);
    for (size_t i = 1; i < n.size(); ++i)
        EXPECT_EQ(n[i].sequence, uint16_t(n[i - 1].sequence + 1));

    b.host.request(kMsgAttrSubscribe, {0xFF});
    b.host.take();
    EXPECT_TRUE(b.emu.subscribers().empty());
}

// With echoes on, the host's accepted writes come back to the subscribers
// after the write's answer; refused writes and echoes off send nothing more.
TEST(EmuAttributes, EchoWritesNotifyAcceptedWrites)
{
    struct Case {
        const char* name;
        bool echo;
        uint16_t messageId;
        std::vector<uint8_t> payload;
        std::vector<std::vector<uint8_t>> notified;
    };
    const std::vector<Case> cases = {
        {"off by default", false, kMsgAttrSet, {24, 1, 2}, {}},
        {"one write", true, kMsgAttrSet, {25, 1, 0xFB}, {{25, 1, 0xFB}}},
        {"refused length", true, kMsgAttrSet, {24, 2, 1, 1}, {}},
        {"unknown id", true, kMsgAttrSet, {200, 1, 1}, {}},
        {"truncated", true, kMsgAttrSet, {24, 3, 1}, {}},
        {"list, one refused", true, kMsgAttrSetList, {1, 1, 1, 200, 1, 0, 23, 1, 1},
         {{1, 1, 1}, {23, 1, 1}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bench b;
        b.host.request(kMsgAttrSubscribe, {0x00});
        b.host.take();
        if (c.echo)
            b.emu.setEchoWrites(true);
        b.host.request(c.messageId, c.payload);
        const auto frames = b.host.take();
        ASSERT_FALSE(frames.empty());
        EXPECT_EQ(frames[0].messageId, c.messageId);
        EXPECT_EQ(frames[0].type, kTypeReply);
        std::vector<std::vector<uint8_t>> notified;
        for (size_t i = 1; i < frames.size(); ++i) {
            EXPECT_EQ(frames[i].type, kTypeNotification);
            EXPECT_EQ(frames[i].messageId, kMsgAttrSubscribe);
            notified.push_back(frames[i].payload);
        }
        EXPECT_EQ(notified, c.notified);
    }
}

TEST(EmuAttributes, FactoryResetByAttributeAndPrivateMessage)
{
    Bench b;
    b.host.request(kMsgAttrSet, {5, 1, 1});
    b.host.request(kMsgAttrSet, {27, 1, 1});
    b.host.take();
    EXPECT_EQ(*b.emu.attributes().get(5), std::vector<uint8_t>{15});

    b.host.request(kMsgAttrSetList, {5, 1, 1, 27, 1, 1});
    b.host.take();
    EXPECT_EQ(*b.emu.attributes().get(5), std::vector<uint8_t>{15});

    b.host.request(kMsgAttrSet, {5, 1, 1});
    b.host.request(kMsgFactoryReset, {1}, kTypeNotification);
    auto r = b.host.take();
    EXPECT_EQ(r.size(), 1u);  // only the set's reply: a notification is not answered
    EXPECT_EQ(*b.emu.attributes().get(5), std::vector<uint8_t>{15});
    EXPECT_EQ(b.emu.receivedCount(kMsgFactoryReset), 1u);
}

TEST(EmuPrivate, AutoGainAndKnobNeedAHost)
{
    Bench b;
    EXPECT_FALSE(b.emu.sendAutoGainLevel(12));
    b.host.link();
    EXPECT_TRUE(b.emu.sendAutoGainLevel(12));
    EXPECT_TRUE(b.emu.pressKnob());
    auto f = b.host.take();
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[0].messageId, kMsgAutoGainLevel);
    EXPECT_EQ(f[0].type, kTypeNotification);
    EXPECT_EQ(f[0].payload, std::vector<uint8_t>{12});
    EXPECT_EQ(f[0].destination, kHost);
    EXPECT_EQ(f[1].messageId, kMsgKnobHotkey);
    EXPECT_EQ(f[1].payload, std::vector<uint8_t>{1});
}

// An R7 told to start its automatic gain reports live levels, then, once
// the run is over, the gain it settled on; a cancel ends the run, and the
// other models' attribute 3 is only a switch.
TEST(EmuPrivate, AutoGainRunReportsLevelsThenTheGain)
{
    struct Case {
        const char* name;
        Model model;
        uint64_t cancelAtMs;  // 0: not cancelled
        size_t levels;
        bool gainReported;
    };
    const std::vector<Case> cases = {
        {"R7 run", Model::R7, 0, (kAutoGainRunMs - 1) / kAutoGainLevelPeriodMs, true},
        {"R7 cancelled", Model::R7, 3050, 3000 / kAutoGainLevelPeriodMs, false},
        {"T40 switch", Model::T40, 0, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Bench b(c.model);
        b.emu.step(0);
        b.host.link();
        b.host.request(kMsgAttrSubscribe, {0x00});
        b.host.request(kMsgAttrSet, {kAttrAutoGain, 1, 1});
        b.host.take();
        std::vector<uint8_t> levels;
        std::vector<uint64_t> levelTimes;
        std::vector<std::vector<uint8_t>> gains;
        uint64_t gainAtMs = 0;
        for (uint64_t t = 10; t <= kAutoGainRunMs + 1000; t += 10) {
            if (c.cancelAtMs != 0 && t == c.cancelAtMs) {
                b.host.request(kMsgAttrSet, {kAttrAutoGain, 1, 0});
                b.host.takeId(kMsgAttrSet);
            }
            // Stepped as a driver that sleeps until the next step is due.
            if (t < b.emu.nextStepMs())
                continue;
            b.emu.step(t);
            for (const Frame& f : b.host.take()) {
                if (f.messageId == kMsgAutoGainLevel) {
                    ASSERT_EQ(f.payload.size(), 1u);
                    EXPECT_TRUE(gains.empty()) << "level after the result";
                    levels.push_back(f.payload[0]);
                    levelTimes.push_back(t);
                } else if (f.messageId == kMsgAttrSubscribe) {
                    gains.push_back(f.payload);
                    gainAtMs = t;
                }
            }
        }
        EXPECT_EQ(levels.size(), c.levels);
        for (size_t i = 0; i < levels.size(); ++i) {
            EXPECT_LE(levels[i], 30);
            EXPECT_EQ(levelTimes[i], (i + 1) * kAutoGainLevelPeriodMs);
        }
        if (!c.gainReported) {
            EXPECT_TRUE(gains.empty());
            continue;
        }
        // Only the gain, once, after the host's ten-second countdown.
        ASSERT_EQ(gains.size(), 1u);
        ASSERT_EQ(gains[0].size(), 3u);
        EXPECT_EQ(gains[0][0], kAttrMicGain);
        EXPECT_GE(gains[0][2], 1);
        EXPECT_LE(gains[0][2], 30);
        EXPECT_GT(gainAtMs, 10000u);
        EXPECT_EQ(*b.emu.attributes().get(kAttrMicGain), std::vector<uint8_t>{gains[0][2]});
        EXPECT_EQ(*b.emu.attributes().get(kAttrAutoGain), std::vector<uint8_t>{0});
    }
}

TEST(EmuFragments, BothDirections)
{
    // The host takes 100 bytes per frame: the get-all answer comes in pieces.
    Bench b;
    b.host.link(100);
    b.host.request(kMsgAttrGetList, {0});
    auto pieces = b.host.takeId(kMsgAttrGetList);
    ASSERT_GT(pieces.size(), 1u);
    Reassembler join;
    Frame whole;
    for (size_t i = 0; i + 1 < pieces.size(); ++i) {
        EXPECT_EQ(pieces[i].payload.size(), 100u);
        EXPECT_EQ(join.accept(pieces[i], whole), Reassembler::Outcome::Pending);
    }
    ASSERT_EQ(join.accept(pieces.back(), whole), Reassembler::Outcome::Complete);
    EXPECT_EQ(whole.type, kTypeReply);
    EXPECT_EQ(whole.payload[0], 0);

    // The host cuts a long set list for the R7 (256 bytes a frame).
    Bench r7(Model::R7);
    std::vector<uint8_t> list;
    for (uint8_t id : {10, 13}) {
        list.push_back(id);
        list.push_back(120);
        list.insert(list.end(), 120, id);
    }
    list.insert(list.end(), {11, 28});
    list.insert(list.end(), 28, 0x11);
    Frame m;
    m.sequence = 40;
    m.source = kHost;
    m.destination = r7.emu.config().address;
    m.messageId = kMsgAttrSetList;
    m.payload = list;
    for (const Frame& piece : splitIntoPieces(m, 256))
        r7.host.sendFrame(piece);
    auto r = r7.host.takeId(kMsgAttrSetList);
    ASSERT_EQ(r.size(), 1u);
    EXPECT_EQ(r[0].sequence, 40);
    EXPECT_EQ(r[0].payload, std::vector<uint8_t>{0});
    EXPECT_EQ(*r7.emu.attributes().get(13), std::vector<uint8_t>(120, 13));
}

TEST(EmuInspection, DuplicatesAreFlagged)
{
    Bench b;
    Frame f;
    f.sequence = 77;
    f.source = kHost;
    f.destination = b.emu.config().address;
    f.messageId = kMsgVersion;
    b.host.sendFrame(f);
    b.host.sendFrame(f);
    f.sequence = 78;
    b.host.sendFrame(f);
    EXPECT_EQ(b.host.takeId(kMsgVersion).size(), 3u);  // a retransmission is answered again
    auto log = b.emu.received();
    ASSERT_EQ(log.size(), 3u);
    EXPECT_FALSE(log[0].duplicate);
    EXPECT_TRUE(log[1].duplicate);
    EXPECT_EQ(log[1].frame.sequence, 77);
    EXPECT_FALSE(log[2].duplicate);
    EXPECT_EQ(b.emu.receivedCount(kMsgVersion, false), 2u);
}

TEST(EmuFaults, DroppedUnansweredDuplicatedDelayed)
{
    Bench b;
    b.emu.addFault({FrameFault::Kind::Drop, kMsgAttrSet, kTypeReply, 1, 0});
    b.host.request(kMsgAttrSet, {5, 1, 7});
    EXPECT_TRUE(b.host.take().empty());
    EXPECT_EQ(*b.emu.attributes().get(5), std::vector<uint8_t>{7});  // handled, reply lost
    b.host.request(kMsgAttrSet, {5, 1, 8});
    EXPECT_EQ(b.host.takeId(kMsgAttrSet).size(), 1u);  // the fault was for one frame

    b.emu.addFault({FrameFault::Kind::Unanswered, kMsgAttrSet, FrameFault::kAny, 1, 0});
    b.host.request(kMsgAttrSet, {5, 1, 9});
    EXPECT_TRUE(b.host.take().empty());
    EXPECT_EQ(*b.emu.attributes().get(5), std::vector<uint8_t>{8});
    EXPECT_TRUE(b.emu.received().back().unanswered);

    b.emu.addFault({FrameFault::Kind::Duplicate, kMsgVersion, FrameFault::kAny, 1, 0});
    b.host.request(kMsgVersion, {});
    auto r = b.host.takeId(kMsgVersion);
    ASSERT_EQ(r.size(), 2u);
    EXPECT_EQ(r[0], r[1]);

    b.emu.step(100);
    b.host.take();
    b.emu.addFault({FrameFault::Kind::Delay, kMsgNodeName, FrameFault::kAny, 1, 300});
    b.host.request(kMsgNodeName, {});
    EXPECT_TRUE(b.host.takeId(kMsgNodeName).empty());
    b.emu.step(399);
    EXPECT_TRUE(b.host.takeId(kMsgNodeName).empty());
    b.emu.step(400);
    EXPECT_EQ(b.host.takeId(kMsgNodeName).size(), 1u);
}

TEST(EmuFaults, CorruptChecksumAndAlwaysRules)
{
    Bench b;
    b.emu.addFault({FrameFault::Kind::CorruptChecksum, kMsgVersion, FrameFault::kAny, FrameFault::kAlways, 0});
    for (int i = 0; i < 3; ++i)
        b.host.request(kMsgVersion, {});
    EXPECT_TRUE(b.host.take().empty());
    EXPECT_EQ(b.host.decoder().stats().badChecksum, 3u);
    b.emu.clearFaults();
    b.host.request(kMsgVersion, {});
    EXPECT_EQ(b.host.take().size(), 1u);
}

TEST(EmuFaults, StreamFaultsKeepFramesIntact)
{
    for (int mode = 0; mode < 3; ++mode) {
        Bench b;
        StreamFaults sf;
        sf.splitReports = mode == 0;
        sf.garbageBetweenFrames = mode == 1;
        sf.packFrames = mode == 2;
        b.emu.setStreamFaults(sf);
        b.host.request(kMsgAttrGetList, {0});  // a long answer: several reports
        b.host.request(kMsgNodeName, {});
        b.host.request(kMsgVersion, {});
        b.emu.step(50);  // packed frames are released by time at the latest
        const size_t reports = b.host.reports().size();
        auto frames = b.host.take();
        ASSERT_EQ(frames.size(), 4u) << mode;  // beacon, three replies
        EXPECT_EQ(frames[0].messageId, kMsgAttrGetList);
        EXPECT_EQ(frames[1].messageId, kMsgNodeName);
        EXPECT_EQ(frames[2].messageId, kMsgVersion);
        EXPECT_EQ(frames[3].messageId, kMsgLink);
        if (mode == 0) {
            EXPECT_GT(reports, 10u);
        } else if (mode == 1) {
            EXPECT_GT(b.host.decoder().stats().skippedBytes, 0u);
        }
    }
}

TEST(EmuFaults, PackedReportHoldsTwoFrames)
{
    Bench b;
    b.emu.setStreamFaults({.packFrames = true});
    b.host.request(kMsgLogin, {1, 1, 28, 0});
    EXPECT_TRUE(b.host.reports().empty());  // held for a partner
    b.host.request(kMsgSerial, {0});
    ASSERT_EQ(b.host.reports().size(), 1u);
    const auto& r = b.host.reports()[0];
    // Login reply (18 bytes) and serial reply (31 bytes) back to back.
    EXPECT_EQ(r[0], kFrameStart);
    EXPECT_EQ(r[18], kFrameStart);
    EXPECT_EQ(b.host.take().size(), 2u);
}

TEST(EmuFaults, ShortLinkPayloads)
{
    Bench b;
    b.emu.setStreamFaults({.shortLinkPayloadBytes = 5});
    b.emu.step(0);
    auto f = b.host.takeId(kMsgLink);
    ASSERT_EQ(f.size(), 1u);
    EXPECT_EQ(f[0].payload.size(), 5u);

    // The device ignores short link messages from the host as well.
    Frame l;
    l.source = kHost;
    l.destination = b.emu.config().address;
    l.payload = {0, 0xF4, 0x01};
    b.host.sendFrame(l);
    EXPECT_EQ(b.emu.shortLinkMessages(), 1u);
    EXPECT_FALSE(b.emu.host());
}

TEST(EmuFaults, UnplugInTheMiddleOfAFrame)
{
    Bench b;
    int unplugs = 0;
    b.emu.setUnplugHook([&] { ++unplugs; });
    b.emu.unplugMidFrame();
    b.host.request(kMsgAttrGetList, {0});
    EXPECT_EQ(unplugs, 0);
    EXPECT_FALSE(b.emu.plugged());
    EXPECT_TRUE(b.host.take().empty());
    EXPECT_TRUE(b.host.decoder().midFrame());
    b.host.request(kMsgVersion, {});
    b.emu.step(5000);
    EXPECT_EQ(unplugs, 1);
    b.emu.step(5001);
    EXPECT_EQ(unplugs, 1);
    EXPECT_TRUE(b.host.reports().empty());

    b.emu.replug();
    b.host.decoder().reset();
    b.emu.step(6000);
    b.host.request(kMsgVersion, {});
    auto f = b.host.take();
    ASSERT_EQ(f.size(), 2u);
    EXPECT_EQ(f[0].messageId, kMsgLink);
    EXPECT_EQ(f[1].messageId, kMsgVersion);
}

// An unplug armed while frames are held by a Delay fault: the first due one
// is cut, the rest never leave (asan guards the held queue).
TEST(EmuFaults, UnplugInTheMiddleOfAHeldFrame)
{
    Bench b;
    int unplugs = 0;
    b.emu.setUnplugHook([&] { ++unplugs; });
    b.emu.addFault({FrameFault::Kind::Duplicate, kMsgLink, kTypeNotification, 1, 0});
    b.emu.addFault({FrameFault::Kind::Delay, kMsgLink, kTypeNotification, 1, 10});
    b.emu.step(0);
    EXPECT_TRUE(b.host.reports().empty());  // both copies of the beacon held
    b.emu.unplugMidFrame();
    b.emu.step(20);
    EXPECT_FALSE(b.emu.plugged());
    ASSERT_EQ(b.host.reports().size(), 1u);
    EXPECT_TRUE(b.host.take().empty());
    EXPECT_TRUE(b.host.decoder().midFrame());
    b.emu.step(21);
    b.emu.step(2000);
    EXPECT_EQ(unplugs, 1);
    EXPECT_TRUE(b.host.reports().empty());
}
