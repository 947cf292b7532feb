#pragma once
// The operating-system services that the audio and system code reaches for,
// gathered behind one object so that a simulation can stand in for them.
//
// Contract: every operation returns an HRESULT and fills its out argument
// only on success. A process-wide platform is installed once at start-up
// (installPlatform); until then currentPlatform() is a platform without
// audio devices, processes or policy, whose calls fail cleanly, and whose
// desktop services do nothing (no key is sent, no power window is made; the
// microphone is granted). Code that keeps using the platform (threads, queued work) holds the shared pointer,
// so the platform outlives it. The last owner of a platform must not let go
// of it on one of the platform's own threads (a queue or service thread
// cannot join itself).

#include "platform/os/AudioEndpoints.h"
#include "platform/os/Clock.h"
#include "platform/os/HResult.h"
#include "platform/os/PolicyConfig.h"
#include "platform/os/ProcessInfo.h"
#include "platform/os/ProcessLoopback.h"
#include "platform/os/SystemServices.h"
#include "platform/os/WorkQueues.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace os {

class OsPlatform {
public:
    virtual ~OsPlatform() = default;

    virtual Clock& clock() = 0;
    virtual WorkQueues& workQueues() = 0;

    virtual HRESULT createEndpointEnumerator(std::shared_ptr<EndpointEnumerator>& out) = 0;
    virtual HRESULT activateAudioInterfaceAsync(const std::wstring& devicePath, const AudioClientActivationParams& params,
                                                std::shared_ptr<ActivationCompletionHandler> handler,
                                                std::shared_ptr<ActivationOperation>& operation) = 0;
    virtual HRESULT createPolicyConfig(PolicyConfigClass policyClass, std::shared_ptr<PolicyConfig>& out) = 0;

    // Full image path of a running process.
    virtual HRESULT processImagePath(std::uint32_t processId, std::wstring& path) = 0;
    // The program's main icon at its largest size.
    virtual HRESULT extractIcon(const std::wstring& imagePath, IconImage& icon) = 0;
    // The translation blocks of a program file's version information, in
    // the order of its translation table; fails when the file has none or
    // cannot be read (Linux executables carry none).
    virtual HRESULT fileVersionStrings(const std::wstring& path, std::vector<VersionStrings>& out) = 0;
    // The folders under which installed programs are looked for: on Windows
    // the two program folders and the user's start-menu programs; on Linux
    // the folders of the desktop entries.
    virtual std::vector<std::wstring> applicationFolders() = 0;

    virtual MicrophonePermission& microphonePermission() = 0;
    virtual KeyInjector& keyInjector() = 0;
    virtual PowerEvents& powerEvents() = 0;
};

// A platform without audio devices, processes or policy (what
// currentPlatform() gives until one is installed).
std::shared_ptr<OsPlatform> makeEmptyPlatform();

// Replaces the process-wide platform (null restores the empty one).
void installPlatform(std::shared_ptr<OsPlatform> platform);
std::shared_ptr<OsPlatform> currentPlatform();

} // namespace os
