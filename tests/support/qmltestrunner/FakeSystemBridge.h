#pragma once

#include "CallRecorder.h"

#include <QVariantMap>

// Stands in for the system bridge in QML tests. Results are scriptable
// through the properties; signals are emitted from QML directly
// (SystemBridge.runningAppsChanged()).
class FakeSystemBridge : public CallRecorder
{
    Q_OBJECT
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

    Q_INVOKABLE void stopPowerEventMonitor();
    Q_INVOKABLE bool installFile(QString filePath);
    Q_INVOKABLE void updateMonitorDevice();
    Q_INVOKABLE QVariantMap getSystemInfo();
    Q_INVOKABLE QString getTempDirectory();
    Q_INVOKABLE QVariantList getRunningApplicationsByQt();
    Q_INVOKABLE QVariantList getRunningApplicationsCached();
    Q_INVOKABLE QVariantList getRunningApplications();
    Q_INVOKABLE void quitApplication();
    Q_INVOKABLE void restartApplication();
    Q_INVOKABLE bool openApplication(QString appPath);
    Q_INVOKABLE bool simulateKeyPress(QString hotkey);
    Q_INVOKABLE bool takeScreenshot();
    Q_INVOKABLE bool startScreenRecording();
    Q_INVOKABLE void setAudioConfig(QVariantList configs);
    Q_INVOKABLE bool AddInputDevice(QString name, int index);
    Q_INVOKABLE bool RemoveInputDevice(QString name);

    Q_INVOKABLE void reset() override;

signals:
    void audioInputLevelChanged(QVariantList levels);
    void runningAppsChanged();
    void audioDeviceListChanged();
    void scriptChanged();

private:
    const QString m_defaultTempDirectory;
    bool m_installFileResult = false;
    QVariantMap m_systemInfo;
    QString m_tempDirectory;
    QVariantList m_installedApplications;
    QVariantList m_runningApplications;
    bool m_openApplicationResult = true;
    bool m_keyPressResult = true;
};
