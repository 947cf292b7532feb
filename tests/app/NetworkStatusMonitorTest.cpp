#include "TestHttpServer.h"
#include "app/NetworkManager.h"
#include "app/NetworkStatusMonitor.h"

#include <QEventLoop>
#include <QSignalSpy>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

using Response = TestHttpServer::Response;

void spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

class NetworkStatusMonitorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_server.listen());
        m_server.route("HEAD", "/probe", Response::text("", 200));
        m_monitor = m_client.statusMonitor();
        m_monitor->setProbeUrl(m_server.url("/probe"));
        m_monitor->setInterfaceCheck([this] { return m_interfaceUp; });
    }

    // Runs one check and waits until its probe has reached the server and
    // had time to resolve.
    void checkAndSettle()
    {
        const int before = m_server.requestCount();
        m_client.checkNetworkStatus();
        ASSERT_TRUE(m_server.waitForRequests(before + 1));
        spin(100);
    }

    TestHttpServer m_server;
    NetworkManager m_client;
    NetworkStatusMonitor *m_monitor = nullptr;
    bool m_interfaceUp = true;
};

TEST_F(NetworkStatusMonitorTest, NoInterfaceMeansOfflineWithoutAnyRequest)
{
    m_interfaceUp = false;
    QSignalSpy changes(&m_client, &NetworkManager::onlineStatusChanged);
    m_client.checkNetworkStatus();
    spin(100);
    EXPECT_EQ(m_server.requestCount(), 0);
    EXPECT_EQ(changes.count(), 0); // already offline
    EXPECT_FALSE(m_client.isOnline());
}

TEST_F(NetworkStatusMonitorTest, ProbeAnswersDecideTheStateAndOnlyChangesAreSignalled)
{
    QSignalSpy changes(&m_client, &NetworkManager::onlineStatusChanged);
    m_client.checkNetworkStatus();
    ASSERT_TRUE(changes.wait(10000));
    ASSERT_EQ(changes.count(), 1);
    EXPECT_TRUE(changes.at(0).at(0).toBool());
    EXPECT_TRUE(m_client.isOnline());
    EXPECT_TRUE(m_client.property("isOnline").toBool());
    const auto probe = m_server.requests().at(0);
    EXPECT_EQ(probe.method, "HEAD");
    EXPECT_NE(probe.header("User-Agent"), "Veloran Deck/1.0.0"); // no default headers
    EXPECT_EQ(m_client.getNextRequestId(), 0);                    // and no request id

    checkAndSettle();
    EXPECT_EQ(changes.count(), 1);

    m_server.route("HEAD", "/probe", Response::text("", 404));
    m_client.checkNetworkStatus();
    ASSERT_TRUE(changes.wait(10000));
    ASSERT_EQ(changes.count(), 2);
    EXPECT_FALSE(changes.at(1).at(0).toBool());
    EXPECT_FALSE(m_client.isOnline());

    m_server.route("HEAD", "/probe", Response::text("", 200));
    m_client.checkNetworkStatus();
    ASSERT_TRUE(changes.wait(10000));
    m_interfaceUp = false;
    const int requestsBefore = m_server.requestCount();
    m_client.checkNetworkStatus();
    ASSERT_EQ(changes.count(), 4); // immediate: no probe needed
    EXPECT_FALSE(changes.at(3).at(0).toBool());
    spin(50);
    EXPECT_EQ(m_server.requestCount(), requestsBefore);
}

TEST_F(NetworkStatusMonitorTest, UnansweredOrRefusedProbeEndsOffline)
{
    QSignalSpy changes(&m_client, &NetworkManager::onlineStatusChanged);
    m_client.checkNetworkStatus();
    ASSERT_TRUE(changes.wait(10000));

    Response stall;
    stall.stall = true;
    m_server.route("HEAD", "/probe", stall);
    m_client.checkNetworkStatus();
    ASSERT_TRUE(changes.wait(15000)); // the probe's own time-outs end it
    EXPECT_FALSE(changes.last().at(0).toBool());

    m_server.route("HEAD", "/probe", Response::text("", 200));
    m_client.checkNetworkStatus();
    ASSERT_TRUE(changes.wait(10000));
    m_monitor->setProbeUrl(QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(TestHttpServer::closedPort())));
    m_client.checkNetworkStatus();
    ASSERT_TRUE(changes.wait(10000));
    EXPECT_FALSE(changes.last().at(0).toBool());
    EXPECT_EQ(changes.count(), 4);
}

TEST_F(NetworkStatusMonitorTest, MonitoringRepeatsChecksUntilStopped)
{
    m_client.startNetworkMonitoring();
    EXPECT_TRUE(m_monitor->isMonitoring());
    EXPECT_EQ(m_monitor->intervalMs(), 5000);
    EXPECT_EQ(m_server.requestCount(), 0); // the first check comes one interval later

    m_client.startNetworkMonitoring(20);
    EXPECT_EQ(m_monitor->intervalMs(), 20);
    ASSERT_TRUE(m_server.waitForRequests(3));
    m_client.stopNetworkMonitoring();
    EXPECT_FALSE(m_monitor->isMonitoring());
    spin(100);
    const int settled = m_server.requestCount();
    spin(200);
    EXPECT_EQ(m_server.requestCount(), settled);
    EXPECT_TRUE(m_client.isOnline());
}

} // namespace
