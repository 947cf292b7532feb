#pragma once
// The virtual audio driver's endpoints, found by name: whether the driver is
// installed, and making its playback endpoint the system default. Neither
// keeps state; every call enumerates the endpoints anew.

#include "platform/os/AudioEndpoints.h"
#include "platform/os/PolicyConfig.h"

#include <memory>
#include <string>

class DriverDetection {
public:
    // True when an active capture endpoint is named "NUVEX Stream Mix".
    // The calling thread must have its apartment initialised.
    static bool isVirtualDriverInstalled();
};

class DefaultDeviceManager {
public:
    // Makes "NUVEX Output" the default playback endpoint for every role, on a
    // thread of its own that the caller waits for. True when it is the
    // console default afterwards (it was already, or that role was set): the
    // mixer's gate reads the console default.
    static bool setVirtualOutputAsDefault();

    static bool setDefaultEndpoint(const std::wstring &name, bool &alreadyDefault);
    static std::wstring findRenderEndpointId(const std::wstring &name);
    static std::wstring defaultEndpointId(os::EndpointEnumerator &enumerator, os::Role role);
    static void setDefaultForRole(os::PolicyConfig &policy, const std::wstring &id, os::Role role,
                                  const char *roleName, const std::wstring &name, bool &success);
    static void defaultDeviceWorker(bool &result);
    static std::wstring toLowerCopy(const std::wstring &text);
};
