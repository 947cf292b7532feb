#include "FakeSystemBridge.h"

#include "app/SettingsManager.h"

#include <QJSValue>

FakeSystemBridge::FakeSystemBridge(const QString &tempDirectory, QObject *parent)
    : CallRecorder(parent)
    , m_defaultTempDirectory(tempDirectory)
{
    reset();
}

QVariant FakeSystemBridge::call(const QString &method, const QVariantList &args, const QVariant &fallback) const
{
    // Const members of the bridge are recorded too.
    const_cast<FakeSystemBridge *>(this)->record(method, args);
    return m_results.value(method, fallback);
}

QVariantMap FakeSystemBridge::getSystemInfo()
{
    return call(QStringLiteral("getSystemInfo"), {}, m_systemInfo).toMap();
}

QVariantMap FakeSystemBridge::getAudioDeviceInfo()
{
    return call(QStringLiteral("getAudioDeviceInfo"), {}).toMap();
}

void FakeSystemBridge::showNotification(const QString &title, const QString &message)
{
    call(QStringLiteral("showNotification"), {title, message});
}

QVariantMap FakeSystemBridge::checkSystemPermissions()
{
    return call(QStringLiteral("checkSystemPermissions"), {}).toMap();
}

QVariantList FakeSystemBridge::getNetworkInterfaces()
{
    return call(QStringLiteral("getNetworkInterfaces"), {}).toList();
}

QVariantMap FakeSystemBridge::getStorageInfo()
{
    return call(QStringLiteral("getStorageInfo"), {}).toMap();
}

QVariantMap FakeSystemBridge::getCurrentUserInfo()
{
    return call(QStringLiteral("getCurrentUserInfo"), {}).toMap();
}

bool FakeSystemBridge::isAppInForeground()
{
    return call(QStringLiteral("isAppInForeground"), {}, false).toBool();
}

void FakeSystemBridge::bringAppToFront()
{
    call(QStringLiteral("bringAppToFront"), {});
}

void FakeSystemBridge::openSystemPreferences()
{
    call(QStringLiteral("openSystemPreferences"), {});
}

void FakeSystemBridge::openUrl(const QString &url)
{
    call(QStringLiteral("openUrl"), {url});
}

bool FakeSystemBridge::openApplication(const QString &appPath)
{
    return call(QStringLiteral("openApplication"), {appPath}, m_openApplicationResult).toBool();
}

bool FakeSystemBridge::simulateKeyPress(const QString &hotkey)
{
    return call(QStringLiteral("simulateKeyPress"), {hotkey}, m_keyPressResult).toBool();
}

bool FakeSystemBridge::takeScreenshot()
{
    return call(QStringLiteral("takeScreenshot"), {}, m_keyPressResult).toBool();
}

bool FakeSystemBridge::startScreenRecording()
{
    return call(QStringLiteral("startScreenRecording"), {}, m_keyPressResult).toBool();
}

QString FakeSystemBridge::getTempDirectory() const
{
    return call(QStringLiteral("getTempDirectory"), {}, m_tempDirectory).toString();
}

bool FakeSystemBridge::installFile(const QString &filePath) const
{
    return call(QStringLiteral("installFile"), {filePath}, m_installFileResult).toBool();
}

void FakeSystemBridge::restartApplication() const
{
    call(QStringLiteral("restartApplication"), {});
}

void FakeSystemBridge::quitApplication() const
{
    call(QStringLiteral("quitApplication"), {});
}

void FakeSystemBridge::requestNotificationPermission()
{
    call(QStringLiteral("requestNotificationPermission"), {});
}

QVariantList FakeSystemBridge::getRunningApplications()
{
    return call(QStringLiteral("getRunningApplications"), {}, m_runningApplications).toList();
}

QVariantList FakeSystemBridge::getRunningApplicationsCached()
{
    return call(QStringLiteral("getRunningApplicationsCached"), {}, m_runningApplications).toList();
}

