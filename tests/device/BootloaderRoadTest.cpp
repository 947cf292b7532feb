// The boot-loader road through the device manager: an emulated R7 unit
// (flash, application, boot loader) on the emulated bus. The manager's timers,
// the unit and the upgrade worker all run on one accelerated clock.

#include "HotplugManagerFixture.h"

#include "device/ThreadHandoff.h"
#include "device/bootloader/HidProtocol.h"
#include "device/bootloader/bootloader_log.h"
#include "device/emulator/emulator_runner.h"
#include "device/emulator/firmware_image.h"
#include "device/emulator/mic_base_unit.h"
#include "platform/os/Clock.h"

#include <QTemporaryDir>

namespace {

// The road's time-outs run on this clock; instrumented code is several times
// slower, so it runs less far ahead of real time there.
#ifdef VELORAN_TSAN
constexpr double kClockSpeed = 4.0;
#else
constexpr double kClockSpeed = 20.0;
#endif

constexpr size_t kImageBytes = 3000; // 54 packets of 56 bytes

class BootloaderRoad : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QCoreApplication::setOrganizationName(QStringLiteral("VeloranTests"));
        QCoreApplication::setApplicationName(QStringLiteral("BootloaderRoadTest"));
        m_previousHandler = qInstallMessageHandler(collectLog);
        msg_reset_for_test();
        setHidBackend(&m_bus);
        hidProtocol::instance()->setClock(&m_clock);
        bootloader::setPrintSink([](const std::string &) {});
        m_unit.programFlash(makeFirmwareImage(Model::R7, 2, 12, 4096));
        m_unit.plug();
        m_runner.start();

        m_manager = std::make_unique<HIDHotplugManager>(m_bus, m_timers);
        m_connected = std::make_unique<QSignalSpy>(m_manager.get(), &HIDHotplugManager::deviceConnected);
        m_upgradeWanted = std::make_unique<QSignalSpy>(m_manager.get(), &HIDHotplugManager::upgradeFirmwareSignal);
        QObject::connect(m_manager.get(), &HIDHotplugManager::upgradeFirmwareProgress, &m_context,
                         [this](int progress, const QString &message) {
                             m_progress.push_back(progress);
                             m_messages << message;
                             const QThread *gui = QCoreApplication::instance()->thread();
                             m_onGuiThread = m_onGuiThread && QThread::currentThread() == gui;
                         });
    }

    void TearDown() override
    {
        m_connected.reset();
        m_upgradeWanted.reset();
        m_manager.reset(); // waits for a worker still running
        m_runner.stop();
        hidProtocol::instance()->closeDevice();
        hidProtocol::instance()->setClock(nullptr);
        bootloader::setPrintSink({});
        setHidBackend(nullptr);
        qInstallMessageHandler(m_previousHandler);
    }

    int64_t nowMs() const { return m_clock.nowNs() / os::Clock::kNsPerMs; }

    // Lets clock time pass, the manager's timers following the clock.
    void runFor(int64_t ms, const std::function<bool()> &until = {})
    {
        const int64_t end = nowMs() + ms;
        while (nowMs() < end && !(until && until())) {
            m_timers.advanceTo(nowMs());
            QCoreApplication::processEvents();
            QThread::usleep(200);
        }
    }

    bool connectedWith(const QString &version) const
    {
        if (m_connected->isEmpty())
            return false;
        const QList<QVariant> last = m_connected->last();
        return last.at(1).toBool() && last.at(0).toMap().value("version").toString() == version;
    }

    QString writeFile(const std::vector<uint8_t> &bytes)
    {
        const QString path = m_dir.filePath(QStringLiteral("r7.bin"));
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size()));
        return path;
    }

    // Runs the upgrade to its one outcome; checks what every run must hold.
    QString upgradeToOutcome(const QString &path)
    {
        m_progress.clear();
        m_messages.clear();
        m_manager->upgradeFirmware(path);
        runFor(30000, [&] { return !m_manager->bootloaderUpgradeRunning() && !m_messages.isEmpty(); });
        runFor(500); // nothing may follow
        EXPECT_TRUE(m_onGuiThread);
        QString outcome;
        int last = 0;
        for (int i = 0; i < m_messages.size(); ++i) {
            EXPECT_TRUE(outcome.isEmpty()) << "reported after the outcome: " << m_messages[i].toStdString();
            EXPECT_GE(m_progress[i], 0);
            EXPECT_LE(m_progress[i], 100);
            if ((m_progress[i] == 100 && m_messages[i] == QStringLiteral("升级成功")) || m_messages[i].contains("失败")) {
                outcome = m_messages[i];
                continue;
            }
            EXPECT_GE(m_progress[i], last);
            last = m_progress[i];
        }
        return outcome;
    }

    std::vector<int> collapsedProgress() const
    {
        std::vector<int> out;
        for (int p : m_progress) {
            if (out.empty() || out.back() != p)
                out.push_back(p);
        }
        return out;
    }

    EmulatedHidBus m_bus;
    os::RealClock m_clock{kClockSpeed};
    MicBaseUnit m_unit{m_bus, defaultConfig(Model::R7), "emu/R7"};
    EmulatorRunner m_runner{[this](uint64_t nowMs) { m_unit.step(nowMs); }, m_clock};
    VirtualTimers m_timers;
    QObject m_context;
    std::unique_ptr<HIDHotplugManager> m_manager;
    std::unique_ptr<QSignalSpy> m_connected;
    std::unique_ptr<QSignalSpy> m_upgradeWanted;
    std::vector<int> m_progress; // GUI thread
    QStringList m_messages;
    bool m_onGuiThread = true;
    QTemporaryDir m_dir;
    QtMessageHandler m_previousHandler = nullptr;
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
    EXPECT_EQ(logCount(QStringLiteral("固件升级进行中，拒绝再次升级")), 1);
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
    EXPECT_EQ(logCount(QStringLiteral("升级失败: 发送固件数据失败 (包9/54)")), 1);

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
}
