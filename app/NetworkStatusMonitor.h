#pragma once

#include <QObject>
#include <QTimer>
#include <QUrl>

#include <functional>

class QNetworkAccessManager;

// Whether the computer is online: an up, running, non-loopback interface and
// a HEAD probe that answers without error. Idle until a caller starts it.
class NetworkStatusMonitor : public QObject
{
    Q_OBJECT
public:
    static constexpr int kDefaultIntervalMs = 5000;
    static constexpr int kProbeTransferTimeoutMs = 2000;
    static constexpr int kProbeGuardMs = 3000;

    NetworkStatusMonitor(QNetworkAccessManager *access, QObject *parent = nullptr);

    bool isOnline() const { return m_isOnline; }
    bool isMonitoring() const { return m_timer.isActive(); }
    int intervalMs() const { return m_timer.interval(); }

    void checkNetworkStatus();
    void startNetworkMonitoring(int intervalMs = kDefaultIntervalMs);
    void stopNetworkMonitoring();

    // Tests aim the probe at a local server and decide what the interfaces say.
    void setProbeUrl(const QUrl &url) { m_probeUrl = url; }
    QUrl probeUrl() const { return m_probeUrl; }
    void setInterfaceCheck(std::function<bool()> check) { m_interfaceCheck = std::move(check); }

    static bool hasActiveInterface();

signals:
    void onlineStatusChanged(bool isOnline);

private:
    void setOnline(bool online, const char *reason);

    QNetworkAccessManager *m_access;
    QTimer m_timer;
    bool m_isOnline = false;
    QUrl m_probeUrl;
    std::function<bool()> m_interfaceCheck;
};
