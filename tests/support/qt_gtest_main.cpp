// GoogleTest entry for tests of Qt classes: one application object for the
// whole binary, offscreen unless the caller chose a platform. ctest runs the
// cases of one binary as parallel processes, so each process gets folders of
// its own for everything the services write (settings, data, logs, caches).
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    if (!home.isValid())
        return 2;
    for (const char *name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"}) {
        const QString dir = home.filePath(QString::fromLatin1(name));
        QDir().mkpath(dir);
        qputenv(name, QFile::encodeName(dir));
    }
    qputenv("XDG_RUNTIME_DIR", QFile::encodeName(home.path()));

    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
