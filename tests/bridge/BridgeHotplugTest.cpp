// The audio services following the device's connections: the wait for its
// capture endpoint on the platform clock, the start and stop sequences,
// and the virtual-driver check at start-up.
#include "BridgeTestSupport.h"

#include "driverclient/sim/SimVirtualDriver.h"
#include "driverclient/sim/SimVirtualDriverEndpoints.h"
#include "platform/windows/routerAudio/AudioRouteConfig.h"
#include "platform/windows/routerAudio/LivestreamForwarder.h"
#include "platform/windows/routerAudio/LoopbackCapture.h"
#include "platform/windows/routerAudio/Mixer.h"

#include <QSignalSpy>

namespace {

constexpr int64_t kPauseNs = 200 * os::Clock::kNsPerMs;
const QString kReady = QStringLiteral("[SystemBridge] Audio endpoint ready for Veloran T40 -- starting audio services");
const QString kStopped = QStringLiteral("[SystemBridge] All audio services stopped");
const QString kForwarder = QStringLiteral("[SystemBridge] LivestreamForwarder");

class BridgeHotplug : public BridgeTest
{
protected:
    void TearDown() override
    {
        m_bridge.reset();
        LivestreamForwarder::instance().Stop();
        m_driverEndpoints.reset();
        m_driver.uninstall();
        BridgeTest::TearDown();
    }

    // Start-up with the microphone granted; the deferred jobs run.
    void startBridge()
    {
        m_bridge = makeBridge();
        m_bridge->initializeMonitorDevice();
        QCoreApplication::processEvents();
    }
    void installDriver()
    {
        m_driver.install();
        m_driverEndpoints = std::make_unique<SimVirtualDriverEndpoints>(*m_world, m_driver);
    }
    std::wstring addDevice(const std::wstring &model)
    {
        const std::wstring mic =
            m_world->addEndpoint({.name = L"Microphone (" + model + L") USB", .flow = os::DataFlow::Capture});
        m_world->setEndpointSignal(mic, os::Signal::sine(250.0, 0.2f));
        return m_world->addEndpoint({.name = L"Headphones (" + model + L")", .flow = os::DataFlow::Render});
    }
    void report(const QString &name, bool connected)
    {
        emit m_hotplug->deviceConnected({{"name", name}}, connected);
    }
    // Ends each pause of the endpoint wait until the text is logged.
    bool pollUntil(const QString &text)
    {
        return eventually([&] {
            if (m_clock->waitingThreads() > 0)
                m_clock->advanceNs(kPauseNs);
            return find(text) >= 0;
        }, 30000);
    }
    // Runs the audio threads in 10 ms steps until the condition holds.
    bool runUntil(const std::function<bool()> &condition)
    {
        return eventually([&] {
            m_clock->advanceMs(10);
            return condition();
        });
    }

