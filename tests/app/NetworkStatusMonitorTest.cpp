#include "TestHttpServer.h"
#include "app/NetworkManager.h"
#include "app/NetworkStatusMonitor.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

using Response = TestHttpServer::Response;

class NetworkStatusMonitorTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_server.listen());
        m_server.route("HEAD", "/probe", Response::text("", 200));
        m_monitor = m_client.statusMonitor();
        m_monitor->setProbeUrl(m_server.url("/probe"));
        m_monitor->setInterfaceCheck([this] {
            ++m_checks;
            return m_interfaceUp;
        });
    }

    // Runs one check and waits until its probe has reached the server and
    // had time to resolve.
    void checkAndSettle()
    {
        const int before = m_server.requestCount();
        m_client.checkNetworkStatus();
        ASSERT_TRUE(m_server.waitForRequests(before + 1));
        TestHttpServer::spin(100);
    }

    TestHttpServer m_server;
    NetworkManager m_client;
    NetworkStatusMonitor *m_monitor = nullptr;
    bool m_interfaceUp = true;
    int m_checks = 0;
};

TEST_F(NetworkStatusMonitorTest, NoInterfaceMeansOfflineWithoutAnyRequest)
{
    m_interfaceUp = false;
    QSignalSpy changes(&m_client, &NetworkManager::onlineStatusChanged);
    m_client.checkNetworkStatus();
    TestHttpServer::spin(100);
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
    TestHttpServer::spin(50);
    EXPECT_EQ(m_server.requestCount(), requestsBefore);
}

// Notes the transfer time-out of every request it creates.
class RecordingAccess : public QNetworkAccessManager
{
public:
    QList<int> transferTimeoutsMs;

protected:
    QNetworkReply *createRequest(Operation op, const QNetworkRequest &request, QIODevice *data) override
    {
        transferTimeoutsMs.append(request.transferTimeout());
        return QNetworkAccessManager::createRequest(op, request, data);
    }
};

TEST_F(NetworkStatusMonitorTest, UnansweredOrRefusedProbeEndsOffline)
{
    RecordingAccess access;
    NetworkStatusMonitor monitor(&access);
    monitor.setProbeUrl(m_server.url("/probe"));
    monitor.setInterfaceCheck([] { return true; });
    QSignalSpy changes(&monitor, &NetworkStatusMonitor::onlineStatusChanged);
    monitor.checkNetworkStatus();
    ASSERT_TRUE(changes.wait(10000));

    // A stalled probe is bounded twice: 2,000 ms for the transfer, and a
    // 3,000 ms guard of its own. The guard is the clock here: fired at once,
    // it ends the probe offline.
    Response stall;
    stall.stall = true;
    m_server.route("HEAD", "/probe", stall);
    monitor.checkNetworkStatus();
    ASSERT_EQ(access.transferTimeoutsMs.size(), 2);
    EXPECT_EQ(access.transferTimeoutsMs.last(), 2000);
    QList<QTimer *> guards;
    for (QTimer *timer : monitor.findChildren<QTimer *>()) {
        if (timer->isActive())
            guards.append(timer);
    }
    ASSERT_EQ(guards.size(), 1);
    EXPECT_TRUE(guards[0]->isSingleShot());
    EXPECT_EQ(guards[0]->interval(), 3000);
    guards[0]->start(0);
    ASSERT_TRUE(changes.wait(1000));
    EXPECT_FALSE(changes.last().at(0).toBool());

    m_server.route("HEAD", "/probe", Response::text("", 200));
    monitor.checkNetworkStatus();
    ASSERT_TRUE(changes.wait(10000));
    monitor.setProbeUrl(QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(TestHttpServer::closedPort())));
    monitor.checkNetworkStatus();
    ASSERT_TRUE(changes.wait(10000));
    EXPECT_FALSE(changes.last().at(0).toBool());
    EXPECT_EQ(changes.count(), 4);
}

TEST_F(NetworkStatusMonitorTest, MonitoringRepeatsChecksUntilStopped)
{
    m_client.startNetworkMonitoring();
    EXPECT_TRUE(m_monitor->isMonitoring());
    EXPECT_EQ(m_monitor->intervalMs(), 5000);
    EXPECT_EQ(m_checks, 0); // the first check comes one interval later

    m_client.startNetworkMonitoring(20);
    EXPECT_EQ(m_monitor->intervalMs(), 20);
    ASSERT_TRUE(m_server.waitForRequests(3));
    m_client.stopNetworkMonitoring();
    EXPECT_FALSE(m_monitor->isMonitoring());
    TestHttpServer::spin(100);
    const int settled = m_server.requestCount();
    TestHttpServer::spin(200);
    EXPECT_EQ(m_server.requestCount(), settled);
    EXPECT_TRUE(m_client.isOnline());
}

} // namespace
