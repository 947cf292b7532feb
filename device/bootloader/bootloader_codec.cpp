#include "device/bootloader/bootloader_codec.h"

#include <algorithm>
#include <cstring>

namespace bootloader {

namespace {

constexpr std::array<uint16_t, 256> makeCrcTable()
{
    std::array<uint16_t, 256> table{};
    for (unsigned i = 0; i < 256; ++i) {
        uint16_t crc = uint16_t(i << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? uint16_t((crc << 1) ^ 0x1021) : uint16_t(crc << 1);
        table[i] = crc;
    }
    return table;
}

constexpr std::array<uint16_t, 256> kCrcTable = makeCrcTable();

} // namespace

uint8_t upgradeChecksum(const uint8_t *bytes, size_t count)
{
    unsigned sum = 0;
    for (size_t i = 0; i < count; ++i)
        sum += bytes[i];
    return uint8_t(256 - (sum & 0xFF));
}

size_t buildUpgradeReport(const uint8_t *bytes, size_t length, int mode, uint8_t *out)
{
    if (length > HID_UPGRADE_MAX_VALID_DATA_LENGTH || (mode != kModeCommand && mode != kModeData))
        return 0;
    const size_t total = length + 4;
    std::memset(out, 0, total);
    out[0] = kReportId;
    if (mode == kModeCommand) {
        out[1] = uint8_t(length + 2);
        out[2] = 0x00;
        std::memcpy(out + 3, bytes, length);
    } else {
        std::memcpy(out + 1, bytes, length + 2);
    }
    out[total - 1] = upgradeChecksum(out + 2, length + 1);
    return total;
}

uint16_t crc16Ccitt(const uint8_t *bytes, size_t count, uint16_t initial)
{
    uint16_t crc = initial;
    for (size_t i = 0; i < count; ++i)
        crc = uint16_t((crc << 8) ^ kCrcTable[((crc >> 8) ^ bytes[i]) & 0xFF]);
    return crc;
}

CommandBody commandBody(std::string_view text, const uint8_t *params, size_t paramCount)
{
    CommandBody body{};
    const size_t textBytes = std::min(text.size(), body.size());
    std::memcpy(body.data(), text.data(), textBytes);
    if (params)
        std::memcpy(body.data() + textBytes, params, std::min(paramCount, body.size() - textBytes));
    return body;
}

void put24(uint8_t *out, uint32_t value)
{
    out[0] = uint8_t(value);
    out[1] = uint8_t(value >> 8);
    out[2] = uint8_t(value >> 16);
}

size_t packetCount(size_t imageBytes) { return (imageBytes + kPacketImageBytes - 1) / kPacketImageBytes; }

std::array<uint8_t, kDataPacketBytes> dataPacket(const uint8_t *image, size_t imageBytes, size_t index, uint16_t count)
{
    std::array<uint8_t, kDataPacketBytes> p{};
    p[0] = 'c';
    p[1] = 'm';
    const uint16_t number = uint16_t(index + 1);
    p[2] = uint8_t(number);
    p[3] = uint8_t(number >> 8);
    p[4] = uint8_t(count);
    p[5] = uint8_t(count >> 8);
    const size_t from = index * kPacketImageBytes;
    if (from < imageBytes)
        std::memcpy(p.data() + 6, image + from, std::min(kPacketImageBytes, imageBytes - from));
    return p;
}

int replyBody(const uint8_t *report, int bytesRead, uint8_t *body)
{
    if (bytesRead <= 2)
        return 0;
    const int available = std::min<int>(bytesRead, int(kReplyBufferBytes)) - 2;
    const int length = std::min<int>(report[1], available);
    std::memcpy(body, report + 2, size_t(length));
    return length;
}

bool isCommandReply(const uint8_t *report, int bytesRead)
{
    uint8_t body[kReplyBufferBytes];
    const int length = replyBody(report, bytesRead, body);
    return length > int(kCmdData.size()) && std::memcmp(body + 1, kCmdData.data(), kCmdData.size()) == 0;
}

std::string_view expectedReplyText(int code)
{
    switch (code) {
    case kCheckRomTest: return kCmdRomCheck;
    case kCheckVerifyCrc: return kCmdVerifyCrc;
    case kCheckReadVersion: return kCmdReadVersion;
    case kCheckCode: return kCmdCode;
    case kCheckFinish: return kCmdFinish;
    default: return {};
    }
}

int checkReply(int code, const uint8_t *reply, int count)
{
    if (code == kCheckAnyReply)
        return count >= 1 ? 0 : 255;
    const std::string_view text = expectedReplyText(code);
    if (text.empty())
        return 255;
    return std::memcmp(text.data(), reply + 1, text.size()) == 0 ? 0 : 1;
}

std::optional<std::array<uint8_t, 3>> flashBootVersion(const uint8_t *reply, int count)
{
    if (count < 11)
        return std::nullopt;
    const std::array<uint8_t, 3> v{reply[8], reply[9], reply[10]};
    if (v[0] == 0xFF && v[1] == 0xFF && v[2] == 0xFF)
        return std::nullopt;
    return v;
}

int echoBody(const uint8_t *report, int bytesRead, size_t from, size_t want, uint8_t *out)
{
    const size_t read = size_t(std::clamp(bytesRead, 0, int(kReplyBufferBytes)));
    if (read <= from)
        return 0;
    const size_t n = std::min(want, read - from);
    std::memcpy(out, report + from, n);
    return int(n);
}

} // namespace bootloader
