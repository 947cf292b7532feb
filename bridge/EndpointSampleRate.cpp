// The sample rate of the device's audio endpoints: read from and written to
// their device format, the writes on a pool thread.
#include "bridge/EndpointSampleRate.h"

#include "threading/QtHandoff.h"

#include "platform/os/Apartment.h"
#include "platform/os/DeviceFormatRate.h"
#include "platform/os/OsPlatform.h"
#include "platform/windows/routerAudio/AudioLogText.h"
#include "platform/windows/routerAudio/WinMicRouter.h"

#include <QDebug>
#include <QMetaObject>

#include <cmath>
#include <exception>
#include <vector>

namespace {

// Above every rate an endpoint offers; also keeps the truncation in range.
constexpr double kMaxSampleRateHz = 768000.0;
// Lets the engine let go of the capture endpoint after the router stopped.
constexpr std::int64_t kRouterReleasePauseMs = 80;

bool isWritableSampleRate(double sampleRate)
{
    // A rate below 1 Hz would truncate to a format of 0 Hz.
    return std::isfinite(sampleRate) && sampleRate >= 1.0 && sampleRate <= kMaxSampleRateHz;
}

QString codeText(HRESULT hr)
{
    return QStringLiteral("0x") + QString::fromStdString(hresultText(hr));
}

QString friendlyName(os::AudioEndpoint &endpoint)
{
    return QString::fromStdWString(getFriendlyName(endpoint));
}

const char *flowText(os::DataFlow flow)
{
    return flow == os::DataFlow::Render ? "render" : "capture";
}

// Whether the worker has nothing (more) to write for this request.
bool nothingToWrite(const QString &name, double target, const QString &lastName, double lastApplied)
{
    // A rate that is not finite would never compare as applied: it ends the
    // run like a cancelled one.
    if (!std::isfinite(target) || target <= 0)
        return true;
    return name == lastName && std::abs(target - lastApplied) < 1.0;
}

} // namespace

std::shared_ptr<SampleRateRequests> makeSampleRateRequests(SystemBridge *bridge, const SystemBridge::Options &options)
{
    auto requests = std::make_shared<SampleRateRequests>();
    requests->bridge = bridge;
    requests->runEnding = options.sampleRateRunEnding;
    return requests;
}

void SystemBridge::detachSampleRateWorker()
{
    m_sampleRate->detaching.store(true);
    std::lock_guard lock(m_sampleRate->sampleRateMutex);
    m_sampleRate->bridge = nullptr;
}

bool SystemBridge::matchesDeviceEndpoint(const QString &friendlyName, const QString &deviceName)
{
    // The virtual driver's own endpoints: its output, its mix, and the three
    // names its other endpoints go by.
    static const QString kVirtualDriverNames[] = {
        QStringLiteral("NUVEX Output"),
        QStringLiteral("NUVEX Stream Mix"),
        QStringLiteral("NUVEX") + QStringLiteral(" Input"),
        QStringLiteral("NUVEX") + QStringLiteral("Device"),
        QStringLiteral("NUVEX") + QStringLiteral("NullDevice"),
    };
    if (friendlyName.isEmpty())
        return false;
    for (const QString &name : kVirtualDriverNames)
        if (friendlyName.contains(name, Qt::CaseInsensitive))
            return false;
    return friendlyName.contains(deviceName, Qt::CaseInsensitive);
}

bool SystemBridge::SetDeviceSampleRate(const QString &deviceName, double sampleRate)
{
    if (deviceName.isEmpty() || !isWritableSampleRate(sampleRate)) {
        qWarning().noquote() << "SystemBridge::SetDeviceSampleRate: Invalid parameters - deviceName:" << deviceName
                             << "sampleRate:" << sampleRate;
        return false;
    }

    // A start or stop of the audio services must not change the router
    // between its stop here and its restart.
    const std::unique_lock serviceLock = lockAudioServices();
    const std::shared_ptr<os::OsPlatform> platform = os::currentPlatform();
    bool stoppedRouter = false;
    if (m_micRouter && m_micRouter->IsRunning()) {
        qDebug().noquote() << "SystemBridge::SetDeviceSampleRate: stopping WinMicRouter to release" << deviceName
                           << "endpoint";
        m_micRouter->Stop();
        stoppedRouter = true;
        platform->clock().sleepForMs(kRouterReleasePauseMs);
    }

    std::shared_ptr<os::PolicyConfig> policy;
    const HRESULT created = platform->createPolicyConfig(os::PolicyConfigClass::Current, policy);
    if (FAILED(created) || !policy) {
        qCritical().noquote() << "SystemBridge::SetDeviceSampleRate: CoCreateInstance(IPolicyConfig) failed, hr="
                                     + codeText(FAILED(created) ? created : E_POINTER);
        if (stoppedRouter && !m_micRouter->IsRunning())
            m_micRouter->Restart();
        return false;
    }

    qDebug().noquote() << "SystemBridge::SetDeviceSampleRate: applying" << sampleRate
                       << "Hz to render + capture endpoints";
    int matched = 0;
    int applied = 0;
    const bool renderOk = setDeviceFormatForFlow(os::DataFlow::Render, *policy, deviceName, sampleRate, matched, applied);
    const bool captureOk = setDeviceFormatForFlow(os::DataFlow::Capture, *policy, deviceName, sampleRate, matched, applied);

    bool result = false;
    if (matched == 0) {
        qWarning().noquote() << "SystemBridge::SetDeviceSampleRate: No matching Windows endpoint for" << deviceName;
    } else if (applied > 0) {
        qDebug().noquote() << "SystemBridge::SetDeviceSampleRate: Applied" << sampleRate << "Hz to" << applied
                           << "endpoint(s), matched" << matched;
        result = renderOk && captureOk;
    } else {
        qWarning().noquote() << "SystemBridge::SetDeviceSampleRate: Found endpoints but failed to write DeviceFormat.";
    }
    restartMicRouterAfterFormat(stoppedRouter);
    return result;
}

