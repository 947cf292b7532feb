// The bridge's audio side: the routing list, the engine controls and the
// audio services that follow the device.
#include "bridge/AudioRoutingRecords.h"
#include "bridge/SystemBridge.h"

#include "device/HIDHotplugManager.h"
#include "threading/QtHandoff.h"
#include "platform/os/Apartment.h"
#include "platform/os/OsPlatform.h"
#include "platform/windows/routerAudio/AudioRouterService.h"
#include "platform/windows/routerAudio/LivestreamForwarder.h"
#include "platform/windows/routerAudio/LoopbackCapture.h"
#include "platform/windows/routerAudio/VirtualDriverEndpoints.h"
#include "platform/windows/routerAudio/WinMicRouter.h"

#include <QDebug>
#include <QMutex>
#include <QPointer>

#include <condition_variable>
#include <exception>
#include <mutex>

namespace {

constexpr int kEndpointAttempts = 150;
constexpr int64_t kEndpointPauseMs = 200;

// One call from the interface into the audio router: none before the routers
// exist, and an exception ends as the call's failure, never in QML.
template <typename Router, typename Result, typename Call>
Result routerCall(const Router &router, const char *name, Result failed, Call call)
{
    if (!router) {
        qWarning().nospace() << name << ": AudioRouterService not initialized";
        return failed;
    }
    try {
        return call();
    } catch (const std::exception &e) {
        qCritical().nospace() << name << ": Exception: " << e.what();
        return failed;
    }
}

} // namespace

// What the pool jobs share with the bridge. The jobs enter it before they
// touch the bridge; the destructor closes it and waits for those inside, so
// no job runs on a freed bridge (a guarded pointer tested on a pool thread
// could not promise that).
struct SystemBridge::AudioServices
{
    AudioServices(SystemBridge *owner, std::shared_ptr<os::OsPlatform> os)
        : bridge(owner)
        , platform(std::move(os))
    {
    }

    class Job
    {
    public:
        explicit Job(AudioServices &services)
            : m_services(services)
            , m_entered(services.enter())
        {
        }
        ~Job()
        {
            if (m_entered)
                m_services.leave();
        }
        explicit operator bool() const { return m_entered; }

    private:
        AudioServices &m_services;
        const bool m_entered;
    };

    bool enter()
    {
        std::lock_guard lock(gateMutex);
        if (stopping.load())
            return false;
        ++activeJobs;
        return true;
    }
    void leave()
    {
        std::lock_guard lock(gateMutex);
        if (--activeJobs == 0)
            gateIdle.notify_all();
    }
    void stopAndWait()
    {
        {
            std::lock_guard lock(gateMutex);
            stopping.store(true);
        }
        platform->clock().wake(); // ends the endpoint poll's pause
        std::unique_lock lock(gateMutex);
        gateIdle.wait(lock, [this] { return activeJobs == 0; });
    }

    SystemBridge *const bridge; // used only by a job inside the gate
    const std::shared_ptr<os::OsPlatform> platform;

    std::mutex gateMutex;
    std::condition_variable gateIdle;
    int activeJobs = 0;              // guarded by gateMutex
    std::atomic<bool> stopping{false}; // written under gateMutex

    // Raised by every disconnection: a connection's wait and start job
    // carry the value they began with and give up once it moved.
    std::atomic<uint64_t> generation{0};
    // Raised by every connection that goes on to a start: a stop job that
    // finds it moved since its disconnection leaves the services to the
    // later connection, whichever of its start and the stop runs first.
    std::atomic<uint64_t> connections{0};

    std::mutex serviceMutex; // a start or a stop sequence, whole
    QMutex nameMutex;
    QString currentDeviceName; // guarded by nameMutex
};

void SystemBridge::stopAudioJobs()
{
    if (m_services)
        m_services->stopAndWait();
}

std::unique_lock<std::mutex> SystemBridge::lockAudioServices()
{
    return m_services ? std::unique_lock(m_services->serviceMutex) : std::unique_lock<std::mutex>();
}

// ---- routing list ------------------------------------------------------------------

