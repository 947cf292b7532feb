#include "platform/windows/routerAudio/WinMicRouter.h"

#include "platform/os/Apartment.h"
#include "platform/os/RealtimeThread.h"
#include "platform/windows/routerAudio/LoopbackCapture.h"
#include "platform/windows/routerAudio/AudioLogText.h"
#include "platform/windows/routerAudio/Mixer.h"
#include "platform/windows/routerAudio/MixerLog.h"

#include <algorithm>
#include <cstdio>
#include <cwctype>

namespace {

constexpr int64_t kEventWaitMs = 200;
constexpr int64_t kSearchPauseMs = 200;
constexpr int64_t kOpenFailPauseMs = 300;
constexpr int64_t kSoloSearchPauseMs = 300;
constexpr int kMissesBeforeLookup = 5;
constexpr double kMixRate = 48000.0;
// What every stream of the router runs in, and what it hands the mixer.
constexpr WAVEFORMATEX kMixFormat = os::floatFormat(kMixSampleRate, 2);

bool sameName(const std::string &a, const std::string &b)
{
    return toLowerWide(utf8ToWide(a)) == toLowerWide(utf8ToWide(b));
}

} // namespace

WAVEFORMATEX makeMixFormat()
{
    return kMixFormat;
}

std::wstring utf8ToWide(const std::string &text)
{
    std::wstring out;
    const auto *p = reinterpret_cast<const unsigned char *>(text.data());
    const size_t n = text.size();
    size_t i = 0;
    while (i < n) {
        const unsigned char b = p[i];
        uint32_t c = 0;
        size_t more = 0;
        uint32_t min = 0;
        if (b < 0x80) {
            out += static_cast<wchar_t>(b);
            ++i;
            continue;
        } else if ((b & 0xE0) == 0xC0) {
            c = b & 0x1F, more = 1, min = 0x80;
        } else if ((b & 0xF0) == 0xE0) {
            c = b & 0x0F, more = 2, min = 0x800;
        } else if ((b & 0xF8) == 0xF0) {
            c = b & 0x07, more = 3, min = 0x10000;
        } else {
            out += L'\uFFFD';
            ++i;
            continue;
        }
        size_t k = 1;
        for (; k <= more && i + k < n && (p[i + k] & 0xC0) == 0x80; ++k)
            c = (c << 6) | (p[i + k] & 0x3F);
        if (k <= more || c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
            out += L'\uFFFD'; // truncated, overlong or out of range
            i += k;
            continue;
        }
        out += static_cast<wchar_t>(c);
        i += k;
    }
    return out;
}

std::wstring toLowerWide(const std::wstring &text)
{
    std::wstring out = text;
    for (wchar_t &c : out)
        c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return out;
}

std::wstring getFriendlyName(os::AudioEndpoint &device)
{
    return endpointFriendlyName(device);
}

std::shared_ptr<os::AudioEndpoint> findEndpointByName(os::EndpointEnumerator *enumerator, os::DataFlow flow,
                                                      const std::wstring &name)
{
    if (!enumerator || name.empty())
        return nullptr;
    std::vector<std::shared_ptr<os::AudioEndpoint>> endpoints;
    if (FAILED(enumerator->enumEndpoints(flow, DEVICE_STATE_ACTIVE, endpoints)))
        return nullptr;
    const std::wstring wanted = toLowerWide(name);
    for (const auto &endpoint : endpoints)
        if (endpoint && toLowerWide(getFriendlyName(*endpoint)).find(wanted) != std::wstring::npos)
            return endpoint;
    return nullptr;
}

void waitWhileRunning(os::Clock &clock, const std::atomic<bool> &running, int64_t ms)
{
    // One wait that a cleared flag and a wake of the clock end at once: the
    // slices of a polling sleep are not needed.
    clock.waitUntil([&running] { return !running.load(); }, clock.deadlineAfterMs(ms));
}

// --- The router ----------------------------------------------------------------

WinMicRouter::WinMicRouter()
    : WinMicRouter(os::currentPlatform(), Mixer::instance())
{
}

