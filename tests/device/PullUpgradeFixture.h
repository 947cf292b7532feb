// The device manager's pull upgrades against the emulated T40 and U20 on the
// emulated HID bus (HotplugManagerFixture.h): a connected device, firmware
// files, and runs checked for what every run must hold.
#pragma once

#include "HotplugManagerFixture.h"

#include "device/emulator/firmware_image.h"

#include <QTemporaryDir>

#include <optional>

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
    // must hold: progress within 0..100 and never falling, one outcome and
    // nothing after it. Returns the outcome ("" if none came).
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
            EXPECT_GE(progress, last);
            last = progress;
            if (isOutcome(report))
                outcome = report.at(1).toString();
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
