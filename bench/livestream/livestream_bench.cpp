// Cost of one forwarder period on its own thread: converting a 10 ms block
// to the driver's format and handing it through the driver client to the
// simulated driver, for the formats a driver commonly asks for.
#include "driverclient/sim/SimVirtualDriver.h"
#include "platform/windows/routerAudio/LivestreamForwarder.h"

#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr int kWarmupBlocks = 100;
constexpr int kMeasuredBlocks = 5000;

struct Case {
    const char* name;
    uint32_t rate;
    uint16_t channels;
    uint16_t bits;
    bool isFloat;
};

// Times what the simulated driver spends on each request, so that the
// client's own cost of a write can be told apart from the buffering.
class TimedDevice : public VadControlDevice {
public:
    explicit TimedDevice(VadControlDevice& inner)
        : m_inner(inner)
    {
    }
    uint32_t open(const char* path, VadDeviceHandle* outDevice) override { return m_inner.open(path, outDevice); }
    uint32_t ioControl(VadDeviceHandle device, uint32_t code, const void* in, uint32_t inBytes, void* out,
                       uint32_t outBytes, uint32_t* returnedBytes) override
    {
        const auto t0 = std::chrono::steady_clock::now();
        const uint32_t result = m_inner.ioControl(device, code, in, inBytes, out, outBytes, returnedBytes);
        insideNs += std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count();
        return result;
    }
    void close(VadDeviceHandle device) override { m_inner.close(device); }

    double insideNs = 0.0;

private:
    VadControlDevice& m_inner;
};

} // namespace

int main()
{
    std::vector<float> in(LivestreamForwarder::kBlockSamples);
    for (uint32_t f = 0; f < LivestreamForwarder::kBlockFrames; ++f)
        in[2 * f] = in[2 * f + 1] = static_cast<float>(0.5 * std::sin(2.0 * M_PI * 1000.0 * f / 48000.0));

    os::RealClock clock;
    SimVirtualDriver driver(clock);
    driver.setRecordWrites(false);
    driver.setCapacityBytes(1u << 30);
    TimedDevice timed(driver);
    NUVEXControl_Install(&timed);
    VadAudioHandle handle = nullptr;
    if (VadAudio_Open(&handle) != VAD_AUDIO_OK)
        return 1;

    const Case cases[] = {
        {"48000 Hz 2 ch int32", 48000, 2, 32, false},
        {"44100 Hz 2 ch int16", 44100, 2, 16, false},
        {"96000 Hz 2 ch int24", 96000, 2, 24, false},
        {"48000 Hz 8 ch float", 48000, 8, 32, true},
    };
    std::vector<uint8_t> out;
    for (const Case& c : cases) {
        const WAVEFORMATEXTENSIBLE format = SimVirtualDriver::makeFormat(c.rate, c.channels, c.bits, c.isFloat);
        for (int i = 0; i < kWarmupBlocks; ++i)
            LivestreamForwarder::convertBlock(in.data(), format, out);
        double convertNs = 0.0;
        double writeNs = 0.0;
        timed.insideNs = 0.0;
        for (int i = 0; i < kMeasuredBlocks; ++i) {
            const auto t0 = std::chrono::steady_clock::now();
            LivestreamForwarder::convertBlock(in.data(), format, out);
            const auto t1 = std::chrono::steady_clock::now();
            int32_t reply = 0;
            VadAudio_Write(handle, out.data(), static_cast<uint32_t>(out.size()), &reply);
            const auto t2 = std::chrono::steady_clock::now();
            convertNs += std::chrono::duration<double, std::nano>(t1 - t0).count();
            writeNs += std::chrono::duration<double, std::nano>(t2 - t1).count();
        }
        std::printf("%-22s convert %8.0f ns/block, write %8.0f ns/block: client %6.0f ns, simulated driver's "
                    "buffering %8.0f ns (%.3f%% of the 10 ms period)\n",
                    c.name, convertNs / kMeasuredBlocks, writeNs / kMeasuredBlocks,
                    (writeNs - timed.insideNs) / kMeasuredBlocks, timed.insideNs / kMeasuredBlocks,
                    (convertNs + writeNs) / kMeasuredBlocks / 1e7 * 100.0);
    }
    VadAudio_Close(handle);
    NUVEXControl_Install(nullptr);
    return 0;
}
