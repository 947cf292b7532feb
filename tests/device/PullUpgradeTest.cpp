// Firmware pull upgrades through the device manager, against the emulated
// T40 and U20 on the emulated HID bus.

#include "PullUpgradeFixture.h"

TEST_F(PullUpgradeTest, SuccessThroughFragmentedBlocksThenTheNewVersion)
{
    for (Model model : {Model::T40, Model::U20}) {
        SCOPED_TRACE(modelName(model));
        restart();
        EmulatedBase &base = connectDevice(model);
        const auto file = makePullFirmwareFile(model, 2, 0, kBodyBytes);
        m_manager->upgradeFirmware(writeFile(file));
        EXPECT_EQ(m_manager->firmwareImage(), QByteArray(reinterpret_cast<const char *>(file.data()), qsizetype(file.size())));

        EXPECT_EQ(runToOutcome(), QStringLiteral("升级成功"));
        EXPECT_EQ(m_progress->first(), (QList<QVariant>{0, QStringLiteral("可以升级")}));
        EXPECT_EQ(m_progress->last().at(0).toInt(), 100);
        EXPECT_GT(m_progress->size(), int(kBlocks));
        EXPECT_EQ(base.emulator.pullBlocksWritten(), kBlocks);

        // The start frame, then blocks longer than one frame carries: they
        // reached the device only as fragments joined again.
        std::vector<std::vector<uint8_t>> frames;
        for (const ReceivedMessage &m : base.emulator.received()) {
            if (m.frame.messageId == kMsgPullUpgrade)
                frames.push_back(m.frame.payload);
        }
        ASSERT_EQ(frames.size(), 1 + kBlocks);
        EXPECT_EQ(frames[0], (std::vector<uint8_t>{0xAA, 0x55, 0xC8, 0x6E, 0x80, 0x01, 0x00, 0x00}));
        for (size_t k = 1; k < kBlocks; ++k)
            EXPECT_EQ(frames[k].size(), 7u + 6u + kBlockBytes);
        EXPECT_GT(frames[1].size(), size_t(kMaxPayloadBytes));

        // The device reboots: it leaves the bus and comes back with the new version.
        EXPECT_TRUE(waitFor([&] { return !lastConnected(); }));
        ASSERT_TRUE(reconnected());
        EXPECT_EQ(lastInfo().value("version").toString(), QStringLiteral("V2.00"));
        EXPECT_EQ(base.emulator.firmwareBody(), bodyOf(file));
    }
}

