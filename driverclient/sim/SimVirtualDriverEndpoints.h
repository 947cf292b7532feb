#pragma once
// The simulated driver's two endpoints in a simulated audio world: its
// playback endpoint "NUVEX Output" and its capture endpoint "NUVEX Stream
// Mix", which plays back what the driver played out of its buffer. Both
// leave the world again with this object.

#include "driverclient/sim/SimVirtualDriver.h"
#include "platform/os/sim/SimAudioWorld.h"

#include <memory>
#include <string>

class SimVirtualDriverEndpoints {
public:
    static constexpr wchar_t kOutputName[] = L"NUVEX Output";
    static constexpr wchar_t kStreamMixName[] = L"NUVEX Stream Mix";

    SimVirtualDriverEndpoints(os::SimAudioWorld& world, SimVirtualDriver& driver);
    ~SimVirtualDriverEndpoints();
    SimVirtualDriverEndpoints(const SimVirtualDriverEndpoints&) = delete;
    SimVirtualDriverEndpoints& operator=(const SimVirtualDriverEndpoints&) = delete;

    const std::wstring& outputId() const { return m_outputId; }
    const std::wstring& streamMixId() const { return m_streamMixId; }

    struct DriverLink;

private:
    os::SimAudioWorld& m_world;
    std::shared_ptr<DriverLink> m_link; // shared with the capture signal
    std::wstring m_outputId;
    std::wstring m_streamMixId;
};