WinMicRouter::WinMicRouter(std::shared_ptr<os::OsPlatform> platform, Mixer &mixer)
    : m_platform(std::move(platform))
    , m_clock(m_platform->clock())
    , m_mixer(mixer)
{
}

WinMicRouter::~WinMicRouter()
{
    Stop();
    joinRetiredThreads();
}

void WinMicRouter::log(const std::string &line) const
{
    mixerLogLine(line);
}

bool WinMicRouter::Start(const AudioRouterConfig &configuration)
{
    std::lock_guard lifecycle(m_lifecycle);
    return startLocked(configuration);
}

bool WinMicRouter::startLocked(const AudioRouterConfig &configuration)
{
    std::lock_guard lock(mutex);
    if (m_running.load())
        return false;
    config = configuration;
    if (!config.outputDevice.empty())
        outputName = utf8ToWide(config.outputDevice);
    m_running.store(true);
    units.clear();
    for (const InputDeviceEntry &entry : config.inputDevices) {
        auto unit = std::make_unique<MicUnit>();
        unit->name = entry.name;
        unit->requestedChannels = entry.requestedChannels;
        unit->index = entry.index;
        startUnitLocked(std::move(unit));
    }
    startSolo();
    log("[WinMicRouter] Started; mic units=" + std::to_string(units.size()) + " output=\"" + logText(outputName)
        + "\"");
    return true;
}

void WinMicRouter::startUnitLocked(std::unique_ptr<MicUnit> unit)
{
    unit->router = this;
    unit->running.store(true);
    MicUnit &u = *unit;
    units.push_back(std::move(unit));
    u.thread = std::thread([this, &u] { micCaptureThread(u); });
}

void WinMicRouter::Stop()
{
    std::unique_lock lifecycle(m_lifecycle);
    stopLocked(lifecycle);
}

void WinMicRouter::stopLocked(std::unique_lock<std::mutex> &)
{
    std::list<std::unique_ptr<MicUnit>> taken;
    {
        std::lock_guard lock(mutex);
        if (!m_running.load())
            return;
        m_running.store(false);
        taken.swap(units);
    }
    for (auto &unit : taken)
        unit->running.store(false);
    m_clock.wake(); // every wait and pause of the threads ends at once
    for (auto &unit : taken)
        if (unit->thread.joinable())
            unit->thread.join();
    stopSolo();
    joinRetiredThreads();
    log("[WinMicRouter] Stopped");
}

bool WinMicRouter::Restart()
{
    std::unique_lock lifecycle(m_lifecycle);
    AudioRouterConfig copy;
    {
        std::lock_guard lock(mutex);
        copy = config;
    }
    stopLocked(lifecycle);
    return startLocked(copy);
}

bool WinMicRouter::AddInputDevice(const std::string &name, uint32_t requestedChannels, int32_t index)
{
    std::lock_guard lock(mutex);
    if (!m_running.load())
        return false;
    for (const auto &unit : units)
        if (sameName(unit->name, name))
            return true;
    if (index >= 0) {
        // Two writers on one ring would garble that source.
        for (const auto &unit : units) {
            if (unit->index == index) {
                log("[WinMicRouter] index " + std::to_string(index) + " already used by \"" + unit->name
                    + "\"; input not added");
                return false;
            }
        }
    }
    config.inputDevices.push_back({name, requestedChannels, index});
    auto unit = std::make_unique<MicUnit>();
    unit->name = name;
    unit->requestedChannels = requestedChannels;
    unit->index = index;
    startUnitLocked(std::move(unit));
    return true;
}

bool WinMicRouter::RemoveInputDevice(const std::string &name)
{
    std::unique_ptr<MicUnit> unit;
    {
        std::lock_guard lock(mutex);
        if (!m_running.load())
            return false;
        const auto it = std::find_if(units.begin(), units.end(),
                                     [&](const std::unique_ptr<MicUnit> &u) { return sameName(u->name, name); });
        if (it == units.end())
            return false;
        unit = std::move(*it);
        units.erase(it);
        std::erase_if(config.inputDevices, [&](const InputDeviceEntry &e) { return sameName(e.name, name); });
    }
    retireUnit(std::move(unit));
    return true;
}

