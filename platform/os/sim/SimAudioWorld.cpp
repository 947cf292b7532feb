#include "platform/os/sim/SimAudioWorld.h"

#include "platform/os/RealtimeThread.h"

#include "platform/os/sim/SimAudioStream.h"
#include "platform/os/sim/SimWorkQueues.h"
#include "platform/os/sim/SimWorldCore.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <cwchar>

namespace os {

namespace {

int flowIndex(DataFlow flow)
{
    return flow == DataFlow::Capture ? 1 : 0;
}

std::uint32_t channelMask(std::uint16_t channels)
{
    if (channels == 1)
        return 0x4; // front centre
    return channels >= 32 ? 0xFFFFFFFFu : (1u << channels) - 1;
}

// Applies `use` to an endpoint's record under the world lock; false when
// there is no such endpoint.
template <typename Use>
bool withEndpoint(SimWorldCore& core, const std::wstring& id, Use&& use)
{
    std::lock_guard lock(core.mutex);
    SimEndpointRecord* record = core.findLocked(id);
    if (!record)
        return false;
    use(*record);
    return true;
}

// The same for a simulated process.
template <typename Use>
bool withProcess(SimWorldCore& core, std::uint32_t processId, Use&& use)
{
    std::lock_guard lock(core.mutex);
    for (auto& p : core.processes) {
        if (p.processId == processId) {
            use(p);
            return true;
        }
    }
    return false;
}

// Runs the oldest queued task; false, with the waiters told, when none is left.
bool runNextTask(SimWorldCore& core)
{
    std::function<void()> task;
    {
        std::lock_guard lock(core.taskMutex);
        if (core.tasks.empty()) {
            core.taskRunning = false;
            core.tasksDone.notify_all();
            return false;
        }
        task = std::move(core.tasks.front());
        core.tasks.pop_front();
        core.taskRunning = true;
    }
    std::lock_guard dispatch(core.dispatchMutex);
    task();
    return true;
}

} // namespace

std::vector<std::uint8_t> makeDeviceFormat(std::uint32_t sampleRate, std::uint16_t channels, std::uint16_t bits,
                                           bool isFloat)
{
    WAVEFORMATEXTENSIBLE f{};
    f.Format.wFormatTag = WAVE_FORMAT_EXTENSIBLE;
    f.Format.nChannels = channels;
    f.Format.nSamplesPerSec = sampleRate;
    f.Format.wBitsPerSample = bits;
    f.Format.nBlockAlign = static_cast<std::uint16_t>(channels * bits / 8);
    f.Format.nAvgBytesPerSec = sampleRate * f.Format.nBlockAlign;
    f.Format.cbSize = kWaveFormatExtensibleExtraBytes;
    f.Samples.wValidBitsPerSample = bits;
    f.dwChannelMask = channelMask(channels);
    f.SubFormat = isFloat ? KSDATAFORMAT_SUBTYPE_IEEE_FLOAT : KSDATAFORMAT_SUBTYPE_PCM;
    std::vector<std::uint8_t> bytes(sizeof f);
    std::memcpy(bytes.data(), &f, sizeof f);
    return bytes;
}

// ---- shared core ----------------------------------------------------------

SimWorldCore::SimWorldCore(std::shared_ptr<Clock> worldClock)
    : clock(std::move(worldClock))
{
}

void SimWorldCore::waitWhileFormatWriteHeld()
{
    std::unique_lock lock(formatWriteMutex);
    if (!holdFormatWrites)
        return;
    ++heldFormatWrites;
    formatWriteChanged.notify_all();
    formatWriteChanged.wait(lock, [this] { return formatWritePasses > 0 || !holdFormatWrites; });
    if (formatWritePasses > 0)
        --formatWritePasses;
    --heldFormatWrites;
    formatWriteChanged.notify_all();
}

SimEndpointRecord* SimWorldCore::findLocked(const std::wstring& id)
{
    auto it = std::find_if(endpoints.begin(), endpoints.end(), [&](const SimEndpointRecord& e) { return e.id == id; });
    return it == endpoints.end() ? nullptr : &*it;
}

void SimWorldCore::post(std::function<void()> task)
{
    {
        std::lock_guard lock(taskMutex);
        if (serviceStop.load())
            return;
        tasks.push_back(std::move(task));
    }
    wakeService();
}

void SimWorldCore::notify(std::function<void(EndpointNotificationClient&)> call)
{
    post([this, call = std::move(call)] {
        std::vector<std::shared_ptr<EndpointNotificationClient>> clients;
        {
            std::lock_guard lock(notifyMutex);
            clients = notifyClients;
        }
        for (auto& client : clients) {
            // A client unregistered by an earlier callback of this task is skipped.
            bool registered = false;
            {
                std::lock_guard lock(notifyMutex);
                registered = std::find(notifyClients.begin(), notifyClients.end(), client) != notifyClients.end();
            }
            if (registered)
                call(*client);
        }
    });
}

std::int64_t SimWorldCore::releaseDueActivations()
{
    std::vector<std::function<void()>> due;
    std::int64_t next = Clock::kNoDeadline;
    {
        std::lock_guard lock(mutex);
        const std::int64_t now = clock->nowNs();
        for (auto it = pendingActivations.begin(); it != pendingActivations.end();) {
            if (heldActivations.count(it->processId) != 0) {
                ++it;
            } else if (it->dueNs <= now) {
                due.push_back(std::move(it->complete));
                it = pendingActivations.erase(it);
            } else {
                next = std::min(next, it->dueNs);
                ++it;
            }
        }
    }
    for (auto& complete : due)
        post(std::move(complete));
    return next;
}

void SimWorldCore::wakeService()
{
    clock->notify(serviceChannel, [this] { serviceWake.store(true); });
}

void SimWorldCore::invalidateStreamsLocked(const std::wstring& endpointId)
{
    for (auto& weak : streams)
        if (auto stream = weak.lock(); stream && stream->endpointId() == endpointId)
            stream->invalidate();
}

void SimWorldCore::setDefaultLocked(DataFlow flow, Role role, const std::wstring& id)
{
    std::wstring& slot = defaults[flowIndex(flow)][static_cast<int>(role)];
    if (slot == id)
        return;
    slot = id;
    notify([flow, role, id](EndpointNotificationClient& c) { c.onDefaultDeviceChanged(flow, role, id); });
}

void SimWorldCore::refreshDefaultsLocked(DataFlow flow)
{
    std::wstring firstActive;
    for (const auto& e : endpoints) {
        if (e.flow == flow && e.state == DEVICE_STATE_ACTIVE) {
            firstActive = e.id;
            break;
        }
    }
    for (Role role : kAllRoles) {
        const std::wstring& current = defaults[flowIndex(flow)][static_cast<int>(role)];
        const SimEndpointRecord* record = findLocked(current);
        if (!record || record->state != DEVICE_STATE_ACTIVE)
            setDefaultLocked(flow, role, firstActive);
    }
}

void SimWorldCore::renderEndpointSignal(const std::wstring& id, std::uint64_t firstFrame, std::uint32_t frames,
                                        std::uint32_t channels, std::uint32_t sampleRate, float* out)
{
    Signal signal;
    {
        std::lock_guard lock(mutex);
        if (const SimEndpointRecord* record = findLocked(id))
            signal = record->signal;
    }
    signal.render(firstFrame, frames, channels, sampleRate, out);
}

bool SimWorldCore::heardInLoopbackLocked(const AudioClientActivationParams& params, const SimProcessSpec& p) const
{
    if (p.signal.isSilence() || p.sessions == 0 || p.sessionState != AudioSessionState::Active)
        return false;
    // Walk up the parents; the bound stops at cycles in made-up trees.
    bool inTree = false;
    std::uint32_t pid = p.processId;
    for (std::size_t hops = 0; hops <= processes.size(); ++hops) {
        if (pid == params.targetProcessId) {
            inTree = true;
            break;
        }
        auto parent = std::find_if(processes.begin(), processes.end(),
                                   [&](const SimProcessSpec& q) { return q.processId == pid; });
        if (parent == processes.end() || parent->parentId == pid)
            break;
        pid = parent->parentId;
    }
    const bool include = params.processLoopbackMode == PROCESS_LOOPBACK_MODE_INCLUDE_TARGET_PROCESS_TREE;
    return inTree == include;
}

bool SimWorldCore::loopbackAudible(const AudioClientActivationParams& params)
{
    std::lock_guard lock(mutex);
    return std::any_of(processes.begin(), processes.end(),
                       [&](const SimProcessSpec& p) { return heardInLoopbackLocked(params, p); });
}

void SimWorldCore::renderLoopback(const AudioClientActivationParams& params, std::uint64_t firstFrame,
                                  std::uint32_t frames, std::uint32_t channels, std::uint32_t sampleRate, float* mix,
                                  float* scratch)
{
    const std::size_t samples = static_cast<std::size_t>(frames) * channels;
    std::fill_n(mix, samples, 0.0f);
    const auto add = [&](const Signal& signal) {
        signal.render(firstFrame, frames, channels, sampleRate, scratch);
        for (std::size_t i = 0; i < samples; ++i)
            mix[i] += scratch[i];
    };
    // The signals heard are taken under the lock and rendered after it, so
    // the world's other streams and threads do not wait for the synthesis;
    // beyond the first few they are rendered in place.
    std::array<Signal, 8> heard;
    std::size_t count = 0;
    {
        std::lock_guard lock(mutex);
        for (const auto& p : processes) {
            if (!heardInLoopbackLocked(params, p))
                continue;
            if (count < heard.size())
                heard[count++] = p.signal;
            else
                add(p.signal);
        }
    }
    for (std::size_t i = 0; i < count; ++i)
        add(heard[i]);
}

bool SimWorldCore::takeSilentPacket(const std::wstring& id)
{
    std::lock_guard lock(mutex);
    auto it = silentPackets.find(id);
    if (it == silentPackets.end() || it->second <= 0)
        return false;
    --it->second;
    return true;
}

void SimWorldCore::appendRendered(const std::wstring& id, const WAVEFORMATEXTENSIBLE& format,
                                  const std::uint8_t* data, std::uint32_t frames)
{
    std::shared_ptr<RenderSink> sink;
    {
        std::lock_guard lock(mutex);
        SimEndpointRecord* record = findLocked(id);
        if (!record)
            return;
        SimRecording& rec = record->recording;
        rec.format = format;
        const std::size_t bytes = static_cast<std::size_t>(frames) * format.Format.nBlockAlign;
        if (rec.bytes.size() + bytes > recordingLimitBytes)
            rec.droppedFrames += frames;
        else
            rec.bytes.insert(rec.bytes.end(), data, data + bytes);
        sink = record->sink;
    }
    if (sink)
        sink->rendered(id, format, data, frames);
}

void SimWorldCore::transferred(const std::wstring& endpointId, const StreamTransfer& transfer)
{
    std::shared_ptr<TransferObserver> observer;
    {
        std::lock_guard lock(mutex);
        observer = transferObserver;
    }
    if (observer)
        observer->transferred(endpointId, transfer);
}

void SimWorldCore::addUnderrun(const std::wstring& id, std::uint64_t frames)
{
    withEndpoint(*this, id, [frames](SimEndpointRecord& record) { record.recording.underrunFrames += frames; });
}

// ---- objects handed out ---------------------------------------------------

namespace {

class SimSessionControl final : public AudioSessionControl {
public:
    SimSessionControl(std::shared_ptr<SimWorldCore> core, SimProcessSpec process)
        : m_core(std::move(core))
        , m_processId(process.processId)
        , m_displayName(std::move(process.displayName))
        , m_state(process.sessionState)
    {
    }
    HRESULT getProcessId(std::uint32_t& processId) override
    {
        if (HRESULT hr = m_core->faults.take(SimOp::SessionProcessId); FAILED(hr))
            return hr;
        processId = m_processId;
        return S_OK;
    }
    HRESULT getDisplayName(std::wstring& name) override
    {
        if (HRESULT hr = m_core->faults.take(SimOp::SessionDisplayName); FAILED(hr))
            return hr;
        name = m_displayName;
        return S_OK;
    }
    HRESULT getState(AudioSessionState& state) override
    {
        if (HRESULT hr = m_core->faults.take(SimOp::SessionState); FAILED(hr))
            return hr;
        state = m_state;
        return S_OK;
    }

private:
    std::shared_ptr<SimWorldCore> m_core;
    std::uint32_t m_processId;
    std::wstring m_displayName;
    AudioSessionState m_state;
};

class SimSessionManager final : public AudioSessionManager {
public:
    SimSessionManager(std::shared_ptr<SimWorldCore> core, std::wstring endpointId)
        : m_core(std::move(core))
        , m_endpointId(std::move(endpointId))
    {
    }
    HRESULT enumerateSessions(std::vector<std::shared_ptr<AudioSessionControl>>& out) override
    {
        if (HRESULT hr = m_core->faults.take(SimOp::EnumerateSessions); FAILED(hr))
            return hr;
        std::lock_guard lock(m_core->mutex);
        const SimEndpointRecord* record = m_core->findLocked(m_endpointId);
        if (!record || record->state != DEVICE_STATE_ACTIVE)
            return AUDCLNT_E_DEVICE_INVALIDATED;
        out.clear();
        // Sessions play on the console default; other endpoints have none.
        if (m_core->defaults[0][static_cast<int>(Role::Console)] != m_endpointId)
            return S_OK;
        for (const auto& p : m_core->processes)
            for (std::uint32_t i = 0; i < p.sessions; ++i)
                out.push_back(std::make_shared<SimSessionControl>(m_core, p));
        return S_OK;
    }

private:
    std::shared_ptr<SimWorldCore> m_core;
    std::wstring m_endpointId;
};

class SimEndpoint final : public AudioEndpoint {
public:
    SimEndpoint(std::shared_ptr<SimWorldCore> core, std::wstring id)
        : m_core(std::move(core))
        , m_id(std::move(id))
    {
    }
    HRESULT getId(std::wstring& id) override
    {
        id = m_id;
        return S_OK;
    }
    HRESULT getState(std::uint32_t& state) override
    {
        std::lock_guard lock(m_core->mutex);
        const SimEndpointRecord* record = m_core->findLocked(m_id);
        state = record ? record->state : DEVICE_STATE_NOTPRESENT;
        return S_OK;
    }
    HRESULT getDataFlow(DataFlow& flow) override
    {
        return readRecord([&](const SimEndpointRecord& record) { flow = record.flow; });
    }
    HRESULT getFriendlyName(std::wstring& name) override
    {
        if (HRESULT hr = m_core->faults.take(SimOp::GetFriendlyName); FAILED(hr))
            return hr;
        return readRecord([&](const SimEndpointRecord& record) { name = record.name; });
    }
    HRESULT getDeviceFormat(std::vector<std::uint8_t>& format) override
    {
        if (HRESULT hr = m_core->faults.take(SimOp::GetDeviceFormat); FAILED(hr))
            return hr;
        return readRecord([&](const SimEndpointRecord& record) { format = record.deviceFormat; });
    }
    HRESULT getConnectorCount(std::uint32_t& connectors) override
    {
        if (HRESULT hr = m_core->faults.take(SimOp::GetConnectorCount); FAILED(hr))
            return hr;
        return readRecord([&](const SimEndpointRecord& record) { connectors = record.physical ? 1 : 0; });
    }
    HRESULT activateAudioClient(std::shared_ptr<AudioClient>& out) override
    {
        if (HRESULT hr = m_core->faults.take(SimOp::ActivateAudioClient, m_id); FAILED(hr))
            return hr;
        std::lock_guard lock(m_core->mutex);
        const SimEndpointRecord* record = m_core->findLocked(m_id);
        if (!record || record->state != DEVICE_STATE_ACTIVE || m_core->closed)
            return AUDCLNT_E_DEVICE_INVALIDATED;
        auto stream = std::make_shared<SimStream>(m_core,
                                                  record->flow == DataFlow::Capture ? SimStream::Kind::Capture
                                                                                    : SimStream::Kind::Render,
                                                  m_id, record->sampleRate, record->channels);
        stream->setStall(record->stallAtNs);
        stream->setDriftPpm(record->driftPpm);
        m_core->streams.push_back(stream);
        out = std::move(stream);
        return S_OK;
    }
    HRESULT activateSessionManager(std::shared_ptr<AudioSessionManager>& out) override
    {
        if (HRESULT hr = m_core->faults.take(SimOp::ActivateSessionManager); FAILED(hr))
            return hr;
        std::lock_guard lock(m_core->mutex);
        const SimEndpointRecord* record = m_core->findLocked(m_id);
        if (!record || record->state != DEVICE_STATE_ACTIVE)
            return AUDCLNT_E_DEVICE_INVALIDATED;
        if (record->flow != DataFlow::Render)
            return E_NOINTERFACE;
        out = std::make_shared<SimSessionManager>(m_core, m_id);
        return S_OK;
    }

private:
    // Reads this endpoint's record under the world lock; E_NOTFOUND once
    // the endpoint is gone.
    template <typename Read>
    HRESULT readRecord(Read&& read)
    {
        return withEndpoint(*m_core, m_id, read) ? S_OK : E_NOTFOUND;
    }

