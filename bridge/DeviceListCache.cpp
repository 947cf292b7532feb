#include "bridge/DeviceListCache.h"

#include "bridge/SystemBridge.h"
#include "threading/QtHandoff.h"
#include "platform/os/Apartment.h"
#include "platform/os/OsPlatform.h"
#include "platform/windows/routerAudio/DeviceStateMonitor.h"

#include <QVariantMap>

bool isVirtualDriverEndpointName(const QString &name)
{
    static const char *const kNames[] = {"NUVEX Stream Mix", "NUVEX Input",      "NUVEXDevice",
                                         "NUVEXNullDevice",  "Tarvo Stream Mix", "Tarvo Input",
                                         "TarvoDevice",      "TarvoNullDevice",  "Unknown"};
    if (name.isEmpty())
        return false;
    for (const char *text : kNames) {
        if (name.contains(QLatin1String(text), Qt::CaseInsensitive))
            return true;
    }
    return false;
}

QString deviceListSignature(const QVariantList &list)
{
    QString signature;
    for (const QVariant &item : list) {
        const QVariantMap entry = item.toMap();
        signature += entry.value(QStringLiteral("name")).toString();
        signature += entry.value(QStringLiteral("isInput")).toBool() ? QStringLiteral("|i") : QStringLiteral("|o");
        signature += QLatin1Char(';');
    }
    return signature;
}

QVariantList filterDeviceList(const QVariantList &list, int type)
{
    if (type != 1 && type != 2)
        return list;
    const QString key = type == 1 ? QStringLiteral("isInput") : QStringLiteral("isOutput");
    QVariantList kept;
    for (const QVariant &item : list) {
        if (item.toMap().value(key).toBool())
            kept.append(item);
    }
    return kept;
}

QVariantList SystemBridge::buildAudioDeviceList() const
{
    QVariantList list;
    int index = 0;
    for (const AudioDeviceInfo &device : DeviceStateMonitor::enumerateDevices(0)) {
        const QString name = QString::fromStdWString(device.name);
        if (device.isInput && isVirtualDriverEndpointName(name))
            continue;
        list.append(QVariantMap{
            {QStringLiteral("index"), index++},
            {QStringLiteral("name"), name},
            {QStringLiteral("hostApi"), QStringLiteral("WASAPI")},
            {QStringLiteral("maxInputChannels"), int(device.maxInputChannels)},
            {QStringLiteral("maxOutputChannels"), int(device.maxOutputChannels)},
            {QStringLiteral("defaultSampleRate"), device.defaultSampleRate},
            {QStringLiteral("isInput"), device.isInput},
            {QStringLiteral("isOutput"), device.isOutput},
        });
    }
    return list;
}

QVariantList SystemBridge::GetDeviceList(int type) const
{
    QVariantList list;
    if (m_deviceCache.cacheValid.load(std::memory_order_acquire)) {
        std::lock_guard lock(m_deviceCache.cacheMutex);
        list = m_deviceCache.cachedList;
    } else {
        list = buildAudioDeviceList();
    }
    return filterDeviceList(list, type);
}

void SystemBridge::markDeviceListDirty()
{
    {
        std::lock_guard lock(m_deviceCache.wakeMutex);
        m_deviceCache.dirty = true;
    }
    m_deviceCache.wake.notify_one();
}

void SystemBridge::startDeviceCacheWorker()
{
    if (!m_deviceCache.start([this] { return deviceCachePass(); },
                             [this] { m_deviceCache.state.store(DeviceCacheWorkerState::Stopped); }))
        return;
    // Without notifications the list stays as first built.
    DeviceStateMonitor::instance().start([this] { markDeviceListDirty(); });
}

void SystemBridge::stopDeviceCacheWorker()
{
    // No wake-up may come in once the worker is gone.
    DeviceStateMonitor::instance().stop();
    // A debounce in progress ends at once; nothing is rebuilt after it.
    m_deviceCache.stop([this] {
        {
            std::lock_guard lock(m_deviceCache.wakeMutex);
            m_deviceCache.dirty = true;
        }
        m_deviceCache.wake.notify_all();
    });
}

bool SystemBridge::deviceCachePass()
{
    DeviceListCache &cache = m_deviceCache;
    cache.state.store(DeviceCacheWorkerState::Building);
    QVariantList list = buildAudioDeviceList();
    QString signature = deviceListSignature(list);
    if (cache.store(std::move(list), std::move(signature)))
        postQueued(this, [this] { emit audioDeviceListChanged(); });

    std::unique_lock lock(cache.wakeMutex);
    cache.state.store(DeviceCacheWorkerState::Waiting);
    cache.passes.fetch_add(1);
    cache.wake.wait(lock, [&cache] { return cache.dirty || !cache.running.load(); });
    if (!cache.running.load())
        return false;
    // Changes reported while this sleeps fold into the rebuild after it.
    cache.dirty = false;
    lock.unlock();
    os::Clock &clock = cache.platform->clock();
    const std::int64_t until = clock.deadlineAfterMs(kDeviceListDebounceMs);
    cache.state.store(DeviceCacheWorkerState::Debouncing);
    clock.waitUntil([&cache] { return !cache.running.load(); }, until);
    lock.lock();
    cache.dirty = false;
    return true;
}
