#pragma once
// What the bridge tests share: a simulated operating system installed as
// the process's platform for one test, and the log lines written meanwhile.

#include "bridge/SystemBridge.h"
#include "device/HIDHotplugManager.h"
#include "threading/RepeatingTimer.h"
#include "device/hid/EmulatedHidBus.h"
#include "platform/os/sim/SimAudioWorld.h"

#include "Eventually.h"
#include "LogCollector.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <chrono>
#include <memory>
#include <thread>

// Polls the condition, running the GUI thread's events meanwhile, for up to
// realMs of real time.
template <class Condition>
bool eventually(Condition condition, int realMs = 10000)
{
    return testwait::until(condition, realMs, [] { QCoreApplication::processEvents(); });
}

// Writes the file, making its folder; executable on request.
inline void writeFile(const QString &path, const QByteArray &text, bool executable = false)
{
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(text);
    file.close();
    if (executable)
        file.setPermissions(file.permissions() | QFileDevice::ExeOwner);
}

// The installed programs, once the scan that asking for them starts has
// ended (its pictures drawn) and its list reached the GUI thread.
inline QVariantList scanInstalledApps(SystemBridge &bridge, int realMs = 10000)
{
    QVariantList apps = bridge.getRunningApplicationsByQt();
    const QMetaObject::Connection update =
        QObject::connect(&bridge, &SystemBridge::installedAppsChanged, [&apps](const QVariantList &list) { apps = list; });
    EXPECT_TRUE(eventually([&] { return !bridge.installedAppsScanningForTests(); }, realMs));
    QObject::disconnect(update);
    return apps;
}

class BridgeTest : public ::testing::Test, public LogCollector
{
protected:
    void SetUp() override
    {
        // What the fixture's own construction logged is not the test's.
        clearLines();
        os::installPlatform(m_world);
    }
    void TearDown() override
    {
        os::installPlatform(nullptr);
        // Captures keep the world; the last of them must not end it on one
        // of the world's own threads.
        EXPECT_TRUE(eventually([&] { return m_world.use_count() == 1; }));
    }

    // A bridge over this test's world, following this test's device manager.
    std::unique_ptr<SystemBridge> makeBridge()
    {
        SystemBridge::Options options;
        options.hotplug = m_hotplug.get();
        return std::make_unique<SystemBridge>(options);
    }

    std::shared_ptr<os::ManualClock> m_clock = std::make_shared<os::ManualClock>();
    std::shared_ptr<os::SimAudioWorld> m_world = std::make_shared<os::SimAudioWorld>(m_clock);

    // The device manager's timers never fire: the tests report connections
    // through its signal themselves.
    struct InertTimers final : RepeatingTimerFactory {
        struct Timer final : RepeatingTimer {
            void start(int) override {}
            void stop() override {}
            bool isActive() const override { return false; }
        };
        std::unique_ptr<RepeatingTimer> create(QObject *, std::function<void()>) override
        {
            return std::make_unique<Timer>();
        }
    };
    EmulatedHidBus m_bus;
    InertTimers m_timers;
    std::unique_ptr<HIDHotplugManager> m_hotplug = std::make_unique<HIDHotplugManager>(m_bus, m_timers);
};
