#include "app/NetworkStatusMonitor.h"

#include <QDebug>
#include <QNetworkAccessManager>
#include <QNetworkInterface>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPointer>

namespace {
// A large public site that answers HEAD over plain HTTP.
const QUrl kDefaultProbeUrl(QStringLiteral("http://www.bing.com/"));
} // namespace

NetworkStatusMonitor::NetworkStatusMonitor(QNetworkAccessManager *access, QObject *parent)
    : QObject(parent)
    , m_access(access)
    , m_probeUrl(kDefaultProbeUrl)
    , m_interfaceCheck(&NetworkStatusMonitor::hasActiveInterface)
{
    m_timer.setSingleShot(false);
    connect(&m_timer, &QTimer::timeout, this, &NetworkStatusMonitor::checkNetworkStatus);
}

bool NetworkStatusMonitor::hasActiveInterface()
{
    const auto interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface &iface : interfaces) {
        const auto flags = iface.flags();
        if (flags.testFlag(QNetworkInterface::IsUp) && flags.testFlag(QNetworkInterface::IsRunning)
            && !flags.testFlag(QNetworkInterface::IsLoopBack)) {
            return true;
        }
    }
    return false;
}

void NetworkStatusMonitor::setOnline(bool online, const char *reason)
{
    if (m_isOnline == online)
        return;
    m_isOnline = online;
    qDebug().noquote() << QStringLiteral("Online status changed (%1):").arg(QLatin1String(reason)) << online;
    emit onlineStatusChanged(online);
}

void NetworkStatusMonitor::checkNetworkStatus()
{
    if (!m_interfaceCheck()) {
        setOnline(false, "no interface");
        return;
    }

    QNetworkRequest request(m_probeUrl);
    request.setTransferTimeout(kProbeTransferTimeoutMs);
    QNetworkReply *reply = m_access->head(request);
    // Each probe resolves on its own; overlapping probes cannot confuse
    // each other's guard timers.
    QPointer<QTimer> guard = new QTimer(this);
    guard->setSingleShot(true);

    connect(guard, &QTimer::timeout, this, [this, guard, reply] {
        guard->deleteLater();
        reply->abort();
        reply->deleteLater();
        setOnline(false, "timeout");
    });
    connect(reply, &QNetworkReply::errorOccurred, this, [this, guard, reply] {
        if (guard) {
            guard->stop();
            guard->deleteLater();
        }
        reply->deleteLater();
        setOnline(false, "HTTP error");
    });
    connect(reply, &QNetworkReply::finished, this, [this, guard, reply] {
        if (guard) {
            guard->stop();
            guard->deleteLater();
        }
        const bool online = reply->error() == QNetworkReply::NoError;
        reply->deleteLater();
        setOnline(online, "HTTP check");
    });
    guard->start(kProbeGuardMs);
}

void NetworkStatusMonitor::startNetworkMonitoring(int intervalMs)
{
    m_timer.start(intervalMs);
    qDebug() << "Network monitoring started with interval:" << intervalMs << "ms";
}

void NetworkStatusMonitor::stopNetworkMonitoring()
{
    m_timer.stop();
    qDebug() << "Network monitoring stopped";
}
