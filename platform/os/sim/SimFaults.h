#pragma once
// Fault injection for the simulated operating system: the next calls of an
// operation fail with a chosen code.

#include "platform/os/HResult.h"

#include <array>
#include <cstddef>
#include <mutex>

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
    // The next `count` calls of op fail with code (a failure code).
    void failNext(SimOp op, HRESULT code, int count = 1)
    {
        std::lock_guard lock(m_mutex);
        Slot& slot = m_slots[static_cast<std::size_t>(op)];
        slot.code = code;
        slot.remaining = count > 0 ? count : 0;
    }

    // S_OK, or the injected failure (which is then used up).
    HRESULT take(SimOp op)
    {
        std::lock_guard lock(m_mutex);
        Slot& slot = m_slots[static_cast<std::size_t>(op)];
        if (slot.remaining == 0)
            return S_OK;
        --slot.remaining;
        return slot.code;
    }

    void clear()
    {
        std::lock_guard lock(m_mutex);
        m_slots = {};
    }

private:
    struct Slot {
        HRESULT code = S_OK;
        int remaining = 0;
    };
    std::mutex m_mutex;
    std::array<Slot, static_cast<std::size_t>(SimOp::Count)> m_slots{}; // guarded by m_mutex
};

} // namespace os
