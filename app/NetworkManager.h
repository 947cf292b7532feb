#pragma once

#include <QHash>
#include <QMutex>
#include <QNetworkReply>
#include <QObject>
#include <QVariant>
#include <QVariantMap>

class QNetworkAccessManager;
class QNetworkRequest;
class NetworkStatusMonitor;

// The program's only HTTP client. Every request gets an id at once; its
// outcome arrives later through the signals carrying that id.
class NetworkManager : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isOnline READ isOnline NOTIFY onlineStatusChanged)
public:
    static NetworkManager *instance();

    // Tests create their own clients.
    explicit NetworkManager(QObject *parent = nullptr);

    static constexpr int kDefaultTimeoutMs = 10000;
    static constexpr int kRequestWithMethodTimeoutMs = 30000;

    Q_INVOKABLE int get(const QString &url, const QVariantMap &headers = {});
    Q_INVOKABLE int post(const QString &url, const QVariantMap &data = {}, const QVariantMap &headers = {});
    // A list (or a JS array) is sent in its own order; a map sends its values
    // in key order.
    Q_INVOKABLE int postDataList(const QString &url, const QVariant &data = {}, const QVariantMap &headers = {});
    Q_INVOKABLE int put(const QString &url, const QVariantMap &data = {}, const QVariantMap &headers = {});
    Q_INVOKABLE int deleteResource(const QString &url, const QVariantMap &headers = {});
    Q_INVOKABLE int requestWithMethod(const QString &method, const QString &url, const QVariant &data = {},
                                      const QVariantMap &headers = {}, int timeoutMs = kRequestWithMethodTimeoutMs);
    Q_INVOKABLE int uploadFile(const QString &url, const QString &filePath, const QVariantMap &headers = {});
    Q_INVOKABLE int downloadFile(const QString &url, const QString &savePath, const QVariantMap &headers = {});
    Q_INVOKABLE void batchRequest(const QVariantList &requests);
    Q_INVOKABLE void setDefaultHeaders(const QVariantMap &headers);
    Q_INVOKABLE void setTimeout(int timeoutMs);
    Q_INVOKABLE void setRetryCount(int count);
    Q_INVOKABLE int getNextRequestId();
    // VELORAN_SERVER_URL, the server address that tests and demonstrations
    // put in place of the shipped one; empty when unset.
    Q_INVOKABLE QString serverUrlOverride() const;

    Q_INVOKABLE void checkNetworkStatus();
    Q_INVOKABLE void startNetworkMonitoring(int intervalMs = 5000);
    Q_INVOKABLE void stopNetworkMonitoring();
    bool isOnline() const;

    // Drops every pending request without telling its requester.
    void cancelAllRequests();

    QVariantMap defaultHeaders() const { return m_defaultHeaders; }
    int timeoutMs() const { return m_defaultTimeoutMs; }
    int retryCount() const { return m_retryCount; }
    int pendingCount();
    NetworkStatusMonitor *statusMonitor() const { return m_monitor; }

signals:
    void onlineStatusChanged(bool isOnline);
    void requestCompleted(int requestId, bool success, QVariantMap response);
    void requestError(int requestId, int errorCode, QString errorString);
    void requestProgress(int requestId, qint64 bytesReceived, qint64 bytesTotal);
    void uploadProgress(int requestId, qint64 bytesSent, qint64 bytesTotal);
    void downloadProgress(int requestId, qint64 bytesReceived, qint64 bytesTotal);
    void fileUploaded(int requestId, QString response);
    void fileDownloaded(int requestId, QString filePath);

private slots:
    void onRequestFinished();
    void onRequestError(QNetworkReply::NetworkError error);
    void onDownloadProgress(qint64 bytesReceived, qint64 bytesTotal);
    void onUploadProgress(qint64 bytesSent, qint64 bytesTotal);

private:
    int nextId();
    int pendingId(QNetworkReply *reply);
    void track(QNetworkReply *reply, int id, bool upload);
    QNetworkRequest buildRequest(const QString &url, const QVariantMap &headers, int timeoutMs,
                                 bool multipart) const;

    QNetworkAccessManager *m_access = nullptr;
    NetworkStatusMonitor *m_monitor = nullptr;
    QVariantMap m_defaultHeaders;
    int m_defaultTimeoutMs = kDefaultTimeoutMs;
    int m_retryCount = 3; // stored for the interface; nothing is retried

    // Signals are emitted only after m_mutex is released, so a receiver may
    // start or cancel requests from inside them.
    QMutex m_mutex;
    QHash<QNetworkReply *, int> m_pendingRequests; // guarded by m_mutex
    int m_requestCounter = 0;                      // guarded by m_mutex
};