void SystemBridge::setAudioConfig(const QVariantList &configs)
{
    qDebug().noquote() << "SystemBridge::setAudioConfig() called with" << configs.size() << "configs";
    parseAudioConfigs(configs);
}

// ---- engine controls ---------------------------------------------------------------

bool SystemBridge::Start()
{
    if (!m_audioRouter)
        createRouters();
    return routerCall(m_audioRouter, "SystemBridge::Start", false, [&] {
        const bool started = m_audioRouter->Start(AudioRouterConfig{});
        if (started)
            qDebug() << "SystemBridge::Start: Audio router service started successfully";
        else
            qWarning() << "SystemBridge::Start: Failed to start audio router service";
        return started;
    });
}

void SystemBridge::Stop()
{
    routerCall(m_audioRouter, "SystemBridge::Stop", false, [&] {
        m_audioRouter->Stop();
        qDebug() << "SystemBridge::Stop: Audio router service stopped";
        return true;
    });
}

bool SystemBridge::Restart()
{
    return routerCall(m_audioRouter, "SystemBridge::Restart", false, [&] {
        const bool restarted = m_audioRouter->Restart();
        if (restarted)
            qDebug() << "SystemBridge::Restart: Audio router service restarted successfully";
        else
            qWarning() << "SystemBridge::Restart: Failed to restart audio router service";
        return restarted;
    });
}

bool SystemBridge::IsRunning() const
{
    // Asked often by the interface: no routers yet is no news.
    return m_audioRouter
        && routerCall(m_audioRouter, "SystemBridge::IsRunning", false, [&] { return m_audioRouter->IsRunning(); });
}

bool SystemBridge::SetSampleRate(double sampleRate)
{
    return routerCall(m_audioRouter, "SystemBridge::SetSampleRate", false, [&] {
        const bool set = m_audioRouter->SetSampleRate(sampleRate);
        if (set)
            qDebug() << "SystemBridge::SetSampleRate: Sample rate set to" << sampleRate;
        else
            qWarning() << "SystemBridge::SetSampleRate: Failed to set sample rate to" << sampleRate;
        return set;
    });
}

double SystemBridge::GetSampleRate() const
{
    return routerCall(m_audioRouter, "SystemBridge::GetSampleRate", 0.0, [&] { return m_audioRouter->GetSampleRate(); });
}

bool SystemBridge::AddInputDevice(const QString &deviceName, int index)
{
    return routerCall(m_audioRouter, "SystemBridge::AddInputDevice", false, [&] {
        const bool added = m_micRouter && m_micRouter->AddInputDevice(deviceName.toStdString(), 0, index);
        if (added)
            qDebug() << "SystemBridge::AddInputDevice: Added device" << deviceName
                     << "with 0 requestedChannels (auto-detect), index:" << index;
        else
            qWarning() << "SystemBridge::AddInputDevice: Failed to add device" << deviceName;
        return added;
    });
}

bool SystemBridge::RemoveInputDevice(const QString &deviceName)
{
    return routerCall(m_audioRouter, "SystemBridge::RemoveInputDevice", false, [&] {
        if (!m_micRouter || !m_micRouter->IsRunning()) {
            // The router stopped with the device and took every input with it.
            qDebug() << "SystemBridge::RemoveInputDevice: already removed with the device:" << deviceName;
            return true;
        }
        const bool removed = m_micRouter->RemoveInputDevice(deviceName.toStdString());
        if (removed)
            qDebug() << "SystemBridge::RemoveInputDevice: Removed device" << deviceName;
        else
            qWarning() << "SystemBridge::RemoveInputDevice: Device not found:" << deviceName;
        return removed;
    });
}

QVariantList SystemBridge::GetInputDevices() const
{
    // On an exception the list is empty: a part of it would look like the whole.
    return routerCall(m_audioRouter, "SystemBridge::GetInputDevices", QVariantList{}, [&] {
        QVariantList devices;
        for (const InputDeviceEntry &entry : m_audioRouter->GetInputDevices())
            devices.append(QVariantMap{{QStringLiteral("name"), QString::fromStdString(entry.name)},
                                       {QStringLiteral("requestedChannels"), entry.requestedChannels}});
        return devices;
    });
}

