#include "platform/windows/routerAudio/BusForwarder.h"

#include "platform/os/Apartment.h"
#include "platform/os/RealtimeGuard.h"
#include "platform/os/RealtimeThread.h"
#include "platform/windows/routerAudio/AudioLogText.h"
#include "platform/windows/routerAudio/LoopbackCapture.h"
#include "platform/windows/routerAudio/Mixer.h"
#include "platform/windows/routerAudio/MixerLog.h"
#include "platform/windows/routerAudio/WinMicRouter.h"

#include <cstring>
#include <vector>

namespace {

constexpr const wchar_t *kVirtualWords[] = {L"virtual", L"cable", L"vb-audio", L"voicemeeter", L"loopback"};

std::wstring endpointId(os::AudioEndpoint &endpoint)
{
    std::wstring id;
    if (FAILED(endpoint.getId(id)))
        id.clear();
    return id;
}

std::vector<std::shared_ptr<os::AudioEndpoint>> activeEndpoints(os::EndpointEnumerator &enumerator, os::DataFlow flow)
{
    std::vector<std::shared_ptr<os::AudioEndpoint>> endpoints;
    if (FAILED(enumerator.enumEndpoints(flow, DEVICE_STATE_ACTIVE, endpoints)))
        endpoints.clear();
    return endpoints;
}

} // namespace

BusForwarder &BusForwarder::instance()
{
    static BusForwarder forwarder(os::currentPlatform(), Mixer::instance());
    return forwarder;
}

BusForwarder::BusForwarder(std::shared_ptr<os::OsPlatform> platform, Mixer &mixer)
    : m_platform(std::move(platform))
    , m_mixer(mixer)
{
    for (uint32_t bus = 1; bus <= 3; ++bus)
        unit(bus).bus = bus;
}

BusForwarder::~BusForwarder()
{
    Stop();
}

void BusForwarder::log(const std::string &line) const
{
    mixerLogLine(line);
}

void BusForwarder::SetListenDevice(const std::wstring &key)
{
    std::lock_guard lock(m_lifecycle);
    unit(1).deviceKey = key;
}

void BusForwarder::SetMixDevice(const std::wstring &key)
{
    std::lock_guard lock(m_lifecycle);
    unit(2).deviceKey = key;
}

void BusForwarder::SetSoloDevice(const std::wstring &key)
{
    std::lock_guard lock(m_lifecycle);
    unit(3).deviceKey = key;
}

bool BusForwarder::isPhysicalDevice(os::AudioEndpoint *endpoint)
{
    if (!endpoint)
        return false;
    const std::wstring name = toLowerWide(endpointFriendlyName(*endpoint));
    for (const wchar_t *word : kVirtualWords)
        if (name.find(word) != std::wstring::npos)
            return false;
    const std::wstring id = toLowerWide(endpointId(*endpoint));
    if (id.find(L"swd\\") != std::wstring::npos || id.find(L"root\\") != std::wstring::npos)
        return false;
    uint32_t connectors = 0;
    return SUCCEEDED(endpoint->getConnectorCount(connectors)) && connectors > 0;
}

std::shared_ptr<os::AudioEndpoint> BusForwarder::findDevice(const std::wstring &key, bool wantVirtual)
{
    std::shared_ptr<os::EndpointEnumerator> enumerator;
    if (FAILED(m_platform->createEndpointEnumerator(enumerator)) || !enumerator)
        return nullptr;
    const std::wstring wanted = toLowerWide(key);
    for (const os::DataFlow flow : {os::DataFlow::Render, os::DataFlow::Capture}) {
        for (const auto &endpoint : activeEndpoints(*enumerator, flow)) {
            if (!endpoint || isPhysicalDevice(endpoint.get()) == wantVirtual)
                continue;
            const std::wstring name = endpointFriendlyName(*endpoint);
            const bool byId = toLowerWide(endpointId(*endpoint)) == wanted;
            if (!byId && toLowerWide(name).find(wanted) == std::wstring::npos)
                continue;
            if (flow == os::DataFlow::Capture) {
                std::shared_ptr<os::AudioClient> probe;
                if (HRESULT hr = endpoint->activateAudioClient(probe); FAILED(hr) || !probe) {
                    log("[BusForwarder] eCapture device activation failed: 0x" + hresultText(FAILED(hr) ? hr : E_POINTER)
                        + " for device: " + logText(name) + ", continuing search...");
                    continue;
                }
                log("[BusForwarder] Found virtual input device (microphone): " + logText(name));
            } else {
                log(std::string("[BusForwarder] Found device by ") + (byId ? "GUID" : "name") + ": " + logText(name));
            }
            return endpoint;
        }
    }
    return nullptr;
}

