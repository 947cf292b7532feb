#pragma once

#include <QHash>
#include <QMutex>
#include <QNetworkReply>
#include <QObject>
#include <QVariant>
#include <QVariantMap>

#include <memory>
#include <unordered_map>

class QNetworkAccessManager;
class QNetworkRequest;
class NetworkStatusMonitor;

// The program's only HTTP client. Every request gets an id at once; its
// outcome arrives later through the signals carrying that id.
class NetworkManager : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isOnline READ isOnline NOTIFY onlineStatusChanged)
    Q_PROPERTY(qint64 firmwareMaxBytes READ firmwareMaxBytes CONSTANT)
    Q_PROPERTY(qint64 installerMaxBytes READ installerMaxBytes CONSTANT)
public:
    static NetworkManager *instance();

    // Tests create their own clients.
    explicit NetworkManager(QObject *parent = nullptr);
    ~NetworkManager() override;

    static constexpr int kDefaultTimeoutMs = 10000;
    static constexpr int kRequestWithMethodTimeoutMs = 30000;
    // The largest image any firmware upgrade road accepts.
    static constexpr qint64 kFirmwareMaxBytes = 16 * 1024 * 1024;
    static constexpr qint64 kInstallerMaxBytes = 512 * 1024 * 1024;
    static constexpr int kMaxDownloadRedirects = 5;
    qint64 firmwareMaxBytes() const { return kFirmwareMaxBytes; }
    qint64 installerMaxBytes() const { return kInstallerMaxBytes; }

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
    // The body goes to savePath as it arrives (through "<savePath>.part"),
    // refused past maxBytes, short of its Content-Length, with a final
    // status outside 2xx or with a 206 that no Range header asked for; a
    // refused or failed download leaves no file and an older file at
    // savePath untouched. Only https addresses are fetched, or the scheme
    // and host of VELORAN_SERVER_URL when it is set. A redirect is followed
    // only to the same scheme, host and port (default ports made explicit),
    // never back to an address already fetched, and at most
    // kMaxDownloadRedirects times in a row; the address rule holds at every hop.
    Q_INVOKABLE int downloadFile(const QString &url, const QString &savePath, const QVariantMap &headers = {},
                                 qint64 maxBytes = kFirmwareMaxBytes);
    Q_INVOKABLE bool isDownloadAddressAllowed(const QString &url) const;
    // The user's own cache folder for downloads (created on demand).
    Q_INVOKABLE static QString downloadFolder();
    // The path names a file directly in the download folder.
    Q_INVOKABLE static bool isInDownloadFolder(const QString &path);
    // Start-up: removes the downloads older than the newest of keep (all
    // when keep names none of them); the files of keep stay.
    Q_INVOKABLE void cleanDownloads(const QStringList &keep);
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
    struct Download;
    void onDownloadData(QNetworkReply *reply);
    // Moves what arrived into the file; empty, or why the download must stop.
    QString drain(QNetworkReply *reply, Download &download);
    void refuseDownload(QNetworkReply *reply, const QString &reason);
    // Queued, so that the caller has the id in hand when it arrives.
    void refuseLater(int id, const QString &reason);
    QString finishDownload(QNetworkReply *reply, Download &download);
    // Sends one hop of a download; the reply takes the download along.
    void fetch(const QNetworkRequest &request, int id, std::unique_ptr<Download> download);
    // Empty when the redirect may be followed (its address is then the last
    // hop), else why not.
    QString nextHop(Download &download, const QUrl &target) const;
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
    // GUI thread only, like the replies' signals.
    std::unordered_map<QNetworkReply *, std::unique_ptr<Download>> m_downloads;
};
