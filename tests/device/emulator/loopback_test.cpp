#include "tests/support/loopback_harness.h"
#include "device/protocol/msg_frame.h"
#include "device/protocol/msg_pool.h"

#include <gtest/gtest.h>

using namespace veloran::emu;

namespace {

std::string text(const std::vector<uint8_t>& v) { return {v.begin(), v.end()}; }

bool identityComplete(const LoopbackEvents& e)
{
    return !e.names.empty() && !e.serials.empty() && !e.versions.empty();
}

bool notified(const LoopbackEvents& e, uint8_t attribute, const std::vector<uint8_t>& value)
{
    for (const auto& a : e.attributes)
        if (a.kind == 2 && a.messageId == 34 && a.attribute == attribute && a.value == value)
            return true;
    return false;
}

bool subscribed(const MicBaseEmulator& emu) { return !emu.subscribers().empty(); }

void expectIdentity(const LoopbackEvents& e, const ModelConfig& c)
{
    ASSERT_EQ(e.names.size(), 1u);
    EXPECT_EQ(e.names[0].status, 0);
    EXPECT_EQ(text(e.names[0].data), c.name);
    EXPECT_EQ(e.names[0].address, c.address.packed());
    ASSERT_EQ(e.serials.size(), 1u);
    EXPECT_EQ(text(e.serials[0].data), c.serial);
    ASSERT_EQ(e.versions.size(), 1u);
    ASSERT_GE(e.versions[0].data.size(), 11u);
    EXPECT_EQ(e.versions[0].data, c.versionAnswer);
}

}  // namespace

TEST(EmuLoopback, IdentityAndNotificationForEachModel)
{
    for (Model m : {Model::T40, Model::U20, Model::R7}) {
        SCOPED_TRACE(modelName(m));
        MicBaseEmulator emu(defaultConfig(m));
        {
            LoopbackHarness h(emu);
            // The emulator's first beacon left at time 0.
            ASSERT_TRUE(h.runUntil([&] { return identityComplete(h.events()); }, 200));
            expectIdentity(h.events(), emu.config());
            ASSERT_EQ(h.events().logins.size(), 1u);
            EXPECT_EQ(h.events().logins[0].from, 0);
            EXPECT_EQ(h.events().logins[0].kind, 0);
            EXPECT_EQ(h.peerAddress(), emu.config().address.packed());

            ASSERT_TRUE(h.runUntil([&] { return subscribed(emu); }, 200));
            ASSERT_TRUE(emu.changeAttribute(5, {9}));
            ASSERT_TRUE(h.runUntil([&] { return notified(h.events(), 5, {9}); }, 50));
            EXPECT_TRUE(h.events().errors.empty());
            // The device asked nothing twice: no reply was lost.
            EXPECT_EQ(emu.receivedCount(kMsgVersion), 1u);
        }
        EXPECT_EQ(msg_pool_bytes_in_use(), 0u);
    }
}

TEST(EmuLoopback, SplitReportsAndADroppedReply)
{
    MicBaseEmulator emu(defaultConfig(Model::T40));
    emu.setStreamFaults({.splitReports = true});
    emu.addFault({FrameFault::Kind::Drop, kMsgVersion, kTypeReply, 1, 0});
    LoopbackHarness h(emu);
    ASSERT_TRUE(h.runUntil([&] { return !h.events().names.empty() && !h.events().serials.empty(); }, 200));
    EXPECT_TRUE(h.events().versions.empty());

    // The version request is sent again after more than 1000 ms without a reply.
    ASSERT_TRUE(h.runUntil([&] { return !h.events().versions.empty(); }, 1300));
    expectIdentity(h.events(), emu.config());
    EXPECT_GT(h.events().versions[0].atMs, 1000u);
    EXPECT_LT(h.events().versions[0].atMs, 1200u);
    EXPECT_LT(h.events().names[0].atMs, 200u);
    EXPECT_EQ(emu.receivedCount(kMsgVersion), 2u);
    EXPECT_EQ(emu.receivedCount(kMsgVersion, false), 1u);  // the second was a retransmission

    ASSERT_TRUE(emu.changeAttribute(5, {4}));
    ASSERT_TRUE(h.runUntil([&] { return notified(h.events(), 5, {4}); }, 50));
}

