#pragma once
// Endpoints are chosen by name: the first active endpoint of a flow whose
// lowered friendly name contains the lowered wanted name.

#include "platform/os/AudioEndpoints.h"

#include <cwctype>
#include <string>

// The friendly name, empty when it cannot be read.
inline std::wstring getFriendlyName(os::AudioEndpoint &device)
{
    std::wstring name;
    if (FAILED(device.getFriendlyName(name)))
        return {};
    return name;
}

inline std::wstring toLowerWide(const std::wstring &text)
{
    std::wstring lowered = text;
    for (wchar_t &c : lowered)
        c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return lowered;
}
