#include "TestHttpServer.h"

#include <memory>

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QHostAddress>
#include <QTcpSocket>
#include <QTimer>

namespace {
QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200: return "OK";
    case 201: return "Created";
    case 204: return "No Content";
    case 301: return "Moved Permanently";
    case 302: return "Found";
    case 400: return "Bad Request";
    case 401: return "Unauthorized";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 413: return "Content Too Large";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 501: return "Not Implemented";
    case 503: return "Service Unavailable";
    default: return "Status";
    }
}

// The value of `key=` inside a header such as Content-Disposition, with or
// without quotes.
QByteArray headerParameter(const QByteArray &header, const QByteArray &key)
{
    const QList<QByteArray> items = header.split(';');
    for (const QByteArray &raw : items) {
        const QByteArray item = raw.trimmed();
        if (!item.toLower().startsWith(key.toLower() + '='))
            continue;
        QByteArray value = item.mid(key.size() + 1).trimmed();
        if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
            value = value.mid(1, value.size() - 2);
        return value;
    }
    return {};
}
} // namespace

TestHttpServer::Response TestHttpServer::Response::json(const QByteArray &body, int status)
{
    Response response;
    response.status = status;
    response.body = body;
    return response;
}

TestHttpServer::Response TestHttpServer::Response::text(const QByteArray &body, int status)
{
    Response response = json(body, status);
    response.contentType = "text/plain; charset=utf-8";
    return response;
}

TestHttpServer::TestHttpServer(QObject *parent)
    : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &TestHttpServer::onNewConnection);
}

TestHttpServer::~TestHttpServer()
{
    m_server.close();
    const auto sockets = m_connections.keys();
    for (QTcpSocket *socket : sockets) {
        socket->disconnect(this);
        socket->abort();
        delete socket;
    }
}

bool TestHttpServer::listen()
{
    return m_server.listen(QHostAddress::LocalHost, 0);
}

quint16 TestHttpServer::port() const
{
    return m_server.serverPort();
}

QUrl TestHttpServer::url(const QString &pathAndQuery) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(port()).arg(pathAndQuery));
}

void TestHttpServer::route(const QByteArray &method, const QString &path, const Response &response)
{
    route(method, path, [response](const Request &) { return response; });
}

void TestHttpServer::route(const QByteArray &method, const QString &path, Handler handler)
{
    m_routes.insert({method.toUpper(), path}, std::move(handler));
}

bool TestHttpServer::waitForRequests(int count, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (requestCount() < count && !deadline.hasExpired())
        spin(10);
    return requestCount() >= count;
}

void TestHttpServer::spin(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

quint16 TestHttpServer::closedPort()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0))
        return 1; // nothing runs on the reserved tcpmux port either
    const quint16 port = probe.serverPort();
    probe.close();
    return port;
}

QList<TestHttpServer::Part> TestHttpServer::parseMultipart(const QByteArray &contentType, const QByteArray &body)
{
    QList<Part> parts;
    const QByteArray boundary = headerParameter(contentType, "boundary");
    if (boundary.isEmpty())
        return parts;
    const QByteArray delimiter = "--" + boundary;
    qsizetype pos = body.indexOf(delimiter);
    while (pos >= 0) {
        qsizetype start = pos + delimiter.size();
        if (body.mid(start, 2) == "--")
            break; // closing delimiter
        if (body.mid(start, 2) != "\r\n")
            break;
        start += 2;
        const qsizetype next = body.indexOf("\r\n" + delimiter, start);
        if (next < 0)
            break;
        const QByteArray content = body.mid(start, next - start);
        const qsizetype headerEnd = content.indexOf("\r\n\r\n");
        if (headerEnd < 0)
            break;
        Part part;
        const QList<QByteArray> lines = content.left(headerEnd).split('\n');
        for (const QByteArray &rawLine : lines) {
            const QByteArray line = rawLine.trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon <= 0)
                continue;
            const QByteArray name = line.left(colon).trimmed().toLower();
            const QByteArray value = line.mid(colon + 1).trimmed();
            if (name == "content-disposition") {
                part.name = headerParameter(value, "name");
                part.fileName = headerParameter(value, "filename");
            } else if (name == "content-type") {
                part.contentType = value;
            }
        }
        part.body = content.mid(headerEnd + 4);
        parts.append(part);
        pos = next + 2;
    }
    return parts;
}

void TestHttpServer::onNewConnection()
{
    while (QTcpSocket *socket = m_server.nextPendingConnection()) {
        m_connections.insert(socket, {});
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_connections.remove(socket);
            socket->deleteLater();
        });
    }
}