    std::shared_ptr<SimWorldCore> m_core;
    std::wstring m_id;
};

class SimEnumerator final : public EndpointEnumerator {
public:
    explicit SimEnumerator(std::shared_ptr<SimWorldCore> core)
        : m_core(std::move(core))
    {
    }
    HRESULT enumEndpoints(DataFlow flow, std::uint32_t stateMask,
                          std::vector<std::shared_ptr<AudioEndpoint>>& out) override
    {
        if (HRESULT hr = m_core->faults.take(SimOp::EnumEndpoints); FAILED(hr))
            return hr;
        if (stateMask == 0 || (stateMask & ~DEVICE_STATEMASK_ALL) != 0)
            return E_INVALIDARG;
        std::lock_guard lock(m_core->mutex);
        out.clear();
        for (const auto& e : m_core->endpoints)
            if ((flow == DataFlow::All || e.flow == flow) && (e.state & stateMask) != 0)
                out.push_back(std::make_shared<SimEndpoint>(m_core, e.id));
        return S_OK;
    }
    HRESULT getDefaultEndpoint(DataFlow flow, Role role, std::shared_ptr<AudioEndpoint>& out) override
    {
        if (HRESULT hr = m_core->faults.take(SimOp::GetDefaultEndpoint); FAILED(hr))
            return hr;
        if (flow == DataFlow::All)
            return E_INVALIDARG;
        std::lock_guard lock(m_core->mutex);
        const std::wstring& id = m_core->defaults[flowIndex(flow)][static_cast<int>(role)];
        if (id.empty())
            return E_NOTFOUND;
        out = std::make_shared<SimEndpoint>(m_core, id);
        return S_OK;
    }
    HRESULT getEndpoint(const std::wstring& id, std::shared_ptr<AudioEndpoint>& out) override
    {
        if (HRESULT hr = m_core->faults.take(SimOp::GetEndpoint); FAILED(hr))
            return hr;
        std::lock_guard lock(m_core->mutex);
        if (!m_core->findLocked(id))
            return E_NOTFOUND;
        out = std::make_shared<SimEndpoint>(m_core, id);
        return S_OK;
    }
    HRESULT registerNotificationClient(std::shared_ptr<EndpointNotificationClient> client) override
    {
        if (!client)
            return E_POINTER;
        if (HRESULT hr = m_core->faults.take(SimOp::RegisterNotification); FAILED(hr))
            return hr;
        std::lock_guard lock(m_core->notifyMutex);
        m_core->notifyClients.push_back(std::move(client));
        return S_OK;
    }
    HRESULT unregisterNotificationClient(const std::shared_ptr<EndpointNotificationClient>& client) override
    {
        {
            std::lock_guard lock(m_core->notifyMutex);
            auto& list = m_core->notifyClients;
            auto it = std::find(list.begin(), list.end(), client);
            if (it == list.end())
                return E_INVALIDARG;
            list.erase(it);
        }
        // Wait out a callback in flight, unless this is that callback.
        if (m_core->serviceThreadId.load() != std::this_thread::get_id()) {
            std::lock_guard dispatch(m_core->dispatchMutex);
        }
        return S_OK;
    }

private:
    std::shared_ptr<SimWorldCore> m_core;
};

class SimPolicyConfig final : public PolicyConfig {
public:
    explicit SimPolicyConfig(std::shared_ptr<SimWorldCore> core)
        : m_core(std::move(core))
    {
    }
    HRESULT setDefaultEndpoint(const std::wstring& endpointId, Role role) override
    {
        if (HRESULT hr = m_core->faults.take(SimOp::SetDefaultEndpoint, SimFaults::roleTarget(static_cast<int>(role)));
            FAILED(hr))
            return hr;
        std::lock_guard lock(m_core->mutex);
        const SimEndpointRecord* record = m_core->findLocked(endpointId);
        if (!record)
            return E_NOTFOUND;
        if (record->state != DEVICE_STATE_ACTIVE)
            return E_INVALIDARG;
        m_core->setDefaultLocked(record->flow, role, endpointId);
        return S_OK;
    }
    HRESULT setDeviceFormat(const std::wstring& endpointId, std::span<const std::uint8_t> endpointFormat,
                            std::span<const std::uint8_t> mixFormat) override
    {
        m_core->waitWhileFormatWriteHeld();
        if (HRESULT hr = m_core->faults.take(SimOp::SetDeviceFormat, endpointId); FAILED(hr))
            return hr;
        StreamFormat parsed;
        StreamFormat mixParsed;
        if (!parseStreamFormat(endpointFormat.data(), endpointFormat.size(), parsed)
            || (!mixFormat.empty() && !parseStreamFormat(mixFormat.data(), mixFormat.size(), mixParsed)))
            return E_INVALIDARG;
        std::lock_guard lock(m_core->mutex);
        SimEndpointRecord* record = m_core->findLocked(endpointId);
        if (!record)
            return E_NOTFOUND;
        if (record->state != DEVICE_STATE_ACTIVE)
            return E_INVALIDARG;
        if (record->ignoreFormatWrites)
            return S_OK;
        record->deviceFormat.assign(endpointFormat.begin(), endpointFormat.end());
        record->sampleRate = parsed.sampleRate;
        record->channels = parsed.channels;
        // Open streams were built for the old format.
        m_core->invalidateStreamsLocked(endpointId);
        m_core->notify([endpointId](EndpointNotificationClient& c) {
            c.onPropertyValueChanged(endpointId, EndpointProperty::DeviceFormat);
        });
        return S_OK;
    }

private:
    std::shared_ptr<SimWorldCore> m_core;
};

class SimActivation final : public ActivationOperation {
public:
    SimActivation(HRESULT result, std::shared_ptr<AudioClient> client)
        : m_result(result)
        , m_client(std::move(client))
    {
    }
    HRESULT getActivateResult(HRESULT& activateResult, std::shared_ptr<AudioClient>& client) override
    {
        activateResult = m_result;
        if (SUCCEEDED(m_result))
            client = m_client;
        return S_OK;
    }

private:
    HRESULT m_result;
    std::shared_ptr<AudioClient> m_client;
};

} // namespace

// ---- the world --------------------------------------------------------------

SimAudioWorld::SimAudioWorld(std::shared_ptr<Clock> clock)
    : m_core(std::make_shared<SimWorldCore>(clock ? std::move(clock) : std::make_shared<RealClock>()))
    , m_queues(std::make_unique<SimWorkQueues>(*m_core->clock, m_core->faults))
{
    m_service = std::thread([this] { serviceLoop(); });
}

SimAudioWorld::~SimAudioWorld()
{
    m_core->serviceStop.store(true);
    m_core->wakeService();
    m_service.join();
    holdDeviceFormatWrites(false);
    std::lock_guard lock(m_core->mutex);
    m_core->closed = true;
    for (auto& weak : m_core->streams)
        if (auto stream = weak.lock())
            stream->invalidate();
}

void SimAudioWorld::serviceLoop()
{
    SimWorldCore& core = *m_core;
    core.serviceThreadId.store(std::this_thread::get_id());
    scheduleAboveAudioThreads(); // hardware does not wait for the machine
    std::vector<std::shared_ptr<SimStream>> live;
    for (;;) {
        // Deliver notifications and activations, in order.
        while (runNextTask(core)) {
        }
        if (core.serviceStop.load())
            break;

        // Set the events of running streams whose period ended.
        live.clear();
        {
            std::lock_guard lock(core.mutex);
            std::erase_if(core.streams, [](const std::weak_ptr<SimStream>& s) { return s.expired(); });
            for (auto& weak : core.streams)
                if (auto stream = weak.lock())
                    live.push_back(std::move(stream));
        }
        std::int64_t nextDue = Clock::kNoDeadline;
        for (auto& stream : live)
            nextDue = std::min(nextDue, stream->catchUp());
        live.clear();
        nextDue = std::min(nextDue, core.releaseDueActivations());

        core.clock->waitOn(
            core.serviceChannel, [&core] { return core.serviceWake.exchange(false) || core.serviceStop.load(); },
            nextDue);
    }
    // Whatever was queued before the end still runs, so no caller waits for
    // an activation for ever.
    while (runNextTask(core)) {
    }
}

void SimAudioWorld::flushNotifications()
{
    if (m_core->serviceThreadId.load() == std::this_thread::get_id())
        return;
    std::unique_lock lock(m_core->taskMutex);
    m_core->tasksDone.wait(lock, [this] { return m_core->tasks.empty() && !m_core->taskRunning; });
}

std::wstring SimAudioWorld::addEndpoint(const SimEndpointSpec& spec)
{
    std::lock_guard lock(m_core->mutex);
    SimEndpointRecord record;
    if (spec.id.empty() || m_core->findLocked(spec.id)) {
        wchar_t id[64];
        std::swprintf(id, 64, L"{0.0.%d.00000000}.{5e1a0000-0000-4000-8000-%012u}", flowIndex(spec.flow),
                      m_core->nextEndpointNumber);
        record.id = id;
    } else {
        record.id = spec.id;
    }
    ++m_core->nextEndpointNumber;
    record.name = spec.name;
    record.flow = spec.flow == DataFlow::Capture ? DataFlow::Capture : DataFlow::Render;
    record.state = spec.state;
    record.sampleRate = spec.sampleRate;
    record.channels = spec.channels;
    record.physical = spec.physical;
    record.deviceFormat = makeDeviceFormat(spec.sampleRate, spec.channels, spec.deviceBits, false);
    m_core->endpoints.push_back(record);
    const std::wstring id = record.id;
    m_core->notify([id](EndpointNotificationClient& c) { c.onDeviceAdded(id); });
    m_core->refreshDefaultsLocked(record.flow);
    return id;
}

bool SimAudioWorld::removeEndpoint(const std::wstring& id)
{
    std::lock_guard lock(m_core->mutex);
    auto& list = m_core->endpoints;
    auto it = std::find_if(list.begin(), list.end(), [&](const SimEndpointRecord& e) { return e.id == id; });
    if (it == list.end())
        return false;
    const DataFlow flow = it->flow;
    list.erase(it);
    m_core->invalidateStreamsLocked(id);
    m_core->silentPackets.erase(id);
    m_core->notify([id](EndpointNotificationClient& c) { c.onDeviceRemoved(id); });
    m_core->refreshDefaultsLocked(flow);
    return true;
}

bool SimAudioWorld::renameEndpoint(const std::wstring& id, const std::wstring& name)
{
    return withEndpoint(*m_core, id, [&](SimEndpointRecord& record) {
        record.name = name;
        m_core->notify(
            [id](EndpointNotificationClient& c) { c.onPropertyValueChanged(id, EndpointProperty::FriendlyName); });
    });
}

bool SimAudioWorld::setEndpointState(const std::wstring& id, std::uint32_t state)
{
    if (state != DEVICE_STATE_ACTIVE && state != DEVICE_STATE_DISABLED && state != DEVICE_STATE_NOTPRESENT
        && state != DEVICE_STATE_UNPLUGGED)
        return false;
    std::lock_guard lock(m_core->mutex);
    SimEndpointRecord* record = m_core->findLocked(id);
    if (!record)
        return false;
    if (record->state == state)
        return true;
    record->state = state;
    if (state != DEVICE_STATE_ACTIVE)
        m_core->invalidateStreamsLocked(id);
    m_core->notify([id, state](EndpointNotificationClient& c) { c.onDeviceStateChanged(id, state); });
    m_core->refreshDefaultsLocked(record->flow);
    return true;
}

bool SimAudioWorld::setDefaultEndpoint(const std::wstring& id, Role role)
{
    std::lock_guard lock(m_core->mutex);
    const SimEndpointRecord* record = m_core->findLocked(id);
    if (!record || record->state != DEVICE_STATE_ACTIVE)
        return false;
    m_core->setDefaultLocked(record->flow, role, id);
    return true;
}

bool SimAudioWorld::setDefaultEndpoint(const std::wstring& id)
{
    for (Role role : kAllRoles)
        if (!setDefaultEndpoint(id, role))
            return false;
    return true;
}

std::wstring SimAudioWorld::defaultEndpointId(DataFlow flow, Role role) const
{
    std::lock_guard lock(m_core->mutex);
    return m_core->defaults[flowIndex(flow)][static_cast<int>(role)];
}

std::wstring SimAudioWorld::findEndpointId(const std::wstring& name) const
{
    std::lock_guard lock(m_core->mutex);
    for (const auto& e : m_core->endpoints)
        if (e.name == name)
            return e.id;
    return {};
}

bool SimAudioWorld::invalidateEndpoint(const std::wstring& id)
{
    return withEndpoint(*m_core, id, [&](SimEndpointRecord&) { m_core->invalidateStreamsLocked(id); });
}

bool SimAudioWorld::setEndpointSignal(const std::wstring& id, Signal signal)
{
    return withEndpoint(*m_core, id, [&](SimEndpointRecord& record) { record.signal = std::move(signal); });
}

void SimAudioWorld::setSilentPackets(const std::wstring& id, int packets)
{
    std::lock_guard lock(m_core->mutex);
    m_core->silentPackets[id] = std::max(packets, 0);
}

bool SimAudioWorld::refuseMixFormat(const std::wstring& id, HRESULT code)
{
    return withEndpoint(*m_core, id, [code](SimEndpointRecord& record) { record.mixFormatRefusal = code; });
}

void SimAudioWorld::setLoopbackMixFormat(std::vector<std::uint8_t> format)
{
    std::lock_guard lock(m_core->mutex);
    m_core->loopbackMixFormat = std::move(format);
}

SimRecording SimAudioWorld::recording(const std::wstring& id) const
{
    // Bring the endpoint's streams up to the clock first (outside the world
    // lock: streams lock themselves before the world).
    std::vector<std::shared_ptr<SimStream>> streams;
    {
        std::lock_guard lock(m_core->mutex);
        for (auto& weak : m_core->streams)
            if (auto s = weak.lock(); s && s->endpointId() == id)
                streams.push_back(std::move(s));
    }
    for (auto& s : streams)
        s->catchUp();
    std::lock_guard lock(m_core->mutex);
    const SimEndpointRecord* record = m_core->findLocked(id);
    return record ? record->recording : SimRecording{};
}

void SimAudioWorld::clearRecording(const std::wstring& id)
{
    withEndpoint(*m_core, id, [](SimEndpointRecord& record) { record.recording = SimRecording{}; });
}

void SimAudioWorld::setRecordingLimitBytes(std::size_t bytes)
{
    std::lock_guard lock(m_core->mutex);
    m_core->recordingLimitBytes = bytes;
}

bool SimAudioWorld::setRenderSink(const std::wstring& id, std::shared_ptr<RenderSink> sink)
{
    return withEndpoint(*m_core, id, [&](SimEndpointRecord& record) { record.sink = std::move(sink); });
}

void SimAudioWorld::setTransferObserver(std::shared_ptr<TransferObserver> observer)
{
    std::lock_guard lock(m_core->mutex);
    m_core->transferObserver = std::move(observer);
}

void SimAudioWorld::addProcess(const SimProcessSpec& spec)
{
    std::lock_guard lock(m_core->mutex);
    auto& list = m_core->processes;
    auto it = std::find_if(list.begin(), list.end(), [&](const SimProcessSpec& p) { return p.processId == spec.processId; });
    if (it != list.end())
        *it = spec;
    else
        list.push_back(spec);
}

bool SimAudioWorld::removeProcess(std::uint32_t processId)
{
    std::lock_guard lock(m_core->mutex);
    return std::erase_if(m_core->processes, [&](const SimProcessSpec& p) { return p.processId == processId; }) > 0;
}

bool SimAudioWorld::setSessionState(std::uint32_t processId, AudioSessionState state)
{
    return withProcess(*m_core, processId, [state](SimProcessSpec& p) { p.sessionState = state; });
}

bool SimAudioWorld::setProcessSignal(std::uint32_t processId, Signal signal)
{
    return withProcess(*m_core, processId, [&](SimProcessSpec& p) { p.signal = std::move(signal); });
}

void SimAudioWorld::setProgramIcon(const std::wstring& imagePath, IconImage icon)
{
    std::lock_guard lock(m_core->mutex);
    m_core->icons[imagePath] = std::move(icon);
}

namespace {

std::wstring backslashed(std::wstring path)
{
    std::replace(path.begin(), path.end(), L'/', L'\\');
    return path;
}

} // namespace

void SimAudioWorld::setVersionStrings(const std::wstring& path, std::vector<VersionStrings> blocks)
{
    std::lock_guard lock(m_core->mutex);
    if (blocks.empty())
        m_core->versionStrings.erase(backslashed(path));
    else
        m_core->versionStrings[backslashed(path)] = std::move(blocks);
}

void SimAudioWorld::setApplicationFolders(std::vector<std::wstring> folders)
{
    std::lock_guard lock(m_core->mutex);
    m_core->applicationFolders = std::move(folders);
}

void SimAudioWorld::holdActivations(std::uint32_t processId, bool hold)
{
    {
        std::lock_guard lock(m_core->mutex);
        if (hold)
            m_core->heldActivations.insert(processId);
        else
            m_core->heldActivations.erase(processId);
    }
    m_core->wakeService();
}

void SimAudioWorld::delayActivations(std::uint32_t processId, std::int64_t delayMs)
{
    std::lock_guard lock(m_core->mutex);
    if (delayMs > 0)
        m_core->activationDelayNs[processId] = delayMs * Clock::kNsPerMs;
    else
        m_core->activationDelayNs.erase(processId);
}

bool SimAudioWorld::stallEndpoint(const std::wstring& id, bool stalled)
{
    {
        std::lock_guard lock(m_core->mutex);
        SimEndpointRecord* record = m_core->findLocked(id);
        if (!record)
            return false;
        record->stallAtNs = stalled ? m_core->clock->nowNs() : -1;
        for (auto& weak : m_core->streams)
            if (auto stream = weak.lock(); stream && stream->endpointId() == id)
                stream->setStall(record->stallAtNs);
    }
    m_core->wakeService();
    return true;
}

bool SimAudioWorld::setEndpointDriftPpm(const std::wstring& id, std::int32_t ppm)
{
    {
        std::lock_guard lock(m_core->mutex);
        SimEndpointRecord* record = m_core->findLocked(id);
        if (!record)
            return false;
        record->driftPpm = ppm;
        for (auto& weak : m_core->streams)
            if (auto stream = weak.lock(); stream && stream->endpointId() == id)
                stream->setDriftPpm(ppm);
    }
    m_core->wakeService();
    return true;
}

void SimAudioWorld::holdDeviceFormatWrites(bool hold)
{
    std::lock_guard lock(m_core->formatWriteMutex);
    m_core->holdFormatWrites = hold;
    if (!hold)
        m_core->formatWritePasses = 0;
    m_core->formatWriteChanged.notify_all();
}

bool SimAudioWorld::waitForHeldDeviceFormatWrites(std::size_t count, std::int64_t timeoutMs)
{
    std::unique_lock lock(m_core->formatWriteMutex);
    return m_core->formatWriteChanged.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
        return m_core->heldFormatWrites >= count;
    });
}