TEST_F(PullUpgradeTest, RefusalsAndFailedResultsReportTheirTexts)
{
    const auto good = makePullFirmwareFile(Model::T40, 2, 0, kBodyBytes);
    auto badSum = good;
    badSum[32 + 100] ^= 0x5A;
    auto truncated = makePullFirmwareFile(Model::T40, 2, 0, 1056);
    truncated.resize(1056); // the descriptor still counts 1,056 body bytes
    const struct
    {
        const char *name;
        std::vector<uint8_t> file;
        uint8_t startResult;
        uint16_t blockBytes;
        PullFault fault;
        int progress;
        QString outcome;
    } cases[] = {
        {"battery low", good, 1, kBlockBytes, {}, 0, QStringLiteral("不可以升级电量低")},
        {"busy", good, 2, kBlockBytes, {}, 0, QStringLiteral("不可以升级设备忙")},
        {"pairing", good, 3, kBlockBytes, {}, 0, QStringLiteral("对码中不可以升级")},
        {"older version", makePullFirmwareFile(Model::T40, 1, 4, kBodyBytes), 0, kBlockBytes, {}, 100,
         QStringLiteral("升级失败,版本低")},
        {"checksum", badSum, 0, kBlockBytes, {}, 100, QStringLiteral("升级失败,校验失败")},
        {"a block never arrives whole", good, 0, kBlockBytes, {PullFault::Kind::DamageBlockAlways, 2, 0}, 100,
         QStringLiteral("升级失败,校验失败")},
        {"another result", good, 0, kBlockBytes, {PullFault::Kind::ForceResult, 0, 7}, 100, QStringLiteral("升级失败")},
        {"1,000 + 56 of a 1,056-byte file", truncated, 0, 1000, {}, 100,
         QStringLiteral("升级失败")},
        {"file of 32 bytes", std::vector<uint8_t>(good.begin(), good.begin() + 32), 0, kBlockBytes, {}, 0,
         QStringLiteral("升级失败")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        EmulatedBase &base = connectDevice(Model::T40, [&](ModelConfig &config) {
            config.pull.startResult = c.startResult;
            config.pull.blockBytes = c.blockBytes;
        });
        base.emulator.setPullFault(c.fault);
        m_manager->upgradeFirmware(writeFile(c.file));
        EXPECT_EQ(runToOutcome(), c.outcome);
        EXPECT_EQ(m_progress->last().at(0).toInt(), c.progress);
        runFor(1000);
        EXPECT_TRUE(lastConnected());
        EXPECT_EQ(lastInfo().value("version").toString(), QStringLiteral("V1.05"));
        EXPECT_TRUE(base.emulator.firmwareBody().empty());
    }

    m_manager->upgradeFirmware(m_dir.filePath(QStringLiteral("missing.bin")));
    EXPECT_EQ(m_progress->last(), (QList<QVariant>{0, QStringLiteral("升级失败")}));
    EXPECT_EQ(LogCollector::count(QStringLiteral("读取文件失败")), 1);
}

TEST_F(PullUpgradeTest, UnplugOrStallMidRunKeepsTheOldFirmwareAndASecondRunSucceeds)
{
    const struct
    {
        const char *name;
        PullFault::Kind kind;
        size_t block;
    } cases[] = {
        {"unplug at the first block", PullFault::Kind::Unplug, 0},
        {"unplug at a middle block", PullFault::Kind::Unplug, kBlocks / 2},
        {"unplug at the last block", PullFault::Kind::Unplug, kBlocks - 1},
        {"stall at the first block", PullFault::Kind::Stall, 0},
        {"stall at a middle block", PullFault::Kind::Stall, kBlocks / 2},
        {"stall at the last block", PullFault::Kind::Stall, kBlocks - 1},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        EmulatedBase &base = connectDevice(Model::T40);
        base.emulator.setPullFault({c.kind, c.block, 0});
        const QString path = writeFile(makePullFirmwareFile(Model::T40, 2, 0, kBodyBytes));
        m_manager->upgradeFirmware(path);
        // The program retries the unanswered block, then gives up without a report.
        EXPECT_EQ(runToOutcome(6000), QString());
        if (c.kind == PullFault::Kind::Unplug) {
            EXPECT_TRUE(waitFor([&] { return !lastConnected(); }));
        } else {
            // A stalled device leaves its last block unanswered: retried, then given up.
            EXPECT_EQ(LogCollector::count(QStringLiteral("固件升级请求无应答")), c.block == 0 ? 0 : 1);
            unplugAndWait(base);
        }
        runFor(500);
        base.attachment.plug();
        ASSERT_TRUE(reconnected());
        EXPECT_EQ(lastInfo().value("version").toString(), QStringLiteral("V1.05"));
        EXPECT_TRUE(base.emulator.firmwareBody().empty());

        m_progress->clear();
        m_manager->upgradeFirmware(path);
        EXPECT_EQ(runToOutcome(), QStringLiteral("升级成功"));
        EXPECT_TRUE(waitFor([&] { return !lastConnected(); }));
        ASSERT_TRUE(reconnected());
        EXPECT_EQ(lastInfo().value("version").toString(), QStringLiteral("V2.00"));
    }
}

TEST_F(PullUpgradeTest, LostFinalResultIsDecidedByTheVersionTheDeviceComesBackWith)
{
    const struct
    {
        const char *name;
        std::vector<uint8_t> file;
        int64_t awayMs; // the refusing device stays on the bus: pulled and plugged by hand
        QString outcome;
        QString versionBack;
    } cases[] = {
        {"new image taken: the device reboots into it", makePullFirmwareFile(Model::T40, 2, 0, kBodyBytes), 0,
         QStringLiteral("升级成功"), QStringLiteral("V2.00")},
        {"image refused: back with the old version", makePullFirmwareFile(Model::T40, 1, 4, kBodyBytes), 1000,
         QStringLiteral("升级失败"), QStringLiteral("V1.05")},
        {"back only after the page gave the run up", makePullFirmwareFile(Model::T40, 1, 4, kBodyBytes),
         HIDHotplugManager::kPullReturnWaitMs + 1000, QString(), QStringLiteral("V1.05")},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        restart();
        EmulatedBase &base = connectDevice(Model::T40);
        base.emulator.setPullFault({PullFault::Kind::DropResult, 0, 0});
        std::vector<int64_t> reportMs;
        const auto timing = QObject::connect(m_manager.get(), &HIDHotplugManager::upgradeFirmwareProgress, &m_context,
                                             [&] { reportMs.push_back(m_timers.nowMs()); });
        m_manager->upgradeFirmware(writeFile(c.file));

        if (c.awayMs > 0) {
            runFor(3000);
            ASSERT_EQ(base.emulator.pullBlocksWritten(), kBlocks);
            EXPECT_TRUE(lastConnected());
            unplugAndWait(base);
            runFor(c.awayMs);
            base.attachment.plug();
        }
        EXPECT_EQ(runToOutcome(c.awayMs + 8000), c.outcome);
        EXPECT_EQ(base.emulator.pullBlocksWritten(), kBlocks);
        EXPECT_EQ(LogCollector::count(QStringLiteral("升级进度 0x82")), 0); // the result never came
        if (!c.outcome.isEmpty()) {
            EXPECT_EQ(m_progress->last().at(0).toInt(), 100);
            // Decided on the device's return, long before the page's watchdog.
            ASSERT_GE(reportMs.size(), 2u);
            EXPECT_LT(reportMs.back() - reportMs[reportMs.size() - 2], 10000);
        } else {
            EXPECT_EQ(LogCollector::count(QStringLiteral("等待设备重连超时")), 1);
        }
        QObject::disconnect(timing);
        ASSERT_TRUE(reconnected());
        EXPECT_EQ(lastInfo().value("version").toString(), c.versionBack);
        runFor(1000);
        EXPECT_EQ(checkedOutcome(), c.outcome);
    }
}
