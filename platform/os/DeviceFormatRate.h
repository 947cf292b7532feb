#pragma once
// The sample rate inside an endpoint's device-format blob: a wave-format
// record, possibly extensible, exactly as the engine stores it. The blob
// comes from outside, so only its first 18 bytes are ever interpreted, and
// only after its length has been checked.

#include "platform/os/WaveFormat.h"

#include <cstdint>
#include <optional>
#include <span>

namespace os {

// The base record at the start of the blob; none when it is shorter.
std::optional<WAVEFORMATEX> deviceFormatBase(std::span<const std::uint8_t> blob);

enum class RateRewrite {
    Done,
    TooShort,        // no whole base record
    AverageTooLarge, // block alignment times the rate needs more than 32 bits
};

// Sets the rate and the average byte rate (block alignment times the rate)
// in place; every other byte, the extension included, stays as it was.
// Nothing changes unless the result is Done.
RateRewrite rewriteDeviceFormatRate(std::span<std::uint8_t> blob, std::uint32_t sampleRate);

} // namespace os
