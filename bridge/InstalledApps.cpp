#include "bridge/RunningApps.h"

#include "bridge/SystemBridge.h"
#include "threading/QtHandoff.h"
#include "platform/os/OsPlatform.h"

#include <QCryptographicHash>
#include <QDebug>
#include <QDir>
#include <QFileIconProvider>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QProcess>
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
#include <optional>

namespace {

constexpr int kScanDepth = 3;

// Writes the icon as a 128 x 128 PNG, whatever sizes it has.
void saveIcon(const QIcon &icon, const QString &iconFilePath, const QString &name)
{
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

void renderIcon(const QString &executablePath, const QString &iconFilePath, const QString &name)
{
    if (!QFileInfo::exists(iconFilePath))
        saveIcon(QFileIconProvider().icon(QFileInfo(executablePath)), iconFilePath, name);
}

// A program as its desktop entry describes it: shown name, the executable
// its command starts (field codes and arguments left out, found through
// PATH) and its icon (a theme name or a file). Hidden entries and entries
// whose program is not there describe nothing.
struct DesktopEntry {
    QString name;
    QString executable;
    QString icon;
};

std::optional<DesktopEntry> readDesktopEntry(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text) || file.size() > 1024 * 1024)
        return std::nullopt;
    QHash<QString, QString> keys;
    bool inMainGroup = false;
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inMainGroup = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (!inMainGroup || line.startsWith(QLatin1Char('#')) || equals <= 0)
            continue;
        const QString key = line.left(equals).trimmed();
        if (!keys.contains(key))
            keys.insert(key, line.mid(equals + 1).trimmed());
    }
    if (keys.value(QStringLiteral("Type")) != QLatin1String("Application")
        || keys.value(QStringLiteral("NoDisplay")) == QLatin1String("true")
        || keys.value(QStringLiteral("Hidden")) == QLatin1String("true"))
        return std::nullopt;

    static const QRegularExpression kFieldCode(QStringLiteral("%[fFuUdDnNickvm]"));
    QString command = keys.value(QStringLiteral("Exec"));
    command.remove(kFieldCode);
    command.replace(QLatin1String("%%"), QLatin1String("%"));
    const QStringList words = QProcess::splitCommand(command);
    if (words.isEmpty())
        return std::nullopt;
    const QString executable = QFileInfo(words.front()).isAbsolute() ? words.front()
                                                                     : QStandardPaths::findExecutable(words.front());
    const QString name = keys.value(QStringLiteral("Name"));
    if (name.isEmpty() || executable.isEmpty() || !QFileInfo(executable).isExecutable())
        return std::nullopt;
    return DesktopEntry{name, executable, keys.value(QStringLiteral("Icon"))};
}

// An entry's icon: a file, or a name looked up in the icon theme. Without a
// desktop theme (offscreen, a bare session) the lookup follows the XDG icon
// folders and the hicolor theme every system has, as desktops do.
QIcon desktopIcon(const QString &icon)
{
    if (icon.isEmpty())
        return {};
    if (QFileInfo(icon).isAbsolute())
        return QIcon(icon);
    if (QIcon::themeName().isEmpty())
        QIcon::setThemeName(QStringLiteral("hicolor"));
    QStringList paths = QIcon::themeSearchPaths();
    const qsizetype known = paths.size();
    for (const QString &data : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
        const QString folder = data + QStringLiteral("/icons");
        if (!paths.contains(folder))
            paths.append(folder);
    }
    if (paths.size() != known)
        QIcon::setThemeSearchPaths(paths);
    return QIcon::fromTheme(icon);
}

} // namespace

namespace {

QFuture<void> pooledIconJob(std::function<void()> job)
{
    auto promise = std::make_shared<QPromise<void>>();
    QFuture<void> future = promise->future();
    promise->start();
    startPooled([promise, job = std::move(job)] {
        job();
        promise->finish();
    });
    return future;
}

} // namespace

QFuture<void> generateIconAsync(const QString &executablePath, const QString &iconFilePath, const QString &name)
{
    return pooledIconJob([executablePath, iconFilePath, name] { renderIcon(executablePath, iconFilePath, name); });
}

QFuture<void> generateDesktopIconAsync(const QIcon &icon, const QString &iconFilePath, const QString &name)
{
    return pooledIconJob([icon, iconFilePath, name] {
        if (!QFileInfo::exists(iconFilePath))
            saveIcon(icon, iconFilePath, name);
    });
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
        std::optional<DesktopEntry> desktop;
        if (entry.suffix() == QLatin1String("desktop"))
            desktop = readDesktopEntry(entry.absoluteFilePath());
        else if (entry.suffix().toLower() != QLatin1String("exe"))
            continue;
        if (entry.suffix() == QLatin1String("desktop") && !desktop)
            continue;
        const QString path = desktop ? desktop->executable : entry.absoluteFilePath();
        // The maker's own programs are not offered.
        if (path.contains(QLatin1String("Veloran")))
            continue;
        const QString name = desktop ? desktop->name : entry.completeBaseName();
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
            if (desktop)
                generateDesktopIconAsync(desktopIcon(desktop->icon), QUrl(iconUrl).toLocalFile(), name);
            else
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
