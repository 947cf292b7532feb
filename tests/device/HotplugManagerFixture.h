// What the device manager's tests share: the manager against emulated
// microphone bases on the emulated HID bus, in virtual time. The manager's
// scan and tick timers and the emulators' clocks advance together one
// millisecond at a time, and after each step the fixture waits until every
// report the devices pushed has reached the manager, so the protocol sees the
// same timeline on any machine. Only the hand-over from the reader threads
// takes real time.
#pragma once

#include "device/HIDDevice.h"
#include "device/HIDHotplugManager.h"
#include "device/HidTrafficLog.h"
#include "device/emulator/hid_attachment.h"
#include "device/emulator/mic_base_emulator.h"
#include "device/hid/EmulatedHidBus.h"
#include "device/protocol/msg_runtime.h"

#include "LogCollector.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QThread>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

using namespace veloran::emu;

namespace {

constexpr int kSettleLimitMs = 20000; // real time; only a stalled machine comes near it

// Repeating timers on a virtual millisecond clock.
class VirtualTimers final : public RepeatingTimerFactory
{
public:
    class Timer final : public RepeatingTimer
    {
    public:
        Timer(VirtualTimers &owner, std::function<void()> fire)
            : m_owner(owner)
            , m_fire(std::move(fire))
        {
            m_owner.m_timers.push_back(this);
        }
        ~Timer() override { std::erase(m_owner.m_timers, this); }
        void start(int intervalMs) override
        {
            m_intervalMs = std::max(1, intervalMs);
            m_dueMs = m_owner.m_nowMs + m_intervalMs;
            m_active = true;
        }
        void stop() override { m_active = false; }
        bool isActive() const override { return m_active; }

    private:
        friend class VirtualTimers;
        VirtualTimers &m_owner;
        std::function<void()> m_fire;
        bool m_active = false;
        int m_intervalMs = 1;
        int64_t m_dueMs = 0;
    };

    std::unique_ptr<RepeatingTimer> create(QObject *, std::function<void()> onTimeout) override
    {
        return std::make_unique<Timer>(*this, std::move(onTimeout));
    }

    // Fires every timer due up to t in time order, creation order on ties.
    void advanceTo(int64_t t)
    {
        for (;;) {
            Timer *next = nullptr;
            for (Timer *timer : m_timers) {
                if (timer->m_active && timer->m_dueMs <= t && (!next || timer->m_dueMs < next->m_dueMs))
                    next = timer;
            }
            if (!next)
                break;
            m_nowMs = next->m_dueMs;
            next->m_dueMs += next->m_intervalMs;
            next->m_fire();
        }
        m_nowMs = t;
    }
    int64_t nowMs() const { return m_nowMs; }

private:
    int64_t m_nowMs = 0;
    std::vector<Timer *> m_timers;
};

// One emulated base whose reports are counted as they are pushed.
struct EmulatedBase
{
    EmulatedBase(EmulatedHidBus &bus, const ModelConfig &config, const std::string &prefix, std::atomic<int> &pushed)
        : emulator(config)
        , attachment(bus, emulator, prefix)
    {
        emulator.setReportSink([&bus, &pushed, path = attachment.protocolPath()](const std::vector<uint8_t> &report) {
            const int handles = bus.pushInput(path, report);
            if (handles > 0)
                pushed += handles;
        });
        attachment.plug();
    }
    MicBaseEmulator emulator;
    HidAttachment attachment;
};

// Where every device-manager test starts: settings of its own, no log lines
// yet and a fresh protocol core.
inline void startDeviceTest(const QString &applicationName)
{
    QCoreApplication::setOrganizationName(QStringLiteral("VeloranTests"));
    QCoreApplication::setApplicationName(applicationName);
    LogCollector::clearLines();
    msg_reset_for_tests();
}

class HotplugManagerTest : public ::testing::Test, public LogCollector
{
protected:
    void SetUp() override
    {
        startDeviceTest(QStringLiteral("HIDHotplugManagerTest"));
        QDir(HidTrafficLog::folder()).removeRecursively();
    }

    void TearDown() override
    {
        m_connected.reset();
        m_messages.reset();
        m_privates.reset();
        m_manager.reset();
        m_bases.clear();
        QDir(HidTrafficLog::folder()).removeRecursively();
    }

    EmulatedBase &addBase(Model model, const std::function<void(ModelConfig &)> &edit = {})
    {
        ModelConfig config = defaultConfig(model);
        if (edit)
            edit(config);
        const std::string prefix = std::string("emu/") + modelName(model) + "-" + std::to_string(m_bases.size());
        m_bases.push_back(std::make_unique<EmulatedBase>(m_bus, config, prefix, m_pushed));
        return *m_bases.back();
    }

