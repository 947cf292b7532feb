#include "app/NetworkManager.h"

#include "app/NetworkStatusMonitor.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHttpMultiPart>
#include <QJSValue>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QMutexLocker>
#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QSaveFile>

namespace {
const char *const kSavePathProperty = "savePath";

// QML hands JS values to QVariant parameters as QJSValue.
QVariant unwrapScriptValue(const QVariant &value)
{
    if (value.metaType() == QMetaType::fromType<QJSValue>())
        return value.value<QJSValue>().toVariant();
    return value;
}

QByteArray objectBody(const QVariant &data)
{
    return QJsonDocument(QJsonObject::fromVariantMap(unwrapScriptValue(data).toMap())).toJson(QJsonDocument::Indented);
}

QByteArray listBody(const QVariant &data)
{
    const QVariant value = unwrapScriptValue(data);
    QJsonArray array;
    if (value.metaType() == QMetaType::fromType<QVariantMap>()) {
        const QVariantMap map = value.toMap();
        for (auto it = map.cbegin(); it != map.cend(); ++it)
            array.append(QJsonValue::fromVariant(unwrapScriptValue(it.value())));
    } else if (value.canConvert<QVariantList>()) {
        array = QJsonArray::fromVariantList(value.toList());
    }
    return QJsonDocument(array).toJson(QJsonDocument::Indented);
}

QVariantMap responseMap(const QByteArray &body, QNetworkReply *reply)
{
    QVariantMap map;
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error == QJsonParseError::NoError && document.isObject()) {
        map = document.object().toVariantMap();
    } else if (parseError.error == QJsonParseError::NoError && document.isArray()) {
        map.insert(QStringLiteral("data"), document.array().toVariantList());
    } else {
        map.insert(QStringLiteral("error"), QStringLiteral("JSON parse error: ") + parseError.errorString());
        map.insert(QStringLiteral("raw_data"), QString::fromUtf8(body));
    }
    map.insert(QStringLiteral("status_code"), reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt());
    QVariantMap headers;
    for (const auto &pair : reply->rawHeaderPairs())
        headers.insert(QString::fromUtf8(pair.first), pair.second);
    map.insert(QStringLiteral("headers"), headers);
    return map;
}

QVariantMap failureMap(const QString &error, int errorCode)
{
    return {{QStringLiteral("error"), error}, {QStringLiteral("error_code"), errorCode}};
}

bool isConnectionLoss(QNetworkReply::NetworkError error)
{
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::TimeoutError:
    case QNetworkReply::NetworkSessionFailedError:
    case QNetworkReply::UnknownNetworkError:
        return true;
    default:
        return false;
    }
}

// The whole body or nothing: a half-written file would pass for a download.
bool writeWholeFile(const QString &path, const QByteArray &body)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(body) != body.size()) {
        file.cancelWriting();
        return false;
    }
    return file.commit();
}
} // namespace

NetworkManager *NetworkManager::instance()
{
    static NetworkManager *s_instance = new NetworkManager();
    return s_instance;
}

NetworkManager::NetworkManager(QObject *parent)
    : QObject(parent)
    , m_access(new QNetworkAccessManager(this))
    , m_defaultHeaders{{QStringLiteral("User-Agent"), QStringLiteral("Veloran Deck/1.0.0")},
                       {QStringLiteral("Accept"), QStringLiteral("application/json")},
                       {QStringLiteral("Content-Type"), QStringLiteral("application/json")}}
{
    m_monitor = new NetworkStatusMonitor(m_access, this);
    connect(m_monitor, &NetworkStatusMonitor::onlineStatusChanged, this, &NetworkManager::onlineStatusChanged);
    qDebug() << "NetworkManager initialized";
}

int NetworkManager::nextId()
{
    QMutexLocker lock(&m_mutex);
    return ++m_requestCounter;
}

int NetworkManager::pendingId(QNetworkReply *reply)
{
    QMutexLocker lock(&m_mutex);
    return m_pendingRequests.value(reply, -1);
}

int NetworkManager::pendingCount()
{
    QMutexLocker lock(&m_mutex);
    return int(m_pendingRequests.size());
}

QNetworkRequest NetworkManager::buildRequest(const QString &url, const QVariantMap &headers, int timeoutMs,
                                             bool multipart) const
{
    QNetworkRequest request(QUrl(url, QUrl::TolerantMode));
    auto apply = [&request, multipart](const QVariantMap &map) {
        for (auto it = map.cbegin(); it != map.cend(); ++it) {
            // The access manager writes the multipart type with its boundary
            // only when no content type is set.
            if (multipart && it.key().compare(QLatin1String("Content-Type"), Qt::CaseInsensitive) == 0)
                continue;
            request.setRawHeader(it.key().toUtf8(), it.value().toString().toUtf8());
        }
    };
    apply(m_defaultHeaders);
    apply(headers);
    request.setTransferTimeout(timeoutMs);
    return request;
}

