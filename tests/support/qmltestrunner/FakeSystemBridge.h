#pragma once

#include "CallRecorder.h"

#include <QVariantMap>

// Stands in for the system bridge in QML tests: the bridge's whole QML
// interface, in its order and with its types, every call recorded. Results
// are scriptable through the properties below and, for any method,
// setResult(method, value); signals are emitted from QML directly
// (SystemBridge.runningAppsChanged()). Its only other members are the
// scripting ones (properties, setResult, reset, scriptChanged).
class FakeSystemBridge : public CallRecorder
{
    Q_OBJECT
    Q_PROPERTY(bool isMacOS READ isMacOS CONSTANT)
    Q_PROPERTY(bool isWindows READ isWindows CONSTANT)
    Q_PROPERTY(bool installFileResult MEMBER m_installFileResult NOTIFY scriptChanged)
    Q_PROPERTY(QVariantMap systemInfo MEMBER m_systemInfo NOTIFY scriptChanged)
    Q_PROPERTY(QString tempDirectory MEMBER m_tempDirectory NOTIFY scriptChanged)
    Q_PROPERTY(QVariantList installedApplications MEMBER m_installedApplications NOTIFY scriptChanged)
    Q_PROPERTY(QVariantList runningApplications MEMBER m_runningApplications NOTIFY scriptChanged)
    // Result of openApplication, and of the key actions (simulateKeyPress,
    // takeScreenshot, startScreenRecording).
    Q_PROPERTY(bool openApplicationResult MEMBER m_openApplicationResult NOTIFY scriptChanged)
    Q_PROPERTY(bool keyPressResult MEMBER m_keyPressResult NOTIFY scriptChanged)
public:
    // tempDirectory is what getTempDirectory reports after every reset.
    explicit FakeSystemBridge(const QString &tempDirectory, QObject *parent = nullptr);

    bool isMacOS() const { return false; }
    bool isWindows() const { return true; }

    Q_INVOKABLE QVariantMap getSystemInfo();
    Q_INVOKABLE QVariantMap getAudioDeviceInfo();
    Q_INVOKABLE void showNotification(const QString &title, const QString &message);
    Q_INVOKABLE QVariantMap checkSystemPermissions();
    Q_INVOKABLE QVariantList getNetworkInterfaces();
    Q_INVOKABLE QVariantMap getStorageInfo();
    Q_INVOKABLE QVariantMap getCurrentUserInfo();
    Q_INVOKABLE bool isAppInForeground();
    Q_INVOKABLE void bringAppToFront();
    Q_INVOKABLE void openSystemPreferences();
    Q_INVOKABLE void openUrl(const QString &url);
    Q_INVOKABLE bool openApplication(const QString &appPath);
    Q_INVOKABLE bool simulateKeyPress(const QString &hotkey);
    Q_INVOKABLE bool takeScreenshot();
    Q_INVOKABLE bool startScreenRecording();
    Q_INVOKABLE QString getTempDirectory() const;
    Q_INVOKABLE bool installFile(const QString &filePath) const;
    Q_INVOKABLE void restartApplication() const;
    Q_INVOKABLE void quitApplication() const;
    Q_INVOKABLE void requestNotificationPermission();
    Q_INVOKABLE QVariantList getRunningApplications();
    Q_INVOKABLE QVariantList getRunningApplicationsCached();
    Q_INVOKABLE QVariantList getRunningApplicationsByQt();
    Q_INVOKABLE QVariantList getOutputStreamIDs() const;
    Q_INVOKABLE QString getPlatform();
    Q_INVOKABLE void startPowerEventMonitor();
    Q_INVOKABLE void stopPowerEventMonitor();
    Q_INVOKABLE void setAudioConfig(const QVariantList &configs);
    Q_INVOKABLE bool Start();
    Q_INVOKABLE void Stop();
    Q_INVOKABLE bool Restart();
    Q_INVOKABLE bool IsRunning() const;
    Q_INVOKABLE bool SetSampleRate(double sampleRate);
    Q_INVOKABLE double GetSampleRate() const;
    Q_INVOKABLE bool AddInputDevice(const QString &deviceName, int index);
    Q_INVOKABLE bool RemoveInputDevice(const QString &deviceName);
    Q_INVOKABLE QVariantList GetInputDevices() const;
    Q_INVOKABLE QVariantList GetDeviceList(int type) const;
    Q_INVOKABLE void updateMonitorDevice();
    Q_INVOKABLE bool SetDeviceSampleRate(const QString &deviceName, double sampleRate);
    Q_INVOKABLE void SetDeviceSampleRateAsync(const QString &deviceName, double sampleRate);
    Q_INVOKABLE QString GetDeviceCurrentRateKHz(const QString &deviceName) const;

    // What a method returns until the next reset: before that, the table's
    // neutral value, except that adding and removing an input succeed.
    Q_INVOKABLE void setResult(const QString &method, const QVariant &value);
    Q_INVOKABLE void reset() override;

signals:
    void permissionChanged(QString permission, bool granted);
    void systemInfoUpdated();
    void networkStatusChanged();
    void audioInputLevelChanged(QVariantList levels);
    void audioDeviceListChanged();
    void runningAppsChanged();
    void installedAppsChanged(QVariantList apps);
    void screenPowerStateChanged(bool screenOn);
    void virtualDriverStatusChanged(bool installed);
    void deviceSampleRateChanged(QString deviceName, double sampleRate, bool success);
    void scriptChanged();

private:
    // Records the call and returns the scripted result, or the fallback.
    QVariant call(const QString &method, const QVariantList &args, const QVariant &fallback = {}) const;

    const QString m_defaultTempDirectory;
    QVariantMap m_results;
    bool m_installFileResult = false;
    QVariantMap m_systemInfo;
    QString m_tempDirectory;
    QVariantList m_installedApplications;
    QVariantList m_runningApplications;
    bool m_openApplicationResult = true;
    bool m_keyPressResult = true;
};
