#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

// Points the XDG folders of this process at a temporary home, so that what
// the services write (settings, data, logs, caches) is private to one test
// process. Call before the application object exists; false if no folder.
inline bool usePrivateFolders(const QTemporaryDir &home)
{
    if (!home.isValid())
        return false;
    for (const char *name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"}) {
        const QString dir = home.filePath(QString::fromLatin1(name));
        QDir().mkpath(dir);
        qputenv(name, QFile::encodeName(dir));
    }
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home.path()));
    return true;
}
