// The pull road's upgrade frame, carried as the payload of private message
// 0x8006 in both directions (little-endian):
//
//   0xAA 0x55 | u16 CRC over the bytes from offset 4 | u8 command |
//   u16 data length n | n data bytes
//
// The CRC is CRC-16/CCITT-FALSE (0x1021, MSB first, initial 0xFFFF, no
// reflection, no final XOR), one bit-serial byte step at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace veloran::pullupgrade {

inline constexpr uint8_t kFrameHead0 = 0xAA;
inline constexpr uint8_t kFrameHead1 = 0x55;
inline constexpr size_t kFrameHeadBytes = 7; // head, CRC, command, length
inline constexpr size_t kMaxFrameDataBytes = 0xFFFF - kFrameHeadBytes; // the message length is a u16

inline constexpr uint8_t kCommandStart = 0x80;
inline constexpr uint8_t kCommandBlock = 0x81;
inline constexpr uint8_t kCommandResult = 0x82;

uint16_t crc16CcittFalseStep(uint16_t crc, uint8_t byte);
uint16_t crc16CcittFalse(uint16_t initial, const uint8_t *bytes, size_t count);

// The whole frame; nothing when the data would not fit a message.
std::optional<std::vector<uint8_t>> encodeUpgradeFrame(uint8_t command, const uint8_t *data, size_t count);

// What a received payload says. Header bytes beyond the payload read as 0;
// data holds at most the declared length and never reaches past the payload.
struct UpgradeFrameView
{
    uint8_t command = 0;
    uint16_t declaredLength = 0;
    const uint8_t *data = nullptr;
    size_t dataBytes = 0;
    bool headValid = false; // 0xAA 0x55
    bool crcValid = false;  // over the whole payload from offset 4
};

UpgradeFrameView parseUpgradeFrame(const uint8_t *payload, size_t count);

} // namespace veloran::pullupgrade
