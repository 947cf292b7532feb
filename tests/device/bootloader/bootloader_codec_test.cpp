#include "device/bootloader/bootloader_codec.h"

#include <gtest/gtest.h>

#include <numeric>
#include <random>
#include <string>
#include <vector>

using namespace bootloader;

namespace {

uint16_t bitwiseXmodem(const std::vector<uint8_t> &bytes, uint16_t crc)
{
    for (uint8_t b : bytes) {
        crc ^= uint16_t(b << 8);
        for (int i = 0; i < 8; ++i)
            crc = (crc & 0x8000) ? uint16_t((crc << 1) ^ 0x1021) : uint16_t(crc << 1);
    }
    return crc;
}

unsigned sumOf(const uint8_t *bytes, size_t from, size_t to)
{
    return std::accumulate(bytes + from, bytes + to, 0u);
}

} // namespace

TEST(bootloader_codec, ReportsOfBothModesAndTheirLimits)
{
    uint8_t report[kUpgradeReportBytes];

    const CommandBody version = commandBody(kCmdReadVersion);
    ASSERT_EQ(buildUpgradeReport(version.data(), version.size(), kModeCommand, report), 64u);
    EXPECT_EQ(report[0], 0x01);
    EXPECT_EQ(report[1], 62);
    EXPECT_EQ(report[2], 0x00);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(report + 3), 7), "cm_vsrc");
    EXPECT_EQ(report[63], 0x13);

    const uint8_t one = 0x41;
    ASSERT_EQ(packetCount(1), 1u);
    const auto packet = dataPacket(&one, 1, 0, 1);
    ASSERT_EQ(buildUpgradeReport(packet.data(), 60, kModeData, report), 64u);
    const std::vector<uint8_t> head(report, report + 8);
    EXPECT_EQ(head, (std::vector<uint8_t>{0x01, 'c', 'm', 0x01, 0x00, 0x01, 0x00, 0x41}));
    EXPECT_EQ(std::vector<uint8_t>(report + 8, report + 63), std::vector<uint8_t>(55, 0));
    EXPECT_EQ(report[63], 0x50);

    struct Count {
        size_t bytes, packets;
    };
    for (const Count c : {Count{56, 1}, Count{57, 2}, Count{3000, 54}, Count{kMaxImageBytes, 18725}})
        EXPECT_EQ(packetCount(c.bytes), c.packets) << c.bytes;
    // The last packet of 57 bytes carries one image byte, then zeros.
    std::vector<uint8_t> image(57);
    std::iota(image.begin(), image.end(), uint8_t(1));
    const auto last = dataPacket(image.data(), image.size(), 1, 2);
    EXPECT_EQ(last[2], 2);
    EXPECT_EQ(last[4], 2);
    EXPECT_EQ(last[6], 57);
    EXPECT_EQ(std::vector<uint8_t>(last.begin() + 7, last.end()), std::vector<uint8_t>(55, 0));

    // Whatever the bytes, a built report sums to 0 over bytes 2..63.
    std::mt19937 rng(7);
    uint8_t bytes[62];
    for (int round = 0; round < 200; ++round) {
        for (uint8_t &b : bytes)
            b = uint8_t(rng());
        const int mode = round % 2 ? kModeData : kModeCommand;
        ASSERT_EQ(buildUpgradeReport(bytes, 60, mode, report), 64u);
        EXPECT_EQ(sumOf(report, 2, 64) % 256, 0u) << "round " << round;
    }

    for (const int mode : {kModeCommand, kModeData}) {
        EXPECT_EQ(buildUpgradeReport(bytes, 61, mode, report), 0u) << mode;
        EXPECT_EQ(buildUpgradeReport(bytes, 60, mode, report), 64u) << mode;
    }
    EXPECT_EQ(buildUpgradeReport(bytes, 10, 3, report), 0u);
}

