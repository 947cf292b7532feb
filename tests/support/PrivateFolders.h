#pragma once

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

// Points the XDG folders of this process at a private home folder, so that
// what the services write (settings, data, logs, caches) belongs to one test
// process (or to one chain of them). Call before the application object
// exists; false if a folder cannot be made.
inline bool usePrivateFolders(const QString &homePath)
{
    if (homePath.isEmpty())
        return false;
    const QDir home(homePath);
    for (const char *name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"}) {
        const QString dir = home.filePath(QString::fromLatin1(name));
        if (!QDir().mkpath(dir))
            return false;
        qputenv(name, QFile::encodeName(dir));
    }
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home.path()));
    return true;
}

inline bool usePrivateFolders(const QTemporaryDir &home)
{
    return home.isValid() && usePrivateFolders(home.path());
}
