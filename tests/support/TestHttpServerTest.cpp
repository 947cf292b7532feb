#include "TestHttpServer.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTcpSocket>
#include <gtest/gtest.h>

namespace {

using Response = TestHttpServer::Response;

// Sends raw bytes and reads until the server closes or the expected bytes
// have arrived.
QByteArray exchange(TestHttpServer &server, const QByteArray &bytes, int expectedResponses = 1)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, server.port());
    if (!socket.waitForConnected(10000))
        return {};
    socket.write(bytes);
    QByteArray received;
    // The server lives on this thread: let its events run between reads.
    for (int i = 0; i < 400 && received.count("HTTP/1.1 ") < expectedResponses; ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        socket.waitForReadyRead(10);
        received += socket.readAll();
    }
    for (int i = 0; i < 10; ++i) { // trailing body bytes
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        socket.waitForReadyRead(10);
        received += socket.readAll();
    }
    return received;
}

class TestHttpServerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_server.listen());
        m_server.route("GET", "/hello", Response::text("hello"));
        m_server.route("HEAD", "/hello", Response::text("hello"));
    }
    TestHttpServer m_server;
};

TEST_F(TestHttpServerTest, AnswersRoutesKeepsConnectionsAndRecordsRequests)
{
    const QByteArray reply = exchange(m_server,
                                      "GET /hello?a=1 HTTP/1.1\r\nHost: x\r\nX-Test: yes\r\n\r\n"
                                      "POST /nowhere HTTP/1.1\r\nContent-Length: 3\r\n\r\nabc",
                                      2);
    EXPECT_TRUE(reply.startsWith("HTTP/1.1 200 OK\r\n")) << reply.toStdString();
    EXPECT_TRUE(reply.contains("\r\n\r\nhello"));
    EXPECT_TRUE(reply.contains("HTTP/1.1 404 Not Found"));
    ASSERT_EQ(m_server.requestCount(), 2);
    const auto first = m_server.requests().at(0);
    EXPECT_EQ(first.path, "/hello");
    EXPECT_EQ(first.query.queryItemValue("a"), "1");
    EXPECT_EQ(first.header("x-test"), "yes");
    EXPECT_EQ(m_server.requests().at(1).body, "abc");
}

TEST_F(TestHttpServerTest, HeadAnswersHeadersWithoutBody)
{
    const QByteArray reply = exchange(m_server, "HEAD /hello HTTP/1.1\r\nConnection: close\r\n\r\n");
    EXPECT_TRUE(reply.contains("Content-Length: 5"));
    EXPECT_TRUE(reply.endsWith("\r\n\r\n")) << reply.toStdString();
}

TEST_F(TestHttpServerTest, OversizedOrMalformedRequestsAreRefused)
{
    EXPECT_TRUE(exchange(m_server, "GET /hello HTTP/1.1\r\nX: " + QByteArray(TestHttpServer::kMaxHeaderBytes + 10, 'a'))
                    .startsWith("HTTP/1.1 431"));
    EXPECT_TRUE(exchange(m_server, "POST /hello HTTP/1.1\r\nContent-Length: -5\r\n\r\n").startsWith("HTTP/1.1 413"));
    EXPECT_TRUE(exchange(m_server, "POST /hello HTTP/1.1\r\nContent-Length: 99999999999\r\n\r\n")
                    .startsWith("HTTP/1.1 413"));
    EXPECT_TRUE(exchange(m_server, "garbage\r\n\r\n").startsWith("HTTP/1.1 400"));
    EXPECT_EQ(m_server.requestCount(), 0);
}

TEST_F(TestHttpServerTest, AbruptCloseDropsTheConnectionAndWhatFollowsOnIt)
{
    Response cut;
    cut.closeAbruptly = true;
    m_server.route("GET", "/cut", cut);
    const QByteArray reply = exchange(m_server, "GET /cut HTTP/1.1\r\n\r\nGET /hello HTTP/1.1\r\n\r\n");
    EXPECT_TRUE(reply.isEmpty()) << reply.toStdString();
    ASSERT_EQ(m_server.requestCount(), 1);
    EXPECT_EQ(m_server.requests().at(0).path, "/cut");
    EXPECT_TRUE(exchange(m_server, "GET /hello HTTP/1.1\r\n\r\n").startsWith("HTTP/1.1 200 OK"));
}

TEST(TestHttpServerMultipart, SplitsPartsAndToleratesTruncation)
{
    const QByteArray body = "--b1\r\nContent-Disposition: form-data; name=\"file\"; filename=\"a.bin\"\r\n"
                            "Content-Type: application/octet-stream\r\n\r\n\x01\x02\r\n--b1\r\n"
                            "Content-Disposition: form-data; name=\"note\"\r\n\r\nhi\r\n--b1--\r\n";
    const auto parts = TestHttpServer::parseMultipart("multipart/form-data; boundary=\"b1\"", body);
    ASSERT_EQ(parts.size(), 2);
    EXPECT_EQ(parts.at(0).name, "file");
    EXPECT_EQ(parts.at(0).fileName, "a.bin");
    EXPECT_EQ(parts.at(0).body, QByteArray("\x01\x02"));
    EXPECT_EQ(parts.at(1).name, "note");
    EXPECT_EQ(parts.at(1).body, "hi");
    for (int cut = 0; cut < body.size(); ++cut)
        EXPECT_LE(TestHttpServer::parseMultipart("multipart/form-data; boundary=b1", body.left(cut)).size(), 2);
    EXPECT_TRUE(TestHttpServer::parseMultipart("multipart/form-data", body).isEmpty());
}

} // namespace