// ---- audio services that follow the device ----------------------------------------------

void SystemBridge::checkVirtualDriver()
{
    const os::ApartmentScope apartment(os::ApartmentKind::SingleThreaded);
    const bool installed = DriverDetection::isVirtualDriverInstalled();
    emit virtualDriverStatusChanged(installed);
    if (!installed) {
        qWarning().noquote() << "[SystemBridge]" << "NUVEX Stream Mix" << "virtual audio driver is NOT installed";
        return;
    }
    qDebug().noquote() << "[SystemBridge]" << "NUVEX Stream Mix" << "virtual audio driver detected";
    if (DefaultDeviceManager::setVirtualOutputAsDefault())
        qDebug().noquote() << "[SystemBridge] Brand speaker set as system default";
    else
        qWarning().noquote()
            << "[SystemBridge] Failed to set brand speaker as default (see [DefaultDeviceManager] logs)";
}

void SystemBridge::connectHidHotplug()
{
    HIDHotplugManager *manager = m_options.hotplug ? m_options.hotplug : HIDHotplugManager::instance();
    if (!manager)
        return;
    if (!m_services)
        m_services = std::make_shared<AudioServices>(this, os::currentPlatform());
    connect(manager, &HIDHotplugManager::deviceConnected, this,
            [this](const QVariantMap &deviceInfo, bool isConnected) {
                onHidDeviceConnectionChanged(deviceInfo, isConnected);
            });
    qDebug().noquote() << "[SystemBridge] Connected to HIDHotplugManager::deviceConnected for delayed initialization";
}

void SystemBridge::onHidDeviceConnectionChanged(const QVariantMap &deviceInfo, bool isConnected)
{
    const std::shared_ptr<AudioServices> services = m_services;
    if (!isConnected) {
        qDebug().noquote() << "[SystemBridge] Veloran device disconnected, stopping all audio services";
        services->generation.fetch_add(1);
        // Cleared at once as well: a connection reported before the stop
        // job runs is a new one, not the device the services run for.
        {
            QMutexLocker lock(&services->nameMutex);
            services->currentDeviceName.clear();
        }
        const uint64_t connections = services->connections.load();
        startPooled([services, connections] { stopAudioServices(services, connections); });
        return;
    }
    const QString name = deviceInfo.value(QStringLiteral("name")).toString();
    qDebug().noquote() << "[SystemBridge] Veloran device connected:" << name;
    if (name.isEmpty())
        return;
    {
        QMutexLocker lock(&services->nameMutex);
        if (name == services->currentDeviceName)
            return;
    }
    services->connections.fetch_add(1);
    const uint64_t generation = services->generation.load();
    waitForAudioEndpointReady(name, [services, name, generation] {
        if (services->generation.load() != generation)
            return;
        startPooled([services, name, generation] { startAudioServices(services, name, generation); });
    });
}

void SystemBridge::waitForAudioEndpointReady(const QString &deviceName, std::function<void()> callback)
{
    if (deviceName.isEmpty())
        return;
    qDebug().noquote() << "[SystemBridge] Waiting for audio endpoint to become ready for" << deviceName << "...";
    const std::shared_ptr<AudioServices> services = m_services;
    const uint64_t generation = services->generation.load();
    startPooled([services, deviceName, generation, callback = std::move(callback)] {
        AudioServices::Job job(*services);
        if (!job)
            return;
        const bool owned = [] {
            const HRESULT hr = os::initializeApartment(os::ApartmentKind::SingleThreaded);
            return SUCCEEDED(hr) && hr != RPC_E_CHANGED_MODE;
        }();
        os::Clock &clock = services->platform->clock();
        const std::wstring name = deviceName.toStdWString();
        bool ready = false;
        for (int attempt = 1; attempt <= kEndpointAttempts; ++attempt) {
            if (services->stopping.load() || services->generation.load() != generation)
                break;
            std::shared_ptr<os::EndpointEnumerator> enumerator;
            if (SUCCEEDED(services->platform->createEndpointEnumerator(enumerator)) && enumerator
                && findEndpointByName(enumerator.get(), os::DataFlow::Capture, name)) {
                ready = true;
                break;
            }
            enumerator.reset();
            clock.waitUntil([&] { return services->stopping.load(); }, clock.deadlineAfterMs(kEndpointPauseMs));
        }
        if (owned)
            os::uninitializeApartment();
        if (services->stopping.load())
            return;
        postQueued(
            services->bridge,
            [services, deviceName, generation, ready, callback] {
                // A disconnection during the wait: the continuation would
                // start the services for a device that is gone.
                if (services->generation.load() != generation)
                    return;
                if (ready)
                    qDebug().noquote() << "[SystemBridge] Audio endpoint ready for" << deviceName
                                       << "-- starting audio services";
                else
                    qWarning().noquote() << "[SystemBridge] capture endpoint not detected for" << deviceName
                                         << "after 30s; starting services anyway (workers will self-heal)";
                callback();
            });
    });
}

