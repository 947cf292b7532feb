// Firmware pull upgrades through the device manager, against the emulated
// T40 and U20 on the emulated HID bus (HotplugManagerFixture.h).

#include "HotplugManagerFixture.h"

#include "device/emulator/firmware_image.h"

#include <QTemporaryDir>

namespace {

constexpr size_t kBodyBytes = 5000;
constexpr uint16_t kBlockBytes = 1024;
constexpr size_t kBlocks = (kBodyBytes + kBlockBytes - 1) / kBlockBytes;

class PullUpgradeTest : public HotplugManagerTest
{
protected:
    void TearDown() override
    {
        m_progress.reset();
        HotplugManagerTest::TearDown();
    }

    // A device of this model, connected with its information complete.
    EmulatedBase &connectDevice(Model model, const std::function<void(ModelConfig &)> &edit = {})
    {
        EmulatedBase &base = addBase(model, [&](ModelConfig &config) {
            config.pull.blockBytes = kBlockBytes;
            if (edit)
                edit(config);
        });
        startManager();
        m_progress = std::make_unique<QSignalSpy>(m_manager.get(), &HIDHotplugManager::upgradeFirmwareProgress);
        runFor(3000);
        EXPECT_TRUE(!m_connected->isEmpty() && complete(lastInfo()));
        return base;
    }

    // A fresh manager and bus for the next case of a table.
    void restart()
    {
        if (!m_manager)
            return;
        TearDown();
        m_pushed = 0;
        m_delivered = 0;
        SetUp();
    }

    QString writeFile(const std::vector<uint8_t> &bytes)
    {
        const QString path = m_dir.filePath(QStringLiteral("firmware-%1.bin").arg(++m_files));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size()));
        return path;
    }

    // Runs until the upgrade reports its outcome, then checks what every run
    // must hold: progress within 0..100 and never falling before the one
    // outcome, nothing after it. Returns the outcome ("" if none came).
    QString runToOutcome(int64_t maxMs = 8000)
    {
        const int64_t end = m_timers.nowMs() + maxMs;
        while (m_timers.nowMs() < end && !outcomeIndex())
            runFor(1);
        runFor(200); // nothing may follow
        return checkedOutcome();
    }

    std::optional<int> outcomeIndex() const
    {
        for (int i = 0; i < m_progress->size(); ++i) {
            if (isOutcome(m_progress->at(i)))
                return i;
        }
        return std::nullopt;
    }

    static bool isOutcome(const QList<QVariant> &report)
    {
        const QString text = report.at(1).toString();
        return (report.at(0).toInt() == 100 && text == QStringLiteral("升级成功")) || text.contains(QStringLiteral("失败"))
               || text.contains(QStringLiteral("不可以"));
    }

    QString checkedOutcome() const
    {
        int last = 0;
        QString outcome;
        for (const QList<QVariant> &report : *m_progress) {
            EXPECT_TRUE(outcome.isEmpty()) << "reported after the outcome: " << report.at(1).toString().toStdString();
            const int progress = report.at(0).toInt();
            EXPECT_GE(progress, 0);
            EXPECT_LE(progress, 100);
            if (isOutcome(report)) {
                outcome = report.at(1).toString();
                continue;
            }
            EXPECT_GE(progress, last);
            last = progress;
        }
        return outcome;
    }

    // Runs until the device is connected again with its information complete.
    bool reconnected(int64_t maxMs = 6000)
    {
        const int64_t end = m_timers.nowMs() + maxMs;
        while (m_timers.nowMs() < end) {
            runFor(10);
            if (!m_connected->isEmpty() && lastConnected() && complete(lastInfo()))
                return true;
        }
        return false;
    }

    QTemporaryDir m_dir;
    int m_files = 0;
    std::unique_ptr<QSignalSpy> m_progress;
};

std::vector<uint8_t> bodyOf(const std::vector<uint8_t> &file) { return {file.begin() + 32, file.end()}; }

} // namespace

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