    HIDHotplugManager &startManager()
    {
        m_manager = std::make_unique<HIDHotplugManager>(m_bus, m_timers);
        m_connected = std::make_unique<QSignalSpy>(m_manager.get(), &HIDHotplugManager::deviceConnected);
        m_messages = std::make_unique<QSignalSpy>(m_manager.get(), &HIDHotplugManager::messageReceived);
        m_privates = std::make_unique<QSignalSpy>(m_manager.get(), &HIDHotplugManager::priMsgCallback);
        // Connected after the manager, so each count follows the manager's
        // own handling of that report.
        auto *hid = m_manager->findChild<HIDDevice *>();
        QObject::connect(hid, &HIDDevice::dataReceived, &m_context, [this] { ++m_delivered; });
        QObject::connect(hid, &HIDDevice::deviceDisconnected, &m_context, [this] {
            // Reports still queued on a dead handle are lost, as on a real bus.
            if (!m_manager->findChild<HIDDevice *>()->hasDevices())
                m_pushed = m_delivered;
        });
        return *m_manager;
    }

    // Waits (real time) until the manager has handled every pushed report.
    void settle()
    {
        QElapsedTimer elapsed;
        elapsed.start();
        for (;;) {
            QCoreApplication::processEvents();
            if (m_delivered >= m_pushed.load())
                return;
            if (elapsed.elapsed() > kSettleLimitMs) {
                ADD_FAILURE() << "reports not delivered: " << m_delivered << " of " << m_pushed.load();
                m_pushed = m_delivered;
                return;
            }
            QThread::yieldCurrentThread();
        }
    }

    void runTo(int64_t t)
    {
        while (m_timers.nowMs() < t) {
            const int64_t ms = m_timers.nowMs() + 1;
            m_timers.advanceTo(ms);
            for (auto &base : m_bases) {
                const bool wasPlugged = m_bus.isPlugged(base->attachment.protocolPath());
                base->emulator.step(uint64_t(ms));
                if (wasPlugged && !m_bus.isPlugged(base->attachment.protocolPath()))
                    noticeUnplug();
            }
            settle();
        }
    }
    void runFor(int64_t ms) { runTo(m_timers.nowMs() + ms); }

    // A device that left on its own (a reboot) is noticed by a reader thread
    // in real time; the clock waits for it, or a loaded machine would see the
    // device's seconds pass before the host could have noticed.
    void noticeUnplug()
    {
        auto *hid = m_manager ? m_manager->findChild<HIDDevice *>() : nullptr;
        if (hid)
            waitFor([hid] { return !hid->hasDevices(); });
    }

    // For events that come from a reader thread stopping (unplug).
    bool waitFor(const std::function<bool()> &condition)
    {
        QElapsedTimer elapsed;
        elapsed.start();
        while (!condition()) {
            if (elapsed.elapsed() > kSettleLimitMs)
                return false;
            QCoreApplication::processEvents();
            QThread::msleep(1);
        }
        return true;
    }

    QVariantMap lastInfo() const { return m_connected->last().at(0).toMap(); }
    bool lastConnected() const { return m_connected->last().at(1).toBool(); }
    // Starts the manager and lets its first scan (at 2 s) open the device
    // and log it in: true once every detail has come.
    bool startAndLogIn()
    {
        startManager();
        runTo(3000);
        return complete(lastInfo());
    }
    static bool complete(const QVariantMap &info)
    {
        for (const char *key : {"name", "sn", "version", "dpid", "pid", "vid"}) {
            if (!info.contains(QString::fromLatin1(key)))
                return false;
        }
        return true;
    }
    void unplugAndWait(EmulatedBase &base)
    {
        base.attachment.unplug();
        ASSERT_TRUE(waitFor([&] { return !m_connected->isEmpty() && !lastConnected(); }));
    }

    EmulatedHidBus m_bus;
    VirtualTimers m_timers;
    std::atomic<int> m_pushed{0};
    int m_delivered = 0; // GUI thread
    QObject m_context;
    std::vector<std::unique_ptr<EmulatedBase>> m_bases;
    std::unique_ptr<HIDHotplugManager> m_manager;
    std::unique_ptr<QSignalSpy> m_connected;
    std::unique_ptr<QSignalSpy> m_messages;
    std::unique_ptr<QSignalSpy> m_privates;
};

} // namespace
