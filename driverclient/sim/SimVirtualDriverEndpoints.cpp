#include "driverclient/sim/SimVirtualDriverEndpoints.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

// The capture signal reaches the driver through this link; a stream may
// still be rendering when the endpoints go, so the link is cut under its
// lock rather than the driver being used after it left.
struct SimVirtualDriverEndpoints::DriverLink {
    std::mutex mutex;
    SimVirtualDriver* driver = nullptr; // guarded by mutex
};

namespace {

float decodeSample(const uint8_t* at, const WAVEFORMATEXTENSIBLE& format)
{
    const uint16_t tag = format.Format.wFormatTag;
    const bool isFloat = tag == WAVE_FORMAT_IEEE_FLOAT ||
                         (tag == WAVE_FORMAT_EXTENSIBLE && format.SubFormat == KSDATAFORMAT_SUBTYPE_IEEE_FLOAT);
    switch (format.Format.wBitsPerSample) {
    case 16: {
        int16_t v;
        std::memcpy(&v, at, 2);
        return static_cast<float>(v) / 32768.0f;
    }
    case 24: {
        const uint32_t u = at[0] | (at[1] << 8) | (uint32_t(at[2]) << 16);
        return static_cast<float>(static_cast<int32_t>(u << 8) >> 8) / 8388608.0f;
    }
    case 32: {
        if (isFloat) {
            float v;
            std::memcpy(&v, at, 4);
            return v;
        }
        int32_t v;
        std::memcpy(&v, at, 4);
        return static_cast<float>(static_cast<double>(v) / 2147483648.0);
    }
    default:
        return 0.0f;
    }
}

// Plays what the driver played out, in order; whatever the driver has not
// played yet is silence. Frames are taken at the driver's rate and picked
// by the nearest position when the stream runs at another rate.
class PlaybackSource final : public os::SignalSource {
public:
    explicit PlaybackSource(std::shared_ptr<SimVirtualDriverEndpoints::DriverLink> link)
        : m_link(std::move(link))
    {
    }

    void render(uint64_t, uint32_t frames, uint32_t channels, uint32_t sampleRate, float* out) const override
    {
        std::fill_n(out, size_t{frames} * channels, 0.0f);
        std::lock_guard lock(m_link->mutex);
        SimVirtualDriver* driver = m_link->driver;
        if (driver == nullptr || sampleRate == 0)
            return;
        const WAVEFORMATEXTENSIBLE format = driver->wantedFormat();
        const uint32_t blockAlign = format.Format.nBlockAlign;
        const uint32_t driverChannels = format.Format.nChannels;
        const uint32_t width = format.Format.wBitsPerSample / 8;
        if (blockAlign == 0 || driverChannels == 0 || width == 0 || driverChannels * width > blockAlign)
            return;
        const auto driverFrames =
            static_cast<uint32_t>(uint64_t{frames} * format.Format.nSamplesPerSec / sampleRate);
        std::vector<uint8_t> bytes(size_t{driverFrames} * blockAlign);
        const size_t got = driver->takePlayed(bytes.data(), bytes.size()) / blockAlign;
        if (got == 0)
            return;
        for (uint32_t i = 0; i < frames; ++i) {
            const auto source = static_cast<size_t>(uint64_t{i} * driverFrames / frames);
            if (source >= got)
                break;
            const uint8_t* frame = bytes.data() + source * blockAlign;
            for (uint32_t c = 0; c < channels; ++c)
                out[size_t{i} * channels + c] = decodeSample(frame + (c % driverChannels) * width, format);
        }
    }

private:
    std::shared_ptr<SimVirtualDriverEndpoints::DriverLink> m_link;
};

} // namespace

SimVirtualDriverEndpoints::SimVirtualDriverEndpoints(os::SimAudioWorld& world, SimVirtualDriver& driver)
    : m_world(world)
    , m_link(std::make_shared<DriverLink>())
{
    m_link->driver = &driver;
    const WAVEFORMATEXTENSIBLE format = driver.wantedFormat();

    os::SimEndpointSpec output;
    output.name = kOutputName;
    output.flow = os::DataFlow::Render;
    output.sampleRate = format.Format.nSamplesPerSec;
    output.channels = format.Format.nChannels;
    output.deviceBits = format.Format.wBitsPerSample;
    output.physical = false;
    m_outputId = world.addEndpoint(output);

    os::SimEndpointSpec streamMix = output;
    streamMix.name = kStreamMixName;
    streamMix.flow = os::DataFlow::Capture;
    m_streamMixId = world.addEndpoint(streamMix);
    world.setEndpointSignal(m_streamMixId, os::Signal::custom(std::make_shared<PlaybackSource>(m_link)));
}

SimVirtualDriverEndpoints::~SimVirtualDriverEndpoints()
{
    m_world.removeEndpoint(m_streamMixId);
    m_world.removeEndpoint(m_outputId);
    std::lock_guard lock(m_link->mutex);
    m_link->driver = nullptr;
}
