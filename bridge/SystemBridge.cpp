#include "bridge/SystemBridge.h"

#include "bridge/DownloadFolder.h"
#include "bridge/EndpointSampleRate.h"
#include "bridge/PowerMonitor.h"
#include "bridge/ShellActions.h"
#include "device/HIDHotplugManager.h"
#include "threading/QtHandoff.h"
#include "platform/os/OsPlatform.h"
#include "platform/windows/routerAudio/AudioRouterService.h"
#include "platform/windows/routerAudio/LoopbackCapture.h"
#include "platform/windows/routerAudio/WinMicRouter.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QDebug>
#include <QOperatingSystemVersion>
#include <QPointer>
#include <QProcess>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTimer>
#include <QUrl>

std::atomic<SystemBridge *> SystemBridge::s_callbackBridge{nullptr};
SystemBridge::InstanceGuardHooks SystemBridge::s_instanceGuard;
const StoredSettings *SystemBridge::s_storedSettings = nullptr;

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
    , m_sampleRate(makeSampleRateRequests(this, options))
{
    qDebug().noquote() << "[INFO] initRouterAPI: Delayed initialization mode - "
                          "waiting for Tarvo device connection via HIDHotplugManager signal";
}

SystemBridge::~SystemBridge()
{
    detachSampleRateWorker();
    stopAudioJobs();
    stopPowerEventMonitor();
    cleanupNativeBridge();
    stopDeviceCacheWorker();
    stopRunningAppsWorker();
    stopInstalledAppsScan();
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
            postQueued(QCoreApplication::instance(), [self] {
                if (self)
                    self->initializeMonitorDevice();
            });
        });
        return;
    }
    case os::PermissionStatus::Denied:
        qWarning() << "Microphone permission is not granted!";
        return;
    case os::PermissionStatus::Granted:
        qInfo().noquote() << "PermissionStatus::Granted ";
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
    qDebug().noquote() << "SystemBridge::openUrl() called with URL:" << url << "on platform:" << platformName();
    openWindowsUrl(url);
}

bool SystemBridge::openApplication(const QString &appPath)
{
    qDebug().noquote() << "SystemBridge::openApplication() called with path:" << appPath << platformName();
    return openWindowsApplication(appPath);
}

bool SystemBridge::simulateKeyPress(const QString &hotkey)
{
    qDebug().noquote() << "SystemBridge::simulateKeyPress() called with hotkey:" << hotkey << platformName();
    return simulateWindowsKeyPress(hotkey);
}

bool SystemBridge::takeScreenshot()
{
    qDebug().noquote() << "SystemBridge::takeScreenshot() called on platform:" << platformName();
    return simulateKeyPress(QStringLiteral("Meta+Shift+S"));
}

bool SystemBridge::startScreenRecording()
{
    qDebug().noquote() << "SystemBridge::startScreenRecording() called on platform:" << platformName();
    return simulateKeyPress(QStringLiteral("Meta+G"));
}

bool SystemBridge::installFile(const QString &filePath) const
{
    const QFileInfo info(filePath);
    if (!info.isFile()) {
        qWarning().noquote() << "SystemBridge::installFile 文件不存在:" << filePath;
        return false;
    }
    // Only what the program itself downloaded, and only through the
    // desktop's handler for its type: nothing here makes a file executable.
    if (!downloads::contains(info.absoluteFilePath())) {
        qWarning().noquote() << "SystemBridge::installFile 安装文件不在下载目录中:" << filePath;
        return false;
    }
    qInfo().noquote() << "SystemBridge::installFile 准备启动安装程序并退出当前程序:" << filePath;
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(info.absoluteFilePath()))) {
        qWarning().noquote() << "SystemBridge::installFile 打开安装文件失败:" << info.absoluteFilePath();
        return false;
    }
    QTimer::singleShot(200, [] {
        qInfo().noquote() << "SystemBridge::installFile 安装程序已启动，正在退出当前程序";
        closeWindowsAndExit();
    });
    return true;
}

void SystemBridge::restartApplication() const
{
    const QString program = QCoreApplication::applicationFilePath();
    if (program.isEmpty()) {
        qWarning().noquote() << "SystemBridge::restartApplication 无法获取应用路径";
        return;
    }
    QStringList arguments = QCoreApplication::arguments();
    if (!arguments.isEmpty())
        arguments.removeFirst();
    // The new copy must not meet this copy's single-instance guard.
    if (s_instanceGuard.release)
        s_instanceGuard.release();
    if (!QProcess::startDetached(program, arguments, QString())) {
        if (s_instanceGuard.retake)
            s_instanceGuard.retake();
        qWarning().noquote() << "SystemBridge::restartApplication 重启失败:" << program << arguments;
        return;
    }
    qInfo().noquote() << "SystemBridge::restartApplication 正在重启应用";
    closeWindowsAndExit();
}

void SystemBridge::quitApplication() const
{
    qInfo().noquote() << "SystemBridge::quitApplication 正在退出应用程序";
    if (HIDHotplugManager *devices = HIDHotplugManager::instance())
        devices->stopAndDisconnectDevice();
    if (m_audioRouter)
        m_audioRouter->Stop();
    if (m_micRouter)
        m_micRouter->Stop();
    const_cast<SystemBridge *>(this)->stopPowerEventMonitor();
    QCoreApplication::exit(0);
}

void SystemBridge::setStoredSettings(const StoredSettings *settings)
{
    s_storedSettings = settings;
}

void SystemBridge::setInstanceGuardHooks(std::function<void()> release, std::function<bool()> retake)
{
    s_instanceGuard = {std::move(release), std::move(retake)};
}

// ---- power monitor -----------------------------------------------------------------

void SystemBridge::startPowerEventMonitor()
{
    if (m_powerMonitorStarted)
        return;
    if (!PowerMonitor::instance().start([this](bool screenOn) { reportScreenPowerState(screenOn); })) {
        qWarning().noquote() << "SystemBridge::startPowerEventMonitor 无法启动 Windows 监控";
        return;
    }
    m_powerMonitorStarted = true;
}

void SystemBridge::stopPowerEventMonitor()
{
    PowerMonitor::instance().stop();
    m_powerMonitorStarted = false;
}

void SystemBridge::reportScreenPowerState(bool screenOn)
{
    // The monitor's thread; the stop waits for a running report, so the
    // bridge is still there.
    postQueued(this, [this, screenOn] { emit screenPowerStateChanged(screenOn); });
}

// ---- members that come with the audio side -------------------------------------------

