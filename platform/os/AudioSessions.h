#pragma once
// Audio sessions of a render endpoint: which processes play on it.
//
// Contract: enumerateSessions() lists the sessions in the platform's order;
// a process may hold several sessions, and process id 0 is the system
// sounds session. Each read of a session may fail on its own.

#include "platform/os/HResult.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace os {

enum class AudioSessionState { Inactive = 0, Active = 1, Expired = 2 };

class AudioSessionControl {
public:
    virtual ~AudioSessionControl() = default;
    virtual HRESULT getProcessId(std::uint32_t& processId) = 0;
    // May succeed with an empty name.
    virtual HRESULT getDisplayName(std::wstring& name) = 0;
    virtual HRESULT getState(AudioSessionState& state) = 0;
};

class AudioSessionManager {
public:
    virtual ~AudioSessionManager() = default;
    virtual HRESULT enumerateSessions(std::vector<std::shared_ptr<AudioSessionControl>>& out) = 0;
};

} // namespace os
