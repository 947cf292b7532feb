#include "bridge/SystemBridge.h"

#include "platform/os/OsPlatform.h"
#include "platform/windows/routerAudio/AudioRouterService.h"
#include "platform/windows/routerAudio/LoopbackCapture.h"
#include "platform/windows/routerAudio/WinMicRouter.h"

#include <QCoreApplication>
#include <QDebug>
#include <QOperatingSystemVersion>
#include <QPointer>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTimer>

std::atomic<SystemBridge *> SystemBridge::s_callbackBridge{nullptr};

namespace {

// Linux versions have no name of their own.
QString platformName()
{
    const QString name = QOperatingSystemVersion::current().name();
    return name.isEmpty() ? QSysInfo::prettyProductName() : name;
}

} // namespace

SystemBridge *SystemBridge::instance()
{
    // No lock: the first call is made on the GUI thread before anything
    // else can reach the bridge.
    static SystemBridge *s_instance = new SystemBridge();
    return s_instance;
}

SystemBridge::SystemBridge()
    : SystemBridge(Options{})
{
}

SystemBridge::SystemBridge(const Options &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
{
    qDebug().noquote() << "[INFO] initRouterAPI: Delayed initialization mode - "
                          "waiting for Tarvo device connection via HIDHotplugManager signal";
}

SystemBridge::~SystemBridge()
{
    stopAudioJobs();
    stopPowerEventMonitor();
    cleanupNativeBridge();
    stopDeviceCacheWorker();
    stopRunningAppsWorker();
    if (m_audioRouter) {
        m_audioRouter->Stop();
        m_audioRouter.reset();
    }
    if (m_micRouter) {
        m_micRouter->Stop();
        m_micRouter.reset();
    }
    AudioRouterAPI::SetLevelCallback({});
    AudioRouterAPI::Shutdown();
    // No audio thread may call into this bridge any more: its routers are
    // stopped, so the pointer is cleared only if it still names this one.
    SystemBridge *self = this;
    s_callbackBridge.compare_exchange_strong(self, nullptr);
}

void SystemBridge::initializeMonitorDevice()
{
    os::MicrophonePermission &permission = os::currentPlatform()->microphonePermission();
    switch (permission.status()) {
    case os::PermissionStatus::Undetermined: {
        // The answer may come on any thread; the sequence goes on on the
        // GUI thread, and only while this bridge lives.
        QPointer<SystemBridge> self(this);
        permission.request([self](os::PermissionStatus) {
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [self] {
                    if (self)
                        self->initializeMonitorDevice();
                },
                Qt::QueuedConnection);
        });
        return;
    }
    case os::PermissionStatus::Denied:
        qWarning() << "Microphone permission is not granted!";
        return;
    case os::PermissionStatus::Granted:
        qWarning().noquote() << "PermissionStatus::Granted ";
        break;
    }

    qDebug().noquote() << "SystemBridge::initializeMonitorDevice() - Initializing" << platformName() << "bridge";
    createRouters();
    QTimer::singleShot(0, this, [this] { checkVirtualDriver(); });
    QTimer::singleShot(0, this, [this] { connectHidHotplug(); });
}

void SystemBridge::createRouters()
{
    if (m_audioRouter)
        return;
    m_audioRouter = std::make_unique<AudioRouterService>();
    s_callbackBridge.store(this);
    m_audioRouter->SetAudioCallback(&SystemBridge::monitorLevelCallback);
    if (!m_micRouter) {
        m_micRouter = std::make_unique<WinMicRouter>();
        m_micRouter->SetLevelCallback(&SystemBridge::monitorLevelCallback);
        qDebug().noquote() << "[SystemBridge] WinMicRouter created (WASAPI mic/solo path enabled)";
    }
    startDeviceCacheWorker();
    startRunningAppsWorker();
    qDebug().noquote() << "[SystemBridge] Windows: AudioRouterService created, waiting for Veloran device connection";
}

void SystemBridge::cleanupNativeBridge()
{
    qDebug().noquote() << "SystemBridge::cleanupNativeBridge() - Cleaning up" << platformName() << "bridge";
}

void SystemBridge::logUnavailable(const char *member) const
{
    qDebug().noquote() << "[SystemBridge]" << member << "gives its neutral value: not built yet";
}

SystemBridge *SystemBridge::callbackBridge()
{
    return s_callbackBridge.load();
}

QString SystemBridge::getPlatform()
{
    return platformName();
}

QVariantList SystemBridge::getOutputStreamIDs() const
{
    return {};
}

// ---- system information and log-only operations -----------------------------

