// An endpoint's device-format blob given a new rate: the first four bytes of
// the input are the rate, the rest the blob as the endpoint stored it.
#include "platform/os/DeviceFormatRate.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 4)
        return 0;
    std::uint32_t rate;
    std::memcpy(&rate, data, 4);
    const std::vector<std::uint8_t> before(data + 4, data + size);
    std::vector<std::uint8_t> blob = before;

    const os::RateRewrite result = os::rewriteDeviceFormatRate(blob, rate);
    const std::optional<WAVEFORMATEX> base = os::deviceFormatBase(before);
    if ((result == os::RateRewrite::TooShort) != !base)
        std::abort();
    if (result != os::RateRewrite::Done) {
        if (blob != before)
            std::abort();
        if (result == os::RateRewrite::AverageTooLarge && std::uint64_t(base->nBlockAlign) * rate <= UINT32_MAX)
            std::abort();
        return 0;
    }
    const std::optional<WAVEFORMATEX> after = os::deviceFormatBase(blob);
    if (!after || after->nSamplesPerSec != rate || after->nAvgBytesPerSec != std::uint64_t(base->nBlockAlign) * rate)
        std::abort();
    for (std::size_t i = 0; i < blob.size(); ++i)
        if ((i < 4 || i >= 12) && blob[i] != before[i])
            std::abort();
    return 0;
}
