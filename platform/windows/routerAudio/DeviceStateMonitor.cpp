#include "platform/windows/routerAudio/DeviceStateMonitor.h"

#include "platform/os/Apartment.h"
#include "platform/os/AudioClient.h"
#include "platform/os/OsPlatform.h"
#include "platform/windows/routerAudio/AudioLogText.h"
#include "platform/windows/routerAudio/WinMicRouter.h"
#include "platform/windows/routerAudio/MixerLog.h"

#include <cstring>

void DeviceChangeNotificationClient::onDeviceStateChanged(const std::wstring &, uint32_t)
{
    if (monitor)
        monitor->notifyChange();
}

void DeviceChangeNotificationClient::onDeviceAdded(const std::wstring &)
{
    if (monitor)
        monitor->notifyChange();
}

void DeviceChangeNotificationClient::onDeviceRemoved(const std::wstring &)
{
    if (monitor)
        monitor->notifyChange();
}

void DeviceChangeNotificationClient::onDefaultDeviceChanged(os::DataFlow, os::Role, const std::wstring &)
{
    if (monitor)
        monitor->notifyChange();
}

DeviceStateMonitor &DeviceStateMonitor::instance()
{
    static DeviceStateMonitor monitor;
    return monitor;
}

DeviceStateMonitor::~DeviceStateMonitor()
{
    stop();
}

void DeviceStateMonitor::undoApartment()
{
    // A thread that was initialised already, or in the other kind, is not ours to undo.
    if (comInitResult == S_OK)
        os::uninitializeApartment();
    comInitResult = E_NOTIMPL;
}

bool DeviceStateMonitor::start(Callback callback)
{
    {
        std::lock_guard lock(m_callbackMutex);
        onChange = std::move(callback);
    }
    if (started.load())
        return true;

    comInitResult = os::initializeApartment(os::ApartmentKind::Multithreaded);
    std::shared_ptr<os::EndpointEnumerator> created;
    HRESULT hr = os::currentPlatform()->createEndpointEnumerator(created);
    if (FAILED(hr) || !created) {
        mixerLogLine("[DeviceStateMonitor] CoCreateInstance failed: 0x" + hresultText(FAILED(hr) ? hr : E_POINTER));
        undoApartment();
        return false;
    }
    enumerator = std::move(created);
    client = std::make_shared<DeviceChangeNotificationClient>(this);
    hr = enumerator->registerNotificationClient(client);
    if (FAILED(hr)) {
        mixerLogLine("[DeviceStateMonitor] RegisterEndpointNotificationCallback failed: 0x" + hresultText(hr));
        client.reset();
        enumerator.reset();
        undoApartment();
        return false;
    }
    started.store(true);
    mixerLogLine("[DeviceStateMonitor] started (IMMNotificationClient registered)");
    return true;
}

void DeviceStateMonitor::stop()
{
    if (!started.exchange(false))
        return;
    if (enumerator && client)
        enumerator->unregisterNotificationClient(client);
    client.reset();
    enumerator.reset();
    {
        std::lock_guard lock(m_callbackMutex);
        onChange = nullptr;
    }
    undoApartment();
    mixerLogLine("[DeviceStateMonitor] stopped");
}

void DeviceStateMonitor::notifyChange()
{
    Callback copy;
    {
        std::lock_guard lock(m_callbackMutex);
        copy = onChange;
    }
    if (copy)
        copy();
}

namespace {

void listFlow(os::EndpointEnumerator &enumerator, os::DataFlow flow, std::vector<AudioDeviceInfo> &out)
{
    std::vector<std::shared_ptr<os::AudioEndpoint>> endpoints;
    if (FAILED(enumerator.enumEndpoints(flow, DEVICE_STATE_ACTIVE, endpoints)))
        return;
    const bool input = flow == os::DataFlow::Capture;
    for (const auto &endpoint : endpoints) {
        if (!endpoint)
            continue;
        AudioDeviceInfo info;
        info.isInput = input;
        info.isOutput = !input;
        std::wstring id;
        if (SUCCEEDED(endpoint->getId(id)))
            info.id = std::move(id);
        info.name = getFriendlyName(*endpoint);
        std::shared_ptr<os::AudioClient> audioClient;
        std::vector<uint8_t> format;
        if (SUCCEEDED(endpoint->activateAudioClient(audioClient)) && audioClient
            && SUCCEEDED(audioClient->getMixFormat(format)) && format.size() >= sizeof(WAVEFORMATEX)) {
            WAVEFORMATEX base;
            std::memcpy(&base, format.data(), sizeof base);
            (input ? info.maxInputChannels : info.maxOutputChannels) = base.nChannels;
            info.defaultSampleRate = base.nSamplesPerSec;
        }
        out.push_back(std::move(info));
    }
}

} // namespace

std::vector<AudioDeviceInfo> DeviceStateMonitor::enumerateDevices(int selector)
{
    std::vector<AudioDeviceInfo> devices;
    std::shared_ptr<os::EndpointEnumerator> enumerator;
    if (FAILED(os::currentPlatform()->createEndpointEnumerator(enumerator)) || !enumerator)
        return devices;
    if (selector != 2)
        listFlow(*enumerator, os::DataFlow::Capture, devices);
    if (selector != 1)
        listFlow(*enumerator, os::DataFlow::Render, devices);
    return devices;
}
