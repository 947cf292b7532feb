#include "bridge/RunningApps.h"

#include "bridge/SystemBridge.h"
#include "threading/QtHandoff.h"
#include "platform/os/OsPlatform.h"
#include "platform/os/linux/DesktopEntries.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QIcon>
#include <QImage>
#include <QImageReader>
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

// The text of a desktop entry's picture that names what it was drawn from.
constexpr char kSourceKey[] = "Source";

// Writes the picture, centred on a transparent 128 x 128 square, as PNG,
// with the stamp of its source when given; false when nothing was written.
bool saveIcon(const QImage &source, const QString &iconFilePath, const QString &name, const QString &stamp = {})
{
    if (source.isNull()) {
        qWarning().noquote() << "未能生成图标:" << name;
        return false;
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
    if (!stamp.isEmpty())
        canvas.setText(QLatin1String(kSourceKey), stamp);
    QSaveFile file(iconFilePath);
    return file.open(QIODevice::WriteOnly) && canvas.save(&file, "PNG") && file.commit();
}

// A picture file is drawn again once its source is another file, or the
// same one changed.
QString sourceStamp(const QString &source)
{
    const QFileInfo info(source);
    return QStringLiteral("%1\n%2\n%3")
        .arg(source, QString::number(info.size()), QString::number(info.lastModified().toMSecsSinceEpoch()));
}

// Draws a desktop entry's picture unless the one drawn before is still its
// source's; false when the entry has no picture to show.
bool drawDesktopIcon(const QString &source, const QString &iconFilePath, const QString &name)
{
    if (source.isEmpty())
        return false;
    const QString stamp = sourceStamp(source);
    if (QImageReader(iconFilePath).text(QLatin1String(kSourceKey)) == stamp)
        return true;
    return saveIcon(os::desktop::readIconFile(source, kInstalledIconSize), iconFilePath, name, stamp);
}

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

QVariantList SystemBridge::scanInstalled(const QStringList &programFolders, const QStringList &iconThemes,
                                         const std::atomic<bool> &cancelled)
{
    QVariantList apps{systemBrowserEntry()};
    QSet<QString> seen;
    for (const QString &folder : programFolders)
        if (QFileInfo(folder).isDir())
            scanApplications(folder, apps, seen, kScanDepth);
    for (const os::desktop::Application &entry :
         os::desktop::shownApplications(dataFoldersOf(programFolders), iconThemes, &cancelled)) {
        if (cancelled.load(std::memory_order_relaxed))
            break;
        if (entry.file.contains(QLatin1String("Veloran")))
            continue;
        // Keyed by the entry, not its name: names change with the language
        // and two entries may share one.
        const QString iconUrl = appIconPath(entry.file, entry.id.chopped(int(qstrlen(".desktop"))));
        const bool pictured =
            !iconUrl.isEmpty() && drawDesktopIcon(entry.iconFile, QUrl(iconUrl).toLocalFile(), entry.name);
        apps.append(QVariantMap{
            {QStringLiteral("name"), entry.name},
            {QStringLiteral("executablePath"), entry.file},
            {QStringLiteral("bundlePath"), QUrl::fromLocalFile(entry.file).toString()},
            // Empty without a picture: the list shows its own.
            {QStringLiteral("iconFilePath"), pictured ? iconUrl : QString()},
        });
    }
    return apps;
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
    startPooled([this, promise, cancelled, folders, themes, starting = m_options.installedScanStarting] {
        if (starting)
            starting(*cancelled);
        // The list goes out with its pictures drawn; a stopped scan's list
        // is unfinished and stays here.
        const QVariantList apps = scanInstalled(folders, themes, *cancelled);
        postQueued(this, [this, cancelled, apps] {
            if (!cancelled->load())
                showInstalledApps(apps);
            endInstalledAppsScan(cancelled);
        });
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
