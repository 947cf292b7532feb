#include "FakeSystemBridge.h"

FakeSystemBridge::FakeSystemBridge(const QString &tempDirectory, QObject *parent)
    : CallRecorder(parent)
    , m_defaultTempDirectory(tempDirectory)
{
    reset();
}

void FakeSystemBridge::stopPowerEventMonitor()
{
    record(QStringLiteral("stopPowerEventMonitor"));
}

bool FakeSystemBridge::installFile(QString filePath)
{
    record(QStringLiteral("installFile"), {filePath});
    return m_installFileResult;
}

void FakeSystemBridge::updateMonitorDevice()
{
    record(QStringLiteral("updateMonitorDevice"));
}

QVariantMap FakeSystemBridge::getSystemInfo()
{
    record(QStringLiteral("getSystemInfo"));
    return m_systemInfo;
}

QString FakeSystemBridge::getTempDirectory()
{
    record(QStringLiteral("getTempDirectory"));
    return m_tempDirectory;
}

QVariantList FakeSystemBridge::getRunningApplicationsByQt()
{
    record(QStringLiteral("getRunningApplicationsByQt"));
    return m_installedApplications;
}

QVariantList FakeSystemBridge::getRunningApplicationsCached()
{
    record(QStringLiteral("getRunningApplicationsCached"));
    return m_runningApplications;
}

QVariantList FakeSystemBridge::getRunningApplications()
{
    record(QStringLiteral("getRunningApplications"));
    return m_runningApplications;
}

void FakeSystemBridge::quitApplication()
{
    record(QStringLiteral("quitApplication"));
}

void FakeSystemBridge::restartApplication()
{
    record(QStringLiteral("restartApplication"));
}

bool FakeSystemBridge::openApplication(QString appPath)
{
    record(QStringLiteral("openApplication"), {appPath});
    return m_openApplicationResult;
}

bool FakeSystemBridge::simulateKeyPress(QString hotkey)
{
    record(QStringLiteral("simulateKeyPress"), {hotkey});
    return m_keyPressResult;
}

bool FakeSystemBridge::takeScreenshot()
{
    record(QStringLiteral("takeScreenshot"));
    return m_keyPressResult;
}

bool FakeSystemBridge::startScreenRecording()
{
    record(QStringLiteral("startScreenRecording"));
    return m_keyPressResult;
}

void FakeSystemBridge::setAudioConfig(QVariantList configs)
{
    record(QStringLiteral("setAudioConfig"), {QVariant(configs)});
}

bool FakeSystemBridge::AddInputDevice(QString name, int index)
{
    record(QStringLiteral("AddInputDevice"), {name, index});
    return true;
}

bool FakeSystemBridge::RemoveInputDevice(QString name)
{
    record(QStringLiteral("RemoveInputDevice"), {name});
    return true;
}

void FakeSystemBridge::reset()
{
    m_installFileResult = false;
    m_systemInfo = QVariantMap{
        {QStringLiteral("osName"), QStringLiteral("Test OS")},
        {QStringLiteral("kernelType"), QStringLiteral("linux")},
        {QStringLiteral("kernelVersion"), QStringLiteral("6.1.0")},
        {QStringLiteral("machineType"), QStringLiteral("test-host")},
        {QStringLiteral("platform"), QStringLiteral("Test OS 1")},
    };
    m_tempDirectory = m_defaultTempDirectory;
    m_installedApplications.clear();
    m_runningApplications.clear();
    m_openApplicationResult = true;
    m_keyPressResult = true;
    emit scriptChanged();
    CallRecorder::reset();
}