void TestHttpServer::onReadyRead(QTcpSocket *socket)
{
    auto it = m_connections.find(socket);
    if (it == m_connections.end())
        return;
    it->buffer.append(socket->readAll());

    auto refuse = [socket](int status) {
        socket->write("HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonPhrase(status)
                      + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        socket->disconnectFromHost();
    };

    for (;;) {
        // An abrupt close drops the connection (and its buffer) inside
        // answer(), so look it up afresh for every request.
        it = m_connections.find(socket);
        if (it == m_connections.end())
            return;
        QByteArray &buffer = it->buffer;
        const qsizetype headerEnd = buffer.indexOf("\r\n\r\n");
        if (headerEnd < 0) {
            if (buffer.size() > kMaxHeaderBytes) {
                buffer.clear();
                refuse(431);
            }
            return;
        }
        const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
        const QList<QByteArray> requestLine = lines.value(0).trimmed().split(' ');
        if (requestLine.size() != 3 || !requestLine.at(2).startsWith("HTTP/1.")) {
            buffer.clear();
            refuse(400);
            return;
        }
        Request request;
        request.method = requestLine.at(0);
        const QUrl target(QString::fromUtf8(requestLine.at(1)));
        request.path = target.path();
        request.query = QUrlQuery(target);
        for (qsizetype i = 1; i < lines.size(); ++i) {
            const QByteArray line = lines.at(i).trimmed();
            const qsizetype colon = line.indexOf(':');
            if (colon > 0)
                request.headers.insert(line.left(colon).trimmed().toLower(), line.mid(colon + 1).trimmed());
        }
        if (request.header("transfer-encoding").toLower().contains("chunked")) {
            buffer.clear();
            refuse(501);
            return;
        }
        qint64 length = 0;
        if (request.headers.contains("content-length")) {
            bool ok = false;
            length = request.header("content-length").toLongLong(&ok);
            if (!ok || length < 0 || length > kMaxBodyBytes) {
                buffer.clear();
                refuse(413);
                return;
            }
        }
        const qsizetype bodyStart = headerEnd + 4;
        if (buffer.size() - bodyStart < length)
            return; // wait for the rest of the body
        request.body = buffer.mid(bodyStart, length);
        buffer.remove(0, bodyStart + length);
        const QByteArray contentType = request.header("content-type");
        if (contentType.toLower().startsWith("multipart/"))
            request.parts = parseMultipart(contentType, request.body);

        const bool keepAlive = requestLine.at(2) == "HTTP/1.1" && request.header("connection").toLower() != "close";
        m_requests.append(request);
        emit requestReceived(request);
        answer(socket, request, dispatch(request), keepAlive);
    }
}

TestHttpServer::Response TestHttpServer::dispatch(const Request &request) const
{
    auto it = m_routes.constFind({request.method.toUpper(), request.path});
    if (it == m_routes.cend())
        it = m_routes.constFind({QByteArray("*"), request.path});
    if (it == m_routes.cend())
        return Response::text("not found", 404);
    return (*it)(request);
}

void TestHttpServer::answer(QTcpSocket *socket, const Request &request, const Response &response, bool keepAlive)
{
    // Without a length only the closed connection tells where the body ends.
    keepAlive = keepAlive && !response.omitLength;
    if (response.stall)
        return;
    if (response.delayMs > 0) {
        Response now = response;
        now.delayMs = 0;
        QPointer<QTcpSocket> guarded(socket);
        QTimer::singleShot(response.delayMs, this, [this, guarded, request, now, keepAlive] {
            if (guarded)
                answer(guarded, request, now, keepAlive);
        });
        return;
    }
    if (response.closeAbruptly) {
        socket->abort();
        return;
    }
    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + reasonPhrase(response.status) + "\r\n";
    if (!response.contentType.isEmpty())
        head += "Content-Type: " + response.contentType + "\r\n";
    if (!response.omitLength)
        head += "Content-Length: "
            + QByteArray::number(response.generatedBytes > 0 ? response.generatedBytes : response.body.size()) + "\r\n";
    for (const auto &header : response.headers)
        head += header.first + ": " + header.second + "\r\n";
    head += keepAlive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
    socket->write(head);
    if (request.method == "HEAD") {
        if (!keepAlive)
            socket->disconnectFromHost();
        return;
    }
    if (response.generatedBytes > 0) {
        writeGenerated(socket, response.generatedBytes, keepAlive);
        return;
    }
    writeBody(socket, response, 0, keepAlive);
}

void TestHttpServer::writeGenerated(QTcpSocket *socket, qint64 bytes, bool keepAlive)
{
    static const QByteArray block(256 * 1024, 'g');
    auto left = std::make_shared<qint64>(bytes);
    auto step = [socket, left, keepAlive] {
        while (*left > 0 && socket->bytesToWrite() < block.size()) {
            const qint64 piece = qMin<qint64>(*left, block.size());
            socket->write(block.constData(), piece);
            *left -= piece;
        }
        if (*left == 0 && !keepAlive && socket->state() == QAbstractSocket::ConnectedState)
            socket->disconnectFromHost();
    };
    connect(socket, &QTcpSocket::bytesWritten, socket, step);
    step();
}

void TestHttpServer::writeBody(QTcpSocket *socket, const Response &response, qint64 offset, bool keepAlive)
{
    const qint64 size = response.body.size();
    const qint64 end = response.dropAfterBytes >= 0 ? qMin(response.dropAfterBytes, size) : size;
    const qint64 piece = response.chunkBytes > 0 ? qMin<qint64>(response.chunkBytes, end - offset) : end - offset;
    socket->write(response.body.constData() + offset, piece);
    offset += piece;
    if (offset < end) {
        QPointer<QTcpSocket> guarded(socket);
        QTimer::singleShot(response.chunkPauseMs, this, [this, guarded, response, offset, keepAlive] {
            if (guarded)
                writeBody(guarded, response, offset, keepAlive);
        });
        return;
    }
    // A dropped transfer closes after what was written has left.
    if (!keepAlive || end < size)
        socket->disconnectFromHost();
}