void BusForwarder::listDevices(bool wantVirtual)
{
    std::shared_ptr<os::EndpointEnumerator> enumerator;
    if (FAILED(m_platform->createEndpointEnumerator(enumerator)) || !enumerator)
        return;
    for (const os::DataFlow flow : {os::DataFlow::Render, os::DataFlow::Capture})
        for (const auto &endpoint : activeEndpoints(*enumerator, flow))
            if (endpoint && isPhysicalDevice(endpoint.get()) != wantVirtual)
                log("[BusForwarder] Available device: " + logText(endpointFriendlyName(*endpoint)) + " (GUID: "
                    + logText(endpointId(*endpoint)) + ")");
}

bool BusForwarder::initializeUnit(Unit &u)
{
    if (u.deviceKey.empty())
        return false;
    const std::string bus = std::to_string(u.bus);
    const bool wantVirtual = u.bus != 3;
    const auto device = findDevice(u.deviceKey, wantVirtual);
    if (!device) {
        log("[BusForwarder] Bus" + bus + ": Device not found with GUID/Name: " + logText(u.deviceKey));
        log("[BusForwarder] Bus" + bus + ": Listing all available devices for debugging...");
        listDevices(wantVirtual);
        return false;
    }
    os::DataFlow flow = os::DataFlow::Render;
    if (FAILED(device->getDataFlow(flow)))
        flow = os::DataFlow::Render;
    log("[BusForwarder] Bus" + bus + " using device: " + logText(endpointFriendlyName(*device))
        + (flow == os::DataFlow::Capture ? " (Input/Microphone)" : " (Output)") + " (ClassGuid: "
        + logText(endpointId(*device)) + ")");

    std::shared_ptr<os::AudioClient> client;
    if (HRESULT hr = device->activateAudioClient(client); FAILED(hr) || !client) {
        log("[BusForwarder] Activate failed: 0x" + hresultText(FAILED(hr) ? hr : E_POINTER));
        return false;
    }

    WAVEFORMATEX format{};
    std::vector<uint8_t> mix;
    const HRESULT mixed = client->getMixFormat(mix);
    if (SUCCEEDED(mixed) && mix.size() >= sizeof(WAVEFORMATEX)) {
        std::memcpy(&format, mix.data(), sizeof format);
        if (format.wFormatTag != WAVE_FORMAT_IEEE_FLOAT) {
            format.wFormatTag = WAVE_FORMAT_IEEE_FLOAT;
            format.wBitsPerSample = 32;
        }
        if (format.nChannels != 2)
            format.nChannels = 2;
        // The mixer gives 48 kHz: a stream at the device's own rate would
        // play the bus slow or fast; the engine converts to the device.
        format.nSamplesPerSec = kMixRate;
        format.nBlockAlign = static_cast<uint16_t>(format.nChannels * format.wBitsPerSample / 8);
        format.nAvgBytesPerSec = format.nSamplesPerSec * format.nBlockAlign;
        format.cbSize = 0;
        log("[BusForwarder] Using device format: " + std::to_string(format.nSamplesPerSec) + " Hz, "
            + std::to_string(format.nChannels) + " ch, " + std::to_string(format.wBitsPerSample) + " bits");
    } else {
        // A record too short to be a format is no format either.
        log("[BusForwarder] GetMixFormat failed (0x" + hresultText(FAILED(mixed) ? mixed : E_UNEXPECTED)
            + "), using default format (48000 Hz, 32-bit float)");
        format = makeMixFormat();
    }

    if (HRESULT hr = client->initialize(os::ShareMode::Shared, kStreamFlags, kBufferDuration100ns, 0, &format);
        FAILED(hr)) {
        log("[BusForwarder] Initialize failed: 0x" + hresultText(hr));
        return false;
    }
    std::shared_ptr<os::RenderClient> render;
    if (HRESULT hr = client->getRenderClient(render); FAILED(hr) || !render) {
        log("[BusForwarder] GetService failed: 0x" + hresultText(FAILED(hr) ? hr : E_POINTER));
        return false;
    }
    uint32_t frames = 0;
    if (HRESULT hr = client->getBufferSize(frames); FAILED(hr)) {
        log("[BusForwarder] GetBufferSize failed: 0x" + hresultText(hr));
        return false;
    }
    auto event = std::make_shared<os::Event>(m_platform->clock());
    if (HRESULT hr = client->setEventHandle(event); FAILED(hr)) {
        log("[BusForwarder] SetEventHandle failed: 0x" + hresultText(hr));
        return false;
    }
    u.audioClient = std::move(client);
    u.renderClient = std::move(render);
    u.event = std::move(event);
    u.format = format;
    u.bufferFrames = frames;
    return true;
}

