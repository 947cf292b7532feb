// The boot-loader road through the device manager, on the emulated R7.

#include "BootloaderRoadFixture.h"

namespace {

// Time that passes only by waiting: each pause is noted and over at once.
class PauseClock final : public os::Clock
{
public:
    std::int64_t nowNs() const override { return m_nowNs; }
    std::vector<int64_t> pausesMs; // guarded by the clock's mutex

protected:
    void block(std::unique_lock<std::mutex> &, os::WaitChannel &, std::int64_t deadlineNs) override
    {
        pausesMs.push_back((deadlineNs - m_nowNs) / kNsPerMs);
        m_nowNs = deadlineNs;
    }

private:
    std::atomic<std::int64_t> m_nowNs{0};
};

std::vector<int> expectedSteps(std::initializer_list<int> head)
{
    std::vector<int> v(head);
    v.insert(v.end(), {35, 40, 45, 55, 70, 71, 72, 73, 74, 75, 76, 77, 78, 79, 85, 95, 100});
    return v;
}

} // namespace

TEST_F(BootloaderRoad, R7UpgradesOnAWorkerThenRecoversFromItsBootLoader)
{
    runFor(4000, [&] { return connectedWith(QStringLiteral("V2.12")); });
    ASSERT_TRUE(connectedWith(QStringLiteral("V2.12")));
    const QString path = writeFile(makeFirmwareImage(Model::R7, 3, 5, kImageBytes));

    // A second call while the worker runs would drive the link twice.
    m_manager->upgradeFirmware(path);
    m_manager->upgradeFirmware(path);
    EXPECT_EQ(LogCollector::count(QStringLiteral("固件升级进行中，拒绝再次升级")), 1);
    m_progress.clear();
    m_messages.clear();
    runFor(30000, [&] { return !m_manager->bootloaderUpgradeRunning(); });
    runFor(500);
    EXPECT_TRUE(m_onGuiThread);
    EXPECT_EQ(collapsedProgress(), expectedSteps({0, 5, 12, 14, 18, 20}));
    EXPECT_EQ(m_messages.last(), QStringLiteral("升级成功"));
    // The boot loader was alone on the bus for seconds, but the worker had it.
    EXPECT_EQ(m_upgradeWanted->size(), 0);
    runFor(6000, [&] { return connectedWith(QStringLiteral("V3.05")); });
    EXPECT_TRUE(connectedWith(QStringLiteral("V3.05")));

    // Power lost at packet 9: the application is erased, the unit comes back
    // in its boot loader, which the scan reports once.
    UnitFaults powerLoss;
    powerLoss.bootLoader.powerLossAtPacket = 9;
    m_unit.setFaults(powerLoss);
    EXPECT_EQ(upgradeToOutcome(writeFile(makeFirmwareImage(Model::R7, 3, 6, kImageBytes))), QStringLiteral("升级失败"));
    EXPECT_EQ(m_progress.back(), 0);
    EXPECT_EQ(std::count(m_progress.begin(), m_progress.end(), 100), 0);
    EXPECT_EQ(LogCollector::count(QStringLiteral("升级失败: 发送固件数据失败 (包9/54)")), 1);

    m_manager->stopAndDisconnectDevice();
    m_unit.setFaults({});
    m_unit.plug();
    ASSERT_EQ(m_unit.mode(), MicBaseUnit::Mode::BootLoader);
    m_manager->startAndConnectDevice();
    runFor(6500);
    EXPECT_EQ(m_upgradeWanted->size(), 1);

    // The same file, from boot mode.
    EXPECT_EQ(upgradeToOutcome(m_dir.filePath(QStringLiteral("r7.bin"))), QStringLiteral("升级成功"));
    EXPECT_EQ(collapsedProgress(), expectedSteps({0, 5, 15}));
    runFor(6000, [&] { return connectedWith(QStringLiteral("V3.06")); });
    EXPECT_TRUE(connectedWith(QStringLiteral("V3.06")));
    EXPECT_EQ(m_upgradeWanted->size(), 1);
    EXPECT_EQ(mergedLines(), 0);
}

TEST_F(BootloaderRoad, DeviceNeverPresentIsCheckedTenTimesHalfASecondApart)
{
    m_unit.unplug();
    PauseClock clock;
    hidProtocol::instance()->setClock(&clock);
    HIDHotplugManager::runBootloaderUpgrade(m_manager.get(), writeFile(makeFirmwareImage(Model::R7, 3, 5, kImageBytes)),
                                            HIDHotplugManager::kVendorId, HIDHotplugManager::kProductBootLoader);
    hidProtocol::instance()->setClock(&m_clock);
    QCoreApplication::processEvents();

    // Each check looks ten times, 100 ms apart; 500 ms follow each check.
    std::vector<int64_t> expected;
    for (int check = 0; check < 10; ++check) {
        expected.insert(expected.end(), 10, 100);
        expected.push_back(500);
    }
    EXPECT_EQ(clock.pausesMs, expected);
    EXPECT_EQ(clock.nowNs() / os::Clock::kNsPerMs, 15000);
    EXPECT_EQ(m_progress, std::vector<int>{0});
    EXPECT_EQ(m_messages, QStringList{QStringLiteral("升级失败")});
    EXPECT_EQ(LogCollector::count(QStringLiteral("未检测到 VID=0x3a71 的 HID 设备（已重试 10 次 / 5s）")), 1);
}
