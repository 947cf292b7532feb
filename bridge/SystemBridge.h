#pragma once

#include "bridge/DeviceListCache.h"
#include "bridge/RunningApps.h"
#include "bridge/dsp/MonitorProcessing.h"

#include <QFuture>
#include <QObject>
#include <QSet>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

namespace os {
class PolicyConfig;
enum class DataFlow;
}
struct SampleRateRequests;
class AudioRouterService;
class HIDHotplugManager;
class StoredSettings;
class WinMicRouter;

// The interface's gateway to the operating system and the audio side. One
// process-wide object on the GUI thread (instance()); every signal is
// emitted there. Its QML interface is exactly the members declared below,
// in this order: signals, then invokable methods, then two constant
// properties. Internal handlers use functor connections, so the
// meta-object holds nothing else.
class SystemBridge : public QObject
{
    Q_OBJECT
    Q_PROPERTY(bool isMacOS READ isMacOS CONSTANT)
    Q_PROPERTY(bool isWindows READ isWindows CONSTANT)
public:
    // Created on the first call, on the GUI thread, and never destroyed.
    static SystemBridge *instance();

    // What a bridge runs on. The program's bridge takes the defaults;
    // tests build their own bridge over their own world.
    struct Options
    {
        // The device manager whose connections the audio services follow;
        // null: the process-wide one.
        HIDHotplugManager *hotplug = nullptr;

        // Runs on the sample-rate worker between its last look at the
        // requested rate and the end of its run (tests reach into that gap).
        std::function<void()> sampleRateRunEnding;

        // Runs on the pool as each scan of the installed programs starts,
        // with the scan's stop flag (tests hold scans there).
        std::function<void(const std::atomic<bool> &stopped)> installedScanStarting;
    };
    explicit SystemBridge(const Options &options, QObject *parent = nullptr);
    ~SystemBridge() override;

    // Start-up sequence, driven by the microphone permission; called once
    // by the program right after instance(), before QML sees the bridge.
    void initializeMonitorDevice();
    void cleanupNativeBridge();

    // The per-block audio callback of the engine and the microphone router;
    // it finds its bridge through the callback pointer.
    static void monitorLevelCallback(float *samples, int channels, int frames, double sampleRate);
    // The first microphone's block, in place: equaliser, then gain stage.
    void processFirstDeviceAudio(float *data, int channels, int frames, double sampleRate);
    // The bridge that audio threads call into; null when there is none.
    static SystemBridge *callbackBridge();

    // How a restart lets go of the program's single-instance guard before the
    // new copy starts, and takes it back when the start fails.
    static void setInstanceGuardHooks(std::function<void()> release, std::function<bool()> retake);
    // Where every bridge reads the user's stored settings; set by the program
    // before the first bridge is made, on the GUI thread.
    static void setStoredSettings(const StoredSettings *settings);

    // Tests drive the list workers on a manual clock and watch their state.
    DeviceListCache &deviceCacheForTests() { return m_deviceCache; }
    RunningAppsCache &runningAppsForTests() { return m_runningApps; }
    void stopDeviceCacheWorkerForTests() { stopDeviceCacheWorker(); }
    bool installedAppsScanningForTests() const { return m_installedScan != nullptr; }

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

signals:
    void permissionChanged(QString permission, bool granted);
    void systemInfoUpdated();
    void networkStatusChanged();
    void audioInputLevelChanged(QVariantList levels);
    void audioDeviceListChanged();
    void runningAppsChanged();
    // A scan of the installed programs found a list other than the last.
    void installedAppsChanged(QVariantList apps);
    void screenPowerStateChanged(bool screenOn);
    void virtualDriverStatusChanged(bool installed);
    void deviceSampleRateChanged(QString deviceName, double sampleRate, bool success);

private:
    SystemBridge();

