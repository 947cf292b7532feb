// Soak of both firmware roads through the device manager: many upgrades in a
// row on one emulated device, each with a fault drawn from a seeded random
// generator. VELORAN_SOAK_SEED repeats a printed run.
//
// For every run: success is reported only when the device's flash holds the
// image, progress never falls before the outcome (on the pull road not even
// then), there is at most one outcome, a failed run leaves a device that the
// next clean run upgrades, and a pull run whose result was lost after its
// last block ends in success once the device is back with the new version.

#include "BootloaderRoadFixture.h"
#include "PullUpgradeFixture.h"

#include <iostream>
#include <map>
#include <random>

namespace {

constexpr int kPullRuns = 200;
constexpr int kBootloaderRuns = 100;

uint64_t soakSeed()
{
    const QByteArray given = qgetenv("VELORAN_SOAK_SEED");
    const uint64_t seed = given.isEmpty() ? (uint64_t(std::random_device{}()) << 32) | std::random_device{}()
                                          : given.toULongLong();
    std::cout << "soak seed " << seed << " (VELORAN_SOAK_SEED=" << seed << " repeats it)" << std::endl;
    return seed;
}

// Runs upgrades with faults drawn from the seeded generator; a failed run is
// followed by a clean one, which must succeed. Prints how each fault fared.
template <class Fault, class Draw, class Upgrade>
void soak(uint64_t seed, int runs, Draw draw, Upgrade upgrade, const Fault &clean)
{
    std::mt19937_64 random(seed);
    std::map<std::string, std::pair<int, int>> tally; // fault: runs, successes
    for (int run = 0; run < runs && !::testing::Test::HasFatalFailure(); ++run) {
        const Fault fault = draw(random);
        SCOPED_TRACE(QStringLiteral("seed %1 run %2: %3").arg(seed).arg(run).arg(QLatin1String(fault.name)).toStdString());
        const bool success = upgrade(fault);
        tally[fault.name].first++;
        tally[fault.name].second += success;
        if (fault.mustSucceed) {
            EXPECT_TRUE(success);
        }
        if (!success) {
            SCOPED_TRACE("the clean run after the failed one");
            EXPECT_TRUE(upgrade(clean));
        }
    }
    for (const auto &[fault, counts] : tally)
        std::cout << "  " << fault << ": " << counts.first << " runs, " << counts.second << " succeeded\n";
}

// The version of the n-th file of a soak: each newer than the one before.
std::pair<uint8_t, uint8_t> versionOf(int n) { return {uint8_t(3 + n / 100), uint8_t(n % 100)}; }

QString versionText(std::pair<uint8_t, uint8_t> v)
{
    return QStringLiteral("V%1.%2").arg(int(v.first)).arg(int(v.second), 2, 10, QLatin1Char('0'));
}

class PullSoak : public PullUpgradeTest
{
protected:
    // Runs until the device is connected, its information complete, with this version.
    bool connectedWith(const QString &version, int64_t maxMs = 8000)
    {
        const int64_t end = m_timers.nowMs() + maxMs;
        while (m_timers.nowMs() < end) {
            runFor(10);
            if (!m_connected->isEmpty() && lastConnected() && complete(lastInfo())
                && lastInfo().value("version").toString() == version)
                return true;
        }
        return false;
    }
};

struct PullRunFault
{
    const char *name;
    PullFault pull;
    std::optional<FrameFault> frame; // on the device's first upgrade frame: the start answer
    bool mustSucceed;
};

PullRunFault randomPullFault(std::mt19937_64 &random)
{
    using K = PullFault::Kind;
    const size_t block = std::uniform_int_distribution<size_t>(0, kBlocks - 1)(random);
    // The emulated link carries a whole run in under 20 ms: a start answer
    // this late comes while blocks are served.
    const uint32_t delayMs = std::uniform_int_distribution<uint32_t>(2, 15)(random);
    const uint8_t refusal = std::uniform_int_distribution<int>(1, 3)(random);
    const FrameFault late{FrameFault::Kind::Delay, kMsgPullUpgrade, FrameFault::kAny, 1, delayMs};
    const FrameFault twice{FrameFault::Kind::Duplicate, kMsgPullUpgrade, FrameFault::kAny, 1, 0};
    const PullRunFault menu[] = {
        {"none", {}, {}, true},
        {"request dropped", {K::DropRequest, block, 0}, {}, true},
        {"request duplicated", {K::DuplicateRequest, block, 0}, {}, true},
        {"request corrupted", {K::CorruptRequest, block, 0}, {}, true},
        {"block damaged once", {K::DamageBlockOnce, block, 0}, {}, true},
        {"start answer late", {}, late, true},
        {"start answer twice", {}, twice, true},
        {"result lost", {K::DropResult, 0, 0}, {}, true},
        {"unplugged", {K::Unplug, block, 0}, {}, false},
        {"stalled", {K::Stall, block, 0}, {}, false},
        {"block never whole", {K::DamageBlockAlways, block, 0}, {}, false},
        {"start refused", {K::RefuseStart, 0, refusal}, {}, false},
        {"another result", {K::ForceResult, 0, uint8_t(refusal + 4)}, {}, false},
    };
    return menu[std::uniform_int_distribution<size_t>(0, std::size(menu) - 1)(random)];
}

} // namespace

