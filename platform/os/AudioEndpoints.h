#pragma once
// Audio endpoints, their enumerator and change notifications.
//
// Contract:
// - Endpoints are listed in a stable order (the order they appeared).
// - An endpoint object stays usable after its device has gone; its calls
//   then fail (activation with AUDCLNT_E_DEVICE_INVALIDATED).
// - Notification clients are called on a service thread of the platform,
//   one call at a time and in the order the changes happened; after
//   unregisterNotificationClient() returns (on any other thread) no further
//   call reaches the client. Callbacks must be short and must not block.

#include "platform/os/HResult.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

inline constexpr std::uint32_t DEVICE_STATE_ACTIVE = 0x1;
inline constexpr std::uint32_t DEVICE_STATE_DISABLED = 0x2;
inline constexpr std::uint32_t DEVICE_STATE_NOTPRESENT = 0x4;
inline constexpr std::uint32_t DEVICE_STATE_UNPLUGGED = 0x8;
inline constexpr std::uint32_t DEVICE_STATEMASK_ALL = 0xF;

namespace os {

class AudioClient;
class AudioSessionManager;

enum class DataFlow { Render = 0, Capture = 1, All = 2 };
enum class Role { Console = 0, Multimedia = 1, Communications = 2 };
inline constexpr Role kAllRoles[] = {Role::Console, Role::Multimedia, Role::Communications};

enum class EndpointProperty { FriendlyName, DeviceFormat };

class AudioEndpoint {
public:
    virtual ~AudioEndpoint() = default;
    virtual HRESULT getId(std::wstring& id) = 0;
    virtual HRESULT getState(std::uint32_t& state) = 0;
    virtual HRESULT getDataFlow(DataFlow& flow) = 0;
    // The friendly name from the endpoint's property store.
    virtual HRESULT getFriendlyName(std::wstring& name) = 0;
    // The engine's device format property: a wave-format record with its
    // extension, as stored.
    virtual HRESULT getDeviceFormat(std::vector<std::uint8_t>& format) = 0;
    // Jack connectors of the device topology; virtual devices have none.
    virtual HRESULT getConnectorCount(std::uint32_t& connectors) = 0;
    virtual HRESULT activateAudioClient(std::shared_ptr<AudioClient>& out) = 0;
    // Render endpoints only.
    virtual HRESULT activateSessionManager(std::shared_ptr<AudioSessionManager>& out) = 0;
};

class EndpointNotificationClient {
public:
    virtual ~EndpointNotificationClient() = default;
    virtual void onDeviceStateChanged(const std::wstring& id, std::uint32_t newState) = 0;
    virtual void onDeviceAdded(const std::wstring& id) = 0;
    virtual void onDeviceRemoved(const std::wstring& id) = 0;
    virtual void onDefaultDeviceChanged(DataFlow flow, Role role, const std::wstring& id) = 0;
    virtual void onPropertyValueChanged(const std::wstring& id, EndpointProperty property) = 0;
};

class EndpointEnumerator {
public:
    virtual ~EndpointEnumerator() = default;
    // Endpoints of the flow (or both) whose state is in stateMask.
    virtual HRESULT enumEndpoints(DataFlow flow, std::uint32_t stateMask,
                                  std::vector<std::shared_ptr<AudioEndpoint>>& out) = 0;
    // E_NOTFOUND when the flow has no default for the role.
    virtual HRESULT getDefaultEndpoint(DataFlow flow, Role role, std::shared_ptr<AudioEndpoint>& out) = 0;
    virtual HRESULT getEndpoint(const std::wstring& id, std::shared_ptr<AudioEndpoint>& out) = 0;
    virtual HRESULT registerNotificationClient(std::shared_ptr<EndpointNotificationClient> client) = 0;
    virtual HRESULT unregisterNotificationClient(const std::shared_ptr<EndpointNotificationClient>& client) = 0;
};

} // namespace os
