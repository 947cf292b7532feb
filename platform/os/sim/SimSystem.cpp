#include "platform/os/sim/SimSystem.h"

#include <atomic>
#include <iostream>
#include <utility>

namespace os {

// ---- permission -------------------------------------------------------------------

PermissionStatus SimMicrophonePermission::status()
{
    std::lock_guard lock(m_mutex);
    return m_status;
}

void SimMicrophonePermission::request(std::function<void(PermissionStatus)> answer)
{
    PermissionStatus given;
    {
        std::lock_guard lock(m_mutex);
        if (m_answer == PermissionStatus::Undetermined) {
            m_waiting.push_back(std::move(answer));
            return;
        }
        m_status = m_answer;
        given = m_answer;
    }
    answer(given);
}

void SimMicrophonePermission::script(PermissionStatus status, PermissionStatus answer)
{
    std::lock_guard lock(m_mutex);
    m_status = status;
    m_answer = answer;
}

void SimMicrophonePermission::answer(PermissionStatus answer)
{
    std::vector<std::function<void(PermissionStatus)>> waiting;
    {
        std::lock_guard lock(m_mutex);
        m_status = answer;
        if (answer == PermissionStatus::Undetermined)
            return;
        waiting.swap(m_waiting);
    }
    for (auto& callback : waiting)
        callback(answer);
}

std::size_t SimMicrophonePermission::waitingRequests() const
{
    std::lock_guard lock(m_mutex);
    return m_waiting.size();
}

// ---- keys ---------------------------------------------------------------------------

std::uint32_t SimKeyInjector::sendInput(const std::vector<KeyInput>& inputs)
{
    std::uint32_t inserted = static_cast<std::uint32_t>(inputs.size());
    {
        std::lock_guard lock(m_mutex);
        if (m_insertLimit >= 0 && inserted > static_cast<std::uint32_t>(m_insertLimit))
            inserted = static_cast<std::uint32_t>(m_insertLimit);
        m_sent.insert(m_sent.end(), inputs.begin(), inputs.begin() + inserted);
    }
    std::cout << "[SimKeyInjector] SendInput: " << inputs.size() << " records, " << inserted << " inserted"
              << std::endl;
    return inserted;
}

void SimKeyInjector::setInsertLimit(int limit)
{
    std::lock_guard lock(m_mutex);
    m_insertLimit = limit;
}

std::vector<KeyInput> SimKeyInjector::sent() const
{
    std::lock_guard lock(m_mutex);
    return m_sent;
}

void SimKeyInjector::clear()
{
    std::lock_guard lock(m_mutex);
    m_sent.clear();
}

// ---- power events -----------------------------------------------------------------

struct SimPowerEvents::State {
    mutable std::mutex mutex;
    std::condition_variable changed;                          // with mutex
    std::map<std::uint32_t, std::deque<WindowMessage>> queues; // by thread id, for threads with a window
    std::multiset<std::uint32_t> windowThreads;               // threads with a live window
    std::vector<std::uint32_t> heldQuits;
    std::optional<PowerWindowStep> failStep;
    bool ignoreQuit = false;
    bool classRegistered = false;
    bool closed = false;
    int tornDown = 0;
};

namespace {

std::atomic<std::uint32_t> g_nextThreadId{1};

std::uint32_t simThreadId()
{
    thread_local const std::uint32_t id = g_nextThreadId.fetch_add(1);
    return id;
}

class SimMessageWindow final : public MessageWindow {
public:
    SimMessageWindow(std::shared_ptr<SimPowerEvents::State> state, std::uint32_t threadId)
        : m_state(std::move(state))
        , m_threadId(threadId)
    {
    }
    ~SimMessageWindow() override
    {
        std::lock_guard lock(m_state->mutex);
        m_state->windowThreads.erase(m_state->windowThreads.find(m_threadId));
        if (!m_state->windowThreads.contains(m_threadId))
            m_state->queues.erase(m_threadId);
        ++m_state->tornDown;
        m_state->changed.notify_all();
    }

