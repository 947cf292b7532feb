#include "TestServer.h"

#include <QJSValue>
#include <QJsonDocument>

namespace {
QVariant unwrap(const QVariant &value)
{
    if (value.metaType() == QMetaType::fromType<QJSValue>())
        return value.value<QJSValue>().toVariant();
    return value;
}
} // namespace

TestServer::TestServer(QObject *parent)
    : QObject(parent)
{
}

QString TestServer::url(const QString &path) const
{
    QString base = m_server.url(QStringLiteral("/")).toString();
    base.chop(1);
    return base + path;
}

void TestServer::route(const QString &method, const QString &path, int status, const QVariant &body,
                       const QVariant &options)
{
    const QVariant content = unwrap(body);
    const QVariantMap settings = unwrap(options).toMap();
    TestHttpServer::Response response;
    response.status = status;
    if (content.metaType() == QMetaType::fromType<QString>())
        response.body = content.toString().toUtf8();
    else if (content.metaType() == QMetaType::fromType<QByteArray>())
        response.body = content.toByteArray();
    else if (content.isValid())
        response.body = QJsonDocument::fromVariant(content).toJson(QJsonDocument::Compact);
    response.contentType = settings.value(QStringLiteral("contentType"), QStringLiteral("application/json"))
                               .toString()
                               .toUtf8();
    response.delayMs = settings.value(QStringLiteral("delayMs"), 0).toInt();
    response.stall = settings.value(QStringLiteral("stall"), false).toBool();
    response.closeAbruptly = settings.value(QStringLiteral("closeAbruptly"), false).toBool();
    response.chunkBytes = settings.value(QStringLiteral("chunkBytes"), 0).toInt();
    response.chunkPauseMs = settings.value(QStringLiteral("chunkPauseMs"), 0).toInt();
    response.dropAfterBytes = settings.value(QStringLiteral("dropAfterBytes"), -1).toLongLong();
    response.omitLength = settings.value(QStringLiteral("omitLength"), false).toBool();
    m_server.route(method.toUtf8(), path, response);
}

QVariantList TestServer::requests() const
{
    QVariantList list;
    for (const auto &request : m_server.requests()) {
        QVariantMap headers;
        for (auto it = request.headers.cbegin(); it != request.headers.cend(); ++it)
            headers.insert(QString::fromUtf8(it.key()), QString::fromUtf8(it.value()));
        list.append(QVariantMap{
            {QStringLiteral("method"), QString::fromUtf8(request.method)},
            {QStringLiteral("path"), request.path},
            {QStringLiteral("query"), request.query.toString()},
            {QStringLiteral("headers"), headers},
            {QStringLiteral("body"), QString::fromUtf8(request.body)},
        });
    }
    return list;
}

int TestServer::requestCount(const QString &path) const
{
    int count = 0;
    for (const auto &request : m_server.requests())
        count += request.path == path ? 1 : 0;
    return count;
}

void TestServer::reset()
{
    m_server.clearRoutes();
    m_server.clearRequests();
}

QString TestServer::closedPortUrl() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(TestHttpServer::closedPort());
}