TEST_F(PullSoak, TwoHundredT40UpgradesWithARandomFaultEach)
{
    const uint64_t seed = soakSeed();
    EmulatedBase &base = connectDevice(Model::T40);
    int files = 0;
    QString running = QStringLiteral("V1.05");
    // One upgrade; true when it succeeded, with what every run must hold checked.
    const auto upgrade = [&](const PullRunFault &fault) {
        m_progress->clear();
        base.emulator.clearFaults();
        base.emulator.setPullFault(fault.pull);
        if (fault.frame)
            base.emulator.addFault(*fault.frame);
        const auto version = versionOf(++files);
        const auto file = makePullFirmwareFile(Model::T40, version.first, version.second, kBodyBytes);
        m_manager->upgradeFirmware(writeFile(file));
        const QString outcome = runToOutcome();
        const bool success = outcome == QStringLiteral("升级成功");
        if (success) {
            EXPECT_EQ(base.emulator.firmwareBody(), bodyOf(file));
            running = versionText(version);
        } else {
            EXPECT_NE(base.emulator.firmwareVersion(), version);
        }
        if (outcome.isEmpty()) {
            // Gone or hung mid-run: the user plugs it in again.
            if (lastConnected())
                unplugAndWait(base);
            runFor(500);
            base.attachment.plug();
        }
        EXPECT_TRUE(connectedWith(running)) << "expected " << running.toStdString();
        EXPECT_EQ(checkedOutcome(), outcome); // still one outcome, whatever came later
        return success;
    };

    soak<PullRunFault>(seed, kPullRuns, randomPullFault, upgrade, {"none", {}, {}, true});
    std::cout << "  " << m_timers.nowMs() / 1000 << " s of device time" << std::endl;
}

namespace {

class BootloaderSoak : public BootloaderRoad
{
};

struct BootRunFault
{
    const char *name;
    UnitFaults faults;
    bool mustSucceed;
};

BootRunFault randomBootFault(std::mt19937_64 &random)
{
    const int packets = int((kImageBytes + 55) / 56);
    const int packet = std::uniform_int_distribution<int>(1, packets)(random);
    UnitFaults shortVersion, noRestart, wrongEcho, twice, dropped, corrupted, powerLoss;
    shortVersion.shortVersionReply = true;
    noRestart.ignoreRestart = true;
    wrongEcho.bootLoader.wrongVcrcEcho = true;
    twice.bootLoader.duplicateVcrcReply = true;
    dropped.bootLoader.dropPacket = packet;
    corrupted.bootLoader.corruptPacket = packet;
    powerLoss.bootLoader.powerLossAtPacket = packet;
    const BootRunFault menu[] = {
        {"none", {}, true},
        {"handshake answered twice", twice, true},
        {"version reply cut short", shortVersion, false},
        {"restart ignored", noRestart, false},
        {"wrong handshake echo", wrongEcho, false},
        {"packet dropped", dropped, false},
        {"packet corrupted", corrupted, false},
        {"power lost", powerLoss, false},
    };
    return menu[std::uniform_int_distribution<size_t>(0, std::size(menu) - 1)(random)];
}

} // namespace

TEST_F(BootloaderSoak, HundredR7UpgradesWithARandomFaultEach)
{
    const uint64_t seed = soakSeed();
    runFor(4000, [&] { return connectedWith(QStringLiteral("V2.12")); });
    ASSERT_TRUE(connectedWith(QStringLiteral("V2.12")));
    int files = 0;
    const auto upgrade = [&](const BootRunFault &fault) {
        m_unit.setFaults(fault.faults);
        const auto version = versionOf(++files);
        const auto image = makeFirmwareImage(Model::R7, version.first, version.second, kImageBytes);
        const QString outcome = upgradeToOutcome(writeFile(image));
        const bool success = outcome == QStringLiteral("升级成功");
        EXPECT_FALSE(outcome.isEmpty());
        EXPECT_EQ(m_unit.readFlash(FirmwareFlash::kApplicationAddress, image.size()) == image, success);
        m_unit.setFaults({});
        if (success) {
            runFor(8000, [&] { return connectedWith(versionText(version)); });
            EXPECT_TRUE(connectedWith(versionText(version)));
        } else if (m_unit.mode() == MicBaseUnit::Mode::Off) {
            m_unit.plug();
        }
        return success;
    };

    soak<BootRunFault>(seed, kBootloaderRuns, randomBootFault, upgrade, {"none", {}, true});
    std::cout << "  " << nowMs() / 1000 << " s of device time" << std::endl;
}