void SystemBridge::startAudioServices(const std::shared_ptr<AudioServices> &services, const QString &deviceName,
                                      uint64_t generation)
{
    AudioServices::Job job(*services);
    if (!job)
        return;
    std::lock_guard serviceLock(services->serviceMutex);
    if (services->stopping.load() || services->generation.load() != generation)
        return;
    SystemBridge *bridge = services->bridge;
    const HRESULT apartment = os::initializeApartment(os::ApartmentKind::Multithreaded);

    if (bridge->m_audioRouter) {
        AudioRouterConfig config;
        config.sampleRate = 48000.0;
        config.framesPerBuffer = 256;
        config.outputDevice = deviceName.toStdString();
        config.inputDevices.push_back({deviceName.toStdString(), 0, 0});
        bool started = false;
        if (bridge->m_micRouter) {
            if (bridge->m_micRouter->IsRunning())
                bridge->m_micRouter->Stop();
            started = bridge->m_micRouter->Start(config);
        }
        if (started)
            qDebug().noquote() << "[SystemBridge] WinMicRouter started:" << deviceName;
        else
            qWarning().noquote() << "[SystemBridge] WinMicRouter failed to start:" << deviceName;
    }

    if (!AudioRouterAPI::IsRunning()) {
        if (AudioRouterAPI::Initialize()) {
            qDebug().noquote() << "[SystemBridge] AudioRouterAPI initialized";
            const QPointer<SystemBridge> guard(bridge);
            setLevelCallback(
                [guard](const QVariantList &levels) {
                    if (guard)
                        emit guard->audioInputLevelChanged(levels);
                },
                bridge);
            qDebug().noquote() << "[SystemBridge] LevelCallback set";
            applyPendingAudioConfigs();
        } else {
            qWarning().noquote() << "[SystemBridge] AudioRouterAPI initialization failed";
        }
    }

    LivestreamForwarder &forwarder = LivestreamForwarder::instance();
    if (!forwarder.IsRunning()) {
        if (forwarder.Start())
            qDebug().noquote() << "[SystemBridge] LivestreamForwarder started";
        else
            qWarning().noquote() << "[SystemBridge] LivestreamForwarder failed to start (driver may not be installed)";
    }

    {
        // A disconnection while this ran has cleared the name already; naming
        // the device again would make its next connection look like this one.
        QMutexLocker lock(&services->nameMutex);
        if (services->generation.load() == generation)
            services->currentDeviceName = deviceName;
    }
    if (apartment == S_OK)
        os::uninitializeApartment();
}

void SystemBridge::stopAudioServices(const std::shared_ptr<AudioServices> &services, uint64_t connections)
{
    AudioServices::Job job(*services);
    if (!job)
        return;
    std::lock_guard serviceLock(services->serviceMutex);
    if (services->stopping.load() || services->connections.load() != connections)
        return;
    SystemBridge *bridge = services->bridge;
    LivestreamForwarder::instance().Stop();
    AudioRouterAPI::Shutdown();
    if (bridge->m_micRouter && bridge->m_micRouter->IsRunning())
        bridge->m_micRouter->Stop();
    {
        QMutexLocker lock(&services->nameMutex);
        services->currentDeviceName.clear();
    }
    qDebug().noquote() << "[SystemBridge] All audio services stopped";
}
