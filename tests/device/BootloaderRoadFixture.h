// The boot-loader road through the device manager: an emulated R7 unit
// (flash, application, boot loader) on the emulated bus. The manager's timers,
// the unit and the upgrade worker all run on one accelerated clock.
#pragma once

#include "HotplugManagerFixture.h"

#include "threading/ThreadHandoff.h"
#include "device/bootloader/HidProtocol.h"
#include "device/bootloader/bootloader_log.h"
#include "device/emulator/emulator_runner.h"
#include "device/emulator/firmware_image.h"
#include "device/emulator/mic_base_unit.h"
#include "platform/os/Clock.h"

#include <QTemporaryDir>

#include <mutex>
#include <thread>

namespace {

// The road's time-outs run on this clock; instrumented code is several times
// slower, so it runs less far ahead of real time there.
#ifdef VELORAN_TSAN
constexpr double kClockSpeed = 4.0;
#else
constexpr double kClockSpeed = 20.0;
#endif

constexpr size_t kImageBytes = 3000; // 54 packets of 56 bytes

// Boot-loader lines and log lines share the terminal: a log line that a
// thread writes while its own boot-loader line is still open runs into it.
std::mutex g_lineMutex;
std::thread::id g_openLine; // guarded by g_lineMutex: the thread whose line is open
int g_mergedLines = 0;      // guarded by g_lineMutex
QtMessageHandler g_collect = nullptr; // the collector's handler, behind ours

void noteLineEnds(const std::string &text)
{
    std::lock_guard lock(g_lineMutex);
    if (!text.empty() && text.back() != '\n')
        g_openLine = std::this_thread::get_id();
    else if (!text.empty() && g_openLine == std::this_thread::get_id())
        g_openLine = {};
}

void collectLogNotingMerges(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    {
        std::lock_guard lock(g_lineMutex);
        if (g_openLine == std::this_thread::get_id())
            ++g_mergedLines;
    }
    g_collect(type, context, message);
}

[[maybe_unused]] int mergedLines()
{
    std::lock_guard lock(g_lineMutex);
    return g_mergedLines;
}

class BootloaderRoad : public ::testing::Test, public LogCollector
{
protected:
    void SetUp() override
    {
        startDeviceTest(QStringLiteral("BootloaderRoadTest"));
        g_collect = qInstallMessageHandler(collectLogNotingMerges);
        setHidBackend(&m_bus);
        hidProtocol::instance()->setClock(&m_clock);
        bootloader::setPrintSink(noteLineEnds);
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
        qInstallMessageHandler(g_collect);
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
    EmulatorRunner m_runner{m_unit, m_clock};
    VirtualTimers m_timers;
    QObject m_context;
    std::unique_ptr<HIDHotplugManager> m_manager;
    std::unique_ptr<QSignalSpy> m_connected;
    std::unique_ptr<QSignalSpy> m_upgradeWanted;
    std::vector<int> m_progress; // GUI thread
    QStringList m_messages;
    bool m_onGuiThread = true;
    QTemporaryDir m_dir;
};

} // namespace
