// Wave-format records as an endpoint's device format: stored through the
// policy object, then used to open and read a capture stream.
#include "platform/os/AudioClient.h"
#include "platform/os/sim/SimAudioStream.h"
#include "platform/os/sim/SimAudioWorld.h"

#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

namespace {

struct Harness {
    std::shared_ptr<os::ManualClock> clock = std::make_shared<os::ManualClock>();
    os::SimAudioWorld world{clock};
    std::wstring mic = world.addEndpoint({.name = L"Mic", .flow = os::DataFlow::Capture});
    std::shared_ptr<os::EndpointEnumerator> enumerator;
    std::shared_ptr<os::PolicyConfig> policy;
    std::vector<std::uint8_t> original;

    Harness()
    {
        world.setEndpointSignal(mic, os::Signal::sine(997.0, 1.5f)); // beyond full scale on purpose
        world.createEndpointEnumerator(enumerator);
        world.createPolicyConfig(os::PolicyConfigClass::Current, policy);
        std::shared_ptr<os::AudioEndpoint> endpoint;
        enumerator->getEndpoint(mic, endpoint);
        endpoint->getDeviceFormat(original);
    }
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Harness h;
    const std::span<const std::uint8_t> bytes(data, size);
    if (FAILED(h.policy->setDeviceFormat(h.mic, bytes, {})))
        return 0;

    os::StreamFormat format;
    if (os::parseStreamFormat(data, size, format)) {
        // The record is valid and long enough for what initialize() reads.
        std::vector<std::uint8_t> record(bytes.begin(), bytes.end());
        std::shared_ptr<os::AudioEndpoint> endpoint;
        std::shared_ptr<os::AudioClient> client;
        std::shared_ptr<os::CaptureClient> capture;
        if (SUCCEEDED(h.enumerator->getEndpoint(h.mic, endpoint)) && SUCCEEDED(endpoint->activateAudioClient(client))
            && SUCCEEDED(client->initialize(os::ShareMode::Shared, AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM, 200000, 0,
                                            reinterpret_cast<const WAVEFORMATEX*>(record.data())))
            && SUCCEEDED(client->getCaptureClient(capture)) && SUCCEEDED(client->start())) {
            h.clock->advanceMs(20);
            std::uint8_t* packet = nullptr;
            std::uint32_t frames = 0;
            std::uint32_t flags = 0;
            if (capture->getBuffer(packet, frames, flags, nullptr, nullptr) == S_OK)
                capture->releaseBuffer(frames);
            client->stop();
        }
    }
    h.policy->setDeviceFormat(h.mic, h.original, {});
    return 0;
}
