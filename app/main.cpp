#include "app/EmulatedDeviceMode.h"
#include "app/NetworkManager.h"
#include "app/SettingsManager.h"
#include "app/SingleInstanceGuard.h"
#include "app/Startup.h"
#include "app/TranslationManager.h"
#include "bridge/SystemBridge.h"
#include "device/HIDHotplugManager.h"
#include "platform/os/linux/LinuxPlatform.h"

#include <QApplication>
#include <QQmlApplicationEngine>
#include <QQmlExtensionPlugin>
#include <QTimer>
#include <QWindow>

#include <unistd.h>

Q_IMPORT_QML_PLUGIN(VeloranDeckPlugin)
Q_IMPORT_QML_PLUGIN(MediaControlsPlugin)

namespace {
// Exit code of the event loop; the quit handler ends the process with it.
int s_exitCode = 0;

void shutdownCleanup(SingleInstanceGuard &guard)
{
    qInfo() << "应用程序即将退出，开始清理资源...";
    QTimer::singleShot(2000, [] {
        qWarning() << "资源清理超时 2 秒，强制退出进程";
        _exit(s_exitCode);
    });
    for (QWindow *window : QGuiApplication::topLevelWindows()) {
        if (window)
            window->close();
    }
    if (NetworkManager *network = NetworkManager::instance())
        network->cancelAllRequests();
    if (HIDHotplugManager *hid = HIDHotplugManager::instance())
        hid->stopAndDisconnectDevice();
    if (SystemBridge *bridge = SystemBridge::instance())
        bridge->stopPowerEventMonitor();
    guard.release();
    SettingsManager::instance()->sync();
    qInfo() << "资源清理完成，立即退出（跳过 Qt 引擎/渲染线程慢析构）";
    // No destructor may run: the engine and render threads tear down slowly.
    _exit(s_exitCode);
}

QUrl rootUrl()
{
    // Tests point the program at another root document to exercise failure.
    const QString testUrl = qEnvironmentVariable("VELORAN_ROOT_URL");
    return QUrl(testUrl.isEmpty() ? QStringLiteral("qrc:/qt/qml/VeloranDeck/Main.qml") : testUrl);
}
} // namespace

int main(int argc, char *argv[])
{
    // Widgets is needed for the file icon provider; the interface is QML.
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Veloran Deck"));
    QApplication::setOrganizationName(QStringLiteral("Veloran"));
    QApplication::setOrganizationDomain(QStringLiteral("veloran.com"));
    QApplication::setApplicationVersion(QStringLiteral(VELORAN_VERSION));

    SingleInstanceGuard guard;
    if (!guard.acquire())
        return 1;

    // Before any service or audio object: the bridge, the device manager and
    // the audio routers bind to the platform and HID backend they find.
    if (!installEmulatedDeviceFromEnvironment())
        qInfo().noquote() << "[Platform] audio endpoints, per-application capture, the virtual driver, sample-rate and"
                             " default-device changes are Windows facilities: not available (VELORAN_EMULATE=t40"
                             " simulates them)";
    // The desktop services are Linux's own, over whichever audio world is in place.
    os::installPlatform(
        std::make_shared<os::LinuxPlatform>(os::currentPlatform(), os::LinuxPlatform::Options::fromEnvironment()));

    SystemBridge::setInstanceGuardHooks([&guard] { guard.release(); }, [&guard] { return guard.acquire(); });

    Startup::applyDarkLook(app);

    auto *engine = new QQmlApplicationEngine();
    engine->addImportPath(QStringLiteral("qrc:/qt/qml"));
    TranslationManager::instance()->setEngine(engine);
    Startup::registerSingletons();

    // Qt.exit(code) from a root document ends with that code; the engine's
    // own connection to the loop is queued, this one runs first.
    QObject::connect(engine, &QQmlEngine::exit, &app, [](int code) { s_exitCode = code; });
    QObject::connect(engine, &QQmlApplicationEngine::objectCreationFailed, &app,
                     [] { s_exitCode = 1; QCoreApplication::exit(-1); }, Qt::QueuedConnection);
    engine->load(rootUrl());
    if (engine->rootObjects().isEmpty())
        s_exitCode = 1;
    QObject::connect(&app, &QCoreApplication::aboutToQuit, &app, [&guard] { shutdownCleanup(guard); },
                     Qt::DirectConnection);

    bool quitDelayOk = false;
    const int quitAfterMs = qEnvironmentVariableIntValue("VELORAN_QUIT_AFTER_MS", &quitDelayOk);
    // exit, not quit: quit asks every window to close first, and a
    // secondary window refuses (it only hides itself).
    if (quitDelayOk && quitAfterMs >= 0)
        QTimer::singleShot(quitAfterMs, &app, [] { QCoreApplication::exit(0); });

    return app.exec();
}
