#include "platform/os/sim/SimModelAudio.h"

namespace os {

SimModelEndpoints addModelEndpoints(SimAudioWorld& world, const std::wstring& model)
{
    const std::wstring suffix = L" (Veloran " + model + L")";
    SimModelEndpoints endpoints;
    endpoints.microphone = world.addEndpoint({.name = L"Microphone" + suffix, .flow = DataFlow::Capture});
    world.setEndpointSignal(endpoints.microphone, Signal::sine(250.0, 0.2f));
    endpoints.headphones = world.addEndpoint({.name = L"Headphones" + suffix, .flow = DataFlow::Render});
    endpoints.speakers =
        world.addEndpoint({.name = L"Speakers (High Definition Audio Device)", .flow = DataFlow::Render});
    return endpoints;
}

} // namespace os