    SimVirtualDriver m_driver{*m_clock};
    std::unique_ptr<SimVirtualDriverEndpoints> m_driverEndpoints;
    std::unique_ptr<SystemBridge> m_bridge;
};

TEST_F(BridgeHotplug, TheServicesFollowTheDeviceInOrderAndAnotherNameRestartsOnlyTheRouter)
{
    installDriver();
    startBridge();
    EXPECT_GE(find(QStringLiteral("[SystemBridge] Brand speaker set as system default")), 0);
    for (os::Role role : os::kAllRoles)
        EXPECT_EQ(m_world->defaultEndpointId(os::DataFlow::Render, role), m_driverEndpoints->outputId());

    // Routing handed over while unplugged waits for the start.
    m_bridge->setAudioConfig({QVariantMap{{"processID", 0}, {"input1", QVariantMap{{"enabled", true}}}},
                              QVariantMap{{"processID", 4294967295.0}, {"input1", QVariantMap{{"enabled", true}}}}});

    // The endpoint is not there for three polls.
    const std::wstring headphones = addDevice(L"VELORAN t40");
    m_world->failNext(os::SimOp::CreateEnumerator, E_FAIL, 3);
    const int64_t connectedAt = m_clock->nowNs();
    report("Veloran T40", true);
    ASSERT_TRUE(pollUntil(kReady));
    EXPECT_GE(m_clock->nowNs() - connectedAt, 3 * kPauseNs);
    ASSERT_TRUE(eventually([] { return find(kForwarder) >= 0; }));

    int at = find(kReady);
    for (const char *line : {"[SystemBridge] WinMicRouter started: Veloran T40", "[SystemBridge] AudioRouterAPI initialized",
                             "[SystemBridge] LevelCallback set", "[SystemBridge] LivestreamForwarder started"}) {
        const int next = find(QString::fromLatin1(line), at);
        EXPECT_GT(next, at) << line;
        at = std::max(at, next);
    }
    EXPECT_EQ(AudioRouteConfigStore::instance().sourceIds(), (std::vector<uint32_t>{0, kListenBusMasterId}))
        << "the parked list was replayed";

    // The microphone feeds source 0, the monitor plays on the device's headphones,
    // and the levels come back as the bridge's signal.
    QSignalSpy levels(m_bridge.get(), &SystemBridge::audioInputLevelChanged);
    ASSERT_TRUE(runUntil([&] { return Mixer::instance().getSourceLevels(0).left > 0.05f; }));
    ASSERT_TRUE(runUntil([&] { return !m_world->recording(headphones).bytes.empty(); }));
    ASSERT_TRUE(runUntil([&] { return levels.count() > 0; }));
    EXPECT_EQ(levels.first().first().toList().first().toMap().value("processID").toULongLong(), 0u);

    // The same name again: nothing but the line.
    clearLines();
    report("Veloran T40", true);
    EXPECT_EQ(lines().size(), 1);

    // Another device: the router follows it, the rest stays.
    addDevice(L"Veloran U20");
    report("Veloran U20", true);
    ASSERT_TRUE(eventually([] { return find("[SystemBridge] WinMicRouter started: Veloran U20") >= 0; }));
    EXPECT_EQ(count("[SystemBridge] AudioRouterAPI initialized"), 0);
    EXPECT_EQ(count(kForwarder), 0);

    // Unplugged: everything stops.
    report("", false);
    ASSERT_TRUE(eventually([] { return find(kStopped) >= 0; }));
    EXPECT_FALSE(LivestreamForwarder::instance().IsRunning());
    EXPECT_FALSE(AudioRouterAPI::IsRunning());
    EXPECT_EQ(m_world->openStreams(), 0u);
}

// A routing API that cannot start: no level callback, the parked list
// waits for the next start, the forwarder runs all the same.
TEST_F(BridgeHotplug, AFailedRoutingStartKeepsTheParkedListAndStillForwards)
{
    installDriver();
    startBridge();
    m_bridge->setAudioConfig({QVariantMap{{"processID", 0}, {"input1", QVariantMap{{"enabled", true}}}}});
    addDevice(L"Veloran T40");
    AudioRouterAPI::failNextInitialize(E_OUTOFMEMORY);
    report("Veloran T40", true);
    ASSERT_TRUE(pollUntil(kReady));
    ASSERT_TRUE(eventually([] { return find(kForwarder) >= 0; }));
    EXPECT_GE(find(QStringLiteral("[SystemBridge] AudioRouterAPI initialization failed"), 0, QtWarningMsg), 0);
    EXPECT_EQ(find(QStringLiteral("[SystemBridge] LevelCallback set")), -1);
    EXPECT_GE(find(QStringLiteral("[SystemBridge] LivestreamForwarder started")), 0);
    EXPECT_FALSE(AudioRouterAPI::IsRunning());
    EXPECT_TRUE(AudioRouteConfigStore::instance().sourceIds().empty());

    report("", false);
    ASSERT_TRUE(eventually([] { return find(kStopped) >= 0; }));
    clearLines();
    report("Veloran T40", true);
    ASSERT_TRUE(pollUntil(QStringLiteral("[SystemBridge] LevelCallback set")));
    EXPECT_TRUE(eventually([] { return AudioRouteConfigStore::instance().sourceIds() == std::vector<uint32_t>{0}; }))
        << "the parked list was replayed";
}

TEST_F(BridgeHotplug, WaitsEndAfterTheirAttemptsOrWithTheDevice)
{
    startBridge();
    EXPECT_GE(find(QStringLiteral("[SystemBridge] NUVEX Stream Mix virtual audio driver is NOT installed"), 0,
                   QtWarningMsg), 0);
    EXPECT_TRUE(m_world->defaultEndpointId(os::DataFlow::Render, os::Role::Console).empty());

    // No endpoint at all: 150 attempts 200 ms apart, then the start anyway.
    const int64_t connectedAt = m_clock->nowNs();
    report("Veloran T40", true);
    ASSERT_TRUE(pollUntil(QStringLiteral("[SystemBridge] capture endpoint not detected for Veloran T40 after 30s")));
    EXPECT_GE(m_clock->nowNs() - connectedAt, 150 * kPauseNs);
    ASSERT_TRUE(eventually([] { return find(kForwarder) >= 0; }));
    EXPECT_GE(find(QStringLiteral("[SystemBridge] LivestreamForwarder failed to start (driver may not be installed)"),
                   0, QtWarningMsg), 0);
    EXPECT_TRUE(AudioRouterAPI::IsRunning());
    report("", false);
    ASSERT_TRUE(eventually([] { return find(kStopped) >= 0; }));

    // Unplugged during the wait: the wait ends and nothing starts, even once
    // the endpoint shows up; a replug starts again.
    // An endpoint showing up within a pause is found only at its end.
    clearLines();
    const int idle = m_clock->waitingThreads();
    report("Veloran T40", true);
    ASSERT_TRUE(eventually([&] { return m_clock->waitingThreads() > idle; }));
    addDevice(L"Veloran T40");
    m_clock->advanceNs(kPauseNs - os::Clock::kNsPerMs);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    QCoreApplication::processEvents();
    EXPECT_EQ(find(QStringLiteral("Audio endpoint ready")), -1);
    report("", false);
    ASSERT_TRUE(eventually([] { return find(kStopped) >= 0; }));
    m_clock->advanceNs(kPauseNs);
    QThreadPool::globalInstance()->waitForDone();
    QCoreApplication::processEvents();
    EXPECT_EQ(find(QStringLiteral("Audio endpoint ready")), -1);
    EXPECT_EQ(find(QStringLiteral("WinMicRouter started")), -1);
    EXPECT_FALSE(AudioRouterAPI::IsRunning());

    report("Veloran T40", true);
    ASSERT_TRUE(pollUntil(kReady));
    ASSERT_TRUE(eventually([] { return find(QStringLiteral("[SystemBridge] WinMicRouter started: Veloran T40")) >= 0; }));
}

TEST_F(BridgeHotplug, ABridgeGoingAwayEndsItsWaitAndItsJobsFirst)
{
    startBridge();
    const int idle = m_clock->waitingThreads(); // the world's own service thread
    report("Veloran T40", true);
    ASSERT_TRUE(eventually([&] { return m_clock->waitingThreads() > idle; }));
    const int64_t before = m_clock->nowNs();
    m_bridge.reset(); // hangs unless the wait's pause is ended
    EXPECT_EQ(m_clock->nowNs(), before);
    QThreadPool::globalInstance()->waitForDone();
    EXPECT_EQ(find(QStringLiteral("starting services anyway")), -1);
}

} // namespace
