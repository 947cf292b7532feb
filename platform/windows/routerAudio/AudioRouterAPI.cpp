// The per-application routing API: free functions over process-wide state.
#include "platform/os/Apartment.h"
#include "platform/os/RealtimeGuard.h"
#include "platform/os/RealtimeThread.h"
#include "platform/windows/routerAudio/LoopbackCapture.h"
#include "platform/windows/routerAudio/AudioLogText.h"
#include "platform/windows/routerAudio/Mixer.h"
#include "platform/windows/routerAudio/MixerLog.h"

#include <cstdio>
#include <cwctype>
#include <map>
#include <set>
#include <thread>

namespace {

constexpr int64_t kLevelTickMs = 50;
constexpr int64_t kEndpointCheckMs = 1000;
constexpr wchar_t kVirtualOutputName[] = L"NUVEX Output";

std::atomic<HRESULT> g_nextInitializeResult{S_OK};

struct ApiState {
    os::AudioMutex apiMutex; // Initialize, UpdateConfigs, Shutdown
    std::atomic<bool> running{false};
    std::atomic<bool> monitorRunning{false};
    HRESULT coInitResult = E_NOTIMPL; // guarded by apiMutex
    std::shared_ptr<os::OsPlatform> platform; // guarded by apiMutex; the threads keep their own copy
    std::map<uint32_t, std::shared_ptr<CLoopbackCapture>> captures; // guarded by apiMutex

    std::mutex callbackMutex; // never held while joining the level thread
    AudioRouterAPI::LevelCallback levelCallback; // guarded by callbackMutex

    // Starts and joins of the two threads. Order: apiMutex, then this one;
    // SetLevelCallback takes only this one.
    std::mutex lifecycleMutex;
    std::thread endpointMonitorThread; // guarded by lifecycleMutex
    std::thread levelReportThread;     // guarded by lifecycleMutex

    std::map<uint32_t, bool> lastSounding; // the level thread's own
};

ApiState &api()
{
    static ApiState state;
    return state;
}

std::shared_ptr<os::OsPlatform> platformOf(ApiState &s)
{
    std::lock_guard lock(s.apiMutex);
    return s.platform ? s.platform : os::currentPlatform();
}

// Waits up to ms on the platform clock, ending at once when keepGoing turns false.
void pause(os::Clock &clock, const std::atomic<bool> &keepGoing, int64_t ms)
{
    clock.waitUntil([&keepGoing] { return !keepGoing.load(); }, clock.deadlineAfterMs(ms));
}

void endpointMonitorLoop(std::shared_ptr<os::OsPlatform> platform)
{
    os::nameCurrentThread("vd-endpoint-mon");
    const os::ApartmentScope apartment(os::ApartmentKind::Multithreaded);
    ApiState &s = api();
    while (s.monitorRunning.load()) {
        AudioRouterAPI::endpointMonitorTick();
        pause(platform->clock(), s.monitorRunning, kEndpointCheckMs);
    }
}

void levelReportLoop(std::shared_ptr<os::OsPlatform> platform)
{
    os::nameCurrentThread("vd-levels");
    ApiState &s = api();
    while (s.running.load()) {
        AudioRouterAPI::levelReportTick();
        pause(platform->clock(), s.running, kLevelTickMs);
    }
    s.lastSounding.clear();
}

} // namespace

