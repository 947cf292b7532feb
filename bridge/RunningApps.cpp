#include "bridge/RunningApps.h"

#include "bridge/SystemBridge.h"
#include "threading/QtHandoff.h"
#include "platform/os/Apartment.h"
#include "platform/os/OsPlatform.h"

#include <QHash>
#include <QUrl>
#include <QVariantMap>

#include <utility>

namespace {

constexpr std::uint16_t kSimplifiedChinese = 0x0804;
constexpr std::uint16_t kTraditionalChinese = 0x0404;

// Grouping key of a record: its lower-cased display name, or, without one,
// its process id in a space no name shares.
using AppKey = std::pair<bool, QString>;

AppKey appKey(const QString &displayName, std::uint32_t processId)
{
    if (displayName.isEmpty())
        return {false, QString::number(processId)};
    return {true, displayName.toLower()};
}

bool skippedSessionName(const QString &name)
{
    return name == QLatin1String("Tarvo") || name == QLatin1String("Veloran Deck")
        || name.contains(QLatin1String("VeloranDeck")) || name.isEmpty()
        || name.toLower().contains(QLatin1String("unknown"));
}

} // namespace

QString chooseProductName(const std::vector<os::VersionStrings> &blocks)
{
    QString kept;
    // A Chinese block's text is returned at once; others are kept if none is.
    const auto take = [&kept](const std::wstring &text, std::uint16_t language) {
        if (text.empty())
            return false;
        if (language == kSimplifiedChinese || language == kTraditionalChinese) {
            kept = QString::fromStdWString(text);
            return true;
        }
        if (kept.isEmpty())
            kept = QString::fromStdWString(text);
        return false;
    };
    for (const os::VersionStrings &block : blocks) {
        if (take(block.productName, block.language))
            return kept;
        if ((kept.isEmpty() || block.language == kSimplifiedChinese) && take(block.fileDescription, block.language))
            return kept;
    }
    return kept;
}

QString readProductName(const QString &path)
{
    if (path.isEmpty())
        return {};
    QString native = path;
    native.replace(QLatin1Char('/'), QLatin1Char('\\'));
    std::vector<os::VersionStrings> blocks;
    if (FAILED(os::currentPlatform()->fileVersionStrings(native.toStdWString(), blocks)))
        return {};
    return chooseProductName(blocks);
}

QString sessionDisplayName(const AudioSessionInfo &session)
{
    const QString product = readProductName(QString::fromStdWString(session.exePath));
    return product.isEmpty() ? QString::fromStdWString(session.name) : product;
}

QVariantList getWindowsRunningApplicationsWithIcon()
{
    const std::vector<AudioSessionInfo> sessions =
        AudioRouterAPI::enumerateAudioSessions([](uint32_t, const std::wstring &) {}, [] {});

    QList<QString> displayNames;
    QHash<AppKey, std::uint32_t> chosen; // lowest process id per key
    for (const AudioSessionInfo &session : sessions) {
        const QString displayName = sessionDisplayName(session);
        displayNames.append(displayName);
        const AppKey key = appKey(displayName, session.processId);
        const auto it = chosen.constFind(key);
        if (it == chosen.constEnd() || session.processId < it.value())
            chosen.insert(key, session.processId);
    }

    QVariantList apps;
    for (std::size_t i = 0; i < sessions.size(); ++i) {
        const AudioSessionInfo &session = sessions[i];
        const QString &displayName = displayNames[qsizetype(i)];
        if (chosen.value(appKey(displayName, session.processId)) != session.processId)
            continue;
        if (skippedSessionName(QString::fromStdWString(session.name)))
            continue;
        // A name that still reads like a resource reference is no name.
        if (displayName.contains(QLatin1Char('@')) || displayName.contains(QLatin1Char('%')))
            continue;
        apps.append(QVariantMap{
            {QStringLiteral("processIdentifier"), qulonglong(session.processId)},
            {QStringLiteral("bundleIdentifier"),
             QUrl::fromLocalFile(QString::fromStdWString(session.exePath)).toString()},
            {QStringLiteral("iconFilePath"), QUrl::fromLocalFile(QString::fromStdWString(session.iconPath)).toString()},
            {QStringLiteral("name"), displayName},
            {QStringLiteral("type"), QStringLiteral("app")},
            {QStringLiteral("isActive"), session.state == L"Active"},
        });
    }
    return apps;
}

QString runningAppsSignature(const QVariantList &list)
{
    QString signature;
    for (const QVariant &item : list) {
        const QVariantMap entry = item.toMap();
        signature += entry.value(QStringLiteral("bundleIdentifier")).toString();
        signature += QLatin1Char('#');
        signature += entry.value(QStringLiteral("processIdentifier")).toString();
        signature += QLatin1Char(';');
    }
    return signature;
}

QVariantList SystemBridge::getRunningApplications()
{
    const QVariantList apps = getWindowsRunningApplicationsWithIcon();
    QVariantList list;
    for (const QVariant &item : GetDeviceList(1)) {
        QVariantMap endpoint = item.toMap();
        const QString name = endpoint.value(QStringLiteral("name")).toString();
        // The device's own microphone is not an extra source.
        if (name.contains(QLatin1String("Veloran")))
            continue;
        endpoint.insert(QStringLiteral("bundleIdentifier"), name);
        endpoint.insert(QStringLiteral("processIdentifier"), name);
        list.append(endpoint);
    }
    list.append(apps);
    return list;
}

QVariantList SystemBridge::getRunningApplicationsCached()
{
    if (m_runningApps.cacheValid.load(std::memory_order_acquire)) {
        std::lock_guard lock(m_runningApps.cacheMutex);
        return m_runningApps.cachedList;
    }
    return getRunningApplications();
}

void SystemBridge::startRunningAppsWorker()
{
    m_runningApps.start([this] {
        runningAppsPass();
        return true;
    });
}

void SystemBridge::stopRunningAppsWorker()
{
    // Ends the wait between passes at once.
    m_runningApps.stop();
}

void SystemBridge::runningAppsPass()
{
    RunningAppsCache &cache = m_runningApps;
    QVariantList list = getRunningApplications();
    QString signature = runningAppsSignature(list);
    if (cache.store(std::move(list), std::move(signature)))
        postQueued(this, [this] { emit runningAppsChanged(); });

    // Two seconds in steps, each ended early by a stop.
    os::Clock &clock = cache.platform->clock();
    const std::int64_t start = clock.nowNs();
    cache.passes.fetch_add(1);
    for (int step = 1; step <= kRunningAppsWaitSteps && cache.running.load(); ++step) {
        clock.waitUntil([&cache] { return !cache.running.load(); },
                        start + step * kRunningAppsWaitStepMs * os::Clock::kNsPerMs);
    }
}
