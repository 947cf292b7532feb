#include "bridge/RunningApps.h"

#include "bridge/SystemBridge.h"
#include "threading/QtHandoff.h"
#include "platform/os/OsPlatform.h"
#include "platform/os/linux/DesktopEntries.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QPainter>
#include <QPromise>
#include <QRegularExpression>
#include <QSaveFile>
#include <QSet>
#include <QStandardPaths>
#include <QUrl>
#include <QVariantMap>

#include <atomic>
#include <memory>
#include <vector>

namespace {

constexpr int kScanDepth = 3;

QVariantMap systemBrowserEntry()
{
    return {
        {QStringLiteral("name"), QStringLiteral("系统浏览器")},
        {QStringLiteral("bundlePath"), QString()},
        {QStringLiteral("executablePath"), QString()},
        {QStringLiteral("isSystemBrowser"), true},
    };
}

// Writes the picture, centred on a transparent 128 x 128 square, as PNG.
void saveIcon(const QImage &source, const QString &iconFilePath, const QString &name)
{
    if (source.isNull()) {
        qWarning().noquote() << "未能生成图标:" << name;
        return;
    }
    const QSize size(kInstalledIconSize, kInstalledIconSize);
    QImage canvas(size, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    const QImage scaled = source.scaled(size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    {
        QPainter painter(&canvas);
        painter.drawImage((kInstalledIconSize - scaled.width()) / 2, (kInstalledIconSize - scaled.height()) / 2,
                          scaled);
    }
    QSaveFile file(iconFilePath);
    if (file.open(QIODevice::WriteOnly) && canvas.save(&file, "PNG"))
        file.commit();
}

// A desktop entry's picture still to be drawn into its icon file.
struct DesktopIcon {
    QString source; // empty: the entry names no picture that exists
    QString iconFilePath;
    QString name;
};

} // namespace

struct SystemBridge::InstalledScan {
    QVariantList apps;
    std::vector<DesktopIcon> icons;
};

namespace {

QStringList programFolders()
{
    QStringList folders;
    for (const std::wstring &folder : os::currentPlatform()->applicationFolders())
        folders.append(QString::fromStdWString(folder));
    return folders;
}

// Desktop entries live in the "applications" folder of a data folder.
QStringList dataFoldersOf(const QStringList &programFolders)
{
    QStringList folders;
    for (const QString &folder : programFolders)
        folders.append(QFileInfo(folder).path());
    return folders;
}

} // namespace

QStringList installedDataFolders()
{
    return dataFoldersOf(programFolders());
}

QFuture<void> generateIconAsync(const QString &executablePath, const QString &iconFilePath, const QString &name)
{
    // Icons and pixmaps belong to the GUI thread; only the finished picture
    // goes to the pool.
    QImage picture;
    const QIcon icon = QFileIconProvider().icon(QFileInfo(executablePath));
    if (!icon.isNull())
        picture = icon.pixmap(QSize(kInstalledIconSize, kInstalledIconSize), QIcon::Normal, QIcon::Off).toImage();
    auto promise = std::make_shared<QPromise<void>>();
    QFuture<void> future = promise->future();
    promise->start();
    startPooled([promise, picture, iconFilePath, name] {
        if (!QFileInfo::exists(iconFilePath))
            saveIcon(picture, iconFilePath, name);
        promise->finish();
    });
    return future;
}

QString SystemBridge::sanitizeIconFileName(const QString &name)
{
    static const QRegularExpression kForbidden(QStringLiteral("[^a-zA-Z0-9_\\-]"));
    QString sanitized = name;
    sanitized.replace(kForbidden, QStringLiteral("_"));
    if (sanitized == name)
        return sanitized;
    // Names that differ only in replaced characters keep files of their own.
    const QByteArray digest = QCryptographicHash::hash(name.toUtf8(), QCryptographicHash::Sha1).toHex();
    return sanitized + QLatin1Char('_') + QString::fromLatin1(digest.left(8));
}

QString SystemBridge::appIconPath(const QString &executablePath, const QString &name)
{
    Q_UNUSED(executablePath);
    const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (data.isEmpty())
        return {};
    const QString folder = QDir::fromNativeSeparators(data) + QStringLiteral("/app_icons");
    if (!QDir().mkpath(folder))
        return {};
    return QUrl::fromLocalFile(folder + QLatin1Char('/') + sanitizeIconFileName(name) + QStringLiteral(".png"))
        .toString();
}

void SystemBridge::scanApplications(const QString &folder, QVariantList &out, QSet<QString> &seen, int depth)
{
    if (depth < 1)
        return;
    const QFileInfoList entries = QDir(folder).entryInfoList(QDir::Dirs | QDir::Files | QDir::NoDotAndDotDot,
                                                             QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo &entry : entries) {
        if (entry.isDir()) {
            scanApplications(entry.absoluteFilePath(), out, seen, depth - 1);
            continue;
        }
        if (entry.suffix().toLower() != QLatin1String("exe"))
            continue;
        const QString path = entry.absoluteFilePath();
        // The maker's own programs are not offered.
        if (path.contains(QLatin1String("Veloran")))
            continue;
        const QString name = entry.completeBaseName();
        if (seen.contains(name))
            continue;
        seen.insert(name);
        QVariantMap app{
            {QStringLiteral("name"), name},
            {QStringLiteral("executablePath"), path},
            {QStringLiteral("bundlePath"), QUrl::fromLocalFile(path).toString()},
        };
        if (const QString iconUrl = appIconPath(path, name); !iconUrl.isEmpty())
            app.insert(QStringLiteral("iconFilePath"), iconUrl);
        out.append(app);
    }
}

SystemBridge::InstalledScan SystemBridge::scanInstalled(const QStringList &programFolders,
                                                        const QStringList &iconThemes,
                                                        const std::atomic<bool> &cancelled)
{
    InstalledScan scan;
    scan.apps.append(systemBrowserEntry());
    QSet<QString> seen;
    for (const QString &folder : programFolders)
        if (QFileInfo(folder).isDir())
            scanApplications(folder, scan.apps, seen, kScanDepth);
    for (const os::desktop::Application &entry :
         os::desktop::shownApplications(dataFoldersOf(programFolders), iconThemes, &cancelled)) {
        if (entry.file.contains(QLatin1String("Veloran")))
            continue;
        QVariantMap app{
            {QStringLiteral("name"), entry.name},
            {QStringLiteral("executablePath"), entry.file},
            {QStringLiteral("bundlePath"), QUrl::fromLocalFile(entry.file).toString()},
        };
        // Keyed by the entry, not its name: names change with the language
        // and two entries may share one.
        const QString key = entry.id.chopped(int(qstrlen(".desktop")));
        if (const QString iconUrl = appIconPath(entry.file, key); !iconUrl.isEmpty()) {
            app.insert(QStringLiteral("iconFilePath"), iconUrl);
            scan.icons.push_back({entry.iconFile, QUrl(iconUrl).toLocalFile(), entry.name});
        }
        scan.apps.append(app);
    }
    return scan;
}

QVariantList SystemBridge::getRunningApplicationsByQt()
{
    qDebug().noquote() << "SystemBridge::getRunningApplicationsByQt() called on platform:" << getPlatform();
    if (m_installedApps.isEmpty())
        m_installedApps.append(systemBrowserEntry());
    startInstalledAppsScan();
    return m_installedApps;
}

void SystemBridge::startInstalledAppsScan()
{
    if (m_installedScan) {
        m_installedRescan = true;
        return;
    }
    auto cancelled = std::make_shared<std::atomic<bool>>(false);
    m_installedScan = cancelled;
    const QStringList folders = programFolders();
    const QStringList themes{QIcon::themeName()};
    auto promise = std::make_shared<QPromise<void>>();
    m_installedScanJob = promise->future();
    promise->start();
    startPooled([this, promise, cancelled, folders, themes] {
        InstalledScan scan = scanInstalled(folders, themes, *cancelled);
        postQueued(this, [this, apps = scan.apps] { showInstalledApps(apps); });
        // The list is out first; pictures of files that exist stay as drawn.
        for (const DesktopIcon &icon : scan.icons) {
            if (cancelled->load(std::memory_order_relaxed))
                break;
            if (!QFileInfo::exists(icon.iconFilePath))
                saveIcon(os::desktop::readIconFile(icon.source, kInstalledIconSize), icon.iconFilePath, icon.name);
        }
        postQueued(this, [this, cancelled] { endInstalledAppsScan(cancelled); });
        promise->finish();
    });
}

void SystemBridge::showInstalledApps(const QVariantList &apps)
{
    qDebug().noquote() << "getRunningApplicationsByQt: Found" << apps.size() << "applications";
    for (const QVariant &entry : apps) {
        const QVariantMap app = entry.toMap();
        const QString path = app.value(QStringLiteral("executablePath")).toString();
        const QString icon = QUrl(app.value(QStringLiteral("iconFilePath")).toString()).toLocalFile();
        if (!icon.isEmpty() && !path.endsWith(QLatin1String(".desktop")) && !QFileInfo::exists(icon))
            generateIconAsync(path, icon, app.value(QStringLiteral("name")).toString());
    }
    if (apps != m_installedApps) {
        m_installedApps = apps;
        emit installedAppsChanged(apps);
    }
}

void SystemBridge::endInstalledAppsScan(const std::shared_ptr<std::atomic<bool>> &scan)
{
    if (m_installedScan != scan)
        return;
    m_installedScan.reset();
    if (m_installedRescan) {
        m_installedRescan = false;
        startInstalledAppsScan();
    }
}

void SystemBridge::stopInstalledAppsScan()
{
    if (m_installedScan)
        m_installedScan->store(true);
    m_installedScanJob.waitForFinished();
}