    bool getMessage(WindowMessage& message) override
    {
        std::unique_lock lock(m_state->mutex);
        auto& queue = m_state->queues[m_threadId];
        m_state->changed.wait(lock, [&] { return m_state->closed || !queue.empty(); });
        if (queue.empty())
            return false;
        message = std::move(queue.front());
        queue.pop_front();
        return message.message != WM_QUIT;
    }

private:
    std::shared_ptr<SimPowerEvents::State> m_state;
    const std::uint32_t m_threadId;
};

} // namespace

SimPowerEvents::SimPowerEvents()
    : m_state(std::make_shared<State>())
{
}

SimPowerEvents::~SimPowerEvents()
{
    std::lock_guard lock(m_state->mutex);
    m_state->closed = true;
    m_state->changed.notify_all();
}

std::uint32_t SimPowerEvents::currentThreadId()
{
    return simThreadId();
}

std::unique_ptr<MessageWindow> SimPowerEvents::createMessageWindow(const std::wstring&, PowerWindowStep* failedStep)
{
    const std::uint32_t threadId = simThreadId();
    std::lock_guard lock(m_state->mutex);
    const std::optional<PowerWindowStep> fail = std::exchange(m_state->failStep, std::nullopt);
    if (fail && *fail <= PowerWindowStep::RegisterClass) {
        if (failedStep)
            *failedStep = *fail;
        return nullptr;
    }
    m_state->classRegistered = true;
    if (fail) {
        // The window existed for a moment: it is torn down again.
        if (failedStep)
            *failedStep = *fail;
        ++m_state->tornDown;
        return nullptr;
    }
    m_state->windowThreads.insert(threadId);
    m_state->queues[threadId];
    return std::make_unique<SimMessageWindow>(m_state, threadId);
}

bool SimPowerEvents::postQuit(std::uint32_t threadId)
{
    std::lock_guard lock(m_state->mutex);
    if (!m_state->windowThreads.contains(threadId))
        return false;
    if (m_state->ignoreQuit) {
        m_state->heldQuits.push_back(threadId);
        return true;
    }
    m_state->queues[threadId].push_back({WM_QUIT, 0, std::nullopt});
    m_state->changed.notify_all();
    return true;
}

void SimPowerEvents::failNextSetUp(PowerWindowStep step)
{
    std::lock_guard lock(m_state->mutex);
    m_state->failStep = step;
}

void SimPowerEvents::setIgnoreQuit(bool ignore)
{
    std::lock_guard lock(m_state->mutex);
    m_state->ignoreQuit = ignore;
    if (ignore)
        return;
    for (std::uint32_t threadId : std::exchange(m_state->heldQuits, {}))
        if (auto it = m_state->queues.find(threadId); it != m_state->queues.end())
            it->second.push_back({WM_QUIT, 0, std::nullopt});
    m_state->changed.notify_all();
}

int SimPowerEvents::fire(const WindowMessage& message)
{
    std::lock_guard lock(m_state->mutex);
    for (auto& [threadId, queue] : m_state->queues)
        queue.push_back(message);
    m_state->changed.notify_all();
    return static_cast<int>(m_state->queues.size());
}

int SimPowerEvents::fireDisplayState(std::uint32_t value)
{
    PowerSetting setting{GUID_CONSOLE_DISPLAY_STATE, {}};
    for (int i = 0; i < 4; ++i)
        setting.data.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    return fire({WM_POWERBROADCAST, PBT_POWERSETTINGCHANGE, setting});
}

int SimPowerEvents::liveWindows() const
{
    std::lock_guard lock(m_state->mutex);
    return static_cast<int>(m_state->windowThreads.size());
}

int SimPowerEvents::heldQuits() const
{
    std::lock_guard lock(m_state->mutex);
    return static_cast<int>(m_state->heldQuits.size());
}

int SimPowerEvents::tornDown() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->tornDown;
}

bool SimPowerEvents::classRegistered() const
{
    std::lock_guard lock(m_state->mutex);
    return m_state->classRegistered;
}

} // namespace os
