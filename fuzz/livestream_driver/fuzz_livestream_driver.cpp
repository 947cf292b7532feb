// Whatever the driver answers (status, format records, write replies,
// errors, short answers), the driver client and the forwarder's loop stay
// within their buffers. Each loop step pulls a whole mixer block, which costs
// far more than the answers it handles, so the first byte sets the run's
// length: one input in 128 runs past the loop's periodic format refresh and
// statistics line, the others stop after six steps (status, format, write
// and their failures fit in them), so that a run gets through thousands of
// inputs a second.

#include "driverclient/NUVEXAudio.h"
#include "platform/windows/routerAudio/LivestreamForwarder.h"
#include "platform/windows/routerAudio/Mixer.h"

#include <algorithm>
#include <cstring>
#include <string>

namespace {

// Each request takes its answer from the input: one byte choosing an error
// (or success), one byte for the returned count, then the output bytes.
class ScriptedDevice final : public VadControlDevice {
public:
    void reset(const uint8_t* data, size_t size)
    {
        m_data = data;
        m_size = size;
    }
    bool exhausted() const { return m_size == 0; }

    uint32_t open(const char*, VadDeviceHandle* outDevice) override
    {
        *outDevice = reinterpret_cast<VadDeviceHandle>(uintptr_t{0x10});
        return 0;
    }
    uint32_t ioControl(VadDeviceHandle, uint32_t, const void* in, uint32_t inBytes, void* out, uint32_t outBytes,
                       uint32_t* returnedBytes) override
    {
        static constexpr uint32_t kErrors[] = {0, 2, 3, 5, 6, 21, 87, 122, 1167};
        *returnedBytes = 0;
        if (in != nullptr && inBytes > 0)
            m_sink ^= static_cast<const uint8_t*>(in)[inBytes - 1]; // the whole input is readable
        const uint32_t error = kErrors[take() % std::size(kErrors)];
        const uint32_t returned = std::min<uint32_t>(take(), outBytes);
        if (error != 0)
            return error;
        const auto n = static_cast<uint32_t>(std::min<size_t>(returned, m_size));
        if (out != nullptr) {
            std::memcpy(out, m_data, n);
            m_data += n;
            m_size -= n;
        }
        *returnedBytes = n;
        return 0;
    }
    void close(VadDeviceHandle) override {}

private:
    uint8_t take()
    {
        if (m_size == 0)
            return 0;
        --m_size;
        return *m_data++;
    }

    const uint8_t* m_data = nullptr;
    size_t m_size = 0;
    uint8_t m_sink = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static AudioRouteConfigStore store;
    static Mixer mixer(store);
    static ScriptedDevice device;
    static const LivestreamForwarder::LogSink quiet = [](const std::string&) {};

    if (size == 0)
        return 0;
    constexpr int kShortRunSteps = 6;
    constexpr int kLongRunSteps = LivestreamForwarder::kStatsEveryLoops + 1;
    const int steps = (data[0] & 0x7F) == 0 ? kLongRunSteps : kShortRunSteps;
    device.reset(data + 1, size - 1);
    NUVEXControl_Install(&device);
    VadAudioHandle handle = nullptr;
    if (VadAudio_Open(&handle) == VAD_AUDIO_OK) {
        LivestreamForwarder::ForwardLoop loop(mixer, quiet);
        for (int i = 0; i < steps && !device.exhausted(); ++i)
            loop.step(handle, LivestreamForwarder::kMixBus);
        VadAudio_Close(handle);
    }
    NUVEXControl_Install(nullptr);
    return 0;
}
