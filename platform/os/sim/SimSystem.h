#pragma once
// Simulated desktop services, for tests: the permission is granted unless
// scripted, keys are recorded and power events come only when someone fires
// them.

#include "platform/os/SystemServices.h"

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <map>
#include <mutex>
#include <set>

namespace os {

class SimMicrophonePermission final : public MicrophonePermission {
public:
    PermissionStatus status() override;
    void request(std::function<void(PermissionStatus)> answer) override;

    // The status reported now, and the answer a request gets; with an
    // Undetermined answer requests wait for answer().
    void script(PermissionStatus status, PermissionStatus answer);
    // The user answers: the status becomes the answer and every waiting
    // request is called back, on this thread.
    void answer(PermissionStatus answer);
    std::size_t waitingRequests() const;

private:
    mutable std::mutex m_mutex;
    PermissionStatus m_status = PermissionStatus::Granted;                   // guarded by m_mutex
    PermissionStatus m_answer = PermissionStatus::Undetermined;              // guarded by m_mutex
    std::vector<std::function<void(PermissionStatus)>> m_waiting;            // guarded by m_mutex
};

class SimKeyInjector final : public KeyInjector {
public:
    std::uint32_t sendInput(const std::vector<KeyInput>& inputs) override;

    // The next calls insert at most this many records each (negative: all).
    void setInsertLimit(int limit);
    // Every record of every call, in order.
    std::vector<KeyInput> sent() const;
    void clear();

private:
    mutable std::mutex m_mutex;
    int m_insertLimit = -1;      // guarded by m_mutex
    std::vector<KeyInput> m_sent; // guarded by m_mutex
};

class SimPowerEvents final : public PowerEvents {
public:
    SimPowerEvents();
    // Waiting windows return from getMessage() as if told to quit.
    ~SimPowerEvents() override;

    std::uint32_t currentThreadId() override;
    std::unique_ptr<MessageWindow> createMessageWindow(const std::wstring& className,
                                                       PowerWindowStep* failedStep) override;
    bool postQuit(std::uint32_t threadId) override;

    // The next set-up fails at this step (once).
    void failNextSetUp(PowerWindowStep step);
    // While set, quit messages are taken but held back; clearing delivers them.
    void setIgnoreQuit(bool ignore);
    // Delivers a message to every live window; returns how many it reached.
    int fire(const WindowMessage& message);
    int firePowerBroadcast(std::uintptr_t event) { return fire({WM_POWERBROADCAST, event, std::nullopt}); }
    int fireDisplayState(std::uint32_t value);
    int fireSessionChange(std::uintptr_t event) { return fire({WM_WTSSESSION_CHANGE, event, std::nullopt}); }

    int liveWindows() const;
    // Quit messages held back so far while quits are ignored.
    int heldQuits() const;
    // Windows torn down so far (after a failed set-up too, when something was made).
    int tornDown() const;
    bool classRegistered() const;

    struct State;

private:
    std::shared_ptr<State> m_state;
};

} // namespace os
