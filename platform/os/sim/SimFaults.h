#pragma once
// Fault injection for the simulated operating system: the next calls of an
// operation fail with a chosen code.

#include "platform/os/HResult.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

namespace os {

enum class SimOp {
    CreateEnumerator,
    EnumEndpoints,
    GetDefaultEndpoint,
    GetEndpoint,
    GetFriendlyName,
    GetDeviceFormat,
    GetConnectorCount,
    ActivateAudioClient,
    ActivateSessionManager,
    RegisterNotification,
    Initialize,
    GetMixFormat,
    GetBufferSize,
    GetCurrentPadding,
    SetEventHandle,
    Start,
    GetService,
    GetNextPacketSize,
    CaptureGetBuffer,
    RenderGetBuffer,
    ReleaseBuffer,
    ActivateProcessLoopback, // the call itself
    ProcessLoopbackResult,   // the asynchronous outcome
    CreatePolicyConfig,
    SetDefaultEndpoint,
    SetDeviceFormat,
    EnumerateSessions,
    SessionProcessId,
    SessionDisplayName,
    SessionState,
    ProcessImagePath,
    ExtractIcon,
    WorkQueueStartup,
    LockSharedWorkQueue,
    PutWorkItem,
    PutWaitingWorkItem,
    Count
};

class SimFaults {
public:
    // The target of a fault aimed at one process (endpoints are named by id).
    static std::wstring processTarget(std::uint32_t processId) { return L"process:" + std::to_wstring(processId); }
    // The target of a fault aimed at one device role (the policy's default endpoint).
    static std::wstring roleTarget(int role) { return L"role:" + std::to_wstring(role); }

    // The next `count` calls of op fail with code (a failure code).
    void failNext(SimOp op, HRESULT code, int count = 1) { failNextFor(op, std::wstring(), code, count); }

    // The same for calls on one target only (an endpoint id or a
    // processTarget); other targets are untouched.
    void failNextFor(SimOp op, const std::wstring& target, HRESULT code, int count = 1)
    {
        std::lock_guard lock(m_mutex);
        for (Slot& slot : m_slots[static_cast<std::size_t>(op)]) {
            if (slot.target == target) {
                slot.code = code;
                slot.remaining = count > 0 ? count : 0;
                return;
            }
        }
        m_slots[static_cast<std::size_t>(op)].push_back({target, code, count > 0 ? count : 0});
    }

    // Counts the call; S_OK, or the injected failure (which is then used
    // up), a targeted one before an untargeted one.
    HRESULT take(SimOp op, const std::wstring& target = std::wstring())
    {
        std::lock_guard lock(m_mutex);
        ++m_calls[static_cast<std::size_t>(op)];
        Slot* untargeted = nullptr;
        for (Slot& slot : m_slots[static_cast<std::size_t>(op)]) {
            if (slot.remaining == 0)
                continue;
            if (slot.target.empty()) {
                untargeted = &slot;
            } else if (!target.empty() && slot.target == target) {
                --slot.remaining;
                return slot.code;
            }
        }
        if (!untargeted)
            return S_OK;
        --untargeted->remaining;
        return untargeted->code;
    }

    // Calls of op made so far.
    std::uint64_t calls(SimOp op) const
    {
        std::lock_guard lock(m_mutex);
        return m_calls[static_cast<std::size_t>(op)];
    }

    void clear()
    {
        std::lock_guard lock(m_mutex);
        for (auto& perOp : m_slots)
            perOp.clear();
    }

private:
    struct Slot {
        std::wstring target; // empty: any call
        HRESULT code = S_OK;
        int remaining = 0;
    };
    mutable std::mutex m_mutex;
    std::array<std::vector<Slot>, static_cast<std::size_t>(SimOp::Count)> m_slots{}; // guarded by m_mutex
    std::array<std::uint64_t, static_cast<std::size_t>(SimOp::Count)> m_calls{};     // guarded by m_mutex
};

} // namespace os