void WinMicRouter::retireUnit(std::unique_ptr<MicUnit> unit)
{
    unit->running.store(false);
    m_clock.wake();
    std::lock_guard lock(retiredLock);
    pruneRetiredLocked();
    auto done = std::make_shared<std::atomic<bool>>(false);
    std::thread reaper([unit = std::move(unit), done]() mutable {
        if (unit->thread.joinable())
            unit->thread.join();
        unit.reset();
        done->store(true);
    });
    retiredThreads.push_back({std::move(reaper), std::move(done)});
}

void WinMicRouter::pruneRetiredLocked()
{
    for (auto it = retiredThreads.begin(); it != retiredThreads.end();) {
        if (it->done->load()) {
            if (it->thread.joinable())
                it->thread.join(); // finished: returns at once
            it = retiredThreads.erase(it);
        } else {
            ++it;
        }
    }
}

void WinMicRouter::joinRetiredThreads()
{
    // Joined after the lock is let go: a retirement meanwhile never waits on a join.
    std::vector<Reaper> reapers;
    {
        std::lock_guard lock(retiredLock);
        reapers.swap(retiredThreads);
    }
    for (auto &reaper : reapers)
        if (reaper.thread.joinable())
            reaper.thread.join();
}

size_t WinMicRouter::retiredThreadCount()
{
    std::lock_guard lock(retiredLock);
    return retiredThreads.size();
}

bool WinMicRouter::SetLevelCallback(MicBlockCallback callback)
{
    levelCallback.store(callback, std::memory_order_release);
    return true;
}

std::vector<InputDeviceEntry> WinMicRouter::GetInputDevices()
{
    std::lock_guard lock(mutex);
    return config.inputDevices;
}

bool WinMicRouter::SetOutputDevice(const std::string &name)
{
    std::lock_guard lock(mutex);
    outputName = utf8ToWide(name);
    config.outputDevice = name;
    return true;
}

std::string WinMicRouter::GetOutputDevice()
{
    std::lock_guard lock(mutex);
    return config.outputDevice;
}

// --- Capture threads ----------------------------------------------------------

void WinMicRouter::micCaptureThread(MicUnit &unit)
{
    os::nameCurrentThread(("vd-mic-" + std::to_string(unit.index)).c_str());
    const os::ApartmentScope apartment(os::ApartmentKind::Multithreaded);
    const os::RealtimeThreadScope realtime(L"Pro Audio", os::RealtimePriority::High, kBufferDuration100ns / 10000);
    m_platform->createEndpointEnumerator(unit.enumerator);
    while (unit.running.load())
        unit.pumpOnce();
    if (unit.client)
        unit.closeStream();
    unit.enumerator.reset();
}

void MicUnit::pumpOnce()
{
    if (!client) {
        openStream();
        return;
    }
    if (packetsWaiting())
        drainPackets();
    if (invalidated)
        closeStream();
}

void MicUnit::openStream()
{
    WinMicRouter &r = *router;
    if (!enumerator && FAILED(r.m_platform->createEndpointEnumerator(enumerator)))
        enumerator.reset();
    if (!enumerator) {
        waitWhileRunning(r.m_clock, running, kSearchPauseMs);
        return;
    }
    const auto device = findEndpointByName(enumerator.get(), os::DataFlow::Capture, utf8ToWide(name));
    if (!device) {
        waitWhileRunning(r.m_clock, running, kSearchPauseMs);
        return;
    }
    endpointName = getFriendlyName(*device);
    std::shared_ptr<os::AudioClient> opened;
    if (FAILED(device->activateAudioClient(opened)) || !opened) {
        waitWhileRunning(r.m_clock, running, kSearchPauseMs);
        return;
    }
    if (HRESULT hr = opened->initialize(os::ShareMode::Shared, WinMicRouter::kStreamFlags,
                                        WinMicRouter::kBufferDuration100ns, 0, &kMixFormat);
        FAILED(hr)) {
        r.log("[WinMicRouter] mic Initialize failed 0x" + hresultText(hr) + " (" + logText(endpointName) + ")");
        waitWhileRunning(r.m_clock, running, kOpenFailPauseMs);
        return;
    }
    std::shared_ptr<os::CaptureClient> service;
    auto ready = std::make_shared<os::Event>(r.m_clock);
    if (FAILED(opened->getCaptureClient(service)) || !service || FAILED(opened->setEventHandle(ready))
        || FAILED(opened->start())) {
        waitWhileRunning(r.m_clock, running, kOpenFailPauseMs);
        return;
    }
    client = std::move(opened);
    capture = std::move(service);
    event = std::move(ready);
    invalidated = false;
    misses = 0;
    r.log("[WinMicRouter] mic capturing: \"" + logText(endpointName) + "\" index=" + std::to_string(index));
}

