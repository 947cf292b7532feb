#include "platform/windows/routerAudio/AudioRouterServiceImpl.h"

#include "platform/os/Clock.h"
#include "platform/os/RealtimeThread.h"
#include "platform/windows/routerAudio/Mixer.h"

#include <algorithm>
#include <cctype>
#include <cmath>


std::string toLowerCopy(const std::string &text)
{
    std::string lower(text);
    for (char &c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return lower;
}

bool equalsIgnoreCase(const std::string &a, const std::string &b) { return toLowerCopy(a) == toLowerCopy(b); }

bool namesOverlap(const std::string &a, const std::string &b)
{
    const std::string la = toLowerCopy(a);
    const std::string lb = toLowerCopy(b);
    return la.find(lb) != std::string::npos || lb.find(la) != std::string::npos;
}

namespace {

os::Clock &steadyClock()
{
    static os::RealClock clock;
    return clock;
}

} // namespace

// --- facade ----------------------------------------------------------------

AudioRouterService::AudioRouterService() : AudioRouterService(Environment{}) {}

AudioRouterService::AudioRouterService(const Environment &environment)
    : m_impl(std::make_shared<Impl>(environment))
{
}

AudioRouterService::~AudioRouterService() { m_impl->Stop(); }

bool AudioRouterService::Start(const AudioRouterConfig &config) { return m_impl->Start(config); }
void AudioRouterService::Stop() { m_impl->Stop(); }
bool AudioRouterService::Restart() { return m_impl->Restart(); }
bool AudioRouterService::IsRunning() const { return m_impl->IsRunning(); }
bool AudioRouterService::SetSampleRate(double rate) { return m_impl->SetSampleRate(rate); }
double AudioRouterService::GetSampleRate() const { return m_impl->GetSampleRate(); }
bool AudioRouterService::AddInputDevice(const std::string &name, uint32_t channels)
{
    return m_impl->AddInputDevice(name, channels, -1);
}
bool AudioRouterService::AddInputDevice(const std::string &name, uint32_t channels, int32_t index)
{
    return m_impl->AddInputDevice(name, channels, index);
}
bool AudioRouterService::PostRequest(const std::string &name) { return m_impl->PostRequest(name); }
std::vector<InputDeviceEntry> AudioRouterService::GetInputDevices() const { return m_impl->GetInputDevices(); }
bool AudioRouterService::SetOutputDevice(const std::string &name) { return m_impl->SetOutputDevice(name); }
std::string AudioRouterService::GetOutputDevice() const { return m_impl->GetOutputDevice(); }
std::vector<PortAudioDeviceEntry> AudioRouterService::ListDevices(int mode) { return m_impl->ListDevices(mode); }
bool AudioRouterService::RequestRefresh() { return m_impl->RequestRefresh(); }
bool AudioRouterService::SetAudioCallback(AudioCallback callback) { return m_impl->SetAudioCallback(callback); }

// --- engine state ----------------------------------------------------------

AudioRouterService::Impl::Impl(const Environment &environment)
    : pa(environment.pa ? *environment.pa : RealPaApi::instance()),
      clock(environment.clock ? *environment.clock : steadyClock()),
      hostApi(environment.hostApi),
      logSink(environment.log ? environment.log : PaLogSink(defaultPaLogSink)),
      mixer(environment.mixer ? *environment.mixer : Mixer::instance())
{
}

AudioRouterService::Impl::~Impl()
{
    Stop();
    resetMonitorResampler(*this);
}

bool AudioRouterService::Impl::startWorkerLocked()
{
    // A worker left behind by a timed-out stop still uses this state: a
    // second one must not start beside it.
    if (state.load() != State::Stopped)
        return false;
    currentSampleRate.store(config.sampleRate);
    state.store(State::Running);
    worker = std::thread([self = shared_from_this()] {
        os::nameCurrentThread("vd-pa-worker");
        {
            os::RealtimeThreadScope scope(L"Pro Audio");
            WorkerLoop loop(*self);
            loop.run();
        }
        self->workerLeft();
        self->clock.wake();
    });
    return true;
}

void AudioRouterService::Impl::workerLeft()
{
    State s = State::Running;
    if (!state.compare_exchange_strong(s, State::WorkerEnded))
        state.store(State::Stopped); // Stop was waiting for this (or gave up)
}

bool AudioRouterService::Impl::Start(const AudioRouterConfig &newConfig)
{
    std::lock_guard lock(mutex);
    if (state.load() != State::Stopped)
        return false;
    config = newConfig;
    return startWorkerLocked();
}

void AudioRouterService::Impl::Stop()
{
    std::thread thread;
    {
        std::lock_guard lock(mutex);
        if (!IsRunning())
            return;
        State s = State::Running;
        if (!state.compare_exchange_strong(s, State::Stopping))
            state.store(State::Stopped); // the worker had ended already
        thread = std::move(worker);
        if (!thread.joinable())
            state.store(State::Stopped); // no worker to wait for
    }
    clock.wake(); // ends the worker's pauses at once
    if (!thread.joinable())
        return;
    const int64_t deadline = clock.deadlineAfterMs(3000);
    if (clock.waitUntil([this] { return workerExited(); }, deadline)) {
        thread.join();
        return;
    }
    log(PaLogLine() << "[Warning] Worker thread did not stop within 3 seconds, detaching");
    thread.detach();
}

bool AudioRouterService::Impl::Restart()
{
    AudioRouterConfig saved;
    {
        std::lock_guard lock(mutex);
        saved = config;
    }
    Stop();
    std::lock_guard lock(mutex);
    if (IsRunning())
        return false; // a concurrent start won
    config = saved;
    return startWorkerLocked();
}

bool AudioRouterService::Impl::SetSampleRate(double rate)
{
    std::lock_guard lock(mutex);
    if (!IsRunning() || !(rate > 0.0))
        return false;
    requestedSampleRate.store(rate);
    return true;
}

bool AudioRouterService::Impl::AddInputDevice(const std::string &name, uint32_t channels, int32_t index)
{
    std::lock_guard lock(mutex);
    if (!IsRunning())
        return false;
    for (const InputDeviceEntry &entry : config.inputDevices) {
        if (equalsIgnoreCase(entry.name, name))
            return false;
    }
    pendingInputs.push_back(InputDeviceEntry{name, channels, index});
    return true;
}

bool AudioRouterService::Impl::PostRequest(const std::string &name)
{
    std::lock_guard lock(mutex);
    if (IsRunning())
        pendingRemovals.push_back(name);
    return IsRunning();
}

std::vector<InputDeviceEntry> AudioRouterService::Impl::GetInputDevices() const
{
    std::lock_guard lock(mutex);
    return config.inputDevices;
}

bool AudioRouterService::Impl::SetOutputDevice(const std::string &name)
{
    std::lock_guard lock(mutex);
    if (IsRunning())
        pendingOutputDevice = name;
    return IsRunning();
}

std::string AudioRouterService::Impl::GetOutputDevice() const
{
    std::lock_guard lock(mutex);
    return config.outputDevice;
}

bool AudioRouterService::Impl::RequestRefresh()
{
    std::lock_guard lock(mutex);
    if (!IsRunning())
        return false;
    refreshRequested.store(true);
    return true;
}

bool AudioRouterService::Impl::SetAudioCallback(AudioCallback callback)
{
    audioCallback.store(callback);
    return true;
}

void AudioRouterService::Impl::pauseMs(int64_t ms)
{
    clock.waitUntil([this] { return !keepRunning(); }, clock.deadlineAfterMs(ms));
}

int64_t AudioRouterService::Impl::nowMs() const { return clock.nowNs() / os::Clock::kNsPerMs; }

// --- device selection --------------------------------------------------------

namespace {

struct Candidate {
    int index;
    std::string name;
    std::string hostName;
    int hostType;
    int maxIn;
    int maxOut;
    double defaultRate;
};

std::string nameOf(const char *text, const char *fallback) { return text ? text : fallback; }

} // namespace

int AudioRouterService::Impl::findDeviceByName(const std::string &name, bool isOutput)
{
    if (equalsIgnoreCase(name, "default"))
        return isOutput ? pa.GetDefaultOutputDevice() : pa.GetDefaultInputDevice();

    const std::string target = toLowerCopy(name);
    std::vector<Candidate> candidates;
    int preferred = -1;
    int other = -1;
    {
        // Device records stay valid only until the next terminate.
        auto global = PaApi::holdGlobal();
        const int n = pa.GetDeviceCount();
        if (n < 0)
            return -1;
        for (int i = 0; i < n; ++i) {
            const PaDeviceInfo *info = pa.GetDeviceInfo(i);
            if (!info)
                continue;
            if (isOutput ? info->maxOutputChannels < 1 : info->maxInputChannels < 1)
                continue;
            const std::string deviceName = nameOf(info->name, "");
            if (toLowerCopy(deviceName).find(target) == std::string::npos)
                continue;
            const PaHostApiInfo *host = pa.GetHostApiInfo(info->hostApi);
            candidates.push_back(Candidate{i, deviceName, nameOf(host ? host->name : nullptr, "Unknown"),
                                           host ? static_cast<int>(host->type) : -1, info->maxInputChannels,
                                           info->maxOutputChannels, info->defaultSampleRate});
            if (host && host->type == hostApi) {
                if (preferred < 0)
                    preferred = static_cast<int>(candidates.size()) - 1;
            } else if (other < 0) {
                other = static_cast<int>(candidates.size()) - 1;
            }
        }
    }

    if (candidates.size() >= 2) {
        log(PaLogLine() << "[findDeviceByName] target=" << name << "candidates="
                        << static_cast<long long>(candidates.size()));
        for (const Candidate &c : candidates) {
            log(PaLogLine() << "  [" << c.index << "] api=" << c.hostName << "(type=" << c.hostType << ")"
                            << "name=" << c.name << "in=" << c.maxIn << "out=" << c.maxOut
                            << "defRate=" << c.defaultRate);
        }
    }
    const char *hostName = hostApiTypeName(hostApi);
    if (preferred >= 0) {
        const Candidate &c = candidates[static_cast<size_t>(preferred)];
        log(PaLogLine() << "[findDeviceByName] picked" << hostName << "match index=" << c.index << "name="
                        << c.name << "api=" << c.hostName);
        return c.index;
    }
    if (other >= 0) {
        const Candidate &c = candidates[static_cast<size_t>(other)];
        std::string ignoring = std::string("; ignoring non-") + hostName + " candidate";
        log(PaLogLine() << "[Warning] findDeviceByName: No" << hostName << "match for" << name
                        << ignoring.c_str() << c.name << "on" << c.hostName);
        return -1;
    }
    return -1;
}

std::vector<PortAudioDeviceEntry> AudioRouterService::Impl::ListDevices(int mode)
{
    bool wasRunning;
    {
        std::lock_guard lock(mutex);
        wasRunning = IsRunning();
    }
    std::vector<PortAudioDeviceEntry> devices;
    auto global = PaApi::holdGlobal();
    if (!wasRunning && pa.Initialize() != paNoError)
        return devices;
    const int n = pa.GetDeviceCount();
    for (int i = 0; i < n; ++i) {
        const PaDeviceInfo *info = pa.GetDeviceInfo(i);
        if (!info)
            continue;
        const PaHostApiInfo *host = pa.GetHostApiInfo(info->hostApi);
        if (!host || host->type != hostApi)
            continue;
        const bool isInput = info->maxInputChannels >= 1;
        const bool isOutput = info->maxOutputChannels >= 1;
        if ((mode == 1 && !isInput) || (mode == 2 && !isOutput))
            continue;
        devices.push_back(PortAudioDeviceEntry{i, nameOf(info->name, "(null)"), nameOf(host->name, "Unknown"),
                                               info->maxInputChannels, info->maxOutputChannels,
                                               info->defaultSampleRate, isInput, isOutput});
    }
    if (!wasRunning)
        pa.Terminate();
    return devices;
}

void AudioRouterService::Impl::dumpPortAudioDevices()
{
    auto global = PaApi::holdGlobal();
    PaError err = pa.Initialize();
    if (err != paNoError) {
        log(PaLogLine() << "PortAudio initialization failed:" << errorText(err));
        return;
    }
    const int n = pa.GetDeviceCount();
    if (n < 0) {
        log(PaLogLine() << "Failed to get device list:" << errorText(n));
        pa.Terminate();
        return;
    }
    log(PaLogLine() << "Available devices:");
    for (int i = 0; i < n; ++i) {
        const PaDeviceInfo *info = pa.GetDeviceInfo(i);
        if (!info)
            continue;
        const PaHostApiInfo *host = pa.GetHostApiInfo(info->hostApi);
        log(PaLogLine() << "  [" << i << "]" << nameOf(info->name, "(null)").c_str() << "| API:"
                        << (host && host->name ? host->name : "Unknown") << "| Input:" << info->maxInputChannels
                        << "| Output:" << info->maxOutputChannels);
    }
    pa.Terminate();
}