QVariantMap SystemBridge::getSystemInfo()
{
    const QString platform = platformName();
    qDebug().noquote() << "SystemBridge::getSystemInfo() called on platform:" << platform;
    return {
        {QStringLiteral("osName"), QSysInfo::prettyProductName()},
        {QStringLiteral("kernelType"), QSysInfo::kernelType()},
        {QStringLiteral("kernelVersion"), QSysInfo::kernelVersion()},
        {QStringLiteral("machineType"), QSysInfo::machineHostName()},
        {QStringLiteral("platform"), platform},
    };
}

QString SystemBridge::getTempDirectory() const
{
    for (auto location : {QStandardPaths::TempLocation, QStandardPaths::GenericCacheLocation,
                          QStandardPaths::AppDataLocation}) {
        const QString path = QStandardPaths::writableLocation(location);
        if (!path.isEmpty())
            return path;
    }
    return {};
}

QVariantMap SystemBridge::getAudioDeviceInfo()
{
    qDebug().noquote() << "SystemBridge::getAudioDeviceInfo() called on platform:" << platformName();
    return {};
}

void SystemBridge::showNotification(const QString &title, const QString &message)
{
    Q_UNUSED(title);
    Q_UNUSED(message);
    qDebug().noquote() << "SystemBridge::showNotification() called on platform:" << platformName();
}

QVariantMap SystemBridge::checkSystemPermissions()
{
    qDebug().noquote() << "SystemBridge::checkSystemPermissions() called on platform:" << platformName();
    return {};
}

QVariantList SystemBridge::getNetworkInterfaces()
{
    qDebug().noquote() << "SystemBridge::getNetworkInterfaces() called on platform:" << platformName();
    return {};
}

QVariantMap SystemBridge::getStorageInfo()
{
    qDebug().noquote() << "SystemBridge::getStorageInfo() called on platform:" << platformName();
    return {};
}

QVariantMap SystemBridge::getCurrentUserInfo()
{
    qDebug().noquote() << "SystemBridge::getCurrentUserInfo() called on platform:" << platformName();
    return {};
}

bool SystemBridge::isAppInForeground()
{
    return false;
}

void SystemBridge::bringAppToFront()
{
    qDebug().noquote() << "SystemBridge::bringAppToFront() called on platform:" << platformName();
}

void SystemBridge::openSystemPreferences()
{
    qDebug().noquote() << "SystemBridge::openSystemPreferences() called on platform:" << platformName();
}

void SystemBridge::requestNotificationPermission()
{
    qDebug().noquote() << "SystemBridge::requestNotificationPermission() called on platform:" << platformName();
    qDebug().noquote() << "Windows notification permission not required";
}

// ---- shell actions -----------------------------------------------------------------

void SystemBridge::openUrl(const QString &url)
{
    Q_UNUSED(url);
    logUnavailable("openUrl");
}

bool SystemBridge::openApplication(const QString &appPath)
{
    Q_UNUSED(appPath);
    logUnavailable("openApplication");
    return false;
}

bool SystemBridge::simulateKeyPress(const QString &hotkey)
{
    Q_UNUSED(hotkey);
    logUnavailable("simulateKeyPress");
    return false;
}

bool SystemBridge::takeScreenshot()
{
    logUnavailable("takeScreenshot");
    return false;
}

bool SystemBridge::startScreenRecording()
{
    logUnavailable("startScreenRecording");
    return false;
}

bool SystemBridge::installFile(const QString &filePath) const
{
    Q_UNUSED(filePath);
    logUnavailable("installFile");
    return false;
}

void SystemBridge::restartApplication() const
{
    logUnavailable("restartApplication");
}

void SystemBridge::quitApplication() const
{
    logUnavailable("quitApplication");
}

// ---- power monitor -----------------------------------------------------------------

void SystemBridge::startPowerEventMonitor()
{
    logUnavailable("startPowerEventMonitor");
}

void SystemBridge::stopPowerEventMonitor()
{
    m_powerMonitorStarted = false;
}

// ---- members that come with the audio side -------------------------------------------

bool SystemBridge::SetDeviceSampleRate(const QString &deviceName, double sampleRate)
{
    Q_UNUSED(deviceName);
    Q_UNUSED(sampleRate);
    logUnavailable("SetDeviceSampleRate");
    return false;
}

void SystemBridge::SetDeviceSampleRateAsync(const QString &deviceName, double sampleRate)
{
    Q_UNUSED(deviceName);
    Q_UNUSED(sampleRate);
    logUnavailable("SetDeviceSampleRateAsync");
}

QString SystemBridge::GetDeviceCurrentRateKHz(const QString &deviceName) const
{
    Q_UNUSED(deviceName);
    logUnavailable("GetDeviceCurrentRateKHz");
    return {};
}
