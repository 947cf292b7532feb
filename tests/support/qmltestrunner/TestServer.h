#pragma once

#include "TestHttpServer.h"

#include <QObject>
#include <QVariant>

// The local HTTP test server, handed to QML as the singleton TestServer of
// "VeloranTestSupport". The runner points VELORAN_SERVER_URL at it.
class TestServer : public QObject
{
    Q_OBJECT
public:
    explicit TestServer(QObject *parent = nullptr);

    bool listen() { return m_server.listen(); }

    Q_INVOKABLE QString url(const QString &path = QString()) const;
    // body: a text is sent as it is, an ArrayBuffer as its bytes, anything
    // else as its JSON. options: delayMs, stall, closeAbruptly, contentType,
    // chunkBytes + chunkPauseMs (the body in pieces with pauses),
    // dropAfterBytes (connection closed after that much body), omitLength
    // (no Content-Length; the connection closes after the body).
    Q_INVOKABLE void route(const QString &method, const QString &path, int status, const QVariant &body = {},
                           const QVariant &options = {});
    // Oldest first: {method, path, query, headers (names in lower case), body}.
    Q_INVOKABLE QVariantList requests() const;
    Q_INVOKABLE int requestCount(const QString &path) const;
    // Forgets every route and every request.
    Q_INVOKABLE void reset();
    // An address on a loopback port where nothing listens.
    Q_INVOKABLE QString closedPortUrl() const;

private:
    TestHttpServer m_server;
};