TEST(EmuLoopback, SettingsAndPrivateMessages)
{
    MicBaseEmulator emu(defaultConfig(Model::U20));
    LoopbackHarness h(emu);
    ASSERT_TRUE(h.runUntil([&] { return identityComplete(h.events()) && subscribed(emu); }, 200));

    h.attributeSet(6, {10});
    h.attributeSet(10, std::vector<uint8_t>(12 * 4, 0x20));
    ASSERT_TRUE(h.runUntil([&] { return *emu.attributes().get(6) == std::vector<uint8_t>{10}; }, 50));
    ASSERT_TRUE(h.runUntil([&] { return emu.attributes().get(10)->size() == 48u; }, 50));

    const size_t before = h.events().attributes.size();
    h.attributeGetAll();
    ASSERT_TRUE(h.runUntil([&] {
        for (size_t i = before; i < h.events().attributes.size(); ++i)
            if (h.events().attributes[i].messageId == 33 && h.events().attributes[i].attribute == 29)
                return true;
        return false;
    }, 100));
    bool sawVolume = false;
    for (size_t i = before; i < h.events().attributes.size(); ++i) {
        const auto& a = h.events().attributes[i];
        if (a.messageId == 33 && a.attribute == 6) {
            EXPECT_EQ(a.value, std::vector<uint8_t>{10});
            sawVolume = true;
        }
    }
    EXPECT_TRUE(sawVolume);

    ASSERT_TRUE(emu.sendAutoGainLevel(17));
    ASSERT_TRUE(emu.pressKnob());
    ASSERT_TRUE(h.runUntil([&] { return h.events().privates.size() == 2; }, 50));
    EXPECT_EQ(h.events().privates[0].messageId, kMsgAutoGainLevel);
    EXPECT_EQ(h.events().privates[0].payload, std::vector<uint8_t>{17});
    EXPECT_EQ(h.events().privates[1].messageId, kMsgKnobHotkey);

    h.sendPrivate(kMsgFactoryReset, {1});
    ASSERT_TRUE(h.runUntil([&] { return emu.receivedCount(kMsgFactoryReset) == 1; }, 50));
    EXPECT_EQ(*emu.attributes().get(6), std::vector<uint8_t>{3});
}

TEST(EmuLoopback, PackedGarbledStreamAndNotificationFlood)
{
    MicBaseEmulator emu(defaultConfig(Model::R7));
    emu.setStreamFaults({.packFrames = true, .garbageBetweenFrames = true});
    LoopbackHarness h(emu);
    ASSERT_TRUE(h.runUntil([&] { return identityComplete(h.events()) && subscribed(emu); }, 300));
    expectIdentity(h.events(), emu.config());

    // A flood that fits the core's receive ring arrives whole, one per tick.
    emu.floodNotifications(5, 150);
    h.run(400);
    const auto count = [&] {
        size_t n = 0;
        for (const auto& a : h.events().attributes)
            n += a.kind == 2 && a.attribute == 5;
        return n;
    };
    EXPECT_EQ(count(), 150u);

    // A larger one overflows the ring: the excess is reported and lost, the
    // link survives.
    emu.floodNotifications(6, 260);
    h.run(600);
    size_t ringFull = 0;
    for (const auto& e : h.events().errors)
        ringFull += e.code == 8;
    size_t volume = 0;
    for (const auto& a : h.events().attributes)
        volume += a.kind == 2 && a.attribute == 6;
    EXPECT_GT(ringFull, 0u);
    EXPECT_EQ(volume + ringFull, 260u);
    ASSERT_TRUE(emu.changeAttribute(5, {2}));
    ASSERT_TRUE(h.runUntil([&] { return notified(h.events(), 5, {2}); }, 50));
}

