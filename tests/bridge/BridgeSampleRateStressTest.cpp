// Sample-rate writes racing the device's connection reports: whatever the
// interleaving, the microphone router ends up running exactly while the
// device is connected.
#include "BridgeTestSupport.h"

#include "bridge/SystemBridge.h"

#include <QCoreApplication>
#include <QThreadPool>

#include <chrono>
#include <random>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

class BridgeSampleRateStress : public BridgeTest
{
protected:
    // Lets the jobs that jobs and queued calls start run out.
    static void settle()
    {
        for (int round = 0; round < 20; ++round) {
            QThreadPool::globalInstance()->waitForDone(10000);
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
};

TEST_F(BridgeSampleRateStress, WritesRacingConnectionReportsLeaveTheRouterFollowingTheDevice)
{
    // Real time: the writes' pauses and the router's threads run by themselves.
    m_world = std::make_shared<os::SimAudioWorld>(std::make_shared<os::RealClock>());
    os::installPlatform(m_world);
    m_world->addEndpoint({.name = L"Microphone (R7 Mic)", .flow = os::DataFlow::Capture});
    m_world->addEndpoint({.name = L"Speakers (R7 Mic)", .flow = os::DataFlow::Render});
    auto bridge = makeBridge();
    bridge->initializeMonitorDevice();
    QCoreApplication::processEvents();

    const QString device = QStringLiteral("R7 Mic");
    const double rates[] = {44100, 48000, 96000};
    std::mt19937 random(38);
    bool connected = false;
    int reports = 0;
    int writes = 0;
    for (const bool endConnected : {true, false}) {
        SCOPED_TRACE(endConnected ? "ends connected" : "ends disconnected");
        for (const auto until = Clock::now() + std::chrono::milliseconds(1500); Clock::now() < until;) {
            if (random() % 3 == 0) {
                connected = !connected;
                emit m_hotplug->deviceConnected({{"name", device}}, connected);
                ++reports;
            } else {
                bridge->SetDeviceSampleRateAsync(device, rates[random() % 3]);
                ++writes;
            }
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(random() % 20));
        }
        if (connected != endConnected) {
            connected = endConnected;
            emit m_hotplug->deviceConnected({{"name", device}}, connected);
        }
        settle();
        const std::size_t streams = connected ? 2 : 0; // the microphone and the monitor output
        EXPECT_TRUE(eventually([&] { return m_world->openStreams() == streams; }));
        EXPECT_FALSE(eventually([&] { return m_world->openStreams() != streams; }, 300));
    }
    EXPECT_GT(reports, 20);
    EXPECT_GT(writes, 40);
}

} // namespace
