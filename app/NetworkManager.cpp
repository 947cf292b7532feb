#include "app/NetworkManager.h"

#include "app/NetworkStatusMonitor.h"
#include "bridge/DownloadFolder.h"

#include <QDateTime>
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
#include <QSet>
#include <QStandardPaths>
#include <QTimer>

#include <algorithm>
#include <filesystem>
#include <system_error>

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

// withBody false: a download's map, status and headers only.
QVariantMap responseMap(const QByteArray &body, QNetworkReply *reply, bool withBody)
{
    QVariantMap map;
    if (withBody) {
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

const char *const kPartSuffix = ".part";
constexpr qint64 kDownloadReadBufferBytes = 256 * 1024;

// The address as the server sees it: the default port made explicit, so
// that https://h and https://h:443 are one, and no fragment.
QUrl canonical(QUrl url)
{
    const int fallback = url.scheme() == QLatin1String("https") ? 443 : url.scheme() == QLatin1String("http") ? 80 : -1;
    url.setPort(url.port(fallback));
    return url.adjusted(QUrl::RemoveFragment);
}

bool sameOrigin(const QUrl &a, const QUrl &b)
{
    const QUrl x = canonical(a);
    const QUrl y = canonical(b);
    return x.scheme() == y.scheme() && x.host() == y.host() && x.port() == y.port();
}

// Where a redirect points; empty for any other reply, and for a 3xx that
// names no target.
QUrl redirectTarget(QNetworkReply *reply)
{
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    if (status < 300 || status > 399)
        return {};
    return reply->attribute(QNetworkRequest::RedirectionTargetAttribute).toUrl();
}
} // namespace

struct NetworkManager::Download {
    QFile file;
    QString target;
    qint64 maxBytes = 0;
    qint64 received = 0;
    // What the last response announced (-1: nothing). Each hop reports its
    // own total, at the latest as it ends, so a redirect's does not stay.
    qint64 announced = -1;
    QString refusal; // set when we aborted the reply ourselves
    QList<QUrl> hops; // every address fetched, the requested one first
};

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

NetworkManager::~NetworkManager()
{
    for (auto &entry : m_downloads)
        entry.second->file.remove();
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

int NetworkManager::downloadFile(const QString &url, const QString &savePath, const QVariantMap &headers,
                                 qint64 maxBytes)
{
    const int id = nextId();
    if (!isDownloadAddressAllowed(url)) {
        qWarning() << "Download address refused:" << url;
        refuseLater(id, QStringLiteral("Download address refused: ") + url);
        return id;
    }
    auto download = std::make_unique<Download>();
    download->target = savePath;
    download->maxBytes = maxBytes;
    download->file.setFileName(savePath + QLatin1String(kPartSuffix));
    QDir().mkpath(QFileInfo(savePath).absolutePath());
    if (savePath.isEmpty() || !download->file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        qWarning() << "Cannot write file:" << savePath;
        refuseLater(id, QStringLiteral("Cannot write file: ") + savePath);
        return id;
    }

    QNetworkRequest request = buildRequest(url, headers, m_defaultTimeoutMs, false);
    // The bytes as sent, so that they can be held against Content-Length.
    request.setRawHeader("Accept-Encoding", "identity");
    // Redirects are checked and followed here, hop by hop: Qt 6.4's verified
    // policy ends any chain of two or more with status 100.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    download->hops.append(request.url());
    fetch(request, id, std::move(download));
    qDebug() << "File download" << id << "started:" << url << "->" << savePath;
    return id;
}

void NetworkManager::fetch(const QNetworkRequest &request, int id, std::unique_ptr<Download> download)
{
    QNetworkReply *reply = m_access->get(request);
    reply->setReadBufferSize(kDownloadReadBufferBytes);
    reply->setProperty(kSavePathProperty, download->target);
    m_downloads[reply] = std::move(download);
    track(reply, id, false);
    connect(reply, &QNetworkReply::readyRead, this, [this, reply] { onDownloadData(reply); });
    connect(reply, &QNetworkReply::downloadProgress, this, [this, reply](qint64, qint64 total) {
        const auto it = m_downloads.find(reply);
        if (it == m_downloads.end())
            return;
        if (total >= 0)
            it->second->announced = total;
        if (total > it->second->maxBytes)
            refuseDownload(reply, QStringLiteral("Download larger than %1 bytes").arg(it->second->maxBytes));
    });
}

QString NetworkManager::nextHop(Download &download, const QUrl &target) const
{
    QList<QUrl> &hops = download.hops;
    const QUrl next = hops.last().resolved(target);
    // Every hop stays on the origin of the first, so a redirect can neither
    // leave the allowed server nor reach another service on it.
    if (!isDownloadAddressAllowed(next.toString()) || !sameOrigin(next, hops.last()))
        return QStringLiteral("Redirect refused: ") + next.toString();
    if (std::any_of(hops.cbegin(), hops.cend(), [&next](const QUrl &hop) { return canonical(hop) == canonical(next); }))
        return QStringLiteral("Redirect loop: ") + next.toString();
    if (hops.size() > kMaxDownloadRedirects)
        return QStringLiteral("More than %1 redirects: ").arg(kMaxDownloadRedirects) + next.toString();
    hops.append(next);
    return {};
}

bool NetworkManager::isDownloadAddressAllowed(const QString &url) const
{
    const QUrl address(url, QUrl::StrictMode);
    if (!address.isValid() || address.host().isEmpty())
        return false;
    if (address.scheme() == QLatin1String("https"))
        return true;
    const QString override = serverUrlOverride();
    if (override.isEmpty())
        return false;
    const QUrl server(override);
    return address.scheme() == server.scheme() && address.host() == server.host();
}

QString NetworkManager::downloadFolder()
{
    return downloads::folder();
}

bool NetworkManager::isInDownloadFolder(const QString &path)
{
    return downloads::contains(path);
}

void NetworkManager::cleanDownloads(const QStringList &keep)
{
    const QDir folder(downloadFolder());
    if (folder.path().isEmpty())
        return;
    QSet<QString> kept;
    QDateTime newestKept;
    for (const QString &path : keep) {
        if (path.isEmpty() || !isInDownloadFolder(path))
            continue;
        const QFileInfo info(path);
        kept.insert(info.canonicalFilePath());
        if (!newestKept.isValid() || info.lastModified() > newestKept)
            newestKept = info.lastModified();
    }
    const QFileInfoList files = folder.entryInfoList(QDir::Files | QDir::Hidden | QDir::System);
    for (const QFileInfo &info : files) {
        if (kept.contains(info.canonicalFilePath()))
            continue;
        if (newestKept.isValid() && info.lastModified() >= newestKept)
            continue;
        if (QFile::remove(info.absoluteFilePath()))
            qDebug() << "Old download removed:" << info.absoluteFilePath();
    }
}

void NetworkManager::refuseLater(int id, const QString &reason)
{
    QTimer::singleShot(0, this, [this, id, reason] { emit requestError(id, -1, reason); });
}

void NetworkManager::onDownloadData(QNetworkReply *reply)
{
    const auto it = m_downloads.find(reply);
    if (it == m_downloads.end() || !it->second->refusal.isEmpty())
        return;
    if (!redirectTarget(reply).isEmpty()) {
        reply->skip(reply->bytesAvailable()); // a redirect's page is no part of the file
        return;
    }
    const QString failure = drain(reply, *it->second);
    if (!failure.isEmpty())
        refuseDownload(reply, failure);
}

QString NetworkManager::drain(QNetworkReply *reply, Download &download)
{
    while (reply->bytesAvailable() > 0) {
        const QByteArray piece = reply->read(kDownloadReadBufferBytes);
        if (download.received + piece.size() > download.maxBytes)
            return QStringLiteral("Download larger than %1 bytes").arg(download.maxBytes);
        if (download.file.write(piece) != piece.size())
            return QStringLiteral("Cannot write file: ") + download.target;
        download.received += piece.size();
    }
    return {};
}

void NetworkManager::refuseDownload(QNetworkReply *reply, const QString &reason)
{
    const auto it = m_downloads.find(reply);
    if (it == m_downloads.end() || !it->second->refusal.isEmpty())
        return;
    qWarning() << "Request" << pendingId(reply) << "refused:" << reason;
    it->second->refusal = reason;
    it->second->file.remove();
    reply->abort();
}

// Empty when the file is complete and in place, else why not.
QString NetworkManager::finishDownload(QNetworkReply *reply, Download &download)
{
    // Qt fails 4xx and 5xx itself; a 3xx without a target, or any other
    // status, would otherwise land its own body as the file, and so would a
    // part of the file that no range asked for.
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    const bool unaskedPart = status == 206 && !reply->request().hasRawHeader("Range");
    if (status < 200 || status > 299 || unaskedPart)
        return QStringLiteral("Download failed with HTTP status %1").arg(status);
    if (const QString failure = drain(reply, download); !failure.isEmpty())
        return failure;
    if (download.announced >= 0 && download.announced != download.received)
        return QStringLiteral("Download ended after %1 of %2 bytes").arg(download.received).arg(download.announced);
    if (!download.file.flush())
        return QStringLiteral("Cannot write file: ") + download.target;
    download.file.close();
    // One rename that replaces the old file, so that it stays whole until
    // the new one is complete in its place.
    std::error_code error;
    std::filesystem::rename(download.file.filesystemFileName(), QFile(download.target).filesystemFileName(), error);
    if (error)
        return QStringLiteral("Cannot write file: ") + download.target;
    return {};
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
    std::unique_ptr<Download> download;
    if (const auto it = m_downloads.find(reply); it != m_downloads.end()) {
        download = std::move(it->second);
        m_downloads.erase(it);
    }
    if (id == -1) {
        if (download)
            download->file.remove();
        return;
    }

    if (download && !download->refusal.isEmpty()) {
        emit requestCompleted(id, false, failureMap(download->refusal, -1));
        return;
    }
    if (reply->error() != QNetworkReply::NoError) {
        if (download)
            download->file.remove();
        qWarning() << "Request" << id << "failed:" << reply->errorString();
        emit requestCompleted(id, false, failureMap(reply->errorString(), int(reply->error())));
        return;
    }

    if (download) {
        const QUrl redirect = redirectTarget(reply);
        const QString failure = redirect.isEmpty() ? finishDownload(reply, *download) : nextHop(*download, redirect);
        if (!failure.isEmpty()) {
            download->file.remove();
            qWarning() << "Request" << id << "failed:" << failure;
            emit requestError(id, -1, failure);
            emit requestCompleted(id, false, failureMap(failure, -1));
            return;
        }
        if (!redirect.isEmpty()) {
            QNetworkRequest request = reply->request();
            request.setUrl(download->hops.last());
            fetch(request, id, std::move(download));
            return;
        }
        // The body is in the file: the reply map carries no copy of it.
        emit fileDownloaded(id, download->target);
        qDebug() << "File downloaded:" << download->target;
        qDebug() << "Request" << id << "completed successfully";
        emit requestCompleted(id, true, responseMap(QByteArray(), reply, false));
        return;
    }
    qDebug() << "Request" << id << "completed successfully";
    emit requestCompleted(id, true, responseMap(reply->readAll(), reply, true));
}

void NetworkManager::onRequestError(QNetworkReply::NetworkError error)
{
    auto *reply = qobject_cast<QNetworkReply *>(sender());
    if (!reply)
        return;
    const int id = pendingId(reply);
    if (const auto it = m_downloads.find(reply); it != m_downloads.end() && !it->second->refusal.isEmpty()) {
        emit requestError(id, -1, it->second->refusal);
        return;
    }
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
    // A redirect's page is no part of the progress.
    if (!reply || !redirectTarget(reply).isEmpty())
        return;
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
        if (const auto it = m_downloads.find(reply); it != m_downloads.end()) {
            it->second->file.remove();
            m_downloads.erase(it);
        }
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
