// Quick Test runner of the project. The stock qmltestrunner cannot load the
// statically linked QML modules, so this one links them, registers the real
// native singletons over a temporary settings and data folder, and puts
// recording fakes of the system bridge and the device manager under their
// module URIs. With VELORAN_EMULATE set, the real device manager runs on the
// emulated device instead, which tests reach as EmulatedDevice of the module
// "VeloranTestSupport". The local HTTP test server stands in for the
// maker's server (VELORAN_SERVER_URL) and is reached as TestServer. That
// module also holds LogSpy, UrlRecorder, UsageStore and Shots (where grabs are saved:
// Shots.path("name.png")). VELORAN_TEST_HOME keeps the run's folders in a
// given place, so that a second run continues from the first.
#include "EmulatedDevice.h"
#include "FakeHIDHotplugManager.h"
#include "FakeSystemBridge.h"
#include "LogSpy.h"
#include "SimWorld.h"
#include "TestServer.h"
#include "UrlRecorder.h"

#include "tests/support/PrivateFolders.h"

#include "app/Startup.h"
#include "app/TranslationManager.h"
#include "bridge/SystemBridge.h"
#include "app/EmulatedDeviceMode.h"
#include "device/HIDHotplugManager.h"
#include "platform/os/sim/SimAudioWorld.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QQmlEngine>
#include <QQmlExtensionPlugin>
#include <QQuickStyle>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtQuickTest/quicktest.h>

Q_IMPORT_QML_PLUGIN(MediaControlsPlugin)
Q_IMPORT_QML_PLUGIN(VeloranDeckPlugin)

namespace {

// Grabs saved by the tests, to be looked at after the run.
class Shots : public QObject
{
    Q_OBJECT
public:
    Q_INVOKABLE QString path(const QString &fileName) const
    {
        const QDir dir(QStringLiteral(VELORAN_SHOTS_DIR));
        dir.mkpath(QStringLiteral("."));
        return dir.filePath(fileName);
    }
};

// The usage-event database under the tests' hands: spoilt before the store
// opens it, made read-only as a full or write-protected folder makes it, or
// keeping some rows a delete names.
class UsageStore : public QObject
{
    Q_OBJECT
public:
    static QString databasePath()
    {
        return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + QStringLiteral("/data_tracking.db");
    }
    Q_INVOKABLE bool replaceFile(const QString &text) const
    {
        QDir().mkpath(QFileInfo(databasePath()).absolutePath());
        QFile file(databasePath());
        return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text.toUtf8()) == text.toUtf8().size();
    }
    Q_INVOKABLE QStringList setAside() const
    {
        return QDir(QFileInfo(databasePath()).absolutePath()).entryList({QStringLiteral("data_tracking.db.damaged-*")});
    }
    Q_INVOKABLE bool setReadOnly(bool readOnly) const
    {
        QSqlQuery query(QSqlDatabase::database(QStringLiteral("DataTrackerManagerConnection")));
        return query.exec(QStringLiteral("PRAGMA query_only = %1").arg(readOnly ? 1 : 0));
    }
    // While on, a delete passes over the rows whose event value is "kept"
    // and removes the others: a delete that only partly happens.
    Q_INVOKABLE bool keepRows(bool keep) const
    {
        QSqlQuery query(QSqlDatabase::database(QStringLiteral("DataTrackerManagerConnection")));
        return query.exec(keep ? QStringLiteral("CREATE TEMP TRIGGER IF NOT EXISTS kept_rows BEFORE DELETE ON events "
                                                "WHEN old.eventValue = 'kept' BEGIN SELECT RAISE(IGNORE); END")
                               : QStringLiteral("DROP TRIGGER IF EXISTS kept_rows"));
    }
};

FakeSystemBridge *s_systemBridge = nullptr;
SimWorld *s_simWorld = nullptr;
FakeHIDHotplugManager *s_hidHotplug = nullptr;
EmulatedDevice *s_emulatedDevice = nullptr;
TestServer *s_testServer = nullptr;
UrlRecorder *s_urlRecorder = nullptr;
Shots *s_shots = nullptr;
UsageStore *s_usageStore = nullptr;

