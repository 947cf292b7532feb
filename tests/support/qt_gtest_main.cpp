// GoogleTest entry for tests of Qt classes: one application object for the
// whole binary, offscreen unless the caller chose a platform. ctest runs the
// cases of one binary as parallel processes, so each process gets folders of
// its own for everything the services write (settings, data, logs, caches).
#include "PrivateFolders.h"

#include <gtest/gtest.h>

#ifdef VELORAN_GTEST_WIDGETS
#include <QApplication>
using TestApplication = QApplication;
#else
#include <QGuiApplication>
using TestApplication = QGuiApplication;
#endif

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    if (!usePrivateFolders(home))
        return 2;

    TestApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
