#pragma once
// Tells the rest of the program that the set of audio endpoints changed, and
// lists the endpoints with their channel counts and rates. No thread of its
// own: the platform calls the notification client on a service thread and
// the change callback runs there, synchronously.

#include "platform/os/AudioEndpoints.h"
#include "platform/os/HResult.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct AudioDeviceInfo {
    std::wstring id;
    std::wstring name;
    uint32_t maxInputChannels = 0;
    uint32_t maxOutputChannels = 0;
    double defaultSampleRate = 48000.0;
    bool isInput = false;
    bool isOutput = false;
};

class DeviceStateMonitor;

class DeviceChangeNotificationClient final : public os::EndpointNotificationClient {
public:
    explicit DeviceChangeNotificationClient(DeviceStateMonitor *monitor)
        : monitor(monitor)
    {
    }
    void onDeviceStateChanged(const std::wstring &id, uint32_t newState) override;
    void onDeviceAdded(const std::wstring &id) override;
    void onDeviceRemoved(const std::wstring &id) override;
    void onDefaultDeviceChanged(os::DataFlow flow, os::Role role, const std::wstring &id) override;
    // A rename or a format change leaves the set of endpoints as it was.
    void onPropertyValueChanged(const std::wstring &, os::EndpointProperty) override {}

    DeviceStateMonitor *const monitor; // not owned
};

class DeviceStateMonitor {
public:
    using Callback = std::function<void()>;

    static DeviceStateMonitor &instance();
    ~DeviceStateMonitor();
    DeviceStateMonitor(const DeviceStateMonitor &) = delete;
    DeviceStateMonitor &operator=(const DeviceStateMonitor &) = delete;

    // Stores the callback (also when started already) and registers for
    // endpoint notifications; true when registered or already started.
    // start and stop are called from one thread at a time.
    bool start(Callback callback);
    void stop();
    // Calls a copy of the callback, outside the lock, so a slow callback
    // never holds up start or stop.
    void notifyChange();

    // The active endpoints: selector 1 capture only, 2 render only, any
    // other value capture first, then render. The calling thread must have
    // its apartment initialised.
    static std::vector<AudioDeviceInfo> enumerateDevices(int selector);

private:
    DeviceStateMonitor() = default;
    void undoApartment();

    std::mutex m_callbackMutex;
    Callback onChange;                                         // guarded by m_callbackMutex
    std::shared_ptr<os::EndpointEnumerator> enumerator;        // start and stop only
    std::shared_ptr<DeviceChangeNotificationClient> client;    // start and stop only
    std::atomic<bool> started{false};
    HRESULT comInitResult = E_NOTIMPL;                         // start and stop only
};
