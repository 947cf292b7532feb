// The driver's endpoints in the simulated audio world: the capture endpoint
// "NUVEX Stream Mix" plays back what was written to the driver.

#include "driverclient/sim/SimVirtualDriverEndpoints.h"

#include "platform/os/AudioClient.h"
#include "platform/os/AudioEndpoints.h"

#include "SimDriverFixture.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

class SimDriverEndpointsTest : public SimDriverFixture {
protected:
    std::shared_ptr<os::AudioClient> openStreamMix()
    {
        std::shared_ptr<os::EndpointEnumerator> enumerator;
        EXPECT_EQ(world.createEndpointEnumerator(enumerator), S_OK);
        std::shared_ptr<os::AudioEndpoint> endpoint;
        EXPECT_EQ(enumerator->getEndpoint(endpoints->streamMixId(), endpoint), S_OK);
        std::shared_ptr<os::AudioClient> client;
        EXPECT_EQ(endpoint->activateAudioClient(client), S_OK);
        std::vector<uint8_t> mix;
        EXPECT_EQ(client->getMixFormat(mix), S_OK);
        EXPECT_EQ(client->initialize(os::ShareMode::Shared, 0, 1'000'000, 0,
                                     reinterpret_cast<const WAVEFORMATEX*>(mix.data())),
                  S_OK);
        return client;
    }

    void write(const std::vector<int32_t>& samples)
    {
        writeBytes(samples.data(), static_cast<uint32_t>(samples.size() * 4));
    }

    os::SimAudioWorld world{sharedClock};
    std::unique_ptr<SimVirtualDriverEndpoints> endpoints = std::make_unique<SimVirtualDriverEndpoints>(world, driver);
};

TEST_F(SimDriverEndpointsTest, BothEndpointsAreFoundByName)
{
    EXPECT_EQ(world.findEndpointId(L"NUVEX Output"), endpoints->outputId());
    EXPECT_EQ(world.findEndpointId(L"NUVEX Stream Mix"), endpoints->streamMixId());
    endpoints.reset();
    EXPECT_TRUE(world.findEndpointId(L"NUVEX Stream Mix").empty());
    EXPECT_TRUE(world.findEndpointId(L"NUVEX Output").empty());
}

TEST_F(SimDriverEndpointsTest, StreamMixPlaysBackWhatWasWritten)
{
    auto client = openStreamMix();
    std::shared_ptr<os::CaptureClient> capture;
    ASSERT_EQ(client->getCaptureClient(capture), S_OK);
    ASSERT_EQ(client->start(), S_OK);

    // 10 ms of a ramp on the left, its negative on the right, then nothing.
    std::vector<int32_t> block(960);
    for (int i = 0; i < 480; ++i) {
        block[2 * i] = i * 1000000;
        block[2 * i + 1] = -i * 1000000;
    }
    write(block);
    clock.advanceMs(20);

    std::vector<float> heard;
    for (int packet = 0; packet < 2; ++packet) {
        uint8_t* data = nullptr;
        uint32_t frames = 0;
        uint32_t flags = 0;
        ASSERT_EQ(capture->getBuffer(data, frames, flags, nullptr, nullptr), S_OK);
        const auto* samples = reinterpret_cast<const float*>(data);
        heard.insert(heard.end(), samples, samples + size_t{frames} * 2);
        ASSERT_EQ(capture->releaseBuffer(frames), S_OK);
    }
    ASSERT_EQ(heard.size(), 1920u);
    for (int i = 0; i < 480; ++i) {
        ASSERT_FLOAT_EQ(heard[2 * i], static_cast<float>(block[2 * i] / 2147483648.0)) << i;
        ASSERT_FLOAT_EQ(heard[2 * i + 1], static_cast<float>(block[2 * i + 1] / 2147483648.0)) << i;
    }
    // The driver ran dry: the second period is silence.
    EXPECT_TRUE(std::all_of(heard.begin() + 960, heard.end(), [](float s) { return s == 0.0f; }));
    client->stop();
}

} // namespace