bool MicUnit::packetsWaiting()
{
    bool drainNow = event->waitWhile(running, kEventWaitMs);
    if (drainNow) {
        misses = 0;
    } else if (++misses >= kMissesBeforeLookup) {
        // A stream that died while its endpoint stays listed (a format
        // change) sets no more events: ask it directly.
        misses = 0;
        uint32_t frames = 0;
        const HRESULT hr = capture->getNextPacketSize(frames);
        if (hr == AUDCLNT_E_DEVICE_INVALIDATED
            || !findEndpointByName(enumerator.get(), os::DataFlow::Capture, utf8ToWide(name)))
            invalidated = true;
        else
            drainNow = SUCCEEDED(hr) && frames > 0;
    }
    return drainNow;
}

void MicUnit::drainPackets()
{
    WinMicRouter &r = *router;
    while (!invalidated) {
        os::realtimeCheck("MicUnit capture buffer");
        uint32_t frames = 0;
        const HRESULT sized = capture->getNextPacketSize(frames);
        if (sized == AUDCLNT_E_DEVICE_INVALIDATED)
            invalidated = true;
        if (FAILED(sized) || frames == 0)
            break;
        uint8_t *data = nullptr;
        uint32_t flags = 0;
        const HRESULT got = capture->getBuffer(data, frames, flags, nullptr, nullptr);
        if (FAILED(got)) {
            invalidated = got == AUDCLNT_E_DEVICE_INVALIDATED;
            break;
        }
        if (got == AUDCLNT_S_BUFFER_EMPTY)
            break;
        const uint32_t bytes = frames * kMixFormat.nBlockAlign;
        const bool silent = (flags & AUDCLNT_BUFFERFLAGS_SILENT) != 0;
        const uint8_t *block = data;
        if (silent) {
            if (zeros.size() < bytes)
                zeros.assign(bytes, 0);
            block = zeros.data();
        }
        if (frames > 0 && block) {
            const MicBlockCallback callback = r.levelCallback.load(std::memory_order_acquire);
            if (callback && index <= 0 && !silent)
                callback(reinterpret_cast<float *>(data), 2, static_cast<int>(frames), kMixRate);
            // A negative index is no source: as 0xFFFFFFFF it would feed the listen master.
            if (index >= 0)
                r.m_mixer.push(static_cast<uint32_t>(index), block, bytes, &kMixFormat);
        }
        capture->releaseBuffer(frames);
    }
}

void MicUnit::closeStream()
{
    WinMicRouter &r = *router;
    client->stop();
    event.reset();
    r.log("[WinMicRouter] mic stopped: \"" + logText(endpointName) + "\""
          + (invalidated ? " (device invalidated)" : ""));
    if (index >= 0)
        r.m_mixer.removeSource(static_cast<uint32_t>(index));
    capture.reset();
    client.reset();
    invalidated = false;
}

// --- Monitor output -------------------------------------------------------------

void WinMicRouter::startSolo()
{
    soloRunning.store(true);
    soloThread = std::thread([this] { soloOutputThread(); });
}

void WinMicRouter::stopSolo()
{
    soloRunning.store(false);
    m_clock.wake();
    if (soloThread.joinable())
        soloThread.join();
}

void WinMicRouter::soloOutputThread()
{
    os::nameCurrentThread("vd-solo");
    const os::ApartmentScope apartment(os::ApartmentKind::Multithreaded);
    const os::RealtimeThreadScope realtime(L"Pro Audio", os::RealtimePriority::High, kBufferDuration100ns / 10000);
    SoloOutput solo{*this, nullptr, {}, nullptr, nullptr, nullptr, 0, false};
    m_platform->createEndpointEnumerator(solo.enumerator);
    while (soloRunning.load())
        solo.pumpOnce();
    if (solo.client)
        solo.closeStream();
}