void SystemBridge::restartMicRouterAfterFormat(bool stoppedRouter)
{
    if (!stoppedRouter || !m_micRouter || m_micRouter->IsRunning())
        return;
    qDebug().noquote() << "SystemBridge::SetDeviceSampleRate: restarting WinMicRouter"
                       << "after IPolicyConfig write";
    try {
        m_micRouter->Restart();
    } catch (const std::exception &e) {
        qWarning().noquote() << "SystemBridge::SetDeviceSampleRate: WinMicRouter.Restart() failed:" << e.what();
    }
}

bool SystemBridge::setDeviceFormatForFlow(os::DataFlow flow, os::PolicyConfig &policy, const QString &deviceName,
                                          double sampleRate, int &matched, int &applied)
{
    std::shared_ptr<os::EndpointEnumerator> enumerator;
    if (const HRESULT hr = os::currentPlatform()->createEndpointEnumerator(enumerator); FAILED(hr) || !enumerator) {
        qWarning().noquote() << "SystemBridge::SetDeviceSampleRate: CoCreateInstance(MMDeviceEnumerator) failed, hr="
                                    + codeText(FAILED(hr) ? hr : E_POINTER);
        return false;
    }
    std::vector<std::shared_ptr<os::AudioEndpoint>> endpoints;
    if (const HRESULT hr = enumerator->enumEndpoints(flow, DEVICE_STATE_ACTIVE, endpoints); FAILED(hr)) {
        qWarning().noquote() << "SystemBridge::SetDeviceSampleRate: EnumAudioEndpoints failed, hr=" + codeText(hr);
        return false;
    }

    const auto requested = static_cast<std::uint32_t>(sampleRate); // in range: checked by the caller
    bool ok = true;
    for (const auto &endpoint : endpoints) {
        std::wstring id;
        if (!endpoint || FAILED(endpoint->getId(id)))
            continue;
        const QString name = friendlyName(*endpoint);
        if (!matchesDeviceEndpoint(name, deviceName))
            continue;
        ++matched;
        qDebug().noquote() << "SystemBridge::SetDeviceSampleRate: Matched" << flowText(flow) << "endpoint:" << name;

        std::vector<std::uint8_t> format;
        const HRESULT read = endpoint->getDeviceFormat(format);
        const std::optional<WAVEFORMATEX> current = SUCCEEDED(read) ? os::deviceFormatBase(format) : std::nullopt;
        if (!current) {
            qWarning().noquote() << "  Failed to read PKEY_AudioEngine_DeviceFormat for" << name
                                 << "hr=" + codeText(read);
            ok = false;
            continue;
        }
        if (current->nSamplesPerSec == requested) {
            qDebug().noquote() << "  Skip SetDeviceFormat: already at" << requested << "Hz";
            ++applied;
            continue;
        }
        if (os::rewriteDeviceFormatRate(format, requested) != os::RateRewrite::Done) {
            qWarning().noquote() << "  Average byte rate of" << requested << "Hz exceeds 32 bits for" << name;
            ok = false;
            continue;
        }
        qDebug().noquote() << "  Current default format:" << current->nSamplesPerSec << "Hz,"
                           << current->wBitsPerSample << "bit," << current->nChannels << "ch;  requested:"
                           << requested << "Hz";

        if (const HRESULT hr = policy.setDeviceFormat(id, format, format); FAILED(hr)) {
            qWarning().noquote() << "  IPolicyConfig::SetDeviceFormat failed, hr=" + codeText(hr)
                                 << "(endpoint may be in use by another application)";
            ok = false;
            continue;
        }

        std::vector<std::uint8_t> written;
        const std::optional<WAVEFORMATEX> after =
            SUCCEEDED(endpoint->getDeviceFormat(written)) ? os::deviceFormatBase(written) : std::nullopt;
        if (!after) {
            ++applied; // nothing to verify against
            continue;
        }
        qDebug().noquote() << "  Verified default format is now:" << after->nSamplesPerSec << "Hz";
        if (after->nSamplesPerSec != requested) {
            qWarning().noquote() << "  Verification failed: device reports" << after->nSamplesPerSec << "Hz, expected"
                                 << requested << "Hz";
            ok = false;
            continue;
        }
        ++applied;
    }
    return ok;
}

