// The program must end when its main window closes, also after a secondary
// window was shown and closed (such a window only hides itself).
#include "app/Startup.h"

#include <QCoreApplication>
#include <QQmlApplicationEngine>
#include <QQmlExtensionPlugin>
#include <QQuickWindow>
#include <QTimer>
#include <gtest/gtest.h>

Q_IMPORT_QML_PLUGIN(VeloranDeckPlugin)
Q_IMPORT_QML_PLUGIN(MediaControlsPlugin)

namespace {

// Ends the event loop as the real bridge's quitApplication does.
class QuittingBridge : public QObject
{
    Q_OBJECT
public:
    Q_INVOKABLE void quitApplication()
    {
        ++calls;
        QCoreApplication::exit(0);
    }
    int calls = 0;
};

// The parameter: the secondary window was closed before the main one.
class WindowFrameQuit : public ::testing::TestWithParam<bool>
{
};

TEST_P(WindowFrameQuit, ClosingTheMainWindowEndsTheLoopWithCodeZero)
{
    QuittingBridge bridge;
    // The shared modules' facades import the native services; the device
    // manager is imported, never used, here.
    Startup::registerCoreSingletons();
    qmlRegisterSingletonInstance("VeloranDeckSystemBridge", 1, 0, "SystemBridge", &bridge);
    QObject deviceManager;
    qmlRegisterSingletonInstance("VeloranDeckHIDHotplug", 1, 0, "HIDHotplugManager", &deviceManager);

    QQmlApplicationEngine engine;
    engine.addImportPath(QStringLiteral("qrc:/qt/qml"));
    // A secondary window without a transient parent: Qt's automatic quit
    // asks it to close as well, and it refuses.
    engine.loadData(R"(
        import QtQuick
        import VeloranDeck
        WindowFrame {
            visible: true
            title: "Main"
            rightView: Item {}
            property Component secondaryComponent: WindowFrame { title: "Secondary" }
            property WindowFrame secondary: null
            Component.onCompleted: secondary = secondaryComponent.createObject(null)
        }
    )");
    ASSERT_EQ(engine.rootObjects().size(), 1);
    auto *mainWindow = qobject_cast<QQuickWindow *>(engine.rootObjects().first());
    ASSERT_NE(mainWindow, nullptr);
    auto *secondary = mainWindow->property("secondary").value<QQuickWindow *>();
    ASSERT_NE(secondary, nullptr);
    QQmlEngine::setObjectOwnership(secondary, QQmlEngine::CppOwnership);

    const bool closeSecondaryFirst = GetParam();
    QTimer::singleShot(100, secondary, [secondary] { secondary->setVisible(true); });
    if (closeSecondaryFirst)
        QTimer::singleShot(400, secondary, [secondary] { secondary->close(); });
    QTimer::singleShot(800, mainWindow, [mainWindow, secondary, closeSecondaryFirst] {
        EXPECT_EQ(secondary->isVisible(), !closeSecondaryFirst);
        mainWindow->close();
    });
    QTimer watchdog;
    watchdog.setSingleShot(true);
    QObject::connect(&watchdog, &QTimer::timeout, [] { QCoreApplication::exit(99); });
    watchdog.start(800 + 2000);

    EXPECT_EQ(QCoreApplication::exec(), 0);
    EXPECT_EQ(bridge.calls, 1);
    delete secondary;
}

INSTANTIATE_TEST_SUITE_P(Secondary, WindowFrameQuit,
                         ::testing::Bool(),
                         [](const auto &info) { return std::string(info.param ? "ShownAndClosed" : "StillOpen"); });

} // namespace

#include "WindowFrameQuitTest.moc"
