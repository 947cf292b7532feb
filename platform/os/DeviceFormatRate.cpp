#include "platform/os/DeviceFormatRate.h"

#include <cstring>
#include <limits>

namespace os {

std::optional<WAVEFORMATEX> deviceFormatBase(std::span<const std::uint8_t> blob)
{
    if (blob.size() < sizeof(WAVEFORMATEX))
        return std::nullopt;
    WAVEFORMATEX base;
    std::memcpy(&base, blob.data(), sizeof base);
    return base;
}

RateRewrite rewriteDeviceFormatRate(std::span<std::uint8_t> blob, std::uint32_t sampleRate)
{
    const std::optional<WAVEFORMATEX> base = deviceFormatBase(blob);
    if (!base)
        return RateRewrite::TooShort;
    const std::uint64_t average = std::uint64_t(base->nBlockAlign) * sampleRate;
    if (average > std::numeric_limits<std::uint32_t>::max())
        return RateRewrite::AverageTooLarge;
    const std::uint32_t average32 = std::uint32_t(average);
    std::memcpy(blob.data() + offsetof(WAVEFORMATEX, nSamplesPerSec), &sampleRate, sizeof sampleRate);
    std::memcpy(blob.data() + offsetof(WAVEFORMATEX, nAvgBytesPerSec), &average32, sizeof average32);
    return RateRewrite::Done;
}

} // namespace os
