#include "platform/windows/routerAudio/VirtualDriverEndpoints.h"

#include "platform/os/Apartment.h"
#include "platform/os/OsPlatform.h"
#include "platform/windows/routerAudio/AudioLogText.h"
#include "platform/windows/routerAudio/WinMicRouter.h"
#include "platform/windows/routerAudio/MixerLog.h"

#include <functional>
#include <thread>
#include <vector>

namespace {

constexpr wchar_t kStreamMixName[] = L"NUVEX Stream Mix";
constexpr wchar_t kOutputName[] = L"NUVEX Output";

struct RoleEntry {
    os::Role role;
    const char *name;
};
constexpr RoleEntry kRoles[] = {
    {os::Role::Console, "eConsole"},
    {os::Role::Multimedia, "eMultimedia"},
    {os::Role::Communications, "eCommunications"},
};

} // namespace

bool DriverDetection::isVirtualDriverInstalled()
{
    std::shared_ptr<os::EndpointEnumerator> enumerator;
    HRESULT hr = os::currentPlatform()->createEndpointEnumerator(enumerator);
    if (FAILED(hr) || !enumerator) {
        mixerLogLine("[DriverDetection] Failed to create device enumerator: 0x" + hresultText(FAILED(hr) ? hr : E_POINTER));
        return false;
    }
    std::vector<std::shared_ptr<os::AudioEndpoint>> endpoints;
    hr = enumerator->enumEndpoints(os::DataFlow::Capture, DEVICE_STATE_ACTIVE, endpoints);
    if (FAILED(hr)) {
        mixerLogLine("[DriverDetection] Failed to enumerate capture devices: 0x" + hresultText(hr));
        return false;
    }
    const std::wstring wanted = DefaultDeviceManager::toLowerCopy(kStreamMixName);
    for (const auto &endpoint : endpoints) {
        if (!endpoint)
            continue;
        const std::wstring name = getFriendlyName(*endpoint);
        if (!name.empty() && DefaultDeviceManager::toLowerCopy(name).find(wanted) != std::wstring::npos) {
            mixerLogLine("[DriverDetection] Found capture device: " + logText(name));
            return true;
        }
    }
    mixerLogLine("[DriverDetection] Capture device '" + logText(wanted) + "' not found among "
                 + std::to_string(endpoints.size()) + " capture devices");
    return false;
}

std::wstring DefaultDeviceManager::toLowerCopy(const std::wstring &text)
{
    return toLowerWide(text);
}

std::wstring DefaultDeviceManager::findRenderEndpointId(const std::wstring &name)
{
    std::shared_ptr<os::EndpointEnumerator> enumerator;
    HRESULT hr = os::currentPlatform()->createEndpointEnumerator(enumerator);
    if (FAILED(hr) || !enumerator) {
        mixerLogLine("[DefaultDeviceManager] CoCreateInstance(MMDeviceEnumerator) failed: 0x"
                     + hresultText(FAILED(hr) ? hr : E_POINTER));
        return {};
    }
    std::vector<std::shared_ptr<os::AudioEndpoint>> endpoints;
    hr = enumerator->enumEndpoints(os::DataFlow::Render, DEVICE_STATE_ACTIVE, endpoints);
    if (FAILED(hr)) {
        mixerLogLine("[DefaultDeviceManager] EnumAudioEndpoints failed: 0x" + hresultText(hr));
        return {};
    }
    const std::wstring wanted = toLowerCopy(name);
    for (const auto &endpoint : endpoints) {
        if (!endpoint)
            continue;
        const std::wstring friendly = getFriendlyName(*endpoint);
        if (friendly.empty() || toLowerCopy(friendly).find(wanted) == std::wstring::npos)
            continue;
        std::wstring id;
        if (FAILED(endpoint->getId(id)) || id.empty())
            continue;
        mixerLogLine("[DefaultDeviceManager] Brand speaker found: \"" + logText(friendly) + "\" id=" + logText(id));
        return id;
    }
    mixerLogLine("[DefaultDeviceManager] Brand speaker \"" + logText(name) + "\" not found among "
                 + std::to_string(endpoints.size()) + " render endpoints");
    return {};
}