QVariantList FakeSystemBridge::getRunningApplicationsByQt()
{
    return call(QStringLiteral("getRunningApplicationsByQt"), {}, m_installedApplications).toList();
}

QVariantList FakeSystemBridge::getOutputStreamIDs() const
{
    return call(QStringLiteral("getOutputStreamIDs"), {}).toList();
}

QString FakeSystemBridge::getPlatform()
{
    return call(QStringLiteral("getPlatform"), {}, QStringLiteral("Test OS 1")).toString();
}

void FakeSystemBridge::startPowerEventMonitor()
{
    call(QStringLiteral("startPowerEventMonitor"), {});
}

void FakeSystemBridge::stopPowerEventMonitor()
{
    call(QStringLiteral("stopPowerEventMonitor"), {});
}

void FakeSystemBridge::setAudioConfig(const QVariantList &configs)
{
    call(QStringLiteral("setAudioConfig"), {QVariant(configs)});
}

bool FakeSystemBridge::Start()
{
    return call(QStringLiteral("Start"), {}, false).toBool();
}

void FakeSystemBridge::Stop()
{
    call(QStringLiteral("Stop"), {});
}

bool FakeSystemBridge::Restart()
{
    return call(QStringLiteral("Restart"), {}, false).toBool();
}

bool FakeSystemBridge::IsRunning() const
{
    return call(QStringLiteral("IsRunning"), {}, false).toBool();
}

bool FakeSystemBridge::SetSampleRate(double sampleRate)
{
    return call(QStringLiteral("SetSampleRate"), {sampleRate}, false).toBool();
}

double FakeSystemBridge::GetSampleRate() const
{
    return call(QStringLiteral("GetSampleRate"), {}, 0.0).toDouble();
}

bool FakeSystemBridge::AddInputDevice(const QString &deviceName, int index)
{
    return call(QStringLiteral("AddInputDevice"), {deviceName, index}, true).toBool();
}

bool FakeSystemBridge::RemoveInputDevice(const QString &deviceName)
{
    return call(QStringLiteral("RemoveInputDevice"), {deviceName}, true).toBool();
}

QVariantList FakeSystemBridge::GetInputDevices() const
{
    return call(QStringLiteral("GetInputDevices"), {}).toList();
}

QVariantList FakeSystemBridge::GetDeviceList(int type) const
{
    return call(QStringLiteral("GetDeviceList"), {type}).toList();
}

// Recorded with what the real bridge would read at this moment (the stored
// device_equalizer, device_equalizer_current, device_compressor and
// device_compressor_value), so that tests see whether the settings were
// stored before the call.
void FakeSystemBridge::updateMonitorDevice()
{
    const SettingsManager *settings = SettingsManager::instance();
    QVariantList seen;
    for (const char *key : {"device_equalizer", "device_equalizer_current", "device_compressor",
                            "device_compressor_value"})
        seen.append(settings->getValue(QString::fromLatin1(key)));
    call(QStringLiteral("updateMonitorDevice"), seen);
}

bool FakeSystemBridge::SetDeviceSampleRate(const QString &deviceName, double sampleRate)
{
    return call(QStringLiteral("SetDeviceSampleRate"), {deviceName, sampleRate}, false).toBool();
}

void FakeSystemBridge::SetDeviceSampleRateAsync(const QString &deviceName, double sampleRate)
{
    call(QStringLiteral("SetDeviceSampleRateAsync"), {deviceName, sampleRate});
}

QString FakeSystemBridge::GetDeviceCurrentRateKHz(const QString &deviceName) const
{
    return call(QStringLiteral("GetDeviceCurrentRateKHz"), {deviceName}, QString()).toString();
}

void FakeSystemBridge::setResult(const QString &method, const QVariant &value)
{
    // Arrays and objects from QML arrive wrapped.
    m_results.insert(method, value.userType() == qMetaTypeId<QJSValue>() ? value.value<QJSValue>().toVariant() : value);
}

void FakeSystemBridge::reset()
{
    m_results.clear();
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
