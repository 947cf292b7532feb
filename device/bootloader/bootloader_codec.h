// Byte layouts of the boot-loader link: the two 64-byte upgrade reports, the
// cm_ command bodies and data packets, the image CRC and the checks of what
// the device answers. Plain functions, no Qt; every reply is bounded by the
// bytes actually read.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace bootloader {

inline constexpr size_t kUpgradeReportBytes = 64;
// Largest length writeUpgradePacket takes: a command body or a data packet
// without its first two bytes.
inline constexpr size_t HID_UPGRADE_MAX_VALID_DATA_LENGTH = 60;
inline constexpr size_t kCommandBodyBytes = 60;
inline constexpr size_t kDataPacketBytes = 62;
inline constexpr size_t kPacketImageBytes = 56;
inline constexpr size_t kReplyBufferBytes = 256;
inline constexpr size_t kMaxImageBytes = 0x100000;
inline constexpr uint8_t kReportId = 0x01;

enum UpgradeMode : int {
    kModeCommand = 1,
    kModeData = 2,
};

// The fourteen command texts, in their fixed order.
inline constexpr std::string_view kCmdRestart = "cm_rest?isok";
inline constexpr std::string_view kCmdRomCheck = "cm_romt?isok";
inline constexpr std::string_view kCmdVerifyCrc = "cm_vcrc";
inline constexpr std::string_view kCmdReadVersion = "cm_vsrc";
inline constexpr std::string_view kCmdRead = "cm_read";
inline constexpr std::string_view kCmdBoot = "cm_boot";
inline constexpr std::string_view kCmdCode = "cm_code";
inline constexpr std::string_view kCmdConst = "cm_cnst";
inline constexpr std::string_view kCmdConfig = "cm_cnfg";
inline constexpr std::string_view kCmdData = "cm";
inline constexpr std::string_view kCmdUpgrade = "cm_upgd?isok";
inline constexpr std::string_view kCmdFinish = "cm_fnsh?isok";
inline constexpr std::string_view kCmdDasd = "cm_dasd?isok";
inline constexpr std::string_view kCmdUpgradeOk = "cm_upgd!ok";

// 256 minus the low byte of the sum, kept to 8 bits.
uint8_t upgradeChecksum(const uint8_t *bytes, size_t count);

// Builds the report of a mode into out (at least 64 bytes) and returns its
// length, length + 4; 0 when length is 61 or more. Mode 1 takes length body
// bytes; mode 2 takes length + 2 bytes (the packet's "cm" included). The
// checksum covers report bytes 2 .. length + 2.
size_t buildUpgradeReport(const uint8_t *bytes, size_t length, int mode, uint8_t *out);

// CRC-16/XMODEM through a 256-entry table, most significant bit first.
uint16_t crc16Ccitt(const uint8_t *bytes, size_t count, uint16_t initial);

using CommandBody = std::array<uint8_t, kCommandBodyBytes>;
// Text then parameters, zero-padded; parameters beyond the body are cut.
CommandBody commandBody(std::string_view text, const uint8_t *params = nullptr, size_t paramCount = 0);
// Little-endian into 3 bytes (the upper byte of value is dropped).
void put24(uint8_t *out, uint32_t value);

// Packets an image of size bytes takes: ceil(size / 56).
size_t packetCount(size_t imageBytes);
// Data packet index (0-based) of count: "cm", number index + 1, count, 56
// image bytes zero-padded past the end of the image.
std::array<uint8_t, kDataPacketBytes> dataPacket(const uint8_t *image, size_t imageBytes, size_t index, uint16_t count);

// Reply report to body: returns the body length, the report's length byte
// bounded by the bytes read (0 for 2 bytes or fewer). body has 256 bytes and
// is not cleared here.
int replyBody(const uint8_t *report, int bytesRead, uint8_t *body);
// Whether a report read after a command is a reply to one: its body repeats
// a command text ("cm...") from byte 1. The application firmware's own reports
// on the same interface (beacons, notifications) never do.
bool isCommandReply(const uint8_t *report, int bytesRead);

// Check codes for the boot loader's replies: most name the command text the
// reply repeats; kCheckAnyReply passes on any reply at all (the upgrade
// confirmation answers with no fixed text).
enum ReplyCheck : int {
    kCheckRomTest = 12,
    kCheckVerifyCrc = 20,
    kCheckReadVersion = 21,
    kCheckCode = 32,
    kCheckAnyReply = 41,
    kCheckFinish = 42,
};

// Text a reply must repeat for a check code, or empty.
std::string_view expectedReplyText(int code);
// 0 when the reply matches the code: its text from body byte 1 on, or for
// kCheckAnyReply any reply at all (count at least 1); otherwise non-zero (255 for
// an unknown code or a missing confirmation). reply has 256 bytes.
int checkReply(int code, const uint8_t *reply, int count);

// Boot-loader version from a cm_vsrc reply: body bytes 8..10. None when the
// body is shorter than 11 bytes (read from zeros it would pass for 00-00-00)
// or the version is FF FF FF (no boot loader).
std::optional<std::array<uint8_t, 3>> flashBootVersion(const uint8_t *reply, int count);

// Echo read: up to want bytes from report byte from on, bounded by the bytes
// read; returns how many were copied into out.
int echoBody(const uint8_t *report, int bytesRead, size_t from, size_t want, uint8_t *out);

} // namespace bootloader
