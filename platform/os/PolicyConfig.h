#pragma once
// The system's audio policy: which endpoint is the default for a role, and
// the format an endpoint runs at.
//
// Contract: setDefaultEndpoint() needs an active endpoint and notifies a
// default change when the default really changes; setDeviceFormat() takes
// wave-format records (base plus extension) and replaces the endpoint's
// device format and mix-format rate, notifying a property change.

#include "platform/os/AudioEndpoints.h"
#include "platform/os/HResult.h"

#include <cstdint>
#include <span>
#include <string>

namespace os {

// The two registered classes of the policy object: the current one, and the
// older one that some systems still answer to.
enum class PolicyConfigClass { Current, Legacy };

class PolicyConfig {
public:
    virtual ~PolicyConfig() = default;
    virtual HRESULT setDefaultEndpoint(const std::wstring& endpointId, Role role) = 0;
    virtual HRESULT setDeviceFormat(const std::wstring& endpointId, std::span<const std::uint8_t> endpointFormat,
                                    std::span<const std::uint8_t> mixFormat) = 0;
};

} // namespace os