bool SimAudioWorld::releaseDeviceFormatWrite()
{
    std::unique_lock lock(m_core->formatWriteMutex);
    if (m_core->heldFormatWrites <= m_core->formatWritePasses)
        return false;
    ++m_core->formatWritePasses;
    m_core->formatWriteChanged.notify_all();
    // Returns once the write has left the hold, so a following wait counts
    // only writes still held. A write that is let go never waits again.
    m_core->formatWriteChanged.wait(lock, [this] { return m_core->formatWritePasses == 0 || !m_core->holdFormatWrites; });
    return true;
}

bool SimAudioWorld::ignoreDeviceFormatWrites(const std::wstring& id, bool ignore)
{
    return withEndpoint(*m_core, id, [&](SimEndpointRecord& record) { record.ignoreFormatWrites = ignore; });
}

std::vector<std::uint8_t> SimAudioWorld::deviceFormat(const std::wstring& id) const
{
    std::lock_guard lock(m_core->mutex);
    const SimEndpointRecord* record = m_core->findLocked(id);
    return record ? record->deviceFormat : std::vector<std::uint8_t>{};
}

SimFaults& SimAudioWorld::faults()
{
    return m_core->faults;
}

void SimAudioWorld::failNext(SimOp op, HRESULT code, int count)
{
    m_core->faults.failNext(op, code, count);
}

