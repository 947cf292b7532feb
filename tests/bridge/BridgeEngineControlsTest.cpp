// The engine controls: their guard, their targets and their lines, with and
// without the audio objects, and the audio objects' end with the bridge.
#include "BridgeTestSupport.h"

#include <QTimer>

#include "platform/windows/routerAudio/LoopbackCapture.h"

#include <cstdlib>
#include <functional>

namespace {

const QString kNotInitialized = QStringLiteral("AudioRouterService not initialized");

class BridgeEngineControls : public BridgeTest
{
protected:
    static void SetUpTestSuite() { setenv("ALSA_CONFIG_PATH", VELORAN_ALSA_NULL_CONF, 1); }
    void SetUp() override
    {
        BridgeTest::SetUp();
        m_world->addEndpoint({.name = L"Microphone (Veloran T40)", .flow = os::DataFlow::Capture});
        m_world->addEndpoint({.name = L"Headphones (Veloran T40)", .flow = os::DataFlow::Render});
        m_world->addEndpoint({.name = L"USB Mic", .flow = os::DataFlow::Capture});
    }
};

TEST_F(BridgeEngineControls, WithoutAudioObjectsEachControlSaysSoAndStartMakesThem)
{
    m_world->simPermission().script(os::PermissionStatus::Denied, os::PermissionStatus::Denied);
    auto bridge = makeBridge();
    bridge->initializeMonitorDevice();
    QCoreApplication::processEvents();

    struct Case {
        const char *control;
        std::function<QVariant()> call;
        QVariant result; // invalid: no result
    } cases[] = {
        {"Stop", [&] { bridge->Stop(); return QVariant(); }, QVariant()},
        {"Restart", [&] { return QVariant(bridge->Restart()); }, false},
        {"SetSampleRate", [&] { return QVariant(bridge->SetSampleRate(44100.0)); }, false},
        {"GetSampleRate", [&] { return QVariant(bridge->GetSampleRate()); }, 0.0},
        {"AddInputDevice", [&] { return QVariant(bridge->AddInputDevice("USB Mic", 1)); }, false},
        {"RemoveInputDevice", [&] { return QVariant(bridge->RemoveInputDevice("USB Mic")); }, false},
        {"GetInputDevices", [&] { return QVariant(bridge->GetInputDevices()); }, QVariantList()},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.control);
        clearLines();
        EXPECT_EQ(c.call(), c.result);
        EXPECT_EQ(lines().size(), 1);
        EXPECT_GE(find(QStringLiteral("SystemBridge::%1: ").arg(c.control) + kNotInitialized, 0, QtWarningMsg), 0);
    }
    clearLines();
    EXPECT_FALSE(bridge->IsRunning());
    EXPECT_TRUE(lines().isEmpty()) << "IsRunning says nothing";

    ASSERT_TRUE(bridge->Start());
    EXPECT_GE(find(QStringLiteral("[SystemBridge] WinMicRouter created")), 0);
    EXPECT_GE(find(QStringLiteral("SystemBridge::Start: Audio router service started successfully")), 0);
    EXPECT_TRUE(bridge->IsRunning());
    EXPECT_EQ(bridge->GetSampleRate(), 48000.0);
    EXPECT_TRUE(bridge->GetInputDevices().isEmpty());
    bridge->Stop();
    EXPECT_FALSE(bridge->IsRunning());
    EXPECT_GE(find(QStringLiteral("SystemBridge::Stop: Audio router service stopped")), 0);
}