void registerSingletons(const QString &tempDirectory)
{
    Startup::registerCoreSingletons();

    Startup::registerSingleton<TestServer>("VeloranTestSupport", "TestServer", [] { return s_testServer; });

    // Before the bridge: with an emulated device the bridge runs on the
    // program's own simulated world.
    const bool emulated = installEmulatedDeviceFromEnvironment();
    if (qEnvironmentVariable("VELORAN_TEST_BRIDGE") == QLatin1String("real")) {
        std::shared_ptr<os::SimAudioWorld> world = emulatedAudioWorld();
        if (!world) {
            world = std::make_shared<os::SimAudioWorld>();
            os::installPlatform(world);
        }
        s_simWorld = new SimWorld(world);
        Startup::registerSingleton<SimWorld>("VeloranTestSupport", "SimWorld", [] { return s_simWorld; });
        Startup::registerSystemBridge();
    } else {
        s_systemBridge = new FakeSystemBridge(tempDirectory);
        Startup::registerSingleton<FakeSystemBridge>("VeloranDeckSystemBridge", "SystemBridge",
                                                     [] { return s_systemBridge; });
    }

    // Live until the process ends, as the services do.
    s_urlRecorder = new UrlRecorder();
    s_shots = new Shots();
    s_usageStore = new UsageStore();
    Startup::registerSingleton<LogSpy>("VeloranTestSupport", "LogSpy");
    Startup::registerSingleton<UrlRecorder>("VeloranTestSupport", "UrlRecorder", [] { return s_urlRecorder; });
    Startup::registerSingleton<Shots>("VeloranTestSupport", "Shots", [] { return s_shots; });
    Startup::registerSingleton<UsageStore>("VeloranTestSupport", "UsageStore", [] { return s_usageStore; });

    if (emulated) {
        s_emulatedDevice = new EmulatedDevice();
        Startup::registerSingleton<HIDHotplugManager>("VeloranDeckHIDHotplug", "HIDHotplugManager");
        Startup::registerSingleton<EmulatedDevice>("VeloranTestSupport", "EmulatedDevice",
                                                   [] { return s_emulatedDevice; });
        return;
    }
    s_hidHotplug = new FakeHIDHotplugManager();
    Startup::registerSingleton<FakeHIDHotplugManager>("VeloranDeckHIDHotplug", "HIDHotplugManager",
                                             [] { return s_hidHotplug; });
}

} // namespace

class RunnerSetup : public QObject
{
    Q_OBJECT
public slots:
    void qmlEngineAvailable(QQmlEngine *engine)
    {
        engine->addImportPath(QStringLiteral("qrc:/qt/qml"));
        TranslationManager::instance()->setEngine(engine);
    }
};

int main(int argc, char **argv)
{
    // Everything the services write goes to a folder of this run only, so
    // parallel runs never share state; VELORAN_TEST_HOME names a folder that
    // outlives the run instead, for a second process to start from it.
    QTemporaryDir temporaryHome;
    const QString keptHome = qEnvironmentVariable("VELORAN_TEST_HOME");
    if (!keptHome.isEmpty()) {
        if (!QDir().mkpath(keptHome) || !usePrivateFolders(keptHome))
            return 2;
    } else if (!temporaryHome.isValid() || !usePrivateFolders(temporaryHome.path())) {
        return 2;
    }
    const QDir home(keptHome.isEmpty() ? temporaryHome.path() : keptHome);
    const QString tempDirectory = home.filePath(QStringLiteral("tmp"));
    QDir().mkpath(tempDirectory);

    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    qputenv("QT_QUICK_CONTROLS_MATERIAL_THEME", "Dark");
    // Tests read resources and fixtures (the generated qmldir among them).
    qputenv("QML_XHR_ALLOW_FILE_READ", "1");

    // Widgets, as in the program: the real bridge looks up file icons.
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Veloran Deck"));
    QApplication::setOrganizationName(QStringLiteral("Veloran"));
    QApplication::setApplicationVersion(QStringLiteral(VELORAN_VERSION));
    QQuickStyle::setStyle(QStringLiteral("Material"));

    s_testServer = new TestServer();
    if (!s_testServer->listen())
        return 2;
    if (qEnvironmentVariableIsEmpty("VELORAN_SERVER_URL"))
        qputenv("VELORAN_SERVER_URL", s_testServer->url().toUtf8());

    registerSingletons(tempDirectory);

    RunnerSetup setup;
    const int result = quick_test_main_with_setup(argc, argv, "veloran_qml", nullptr, &setup);
    // The real bridge's audio threads must end before the process-wide
    // objects they use are destroyed.
    if (!s_systemBridge)
        delete SystemBridge::instance();
    return result;
}

#include "main.moc"
