// Pull upgrades of the emulated T40 and U20 through the program's protocol
// core and PullUpgradeServer, on the core's clock.
#include "device/emulator/firmware_image.h"
#include "tests/support/loopback_harness.h"

#include <gtest/gtest.h>

#include <string>

using namespace veloran::emu;

namespace {

constexpr size_t kBodyBytes = 5000;
constexpr uint16_t kBlockBytes = 1024;
constexpr size_t kBlocks = (kBodyBytes + kBlockBytes - 1) / kBlockBytes;

ModelConfig pullConfig(Model model, uint16_t blockBytes = kBlockBytes)
{
    ModelConfig c = defaultConfig(model);
    c.pull.blockBytes = blockBytes;
    return c;
}

std::vector<uint8_t> body(const std::vector<uint8_t>& file) { return {file.begin() + 32, file.end()}; }

// Every run: progress within 0..100, never falling before the one outcome,
// nothing after it. Returns the outcome's text ("" when there was none).
std::string checkedOutcome(const LoopbackEvents& e)
{
    int last = 0;
    std::string outcome;
    for (const auto& p : e.upgradeProgress) {
        EXPECT_TRUE(outcome.empty()) << "reported after the outcome: " << p.message;
        EXPECT_GE(p.progress, 0);
        EXPECT_LE(p.progress, 100);
        if (p.final) {
            outcome = p.message;
            EXPECT_TRUE(p.progress == 100 || p.message.find("不可以") != std::string::npos) << p.message;
        } else {
            EXPECT_GE(p.progress, last);
            last = p.progress;
        }
    }
    return outcome;
}

bool loggedIn(const LoopbackHarness& h) { return h.peerAddress() != 0; }

}  // namespace

TEST(PullUpgradeLoopback, FrameFaultsAtFirstMiddleAndLastBlockStillEndInOneSuccess)
{
    // Blocks the device receives beyond one each: a block sent again because
    // its request was lost (not the first: nothing retries a notification,
    // the device asks again), or because it arrived damaged.
    const struct {
        const char* name;
        PullFault::Kind kind;
        size_t againAtFirst;
        size_t againLater;
    } faults[] = {
        {"none", PullFault::Kind::None, 0, 0},
        {"request dropped", PullFault::Kind::DropRequest, 0, 1},
        {"request duplicated", PullFault::Kind::DuplicateRequest, 0, 0},
        {"request corrupted", PullFault::Kind::CorruptRequest, 0, 1},
        {"block damaged once", PullFault::Kind::DamageBlockOnce, 1, 1},
    };
    for (Model model : {Model::T40, Model::U20}) {
        for (const auto& f : faults) {
            for (size_t k : {size_t(0), kBlocks / 2, kBlocks - 1}) {
                SCOPED_TRACE(std::string(modelName(model)) + " " + f.name + " at block " + std::to_string(k));
                MicBaseEmulator emu(pullConfig(model));
                emu.setPullFault({f.kind, k, 0});
                LoopbackHarness h(emu);
                ASSERT_TRUE(h.runUntil([&] { return loggedIn(h); }, 200));
                const auto file = makePullFirmwareFile(model, 2, 0, kBodyBytes);
                h.startPullUpgrade(file);
                ASSERT_TRUE(h.runUntil([&] { return h.pullUpgradeFinished(); }, 20000));
                EXPECT_EQ(checkedOutcome(h.events()), "升级成功");
                // Each block written once, and sent again only when asked again.
                EXPECT_EQ(emu.pullBlocksWritten(), kBlocks);
                size_t blocksReceived = 0;
                for (const ReceivedMessage& m : emu.received())
                    blocksReceived += m.frame.messageId == kMsgPullUpgrade && m.frame.payload.size() > 7
                                      && m.frame.payload[4] == pull::kBlock;
                EXPECT_EQ(blocksReceived, kBlocks + (k == 0 ? f.againAtFirst : f.againLater));
                // Back with the new firmware after its reboot.
                ASSERT_TRUE(h.runUntil([&] { return emu.plugged() && emu.firmwareVersion().first == 2; }, 2000));
                EXPECT_EQ(emu.firmwareBody(), body(file));
            }
        }
    }
}