TEST_F(BridgeEngineControls, InputsGoToTheRunningMicrophoneRouterAndEverythingEndsWithTheBridge)
{
    auto bridge = makeBridge();
    bridge->initializeMonitorDevice();
    QCoreApplication::processEvents();

    EXPECT_FALSE(bridge->AddInputDevice("USB Mic", 1)) << "the router runs only with the device";
    EXPECT_GE(find(QStringLiteral("SystemBridge::AddInputDevice: Failed to add device \"USB Mic\""), 0, QtWarningMsg), 0);

    emit m_hotplug->deviceConnected({{"name", "Veloran T40"}}, true);
    ASSERT_TRUE(eventually([] { return find("[SystemBridge] All audio services") >= 0 || find("LivestreamForwarder") >= 0; }));
    ASSERT_GE(find(QStringLiteral("[SystemBridge] WinMicRouter started: Veloran T40")), 0);
    ASSERT_TRUE(eventually([&] { return m_world->openStreams() == 2; })) << "microphone and monitor output";

    EXPECT_TRUE(bridge->AddInputDevice("USB Mic", 1));
    EXPECT_TRUE(bridge->AddInputDevice("USB Mic", 1));
    EXPECT_EQ(count(QStringLiteral(
                  "SystemBridge::AddInputDevice: Added device \"USB Mic\" with 0 requestedChannels (auto-detect), index: 1")),
              2);
    ASSERT_TRUE(eventually([&] { return m_world->openStreams() == 3; }));
    EXPECT_FALSE(eventually([&] { return m_world->openStreams() > 3; }, 200)) << "captured once";

    EXPECT_FALSE(bridge->RemoveInputDevice("Nope"));
    EXPECT_GE(find(QStringLiteral("SystemBridge::RemoveInputDevice: Device not found: \"Nope\""), 0, QtWarningMsg), 0);
    EXPECT_TRUE(bridge->RemoveInputDevice("USB Mic"));
    ASSERT_TRUE(eventually([&] { return m_world->openStreams() == 2; }));

    // A page torn down after the device left asks for what already went with it.
    emit m_hotplug->deviceConnected({{"name", "Veloran T40"}}, false);
    ASSERT_TRUE(eventually([] { return find("[SystemBridge] All audio services stopped") >= 0; }));
    clearLines();
    EXPECT_TRUE(bridge->RemoveInputDevice("Veloran T40"));
    EXPECT_GE(find(QStringLiteral("SystemBridge::RemoveInputDevice: already removed with the device: \"Veloran T40\""),
                   0, QtDebugMsg),
              0);
    EXPECT_EQ(find(QStringLiteral("RemoveInputDevice"), 0, QtWarningMsg), -1);

    ASSERT_TRUE(bridge->Start());
    clearLines();
    bridge.reset();
    EXPECT_GE(find(QStringLiteral("Audio routing service stopped")), 0) << "the engine stopped";
    EXPECT_EQ(m_world->openStreams(), 0u) << "the microphone router stopped";
    EXPECT_FALSE(AudioRouterAPI::IsRunning());
    EXPECT_EQ(SystemBridge::callbackBridge(), nullptr);
}

TEST_F(BridgeEngineControls, QuitStopsTheRunningEngineAndMicrophoneRouterAndEndsTheLoopWithZero)
{
    auto bridge = makeBridge();
    bridge->initializeMonitorDevice();
    QCoreApplication::processEvents();
    emit m_hotplug->deviceConnected({{"name", "Veloran T40"}}, true);
    ASSERT_TRUE(eventually([] { return find(QStringLiteral("[SystemBridge] LivestreamForwarder")) >= 0; }));
    ASSERT_TRUE(eventually([&] { return m_world->openStreams() == 2; })) << "microphone and monitor output";
    ASSERT_TRUE(bridge->Start());
    ASSERT_TRUE(bridge->IsRunning());
    clearLines();

    QTimer::singleShot(0, [&] { bridge->quitApplication(); });
    QTimer::singleShot(10000, [] { QCoreApplication::exit(99); });
    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_GE(find(QStringLiteral("Audio routing service stopped")), 0);
    EXPECT_FALSE(bridge->IsRunning());
    EXPECT_EQ(m_world->openStreams(), 0u) << "the microphone router stopped";
}

} // namespace
