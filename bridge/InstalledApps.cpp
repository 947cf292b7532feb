#include "bridge/RunningApps.h"

#include "bridge/SystemBridge.h"
#include "threading/QtHandoff.h"
#include "platform/os/OsPlatform.h"

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

#include <memory>

namespace {

constexpr int kScanDepth = 3;

void renderIcon(const QString &executablePath, const QString &iconFilePath, const QString &name)
{
    if (QFileInfo::exists(iconFilePath))
        return;
    const QIcon icon = QFileIconProvider().icon(QFileInfo(executablePath));
    if (icon.isNull()) {
        qWarning().noquote() << "未能生成图标:" << name;
        return;
    }
    const QSize size(kInstalledIconSize, kInstalledIconSize);
    const QImage source = icon.pixmap(size, QIcon::Normal, QIcon::Off).toImage();
    if (source.isNull()) {
        qWarning().noquote() << "未能生成图标:" << name;
        return;
    }
    // Whatever size the provider has, the file holds exactly 128 x 128.
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

} // namespace

QFuture<void> generateIconAsync(const QString &executablePath, const QString &iconFilePath, const QString &name)
{
    auto promise = std::make_shared<QPromise<void>>();
    QFuture<void> future = promise->future();
    promise->start();
    startPooled([promise, executablePath, iconFilePath, name] {
        renderIcon(executablePath, iconFilePath, name);
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
        const QString iconUrl = appIconPath(path, name);
        if (!iconUrl.isEmpty()) {
            app.insert(QStringLiteral("iconFilePath"), iconUrl);
            generateIconAsync(path, QUrl(iconUrl).toLocalFile(), name);
        }
        out.append(app);
    }
}

QVariantList SystemBridge::getRunningApplicationsByQt()
{
    qDebug().noquote() << "SystemBridge::getRunningApplicationsByQt() called on platform:" << getPlatform();
    QVariantList apps;
    QSet<QString> seen;
    for (const std::wstring &folder : os::currentPlatform()->applicationFolders()) {
        const QString path = QString::fromStdWString(folder);
        if (QFileInfo(path).isDir())
            scanApplications(path, apps, seen, kScanDepth);
    }
    apps.prepend(QVariantMap{
        {QStringLiteral("name"), QStringLiteral("系统浏览器")},
        {QStringLiteral("bundlePath"), QString()},
        {QStringLiteral("executablePath"), QString()},
        {QStringLiteral("isSystemBrowser"), true},
    });
    qDebug().noquote() << "getRunningApplicationsByQt: Found" << apps.size() << "applications";
    return apps;
}