void NetworkManager::track(QNetworkReply *reply, int id, bool upload)
{
    {
        QMutexLocker lock(&m_mutex);
        m_pendingRequests.insert(reply, id);
    }
    connect(reply, &QNetworkReply::finished, this, &NetworkManager::onRequestFinished);
    connect(reply, &QNetworkReply::errorOccurred, this, &NetworkManager::onRequestError);
    if (upload)
        connect(reply, &QNetworkReply::uploadProgress, this, &NetworkManager::onUploadProgress);
    else
        connect(reply, &QNetworkReply::downloadProgress, this, &NetworkManager::onDownloadProgress);
}

int NetworkManager::get(const QString &url, const QVariantMap &headers)
{
    return requestWithMethod(QStringLiteral("GET"), url, {}, headers, m_defaultTimeoutMs);
}

int NetworkManager::post(const QString &url, const QVariantMap &data, const QVariantMap &headers)
{
    return requestWithMethod(QStringLiteral("POST"), url, data, headers, m_defaultTimeoutMs);
}

int NetworkManager::postDataList(const QString &url, const QVariant &data, const QVariantMap &headers)
{
    return requestWithMethod(QStringLiteral("POST_LIST"), url, data, headers, m_defaultTimeoutMs);
}

int NetworkManager::put(const QString &url, const QVariantMap &data, const QVariantMap &headers)
{
    return requestWithMethod(QStringLiteral("PUT"), url, data, headers, m_defaultTimeoutMs);
}

int NetworkManager::deleteResource(const QString &url, const QVariantMap &headers)
{
    return requestWithMethod(QStringLiteral("DELETE"), url, {}, headers, m_defaultTimeoutMs);
}

int NetworkManager::requestWithMethod(const QString &method, const QString &url, const QVariant &data,
                                      const QVariantMap &headers, int timeoutMs)
{
    const int id = nextId();
    const QNetworkRequest request = buildRequest(url, headers, timeoutMs, false);
    const QString word = method.toUpper();
    QNetworkReply *reply = nullptr;
    if (word == QLatin1String("GET"))
        reply = m_access->get(request);
    else if (word == QLatin1String("POST"))
        reply = m_access->post(request, objectBody(data));
    else if (word == QLatin1String("POST_LIST"))
        reply = m_access->post(request, listBody(data));
    else if (word == QLatin1String("PUT"))
        reply = m_access->put(request, objectBody(data));
    else if (word == QLatin1String("DELETE"))
        reply = m_access->deleteResource(request);

    if (!reply) {
        qWarning() << "Failed to create request:" << method << url;
        emit requestError(id, -1, QStringLiteral("Failed to create network request"));
        return id;
    }
    track(reply, id, false);
    qDebug() << "Request" << id << "started:" << method << url;
    return id;
}

int NetworkManager::uploadFile(const QString &url, const QString &filePath, const QVariantMap &headers)
{
    const int id = nextId();
    if (!QFileInfo::exists(filePath)) {
        qWarning() << "File does not exist:" << filePath;
        emit requestError(id, -1, QStringLiteral("File does not exist: ") + filePath);
        return id;
    }
    auto *multiPart = new QHttpMultiPart(QHttpMultiPart::FormDataType);
    QHttpPart part;
    part.setHeader(QNetworkRequest::ContentDispositionHeader,
                   QStringLiteral("form-data; name=\"file\"; filename=\"%1\"").arg(QFileInfo(filePath).fileName()));
    part.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/octet-stream"));
    auto *file = new QFile(filePath, multiPart);
    if (!file->open(QIODevice::ReadOnly)) {
        qWarning() << "Cannot open file:" << filePath;
        delete multiPart;
        emit requestError(id, -1, QStringLiteral("Cannot open file: ") + filePath);
        return id;
    }
    part.setBodyDevice(file);
    multiPart->append(part);

    QNetworkReply *reply = m_access->post(buildRequest(url, headers, m_defaultTimeoutMs, true), multiPart);
    multiPart->setParent(reply);
    track(reply, id, true);
    qDebug() << "File upload" << id << "started:" << filePath << "->" << url;
    return id;
}

int NetworkManager::downloadFile(const QString &url, const QString &savePath, const QVariantMap &headers)
{
    const int id = nextId();
    QNetworkReply *reply = m_access->get(buildRequest(url, headers, m_defaultTimeoutMs, false));
    reply->setProperty(kSavePathProperty, savePath);
    track(reply, id, false);
    qDebug() << "File download" << id << "started:" << url << "->" << savePath;
    return id;
}