TEST(EmuLoopback, SilentDeviceExpiresAndShortLinksAreIgnored)
{
    MicBaseEmulator emu(defaultConfig(Model::T40));
    emu.setStreamFaults({.shortLinkPayloadBytes = 6});
    LoopbackHarness h(emu);
    h.run(2500);
    EXPECT_TRUE(h.events().logins.empty());  // short link messages register nothing

    emu.clearFaults();
    ASSERT_TRUE(h.runUntil([&] { return !h.events().logins.empty(); }, 1100));
    emu.unplugMidFrame();
    h.attributeGet(5);
    ASSERT_TRUE(h.runUntil([&] { return h.events().logins.size() == 2; }, 4000));
    EXPECT_EQ(h.events().logins[1].kind, 1);

    // Plugged back: the port is reset as on every open, and the device logs in again.
    emu.replug();
    msg_reset_port(h.port());
    ASSERT_TRUE(h.runUntil([&] { return h.events().names.size() == 2; }, 200));
    EXPECT_EQ(h.events().logins[2].kind, 0);
}

TEST(EmuLoopback, SmallPayloadAndRateAreHonouredByTheProgram)
{
    ModelConfig c = defaultConfig(Model::T40);
    c.maxPayloadBytes = 64;
    c.rate = 10;
    MicBaseEmulator emu(c);
    LoopbackHarness h(emu);
    ASSERT_TRUE(h.runUntil([&] { return identityComplete(h.events()) && subscribed(emu); }, 1000));

    // 30 colours do not fit one 64-byte frame: the program cuts them and the
    // device joins them.
    const std::vector<uint8_t> colours(30 * 4, 0x42);
    h.attributeSet(10, colours);
    ASSERT_TRUE(h.runUntil([&] { return *emu.attributes().get(10) == colours; }, 1000));
    EXPECT_EQ(emu.droppedMessages(), 0u);

    // Paced at 10 messages a second: at least 100 ms between the program's messages.
    uint64_t last = 0;
    bool first = true;
    for (const auto& r : emu.received()) {
        if (r.frame.messageId == kMsgLink)
            continue;
        if (!first) {
            EXPECT_GE(r.atMs - last, 100u) << "message " << r.frame.messageId;
        }
        first = false;
        last = r.atMs;
    }
}

TEST(EmuLoopback, MessagesLongerThanTheModelJoinsAreDroppedWhole)
{
    struct Case {
        Model model;
        size_t bytes;
        bool joined;
    };
    const Case cases[] = {
        {Model::T40, 1038, false}, {Model::T40, 1200, false}, {Model::T40, 1037, true},
        {Model::R7, 600, false},   {Model::R7, 500, true},
    };
    constexpr uint16_t kLongId = 0x8100;
    constexpr uint16_t kMarkerId = 0x8101;
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(modelName(c.model)) + " " + std::to_string(c.bytes));
        MicBaseEmulator emu(defaultConfig(c.model));
        LoopbackHarness h(emu);
        ASSERT_TRUE(h.runUntil([&] { return identityComplete(h.events()) && subscribed(emu); }, 1000));
        const uint64_t droppedBefore = emu.droppedMessages();

        std::vector<uint8_t> payload(c.bytes);
        for (size_t i = 0; i < payload.size(); ++i)
            payload[i] = uint8_t(i * 7);
        h.sendPrivate(kLongId, payload);
        h.sendPrivate(kMarkerId, {1});
        ASSERT_TRUE(h.runUntil([&] { return emu.receivedCount(kMarkerId) == 1; }, 2000));

        size_t longOnes = 0;
        for (const auto& r : emu.received()) {
            if (r.frame.messageId != kLongId)
                continue;
            ++longOnes;
            EXPECT_EQ(r.frame.payload, payload);  // never a tail of it
        }
        EXPECT_EQ(longOnes, c.joined ? 1u : 0u);
        EXPECT_EQ(emu.droppedMessages() - droppedBefore, c.joined ? 0u : 1u);
    }
}
