#include "device/pullupgrade/pull_upgrade_codec.h"

namespace veloran::pullupgrade {

uint16_t crc16CcittFalseStep(uint16_t crc, uint8_t byte)
{
    crc = uint16_t(crc ^ (uint16_t(byte) << 8));
    for (int bit = 0; bit < 8; ++bit)
        crc = (crc & 0x8000) ? uint16_t((crc << 1) ^ 0x1021) : uint16_t(crc << 1);
    return crc;
}

uint16_t crc16CcittFalse(uint16_t initial, const uint8_t *bytes, size_t count)
{
    uint16_t crc = initial;
    for (size_t i = 0; i < count; ++i)
        crc = crc16CcittFalseStep(crc, bytes[i]);
    return crc;
}

std::optional<std::vector<uint8_t>> encodeUpgradeFrame(uint8_t command, const uint8_t *data, size_t count)
{
    if (count > kMaxFrameDataBytes || (count > 0 && !data))
        return std::nullopt;
    std::vector<uint8_t> frame;
    frame.reserve(kFrameHeadBytes + count);
    frame = {kFrameHead0, kFrameHead1, 0, 0, command, uint8_t(count), uint8_t(count >> 8)};
    frame.insert(frame.end(), data, data + count);
    const uint16_t crc = crc16CcittFalse(0xFFFF, frame.data() + 4, frame.size() - 4);
    frame[2] = uint8_t(crc);
    frame[3] = uint8_t(crc >> 8);
    return frame;
}

UpgradeFrameView parseUpgradeFrame(const uint8_t *payload, size_t count)
{
    UpgradeFrameView v;
    if (!payload)
        count = 0;
    auto at = [&](size_t i) -> uint8_t { return i < count ? payload[i] : 0; };
    v.headValid = at(0) == kFrameHead0 && at(1) == kFrameHead1 && count >= 2;
    v.command = at(4);
    v.declaredLength = uint16_t(at(5) | (at(6) << 8));
    if (count > kFrameHeadBytes) {
        v.data = payload + kFrameHeadBytes;
        v.dataBytes = count - kFrameHeadBytes < v.declaredLength ? count - kFrameHeadBytes : v.declaredLength;
    }
    if (count >= 4) {
        const uint16_t stored = uint16_t(payload[2] | (payload[3] << 8));
        v.crcValid = stored == crc16CcittFalse(0xFFFF, payload + 4, count - 4);
    }
    return v;
}

} // namespace veloran::pullupgrade