TEST(bootloader_codec, CrcIsXmodem)
{
    const std::string check = "123456789";
    EXPECT_EQ(crc16Ccitt(reinterpret_cast<const uint8_t *>(check.data()), check.size(), 0), 0x31C3);
    std::mt19937 rng(11);
    for (int round = 0; round < 50; ++round) {
        std::vector<uint8_t> data(rng() % 3000);
        for (uint8_t &b : data)
            b = uint8_t(rng());
        const uint16_t initial = round % 2 ? uint16_t(rng()) : 0;
        EXPECT_EQ(crc16Ccitt(data.data(), data.size(), initial), bitwiseXmodem(data, initial)) << round;
    }
}

TEST(bootloader_codec, RepliesAreBoundedAndChecked)
{
    // Body length: the report's length byte, but never past the bytes read.
    struct BodyCase {
        uint8_t lengthByte;
        int bytesRead;
        int body;
    };
    uint8_t report[256];
    for (int i = 0; i < 256; ++i)
        report[i] = uint8_t(i);
    for (const BodyCase c : {BodyCase{11, 64, 11}, BodyCase{200, 64, 62}, BodyCase{255, 256, 254},
                             BodyCase{9, 2, 0}, BodyCase{9, -1, 0}, BodyCase{0, 64, 0}}) {
        report[1] = c.lengthByte;
        uint8_t body[256] = {};
        EXPECT_EQ(replyBody(report, c.bytesRead, body), c.body) << int(c.lengthByte) << "/" << c.bytesRead;
        if (c.body > 0) {
            EXPECT_EQ(body[0], 2);
            EXPECT_EQ(body[c.body - 1], uint8_t(c.body + 1));
        }
    }

    auto reply = [](const std::string &text, std::vector<uint8_t> extra = {}) {
        std::vector<uint8_t> r(256, 0);
        std::copy(text.begin(), text.end(), r.begin() + 1);
        std::copy(extra.begin(), extra.end(), r.begin() + 1 + std::ptrdiff_t(text.size()));
        return r;
    };
    struct CheckCase {
        int code;
        std::vector<uint8_t> reply;
        int count;
        bool matches;
    };
    const CheckCase checks[] = {
        {21, reply("cm_vsrc", {1, 2, 3}), 11, true},  {21, reply("cm_vsrd"), 8, false},
        {20, reply("cm_vcrc"), 8, true},              {32, reply("cm_vcrc"), 8, false},
        {32, reply("cm_code"), 8, true},              {12, reply("cm_romt?isok"), 13, true},
        {42, reply("cm_fnsh?isok"), 13, true},        {41, reply("anything"), 1, true},
        {41, reply(""), 0, false},                    {7, reply("cm_vsrc"), 8, false},
        {20, reply(""), 0, false},
    };
    for (const CheckCase &c : checks)
        EXPECT_EQ(checkReply(c.code, c.reply.data(), c.count) == 0, c.matches) << c.code;
    EXPECT_EQ(checkReply(7, checks[0].reply.data(), 11), 255);
    EXPECT_EQ(checkReply(41, checks[0].reply.data(), 0), 255);

    // The version needs the whole 11-byte body; FF FF FF means no boot loader.
    EXPECT_EQ(flashBootVersion(reply("cm_vsrc", {1, 2, 0x0A}).data(), 11), (std::array<uint8_t, 3>{1, 2, 0x0A}));
    EXPECT_FALSE(flashBootVersion(reply("cm_vsrc", {1, 2, 0x0A}).data(), 10));
    EXPECT_FALSE(flashBootVersion(reply("cm_vsrc").data(), 8));
    EXPECT_FALSE(flashBootVersion(reply("cm_vsrc", {0xFF, 0xFF, 0xFF}).data(), 11));
    EXPECT_TRUE(flashBootVersion(reply("cm_vsrc", {0xFF, 0xFF, 0xFE}).data(), 11));

    // Echo reads: 62 bytes from byte 2 or 61 from byte 1, within what was read.
    uint8_t out[64] = {};
    EXPECT_EQ(echoBody(report, 64, 2, 62, out), 62);
    EXPECT_EQ(out[0], 2);
    EXPECT_EQ(echoBody(report, 64, 1, 61, out), 61);
    EXPECT_EQ(echoBody(report, 20, 2, 62, out), 18);
    EXPECT_EQ(echoBody(report, 2, 2, 62, out), 0);
    EXPECT_EQ(echoBody(report, -1, 1, 61, out), 0);
}
