// Start-up of the bridge as the microphone permission allows it, and its
// end.
#include "BridgeTestSupport.h"

#include "bridge/SystemBridge.h"

#include <QCoreApplication>
#include <QThread>

#include <memory>

namespace {

const QString kGranted = QStringLiteral("PermissionStatus::Granted ");
const QString kDenied = QStringLiteral("Microphone permission is not granted!");
const QString kInitializing = QStringLiteral("SystemBridge::initializeMonitorDevice() - Initializing");
const QString kMicRouterCreated = QStringLiteral("[SystemBridge] WinMicRouter created (WASAPI mic/solo path enabled)");
const QString kEngineCreated =
    QStringLiteral("[SystemBridge] Windows: AudioRouterService created, waiting for Veloran device connection");
const QString kDriverCheck = QStringLiteral("virtual audio driver");
const QString kHookup = QStringLiteral("[SystemBridge] Connected to HIDHotplugManager::deviceConnected");

class BridgeLifecycle : public BridgeTest
{
protected:
    // True once the sequence ran: the permission line, the initialising
    // line with the platform, the audio objects.
    bool initialised(const SystemBridge &bridge) const
    {
        return SystemBridge::callbackBridge() == &bridge;
    }
};

TEST_F(BridgeLifecycle, UndeterminedPermissionWaitsForTheAnswer)
{
    struct Case {
        os::PermissionStatus answer;
        bool created;
    } cases[] = {{os::PermissionStatus::Granted, true}, {os::PermissionStatus::Denied, false}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.created ? "granted" : "denied");
        clearLines();
        m_world->simPermission().script(os::PermissionStatus::Undetermined, os::PermissionStatus::Undetermined);
        auto bridge = makeBridge();
        bridge->initializeMonitorDevice();
        QCoreApplication::processEvents();
        EXPECT_EQ(m_world->simPermission().waitingRequests(), 1u);
        EXPECT_FALSE(initialised(*bridge));
        EXPECT_EQ(find(kInitializing), -1);
        EXPECT_EQ(find(kGranted), -1);

        // The user answers on another thread; the bridge goes on on its own.
        std::thread user([&] { m_world->simPermission().answer(c.answer); });
        user.join();
        EXPECT_FALSE(initialised(*bridge)) << "the answer is handled on the GUI thread";
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();

        EXPECT_EQ(initialised(*bridge), c.created);
        EXPECT_EQ(find(kInitializing) >= 0, c.created);
        EXPECT_EQ(count(kMicRouterCreated), c.created ? 1 : 0);
        EXPECT_EQ(count(kEngineCreated), c.created ? 1 : 0);
        EXPECT_EQ(find(kDriverCheck) >= 0, c.created);
        EXPECT_EQ(find(kHookup) >= 0, c.created);
        EXPECT_EQ(find(kGranted, 0, QtInfoMsg) >= 0, c.created);
        EXPECT_EQ(find(kDenied, 0, QtWarningMsg) >= 0, !c.created);
    }
}

TEST_F(BridgeLifecycle, GrantedRunsTheSequenceOnceAndTheJobsOnceTheLoopRuns)
{
    auto bridge = makeBridge();
    bridge->initializeMonitorDevice();

    const QString platform = bridge->getPlatform();
    ASSERT_FALSE(platform.isEmpty());
    const int granted = find(kGranted, 0, QtInfoMsg);
    ASSERT_GE(granted, 0);
    const int initialising = find(kInitializing + " " + platform + " bridge", granted, QtDebugMsg);
    EXPECT_GT(initialising, granted);
    EXPECT_TRUE(initialised(*bridge));
    const int micRouter = find(kMicRouterCreated, initialising, QtDebugMsg);
    EXPECT_GT(micRouter, initialising);
    EXPECT_GT(find(kEngineCreated, micRouter, QtDebugMsg), micRouter);
    EXPECT_EQ(find(kDriverCheck), -1) << "the jobs wait for the event loop";
    EXPECT_EQ(find(kHookup), -1);

    // A second sequence creates nothing more; the jobs run once each per sequence.
    bridge->initializeMonitorDevice();
    EXPECT_EQ(count(kMicRouterCreated), 1) << "the audio objects are made once";
    EXPECT_EQ(count(kEngineCreated), 1);
    QCoreApplication::processEvents();
    const int check = find(kDriverCheck);
    ASSERT_GE(check, 0);
    EXPECT_GT(find(kHookup), check) << "driver check first, then the hookup";
}

TEST_F(BridgeLifecycle, DestroyingABridgeClearsOnlyItsOwnCallbackPointer)
{
    auto first = makeBridge();
    first->initializeMonitorDevice();
    ASSERT_TRUE(initialised(*first));
    auto second = makeBridge();
    second->initializeMonitorDevice();
    ASSERT_TRUE(initialised(*second));

    first.reset();
    EXPECT_EQ(SystemBridge::callbackBridge(), second.get()) << "another bridge's pointer stays";
    clearLines();
    second.reset();
    EXPECT_EQ(SystemBridge::callbackBridge(), nullptr);
    EXPECT_GE(find(QStringLiteral("SystemBridge::cleanupNativeBridge() - Cleaning up")), 0);
    EXPECT_EQ(m_world->openStreams(), 0u);
}

} // namespace