void WinMicRouter::SoloOutput::pumpOnce()
{
    if (!client) {
        openStream();
        return;
    }
    {
        std::lock_guard lock(router.mutex);
        if (router.outputName != searchName) {
            closeStream();
            return;
        }
    }
    renderOnce();
}

void WinMicRouter::SoloOutput::openStream()
{
    WinMicRouter &r = router;
    {
        std::lock_guard lock(r.mutex);
        searchName = r.outputName;
    }
    if (!enumerator && FAILED(r.m_platform->createEndpointEnumerator(enumerator)))
        enumerator.reset();
    if (!enumerator) {
        waitWhileRunning(r.m_clock, r.soloRunning, kSearchPauseMs);
        return;
    }
    const auto device = findEndpointByName(enumerator.get(), os::DataFlow::Render, searchName);
    if (!device) {
        waitWhileRunning(r.m_clock, r.soloRunning, kSoloSearchPauseMs);
        return;
    }
    std::shared_ptr<os::AudioClient> opened;
    if (FAILED(device->activateAudioClient(opened)) || !opened) {
        waitWhileRunning(r.m_clock, r.soloRunning, kOpenFailPauseMs);
        return;
    }
    if (HRESULT hr = opened->initialize(os::ShareMode::Shared, kStreamFlags, kBufferDuration100ns, 0, &kMixFormat);
        FAILED(hr)) {
        r.log("[WinMicRouter] solo Initialize failed 0x" + hresultText(hr));
        waitWhileRunning(r.m_clock, r.soloRunning, kOpenFailPauseMs);
        return;
    }
    std::shared_ptr<os::RenderClient> service;
    uint32_t frames = 0;
    auto ready = std::make_shared<os::Event>(r.m_clock);
    if (FAILED(opened->getRenderClient(service)) || !service || FAILED(opened->getBufferSize(frames))
        || FAILED(opened->setEventHandle(ready)) || FAILED(opened->start())) {
        waitWhileRunning(r.m_clock, r.soloRunning, kOpenFailPauseMs);
        return;
    }
    client = std::move(opened);
    render = std::move(service);
    event = std::move(ready);
    bufferFrames = frames;
    invalidated = false;
    r.log("[WinMicRouter] solo output started: \"" + logText(searchName) + "\"");
}

void WinMicRouter::SoloOutput::renderOnce()
{
    WinMicRouter &r = router;
    // On a time-out the padding is read all the same: a stream that died
    // while its endpoint stays listed sets no more events.
    event->waitWhile(r.soloRunning, kEventWaitMs);
    if (!r.soloRunning.load())
        return;
    uint32_t queued = 0;
    const HRESULT padded = client->getCurrentPadding(queued);
    if (padded == AUDCLNT_E_DEVICE_INVALIDATED) {
        invalidated = true;
        closeStream();
        return;
    }
    if (FAILED(padded))
        return;
    const uint32_t frames = bufferFrames > queued ? bufferFrames - queued : 0;
    if (frames == 0)
        return;
    os::realtimeCheck("SoloOutput render buffer");
    uint8_t *data = nullptr;
    const HRESULT got = render->getBuffer(frames, data);
    if (FAILED(got)) {
        if (got == AUDCLNT_E_DEVICE_INVALIDATED) {
            invalidated = true;
            closeStream();
        }
        return;
    }
    // Rendering asks for what the device played, at times two blocks at
    // once: one block of margin keeps a push landing just after from being a hole.
    r.m_mixer.pullMonitor(reinterpret_cast<float *>(data), frames, kPullMarginFrames);
    render->releaseBuffer(frames, 0);
}

void WinMicRouter::SoloOutput::closeStream()
{
    client->stop();
    event.reset();
    router.log(std::string("[WinMicRouter] solo output stopped") + (invalidated ? " (device invalidated)" : ""));
    render.reset();
    client.reset();
    invalidated = false;
}