void NetworkManager::batchRequest(const QVariantList &requests)
{
    for (const QVariant &element : requests) {
        const QVariantMap entry = unwrapScriptValue(element).toMap();
        const QString url = entry.value(QStringLiteral("url")).toString();
        if (url.isEmpty())
            continue;
        requestWithMethod(entry.value(QStringLiteral("method"), QStringLiteral("GET")).toString(), url,
                          entry.value(QStringLiteral("data")), entry.value(QStringLiteral("headers")).toMap(),
                          entry.value(QStringLiteral("timeout"), kRequestWithMethodTimeoutMs).toInt());
    }
}

void NetworkManager::setDefaultHeaders(const QVariantMap &headers)
{
    m_defaultHeaders = headers;
    qDebug() << "Default headers updated:" << headers;
}

void NetworkManager::setTimeout(int timeoutMs)
{
    m_defaultTimeoutMs = timeoutMs;
    qDebug() << "Default timeout set to:" << timeoutMs << "ms";
}

void NetworkManager::setRetryCount(int count)
{
    m_retryCount = count;
    qDebug() << "Retry count set to:" << count;
}

int NetworkManager::getNextRequestId()
{
    QMutexLocker lock(&m_mutex);
    return m_requestCounter;
}

QString NetworkManager::serverUrlOverride() const
{
    return qEnvironmentVariable("VELORAN_SERVER_URL");
}

void NetworkManager::onRequestFinished()
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (!reply)
        return;
    reply->deleteLater();

    int id = -1;
    {
        QMutexLocker lock(&m_mutex);
        id = m_pendingRequests.value(reply, -1);
        m_pendingRequests.remove(reply);
    }
    if (id == -1)
        return;

    if (reply->error() != QNetworkReply::NoError) {
        qWarning() << "Request" << id << "failed:" << reply->errorString();
        emit requestCompleted(id, false, failureMap(reply->errorString(), int(reply->error())));
        return;
    }

    const QByteArray body = reply->readAll();
    const QVariantMap map = responseMap(body, reply);
    const QString savePath = reply->property(kSavePathProperty).toString();
    if (!savePath.isEmpty()) {
        if (!writeWholeFile(savePath, body)) {
            const QString error = QStringLiteral("Cannot write file: ") + savePath;
            qWarning() << "Request" << id << "failed:" << error;
            emit requestError(id, -1, error);
            emit requestCompleted(id, false, failureMap(error, -1));
            return;
        }
        emit fileDownloaded(id, savePath);
        qDebug() << "File downloaded:" << savePath;
    }
    qDebug() << "Request" << id << "completed successfully";
    emit requestCompleted(id, true, map);
}

void NetworkManager::onRequestError(QNetworkReply::NetworkError error)
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (!reply)
        return;
    const int id = pendingId(reply);
    qWarning() << "Request" << id << "error:" << int(error) << reply->errorString();
    emit requestError(id, int(error), reply->errorString());
    // Every download carries the property, even with an empty path.
    if (reply->property(kSavePathProperty).isValid() && isConnectionLoss(error)) {
        qWarning() << "Network disconnection detected from download error:" << int(error);
        emit requestError(id, int(error), QStringLiteral("Network disconnection"));
    }
}

void NetworkManager::onDownloadProgress(qint64 bytesReceived, qint64 bytesTotal)
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    emit downloadProgress(pendingId(reply), bytesReceived, bytesTotal);
}

void NetworkManager::onUploadProgress(qint64 bytesSent, qint64 bytesTotal)
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    emit uploadProgress(pendingId(reply), bytesSent, bytesTotal);
}

void NetworkManager::cancelAllRequests()
{
    QList<QNetworkReply *> replies;
    {
        QMutexLocker lock(&m_mutex);
        replies = m_pendingRequests.keys();
        m_pendingRequests.clear();
    }
    for (QNetworkReply *reply : std::as_const(replies)) {
        disconnect(reply, nullptr, this, nullptr);
        if (reply->isRunning())
            reply->abort();
        reply->deleteLater();
    }
    qInfo() << "所有网络请求已取消，数量:" << replies.size();
}

void NetworkManager::checkNetworkStatus()
{
    m_monitor->checkNetworkStatus();
}

void NetworkManager::startNetworkMonitoring(int intervalMs)
{
    m_monitor->startNetworkMonitoring(intervalMs);
}

void NetworkManager::stopNetworkMonitoring()
{
    m_monitor->stopNetworkMonitoring();
}

bool NetworkManager::isOnline() const
{
    return m_monitor->isOnline();
}