std::wstring DefaultDeviceManager::defaultEndpointId(os::EndpointEnumerator &enumerator, os::Role role)
{
    std::shared_ptr<os::AudioEndpoint> endpoint;
    if (FAILED(enumerator.getDefaultEndpoint(os::DataFlow::Render, role, endpoint)) || !endpoint)
        return {};
    std::wstring id;
    if (FAILED(endpoint->getId(id)))
        return {};
    return id;
}

void DefaultDeviceManager::setDefaultForRole(os::PolicyConfig &policy, const std::wstring &id, os::Role role,
                                             const char *roleName, const std::wstring &name, bool &success)
{
    const HRESULT hr = policy.setDefaultEndpoint(id, role);
    if (FAILED(hr)) {
        mixerLogLine(std::string("[DefaultDeviceManager] SetDefaultEndpoint(") + roleName + ") failed: 0x"
                     + hresultText(hr));
        return;
    }
    mixerLogLine(std::string("[DefaultDeviceManager] Set default (") + roleName + ") -> \"" + logText(name) + "\"");
    success = true;
}

bool DefaultDeviceManager::setDefaultEndpoint(const std::wstring &name, bool &alreadyDefault)
{
    alreadyDefault = false;
    const std::wstring id = findRenderEndpointId(name);
    if (id.empty())
        return false;

    const std::shared_ptr<os::OsPlatform> platform = os::currentPlatform();
    bool consoleWasDefault = false;
    std::shared_ptr<os::EndpointEnumerator> enumerator;
    if (SUCCEEDED(platform->createEndpointEnumerator(enumerator)) && enumerator) {
        bool all = true;
        for (const RoleEntry &entry : kRoles) {
            const bool isDefault = defaultEndpointId(*enumerator, entry.role) == id;
            all = all && isDefault;
            if (entry.role == os::Role::Console)
                consoleWasDefault = isDefault;
        }
        if (all) {
            mixerLogLine("[DefaultDeviceManager] \"" + logText(name) + "\" is already the system default; nothing to do.");
            alreadyDefault = true;
            return true;
        }
    }

    std::shared_ptr<os::PolicyConfig> policy;
    HRESULT hr = platform->createPolicyConfig(os::PolicyConfigClass::Current, policy);
    if (FAILED(hr) || !policy) {
        mixerLogLine("[DefaultDeviceManager] Modern CLSID failed (0x" + hresultText(FAILED(hr) ? hr : E_POINTER)
                     + "), trying legacy Vista CLSID (vtable mismatch likely)");
        policy.reset();
        hr = platform->createPolicyConfig(os::PolicyConfigClass::Legacy, policy);
    }
    if (FAILED(hr) || !policy) {
        mixerLogLine("[DefaultDeviceManager] CoCreateInstance(IPolicyConfig) failed: 0x"
                     + hresultText(FAILED(hr) ? hr : E_POINTER));
        return false;
    }

    // Every role is tried, but only the console role decides: that is the
    // default the mixer's gate reads.
    bool consoleSet = false;
    for (const RoleEntry &entry : kRoles) {
        bool success = false;
        setDefaultForRole(*policy, id, entry.role, entry.name, name, success);
        if (entry.role == os::Role::Console)
            consoleSet = success;
    }
    return consoleWasDefault || consoleSet;
}

void DefaultDeviceManager::defaultDeviceWorker(bool &result)
{
    result = false;
    const HRESULT init = os::initializeApartment(os::ApartmentKind::Multithreaded);
    if (FAILED(init) && init != RPC_E_CHANGED_MODE) {
        mixerLogLine("[DefaultDeviceManager] Worker CoInitializeEx(MTA) failed: 0x" + hresultText(init));
        return;
    }
    bool alreadyDefault = false;
    result = setDefaultEndpoint(kOutputName, alreadyDefault);
    if (init == S_OK)
        os::uninitializeApartment();
}

bool DefaultDeviceManager::setVirtualOutputAsDefault()
{
    bool result = false;
    std::thread worker(&DefaultDeviceManager::defaultDeviceWorker, std::ref(result));
    worker.join();
    return result;
}
