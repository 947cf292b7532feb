#include "bridge/DownloadFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

namespace downloads {

QString folder()
{
    const QString cache = QStandardPaths::writableLocation(QStandardPaths::CacheLocation);
    if (cache.isEmpty())
        return {};
    const QString path = cache + QStringLiteral("/downloads");
    QDir().mkpath(path);
    return path;
}

bool contains(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QString canonicalFolder = QFileInfo(folder()).canonicalFilePath();
    const QString parent = QFileInfo(QFileInfo(path).absolutePath()).canonicalFilePath();
    return !canonicalFolder.isEmpty() && parent == canonicalFolder && !QFileInfo(path).fileName().isEmpty();
}

} // namespace downloads