namespace AudioRouterAPI {

bool Initialize()
{
    ApiState &s = api();
    const os::ApartmentScope apartment(os::ApartmentKind::Multithreaded);
    std::lock_guard lock(s.apiMutex);
    if (s.running.load())
        return false;
    const HRESULT forced = g_nextInitializeResult.exchange(S_OK);
    s.coInitResult = FAILED(forced) ? forced : apartment.result();
    if (FAILED(s.coInitResult) && s.coInitResult != RPC_E_CHANGED_MODE)
        return false;
    s.platform = os::currentPlatform();
    s.running.exchange(true);
    if (!s.monitorRunning.load()) {
        std::lock_guard lifecycle(s.lifecycleMutex);
        s.monitorRunning.exchange(true);
        s.endpointMonitorThread = std::thread(endpointMonitorLoop, s.platform);
    }
    return true;
}

void failNextInitialize(HRESULT result)
{
    g_nextInitializeResult.store(result);
}

void SetLevelCallback(LevelCallback callback)
{
    ApiState &s = api();
    const bool start = static_cast<bool>(callback);
    {
        std::lock_guard lock(s.callbackMutex);
        s.levelCallback = std::move(callback);
    }
    if (!start)
        return;
    // Read before the lifecycle lock: Shutdown takes apiMutex, then it.
    std::shared_ptr<os::OsPlatform> platform = platformOf(s);
    std::lock_guard lifecycle(s.lifecycleMutex);
    if (s.running.load() && !s.levelReportThread.joinable())
        s.levelReportThread = std::thread(levelReportLoop, std::move(platform));
}

bool UpdateConfigs(const std::vector<AudioRouteConfig> &configs)
{
    ApiState &s = api();
    const os::ApartmentScope apartment(os::ApartmentKind::Multithreaded);
    std::lock_guard lock(s.apiMutex);
    if (!s.running.load()) {
        mixerLogLine("[AudioRouterAPI::UpdateConfigs] NOT RUNNING! Ignoring " + std::to_string(configs.size())
                     + " configs. Call Initialize() first.");
        return false;
    }
    AudioRouteConfigStore &store = AudioRouteConfigStore::instance();
    Mixer &mixer = Mixer::instance();

    std::set<uint32_t> wanted;
    std::set<uint32_t> all;
    for (const AudioRouteConfig &config : configs) {
        all.insert(config.processID);
        if (config.processID >= 10)
            wanted.insert(config.processID);
    }
    for (auto it = s.captures.begin(); it != s.captures.end();) {
        if (wanted.count(it->first) != 0) {
            ++it;
            continue;
        }
        it->second->StopCapture();
        store.set(it->first, AudioRouteConfig{});
        it = s.captures.erase(it);
    }
    for (uint32_t id : mixer.sourceIds())
        if (all.count(id) == 0)
            mixer.removeSource(id);
    mixer.updateBusMeters();

    for (const AudioRouteConfig &config : configs) {
        const uint32_t id = config.processID;
        store.set(id, config);
        if (id < 10 || id == kListenBusMasterId || id == kMixBusMasterId || s.captures.count(id) != 0)
            continue;
        std::shared_ptr<CLoopbackCapture> capture = CLoopbackCapture::create(s.platform, mixer);
        HRESULT hr = E_OUTOFMEMORY;
        if (capture) {
            capture->setBufferDuration(kCaptureBufferMs * 10000);
            hr = capture->StartCapture(id, true);
        }
        if (FAILED(hr)) {
            mixerLogLine("[ERROR] Failed to start capture for PID: " + std::to_string(id) + " (HRESULT: 0x" + hresultText(hr)
                         + ")");
            continue;
        }
        s.captures.emplace(id, std::move(capture));
        mixerLogLine("[INFO] Started capture for PID: " + std::to_string(id));
    }
    return true;
}

void Shutdown()
{
    ApiState &s = api();
    const os::ApartmentScope apartment(os::ApartmentKind::Multithreaded);
    std::lock_guard lock(s.apiMutex);
    if (!s.running.load())
        return;
    s.running.exchange(false);
    {
        std::lock_guard lifecycle(s.lifecycleMutex);
        if (s.monitorRunning.load())
            s.monitorRunning.exchange(false);
        if (s.platform)
            s.platform->clock().wake(); // both threads' pauses end at once
        if (s.endpointMonitorThread.joinable())
            s.endpointMonitorThread.join();
        AudioRouteConfigStore::instance().virtualOutputIsDefault.store(true, std::memory_order_relaxed);
        if (s.levelReportThread.joinable())
            s.levelReportThread.join();
    }
    for (auto &[id, capture] : s.captures)
        capture->StopCapture();
    s.captures.clear();
    AudioRouteConfigStore::instance().clear();
    Mixer::instance().clear();
    s.coInitResult = E_NOTIMPL;
    s.platform.reset();
    std::lock_guard callbackLock(s.callbackMutex);
    s.levelCallback = nullptr;
}

bool IsRunning()
{
    return api().running.load();
}

void endpointMonitorTick()
{
    AudioRouteConfigStore::instance().virtualOutputIsDefault.store(isVirtualOutputDefault(),
                                                                   std::memory_order_relaxed);
}

void levelReportTick()
{
    ApiState &s = api();
    LevelCallback callback;
    {
        std::lock_guard lock(s.callbackMutex);
        callback = s.levelCallback;
    }
    if (!callback)
        return;
    Mixer &mixer = Mixer::instance();
    mixer.decayLevels(0.5f);
    std::vector<AudioLevelInfo> report;
    for (uint32_t id : AudioRouteConfigStore::instance().sourceIds()) {
        const StereoLevels levels = id == kListenBusMasterId ? mixer.getListenBusLevels()
                                    : id == kMixBusMasterId  ? mixer.getMixBusLevels()
                                                             : mixer.getSourceLevels(id);
        bool &sounding = s.lastSounding[id];
        if (levels.left == 0.0f && levels.right == 0.0f) {
            const bool wasSounding = sounding;
            sounding = false;
            if (!wasSounding)
                continue;
        } else {
            sounding = true;
        }
        report.push_back({id, levels.left, levels.right});
    }
    if (!report.empty())
        callback(report);
}

std::vector<uint32_t> captureIds()
{
    ApiState &s = api();
    std::lock_guard lock(s.apiMutex);
    std::vector<uint32_t> ids;
    for (const auto &entry : s.captures)
        ids.push_back(entry.first);
    return ids;
}

} // namespace AudioRouterAPI

std::wstring endpointFriendlyName(os::AudioEndpoint &device)
{
    std::wstring name;
    if (FAILED(device.getFriendlyName(name)))
        return {};
    return name;
}

bool isVirtualOutputDefault()
{
    std::shared_ptr<os::EndpointEnumerator> enumerator;
    if (FAILED(os::currentPlatform()->createEndpointEnumerator(enumerator)) || !enumerator)
        return true;
    std::shared_ptr<os::AudioEndpoint> device;
    if (FAILED(enumerator->getDefaultEndpoint(os::DataFlow::Render, os::Role::Console, device)) || !device)
        return true;
    std::wstring name = endpointFriendlyName(*device);
    if (name.empty())
        return true;
    std::wstring wanted = kVirtualOutputName;
    for (wchar_t &c : name)
        c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    for (wchar_t &c : wanted)
        c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return name.find(wanted) != std::wstring::npos;
}