std::size_t SimAudioWorld::openStreams() const
{
    std::lock_guard lock(m_core->mutex);
    return static_cast<std::size_t>(std::count_if(m_core->streams.begin(), m_core->streams.end(),
                                                  [](const std::weak_ptr<SimStream>& s) { return !s.expired(); }));
}

SimWorkQueues& SimAudioWorld::simWorkQueues()
{
    return *m_queues;
}

Clock& SimAudioWorld::clock()
{
    return *m_core->clock;
}

WorkQueues& SimAudioWorld::workQueues()
{
    return *m_queues;
}

HRESULT SimAudioWorld::createEndpointEnumerator(std::shared_ptr<EndpointEnumerator>& out)
{
    if (HRESULT hr = m_core->faults.take(SimOp::CreateEnumerator); FAILED(hr))
        return hr;
    out = std::make_shared<SimEnumerator>(m_core);
    return S_OK;
}

HRESULT SimAudioWorld::activateAudioInterfaceAsync(const std::wstring& devicePath,
                                                   const AudioClientActivationParams& params,
                                                   std::shared_ptr<ActivationCompletionHandler> handler,
                                                   std::shared_ptr<ActivationOperation>& operation)
{
    if (!handler)
        return E_POINTER;
    if (HRESULT hr = m_core->faults.take(SimOp::ActivateProcessLoopback,
                                         SimFaults::processTarget(params.targetProcessId));
        FAILED(hr))
        return hr;
    if (devicePath != kProcessLoopbackDevicePath)
        return E_NOTFOUND;
    if (params.activationType != AUDIOCLIENT_ACTIVATION_TYPE_PROCESS_LOOPBACK
        || params.processLoopbackMode > PROCESS_LOOPBACK_MODE_EXCLUDE_TARGET_PROCESS_TREE)
        return E_INVALIDARG;

    const std::wstring target = SimFaults::processTarget(params.targetProcessId);
    HRESULT result = m_core->faults.take(SimOp::ProcessLoopbackResult, target);
    std::shared_ptr<AudioClient> client;
    if (SUCCEEDED(result)) {
        // The stream's rate and channels come from the format it is
        // initialised with; a target without processes is simply silent.
        auto stream = std::make_shared<SimStream>(m_core, SimStream::Kind::Loopback, kProcessLoopbackDevicePath, 48000,
                                                  2, params);
        std::lock_guard lock(m_core->mutex);
        m_core->streams.push_back(stream);
        client = std::move(stream);
    }
    auto op = std::make_shared<SimActivation>(result, std::move(client));
    operation = op;
    {
        std::lock_guard lock(m_core->mutex);
        const auto delay = m_core->activationDelayNs.find(params.targetProcessId);
        const bool held = m_core->heldActivations.count(params.targetProcessId) != 0;
        if (held || delay != m_core->activationDelayNs.end()) {
            const std::int64_t due = m_core->clock->nowNs() + (delay != m_core->activationDelayNs.end() ? delay->second : 0);
            m_core->pendingActivations.push_back({params.targetProcessId, due, [handler = std::move(handler), op] {
                                                      handler->activateCompleted(*op);
                                                  }});
            m_core->wakeService();
            return S_OK;
        }
    }
    m_core->post([handler = std::move(handler), op] { handler->activateCompleted(*op); });
    return S_OK;
}