bool BusForwarder::Start()
{
    std::lock_guard lock(m_lifecycle);
    if (running.load())
        return true;
    for (uint32_t bus = 1; bus <= 2; ++bus) {
        Unit &u = unit(bus);
        if (!u.deviceKey.empty() && initializeUnit(u)) {
            u.rendering.store(true);
            u.thread = std::thread([this, &u] { renderThread(u); });
        }
    }
    Unit &solo = unit(3);
    if (solo.deviceKey.empty()) {
        log("[BusForwarder] Solo device GUID is empty, Solo forwarding disabled.");
    } else if (initializeUnit(solo)) {
        solo.rendering.store(true);
        solo.thread = std::thread([this, &solo] { renderThread(solo); });
        log("[BusForwarder] Solo thread started successfully.");
    } else {
        log("[BusForwarder] Failed to initialize Solo thread.");
    }
    running.store(true);
    return true;
}

void BusForwarder::Stop()
{
    std::lock_guard lock(m_lifecycle);
    if (!running.load())
        return;
    running.store(false);
    for (Unit &u : m_units)
        u.rendering.store(false);
    for (Unit &u : m_units)
        if (u.event)
            u.event->set();
    for (Unit &u : m_units)
        if (u.thread.joinable())
            u.thread.join();
    for (Unit &u : m_units) {
        if (u.audioClient)
            u.audioClient->stop();
        u.renderClient.reset();
        u.audioClient.reset();
        u.event.reset();
    }
}

void BusForwarder::renderThread(Unit &u)
{
    os::nameCurrentThread(("vd-busfwd-" + std::to_string(u.bus)).c_str());
    const os::ApartmentScope apartment(os::ApartmentKind::Multithreaded);
    const os::RealtimeThreadScope realtime(L"Pro Audio", os::RealtimePriority::High, kBufferDuration100ns / 10000);
    if (HRESULT hr = u.audioClient->start(); FAILED(hr)) {
        log("[BusForwarder] Start failed: 0x" + hresultText(hr));
        return;
    }
    while (u.rendering.load())
        u.renderOnce(m_mixer);
    u.audioClient->stop();
}

void BusForwarder::Unit::renderOnce(Mixer &mixer)
{
    // No time-out: Stop sets the event once `rendering` is cleared.
    event->waitWhile(rendering, -1);
    if (!rendering.load())
        return;
    uint32_t queued = 0;
    if (FAILED(audioClient->getCurrentPadding(queued)) || queued >= bufferFrames)
        return;
    const uint32_t frames = bufferFrames - queued;
    os::realtimeCheck("BusForwarder render buffer");
    uint8_t *data = nullptr;
    if (FAILED(renderClient->getBuffer(frames, data)) || !data)
        return;
    auto *out = reinterpret_cast<float *>(data);
    if (bus == 3)
        mixer.pullMonitor(out, frames, kPullMarginFrames);
    else
        mixer.pullBus(out, frames, bus, kPullMarginFrames);
    renderClient->releaseBuffer(frames, 0);
}
