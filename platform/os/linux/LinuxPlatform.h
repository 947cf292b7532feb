#pragma once

#include "platform/os/OsPlatform.h"
#include "platform/os/linux/LoginPowerEvents.h"
#include "platform/os/linux/XTestKeyInjector.h"

#include <memory>
#include <string>

namespace os {

// The program's platform on Linux: the desktop services are Linux's own,
// everything else (audio, processes, icons) is the given platform's.
class LinuxPlatform final : public OsPlatform {
public:
    struct Options {
        std::string x11Display; // empty: no X11 (keys are not sent, no DPMS)
        LoginPowerEvents::Options power;
        // From the running GUI application: the X11 display on the xcb
        // platform, XWayland's on Wayland, none otherwise.
        static Options fromEnvironment();
    };
    LinuxPlatform(std::shared_ptr<OsPlatform> base, Options options);

    Clock& clock() override { return m_base->clock(); }
    WorkQueues& workQueues() override { return m_base->workQueues(); }
    HRESULT createEndpointEnumerator(std::shared_ptr<EndpointEnumerator>& out) override
    {
        return m_base->createEndpointEnumerator(out);
    }
    HRESULT activateAudioInterfaceAsync(const std::wstring& devicePath, const AudioClientActivationParams& params,
                                        std::shared_ptr<ActivationCompletionHandler> handler,
                                        std::shared_ptr<ActivationOperation>& operation) override
    {
        return m_base->activateAudioInterfaceAsync(devicePath, params, std::move(handler), operation);
    }
    HRESULT createPolicyConfig(PolicyConfigClass policyClass, std::shared_ptr<PolicyConfig>& out) override
    {
        return m_base->createPolicyConfig(policyClass, out);
    }
    HRESULT processImagePath(std::uint32_t processId, std::wstring& path) override
    {
        return m_base->processImagePath(processId, path);
    }
    HRESULT extractIcon(const std::wstring& imagePath, IconImage& icon) override
    {
        return m_base->extractIcon(imagePath, icon);
    }
    HRESULT fileVersionStrings(const std::wstring& path, std::vector<VersionStrings>& out) override
    {
        return m_base->fileVersionStrings(path, out);
    }
    // The "applications" folders of the XDG data folders, the user's first;
    // the programs in them are their desktop entries.
    std::vector<std::wstring> applicationFolders() override;
    MicrophonePermission& microphonePermission() override { return m_permission; }
    KeyInjector& keyInjector() override { return m_keys; }
    PowerEvents& powerEvents() override { return m_power; }

private:
    const std::shared_ptr<OsPlatform> m_base;
    GrantedMicrophonePermission m_permission;
    XTestKeyInjector m_keys;
    LoginPowerEvents m_power;
};

} // namespace os