void SystemBridge::SetDeviceSampleRateAsync(const QString &deviceName, double sampleRate)
{
    {
        std::lock_guard lock(m_sampleRate->requestMutex);
        m_sampleRate->deviceName = deviceName;
        m_sampleRate->targetSampleRate.exchange(sampleRate);
    }
    std::int32_t idle = 0;
    if (!m_sampleRate->sampleRateTaskRunning.compare_exchange_strong(idle, 1)) {
        qDebug().noquote() << "SystemBridge::SetDeviceSampleRateAsync: coalescing into in-flight task; new target="
                           << sampleRate;
        return;
    }
    startPooled([requests = m_sampleRate] { sampleRateWorker(requests); });
}

void SystemBridge::sampleRateWorker(std::shared_ptr<SampleRateRequests> requests)
{
    {
        std::lock_guard lock(requests->sampleRateMutex);
        if (!requests->bridge) {
            requests->sampleRateTaskRunning.store(0);
            return;
        }
    }
    const os::ApartmentScope apartment(os::ApartmentKind::SingleThreaded);
    if (FAILED(apartment.result()) && apartment.result() != RPC_E_CHANGED_MODE) {
        qCritical().noquote() << "SystemBridge::SetDeviceSampleRateAsync: CoInitializeEx failed, hr="
                                     + codeText(apartment.result());
        requests->sampleRateTaskRunning.store(0);
        return;
    }

    const auto latest = [&requests] {
        std::lock_guard lock(requests->requestMutex);
        return std::pair(requests->deviceName, requests->targetSampleRate.load());
    };
    // The run starts from its first request's device, as if nothing had
    // been applied to it yet.
    QString lastName = latest().first;
    double lastApplied = 0;
    for (;;) {
        for (;;) {
            const auto [name, target] = latest();
            if (nothingToWrite(name, target, lastName, lastApplied))
                break;
            std::lock_guard lock(requests->sampleRateMutex);
            SystemBridge *bridge = requests->detaching.load() ? nullptr : requests->bridge;
            if (!bridge) {
                requests->sampleRateTaskRunning.store(0);
                return;
            }
            bool success = false;
            try {
                success = bridge->SetDeviceSampleRate(name, target);
            } catch (const std::exception &e) {
                qCritical().noquote() << "SystemBridge::SetDeviceSampleRateAsync: Exception:" << e.what();
            } catch (...) {
                qCritical().noquote() << "SystemBridge::SetDeviceSampleRateAsync: Unknown exception";
            }
            lastName = name;
            lastApplied = target;
            // Emitted on the bridge's thread, and only while the bridge
            // lives: a destroyed receiver drops its queued calls.
            QMetaObject::invokeMethod(bridge, "deviceSampleRateChanged", Qt::QueuedConnection, Q_ARG(QString, name),
                                      Q_ARG(double, target), Q_ARG(bool, success));
        }
        if (requests->runEnding)
            requests->runEnding();
        requests->sampleRateTaskRunning.exchange(0);
        // A request made since the last look found the flag still set and
        // left its rate to this run: take it up unless a new worker did.
        const auto [name, target] = latest();
        std::int32_t idle = 0;
        if (nothingToWrite(name, target, lastName, lastApplied)
            || !requests->sampleRateTaskRunning.compare_exchange_strong(idle, 1))
            return;
    }
}

QString SystemBridge::GetDeviceCurrentRateKHz(const QString &deviceName) const
{
    if (deviceName.isEmpty())
        return {};
    quint32 rate = endpointSampleRate(deviceName, os::DataFlow::Render);
    if (rate == 0)
        rate = endpointSampleRate(deviceName, os::DataFlow::Capture);
    if (rate == 0)
        return {};
    const double kHz = rate / 1000.0;
    const double whole = std::round(kHz);
    if (std::abs(kHz - whole) < 0.05)
        return QString::number(static_cast<qint64>(whole));
    return QString::number(kHz, 'f', 1);
}

quint32 SystemBridge::endpointSampleRate(const QString &deviceName, os::DataFlow flow) const
{
    std::shared_ptr<os::EndpointEnumerator> enumerator;
    std::vector<std::shared_ptr<os::AudioEndpoint>> endpoints;
    if (FAILED(os::currentPlatform()->createEndpointEnumerator(enumerator)) || !enumerator
        || FAILED(enumerator->enumEndpoints(flow, DEVICE_STATE_ACTIVE, endpoints)))
        return 0;
    for (const auto &endpoint : endpoints) {
        if (!endpoint)
            continue;
        const QString name = friendlyName(*endpoint);
        if (name.isEmpty() || !name.contains(deviceName, Qt::CaseInsensitive))
            continue;
        std::vector<std::uint8_t> format;
        if (FAILED(endpoint->getDeviceFormat(format)))
            continue;
        if (const std::optional<WAVEFORMATEX> base = os::deviceFormatBase(format); base && base->nSamplesPerSec != 0)
            return base->nSamplesPerSec;
    }
    return 0;
}
