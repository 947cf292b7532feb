// Display power as the control page follows it: the monitor's event table,
// its reports on the GUI thread, and its start and stop.
#include "BridgeTestSupport.h"

#include "bridge/PowerMonitor.h"
#include "bridge/SystemBridge.h"

#include <QCoreApplication>
#include <QSignalSpy>
#include <QTest>
#include <QThread>

#include <thread>

namespace {

os::PowerSetting displayState(std::vector<std::uint8_t> data, os::Guid guid = os::GUID_CONSOLE_DISPLAY_STATE)
{
    return {guid, std::move(data)};
}

TEST(PowerEventTable, EventsAndDisplayStatesReportOnOffOrNothing)
{
    os::Guid foreign = os::GUID_CONSOLE_DISPLAY_STATE;
    foreign[15] ^= 1;
    const os::PowerSetting off = displayState({0, 0, 0, 0});
    const os::PowerSetting on = displayState({1, 0, 0, 0, 9});
    const os::PowerSetting dimmed = displayState({2, 0, 0, 0});
    const os::PowerSetting highByte = displayState({0, 0, 0, 1});
    const os::PowerSetting short3 = displayState({0, 0, 0});
    const os::PowerSetting other = displayState({0, 0, 0, 0}, foreign);
    struct Case {
        std::uintptr_t event;
        const os::PowerSetting *setting;
        std::optional<bool> report;
    } cases[] = {
        {os::PBT_APMSUSPEND, nullptr, false},
        {os::PBT_APMRESUMESUSPEND, nullptr, true},
        {os::PBT_APMRESUMEAUTOMATIC, nullptr, true},
        {os::PBT_POWERSETTINGCHANGE, &off, false},
        {os::PBT_POWERSETTINGCHANGE, &on, true},
        {os::PBT_POWERSETTINGCHANGE, &dimmed, std::nullopt},
        {os::PBT_POWERSETTINGCHANGE, &highByte, std::nullopt},
        {os::PBT_POWERSETTINGCHANGE, &short3, std::nullopt},
        {os::PBT_POWERSETTINGCHANGE, &other, std::nullopt},
        {os::PBT_POWERSETTINGCHANGE, nullptr, std::nullopt},
        {10, &off, std::nullopt},
        {0, nullptr, std::nullopt},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.event);
        EXPECT_EQ(classifyPowerEvent(c.event, c.setting), c.report);
    }
}

class BridgePowerMonitor : public BridgeTest
{
protected:
    void TearDown() override
    {
        m_world->simPowerEvents().setIgnoreQuit(false);
        m_bridge.reset();
        BridgeTest::TearDown();
    }

    // Reports seen so far, after the events fired have been handled.
    QList<bool> settle(QSignalSpy &spy, int expected)
    {
        (void)QTest::qWaitFor([&] { return spy.count() >= expected; }, 5000);
        QTest::qWait(50);
        QList<bool> values;
        for (const auto &args : spy)
            values.append(args.at(0).toBool());
        return values;
    }

    std::unique_ptr<SystemBridge> m_bridge = std::make_unique<SystemBridge>(SystemBridge::Options{});
};

TEST_F(BridgePowerMonitor, StateChangesReachTheGuiThreadOnceEach)
{
    QSignalSpy spy(m_bridge.get(), &SystemBridge::screenPowerStateChanged);
    QList<bool> onGuiThread;
    QObject::connect(m_bridge.get(), &SystemBridge::screenPowerStateChanged,
                     [&] { onGuiThread.append(QThread::currentThread() == QCoreApplication::instance()->thread()); });
    m_bridge->startPowerEventMonitor();
    m_bridge->startPowerEventMonitor();
    EXPECT_EQ(m_world->simPowerEvents().liveWindows(), 1) << "two starts, one window thread";

    os::SimPowerEvents &power = m_world->simPowerEvents();
    power.fireDisplayState(0);
    power.firePowerBroadcast(os::PBT_APMSUSPEND);
    power.firePowerBroadcast(os::PBT_APMRESUMESUSPEND);
    power.fireDisplayState(1);
    power.fireDisplayState(2);
    power.fireSessionChange(os::WTS_SESSION_LOCK);
    EXPECT_EQ(settle(spy, 2), (QList<bool>{false, true}));
    EXPECT_EQ(onGuiThread, (QList<bool>{true, true}));

    // A new start reports again what the last one reported last.
    m_bridge->stopPowerEventMonitor();
    EXPECT_EQ(power.liveWindows(), 0);
    m_bridge->startPowerEventMonitor();
    power.fireDisplayState(1);
    EXPECT_EQ(settle(spy, 3), (QList<bool>{false, true, true}));
}

TEST_F(BridgePowerMonitor, FailedSetUpIsReportedAndTheNextStartWorks)
{
    for (os::PowerWindowStep step : {os::PowerWindowStep::RegisterClass, os::PowerWindowStep::RegisterPowerSetting}) {
        clearLines();
        m_world->simPowerEvents().failNextSetUp(step);
        m_bridge->startPowerEventMonitor();
        EXPECT_GE(find(QStringLiteral("SystemBridge::startPowerEventMonitor 无法启动 Windows 监控"), 0, QtWarningMsg), 0);
        EXPECT_EQ(m_world->simPowerEvents().liveWindows(), 0);
        m_bridge->startPowerEventMonitor();
        EXPECT_EQ(m_world->simPowerEvents().liveWindows(), 1);
        m_bridge->stopPowerEventMonitor();
    }
}

TEST_F(BridgePowerMonitor, StopGivesUpAfterOneSecondAndTheLeftThreadReachesNothing)
{
    QSignalSpy spy(m_bridge.get(), &SystemBridge::screenPowerStateChanged);
    os::SimPowerEvents &power = m_world->simPowerEvents();
    m_bridge->startPowerEventMonitor();
    power.setIgnoreQuit(true);

    std::atomic<bool> stopped{false};
    std::thread stopper([&] {
        m_bridge->stopPowerEventMonitor();
        stopped = true;
    });
    // The quit is posted after the stop read the clock: time moved from
    // here on counts towards its second, whenever its wait begins.
    ASSERT_TRUE(QTest::qWaitFor([&] { return power.heldQuits() == 1; }, 5000));
    m_clock->advanceMs(999);
    QTest::qWait(50);
    EXPECT_FALSE(stopped.load()) << "the stop waits a whole second";
    m_clock->advanceMs(1);
    stopper.join();
    EXPECT_GE(find(QStringLiteral("did not end within 1000 ms; quit message posted: true"), 0, QtWarningMsg), 0);
    EXPECT_GE(find(QStringLiteral("[PowerMonitor] stopped in 1000 ms")), 0);

    EXPECT_EQ(power.fireDisplayState(0), 1) << "the left thread still has its window";
    QTest::qWait(100);
    EXPECT_EQ(spy.count(), 0);

    power.setIgnoreQuit(false);
    EXPECT_TRUE(QTest::qWaitFor([&] { return power.liveWindows() == 0; }, 5000));
}

} // namespace