HRESULT SimAudioWorld::createPolicyConfig(PolicyConfigClass, std::shared_ptr<PolicyConfig>& out)
{
    if (HRESULT hr = m_core->faults.take(SimOp::CreatePolicyConfig); FAILED(hr))
        return hr;
    out = std::make_shared<SimPolicyConfig>(m_core);
    return S_OK;
}

HRESULT SimAudioWorld::processImagePath(std::uint32_t processId, std::wstring& path)
{
    if (HRESULT hr = m_core->faults.take(SimOp::ProcessImagePath); FAILED(hr))
        return hr;
    std::lock_guard lock(m_core->mutex);
    for (const auto& p : m_core->processes) {
        if (p.processId == processId) {
            if (p.imagePath.empty())
                return E_ACCESSDENIED;
            path = p.imagePath;
            return S_OK;
        }
    }
    return E_INVALIDARG;
}

HRESULT SimAudioWorld::extractIcon(const std::wstring& imagePath, IconImage& icon)
{
    if (HRESULT hr = m_core->faults.take(SimOp::ExtractIcon); FAILED(hr))
        return hr;
    std::lock_guard lock(m_core->mutex);
    auto it = m_core->icons.find(imagePath);
    if (it == m_core->icons.end() || !it->second.valid())
        return E_NOTFOUND;
    icon = it->second;
    return S_OK;
}

HRESULT SimAudioWorld::fileVersionStrings(const std::wstring& path, std::vector<VersionStrings>& out)
{
    std::lock_guard lock(m_core->mutex);
    const auto it = m_core->versionStrings.find(backslashed(path));
    if (it == m_core->versionStrings.end())
        return E_NOTFOUND;
    out = it->second;
    return S_OK;
}

std::vector<std::wstring> SimAudioWorld::applicationFolders()
{
    std::lock_guard lock(m_core->mutex);
    return m_core->applicationFolders;
}

} // namespace os
