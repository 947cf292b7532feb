#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMap>
#include <QObject>
#include <QPair>
#include <QPointer>
#include <QString>
#include <QTcpServer>
#include <QUrl>
#include <QUrlQuery>

#include <functional>

class QTcpSocket;

// A small HTTP/1.1 server for tests, bound to 127.0.0.1 on a free port and
// served from the thread that owns it (the test's event loop). It answers
// from routes, records every request and can misbehave on purpose.
class TestHttpServer : public QObject
{
    Q_OBJECT
public:
    struct Part {
        QByteArray name;
        QByteArray fileName;
        QByteArray contentType;
        QByteArray body;
    };

    struct Request {
        QByteArray method;
        QString path;       // without the query
        QUrlQuery query;
        QHash<QByteArray, QByteArray> headers; // names in lower case
        QByteArray body;
        QList<Part> parts;  // multipart/form-data bodies, split

        QByteArray header(const QByteArray &name) const { return headers.value(name.toLower()); }
    };

    struct Response {
        int status = 200;
        QByteArray body;
        QByteArray contentType = "application/json";
        QList<QPair<QByteArray, QByteArray>> headers;
        int delayMs = 0;        // answer this much later
        bool stall = false;     // never answer; the connection stays open
        bool closeAbruptly = false; // drop the connection instead of answering
        int chunkBytes = 0;     // > 0: the body goes out in pieces of this size...
        int chunkPauseMs = 0;   // ...with this pause between them
        qint64 dropAfterBytes = -1; // >= 0: close the connection after this much body
        bool omitLength = false; // no Content-Length: the body ends when the connection closes
        // > 0: the body is this many bytes made on the fly and sent as the
        // connection drains, for bodies too large to hold (body is ignored).
        qint64 generatedBytes = 0;

        static Response json(const QByteArray &body, int status = 200);
        static Response text(const QByteArray &body, int status = 200);
    };

    using Handler = std::function<Response(const Request &)>;

    static constexpr qint64 kMaxHeaderBytes = 64 * 1024;
    static constexpr qint64 kMaxBodyBytes = 64 * 1024 * 1024;

    explicit TestHttpServer(QObject *parent = nullptr);
    ~TestHttpServer() override;

    bool listen();
    quint16 port() const;
    QUrl url(const QString &pathAndQuery = QStringLiteral("/")) const;

    // method "*" matches any method. An unrouted request gets 404.
    void route(const QByteArray &method, const QString &path, const Response &response);
    void route(const QByteArray &method, const QString &path, Handler handler);

    void clearRoutes() { m_routes.clear(); }

    QList<Request> requests() const { return m_requests; }
    int requestCount() const { return int(m_requests.size()); }
    void clearRequests() { m_requests.clear(); }
    // Waits (spinning the event loop) until count requests have arrived.
    bool waitForRequests(int count, int timeoutMs = 10000);

    // Runs the calling thread's event loop, which serves the server and the
    // clients under test, for this long.
    static void spin(int ms);

    // A loopback port with nothing listening on it, for refused connections.
    static quint16 closedPort();

    // Splits a multipart/form-data body; boundary as in its Content-Type.
    static QList<Part> parseMultipart(const QByteArray &contentType, const QByteArray &body);

signals:
    void requestReceived(const TestHttpServer::Request &request);

private:
    struct Connection {
        QByteArray buffer;
    };

    void onNewConnection();
    void onReadyRead(QTcpSocket *socket);
    void answer(QTcpSocket *socket, const Request &request, const Response &response, bool keepAlive);
    Response dispatch(const Request &request) const;
    // Writes the body from offset on, piece by piece as the response asks.
    void writeBody(QTcpSocket *socket, const Response &response, qint64 offset, bool keepAlive);
    void writeGenerated(QTcpSocket *socket, qint64 bytes, bool keepAlive);

    QTcpServer m_server;
    QHash<QTcpSocket *, Connection> m_connections;
    QMap<QPair<QByteArray, QString>, Handler> m_routes;
    QList<Request> m_requests;
};