    void createRouters();
    // The two start-up jobs that run once the event loop runs.
    void checkVirtualDriver();
    void connectHidHotplug();
    // Audio services that follow the device; bodies beside the controls.
    struct AudioServices;
    void onHidDeviceConnectionChanged(const QVariantMap &deviceInfo, bool isConnected);
    void waitForAudioEndpointReady(const QString &deviceName, std::function<void()> callback);
    static void startAudioServices(const std::shared_ptr<AudioServices> &services, const QString &deviceName,
                                   uint64_t generation);
    static void stopAudioServices(const std::shared_ptr<AudioServices> &services, uint64_t connections);
    // Refuses new pool jobs and waits for the running ones.
    void stopAudioJobs();
    // The service lock, for changes of the router outside the start and
    // stop sequences; an empty lock while there are no audio services.
    std::unique_lock<std::mutex> lockAudioServices();

    // Given to the power monitor; runs on its thread.
    void reportScreenPowerState(bool screenOn);

    // The endpoint list cache and its worker (DeviceListCache.cpp).
    void startDeviceCacheWorker();
    void stopDeviceCacheWorker();
    void markDeviceListDirty();
    QVariantList buildAudioDeviceList() const;
    // One rebuild and the wait for the next change; false once stopped.
    bool deviceCachePass();

    // Running and installed applications (RunningApps.cpp, InstalledApps.cpp).
    void startRunningAppsWorker();
    void stopRunningAppsWorker();
    // One refresh and the wait before the next.
    void runningAppsPass();
    // Installed programs are scanned on the pool, one scan at a time; the
    // bridge keeps the last list (GUI thread).
    // The list with every picture it names drawn.
    static QVariantList scanInstalled(const QStringList &programFolders, const QStringList &iconThemes,
                                       const std::atomic<bool> &cancelled);
    static void scanApplications(const QString &folder, QVariantList &out, QSet<QString> &seen, int depth);
    static QString appIconPath(const QString &executablePath, const QString &name);
    static QString sanitizeIconFileName(const QString &name);
    // One scan, its pictures included, at a time.
    void startInstalledAppsScan();
    void showInstalledApps(const QVariantList &apps);
    void endInstalledAppsScan(const std::shared_ptr<std::atomic<bool>> &scan);
    // Stops a running scan and waits for it.
    void stopInstalledAppsScan();

    // Endpoint sample rate (EndpointSampleRate.cpp).
    bool setDeviceFormatForFlow(os::DataFlow flow, os::PolicyConfig &policy, const QString &deviceName,
                                double sampleRate, int &matched, int &applied);
    void restartMicRouterAfterFormat(bool stoppedRouter);
    static bool matchesDeviceEndpoint(const QString &friendlyName, const QString &deviceName);
    static void sampleRateWorker(std::shared_ptr<SampleRateRequests> requests);
    quint32 endpointSampleRate(const QString &deviceName, os::DataFlow flow) const;
    // Lets a running worker go on without this bridge; waits for its write.
    void detachSampleRateWorker();

    Options m_options;
    // Shared with the sample-rate worker, which may outlive the bridge.
    const std::shared_ptr<SampleRateRequests> m_sampleRate;
    bool m_powerMonitorStarted = false;
    DeviceListCache m_deviceCache;
    RunningAppsCache m_runningApps;
    QVariantList m_installedApps;                          // browser entry first
    std::shared_ptr<std::atomic<bool>> m_installedScan;    // the running scan's stop flag; null when none runs
    bool m_installedRescan = false;                        // asked for again while one ran
    QFuture<void> m_installedScanJob;

    // Created by createRouters on the GUI thread, destroyed by the destructor.
    std::unique_ptr<AudioRouterService> m_audioRouter;
    std::unique_ptr<WinMicRouter> m_micRouter;
    // Made by the hookup on the GUI thread; shared with the pool jobs.
    std::shared_ptr<AudioServices> m_services;
    // Settings from the GUI thread, blocks from the capture thread; its
    // fields say how they meet. Outlives the routers' threads.
    MonitorProcessing m_monitor;

    // Audio threads read it while a bridge may be going away: a destructor
    // clears it, when it is its own, only after its routers stopped.
    static std::atomic<SystemBridge *> s_callbackBridge;

    struct InstanceGuardHooks
    {
        std::function<void()> release;
        std::function<bool()> retake;
    };
    static InstanceGuardHooks s_instanceGuard; // set once at start-up, GUI thread
    static const StoredSettings *s_storedSettings; // set once at start-up, GUI thread
};
