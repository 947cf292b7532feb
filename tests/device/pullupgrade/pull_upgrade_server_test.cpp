#include "device/pullupgrade/pull_upgrade_codec.h"
#include "device/pullupgrade/pull_upgrade_server.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using namespace veloran::pullupgrade;

namespace {

using Bytes = std::vector<uint8_t>;

Bytes frame(uint8_t command, const Bytes &data)
{
    return *encodeUpgradeFrame(command, data.data(), data.size());
}

Bytes request(uint32_t address, uint16_t length, uint8_t progress)
{
    return frame(kCommandBlock, {uint8_t(address), uint8_t(address >> 8), uint8_t(address >> 16),
                                 uint8_t(address >> 24), uint8_t(length), uint8_t(length >> 8), progress});
}

Bytes image(size_t size)
{
    Bytes v(size);
    for (size_t i = 0; i < size; ++i)
        v[i] = uint8_t(i * 7 + 3);
    return v;
}

struct Reported
{
    int progress;
    std::string message;
};

std::optional<Reported> reported(const ServerOutput &out)
{
    if (!out.hasProgress)
        return std::nullopt;
    return Reported{out.progress, out.message};
}

} // namespace

TEST(PullUpgradeCodec, CrcAndStartFrame)
{
    const std::string check = "123456789";
    EXPECT_EQ(crc16CcittFalse(0xFFFF, reinterpret_cast<const uint8_t *>(check.data()), check.size()), 0x29B1);
    EXPECT_EQ(frame(kCommandStart, {0x00}), (Bytes{0xAA, 0x55, 0xC8, 0x6E, 0x80, 0x01, 0x00, 0x00}));

    // A wrong CRC or head is still read; the header of a short payload reads as zeros.
    Bytes bad = frame(kCommandResult, {0x01});
    bad[0] = 0x00;
    bad[2] ^= 0xFF;
    const UpgradeFrameView v = parseUpgradeFrame(bad.data(), bad.size());
    EXPECT_FALSE(v.headValid);
    EXPECT_FALSE(v.crcValid);
    EXPECT_EQ(v.command, kCommandResult);
    ASSERT_EQ(v.dataBytes, 1u);
    EXPECT_EQ(v.data[0], 0x01);
    const Bytes shortPayload = {0xAA, 0x55, 0, 0, 0x81, 0x07};
    const UpgradeFrameView s = parseUpgradeFrame(shortPayload.data(), shortPayload.size());
    EXPECT_EQ(s.declaredLength, 7);
    EXPECT_EQ(s.dataBytes, 0u);
    EXPECT_FALSE(encodeUpgradeFrame(kCommandBlock, image(kMaxFrameDataBytes + 1).data(), kMaxFrameDataBytes + 1));
}

TEST(PullUpgradeServer, AnswersEachFrameByTheTable)
{
    struct Case
    {
        const char *name;
        size_t imageBytes;
        Bytes payload;
        std::optional<Reported> expected;
        std::optional<std::pair<uint32_t, uint16_t>> served; // address, length
    };
    const Case cases[] = {
        {"start accepted", 1056, frame(0x80, {0}), Reported{0, "可以升级"}, {}},
        {"battery low", 1056, frame(0x80, {1}), Reported{0, "不可以升级电量低"}, {}},
        {"busy", 1056, frame(0x80, {2}), Reported{0, "不可以升级设备忙"}, {}},
        {"pairing", 1056, frame(0x80, {3}), Reported{0, "对码中不可以升级"}, {}},
        {"unknown start result", 1056, frame(0x80, {4}), std::nullopt, {}},
        {"start answer of two bytes", 1056, frame(0x80, {1, 0}), std::nullopt, {}},
        {"whole body in one block", 1056, request(0, 1024, 40), Reported{40, "升级进度:40"}, {{0, 1024}}},
        {"last bytes of the body", 1056, request(1000, 24, 97), Reported{97, "升级进度:97"}, {{1000, 24}}},
        {"one byte past the body", 1056, request(1000, 25, 97), Reported{100, "升级失败"}, {}},
        {"last byte alone", 1056, request(1023, 1, 97), Reported{97, "升级进度:97"}, {{1023, 1}}},
        {"only byte past the body", 1056, request(1024, 1, 97), Reported{100, "升级失败"}, {}},
        {"block reaching into the file's last 32 bytes", 1056, request(1000, 56, 97), Reported{100, "升级失败"}, {}},
        {"block past the end", 1056, request(1056, 1, 0), Reported{100, "升级失败"}, {}},
        {"address wrapping in 32 bits", 1056, request(0xFFFFFFFF, 2, 0), Reported{100, "升级失败"}, {}},
        {"block too long for one message", 70000, request(0, 65523, 0), Reported{100, "升级失败"}, {}},
        {"longest block", 70000, request(0, 65522, 0), Reported{0, "升级进度:0"}, {{0, 65522}}},
        {"progress above 99 before the result", 1056, request(0, 8, 250), Reported{99, "升级进度:99"}, {{0, 8}}},
        {"request of six bytes", 1056, frame(0x81, {0, 0, 0, 0, 8, 0}), std::nullopt, {}},
        {"request cut short of its length", 1056, Bytes{0xAA, 0x55, 0, 0, 0x81, 7, 0, 0, 0}, std::nullopt, {}},
        {"success", 1056, frame(0x82, {0}), Reported{100, "升级成功"}, {}},
        {"older version", 1056, frame(0x82, {1}), Reported{100, "升级失败,版本低"}, {}},
        {"checksum", 1056, frame(0x82, {2}), Reported{100, "升级失败,校验失败"}, {}},
        {"other result", 1056, frame(0x82, {0x85}), Reported{100, "升级失败"}, {}},
        {"result without its byte", 1056, Bytes{0xAA, 0x55, 0, 0, 0x82, 1, 0}, std::nullopt, {}},
        {"result of two bytes", 1056, frame(0x82, {0, 0}), std::nullopt, {}},
        {"unknown command", 1056, frame(0x83, {0}), std::nullopt, {}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        PullUpgradeServer server;
        const Bytes file = image(c.imageBytes);
        const ServerOutput started = server.start(file);
        ASSERT_TRUE(started.send);
        EXPECT_EQ(started.command, kCommandStart);
        EXPECT_EQ(started.data, Bytes{0x00});

        const ServerOutput out = server.handle({0x21, 2, 1}, c.payload.data(), c.payload.size());
        const auto got = reported(out);
        ASSERT_EQ(got.has_value(), c.expected.has_value());
        if (got) {
            EXPECT_EQ(got->progress, c.expected->progress);
            EXPECT_EQ(got->message, c.expected->message);
        }
        ASSERT_EQ(out.send, c.served.has_value());
        if (c.served) {
            const auto [address, length] = *c.served;
            EXPECT_EQ(out.command, kCommandBlock);
            Bytes expected(c.payload.begin() + 7, c.payload.begin() + 13);
            expected.insert(expected.end(), file.begin() + 32 + address, file.begin() + 32 + address + length);
            EXPECT_EQ(out.data, expected);
        }
    }
}

TEST(PullUpgradeServer, OneOutcomePerRunRisingProgressAndRepeatsDropped)
{
    PullUpgradeServer server;
    // Files the device could not be served from are refused before anything is sent.
    for (size_t size : {size_t(0), size_t(32), PullUpgradeServer::kMaxImageBytes + 1}) {
        const ServerOutput out = server.start(image(size));
        EXPECT_FALSE(out.send) << size;
        EXPECT_EQ(reported(out)->progress, 0);
        EXPECT_EQ(reported(out)->message, "升级失败");
    }

    ASSERT_TRUE(server.start(image(32 + 4096)).send);
    const Bytes r1 = request(1024, 1024, 25), r0 = request(0, 1024, 0), r2 = request(2048, 1024, 50);
    EXPECT_EQ(reported(server.handle({7, 1, 10}, r1.data(), r1.size()))->progress, 25);
    // Asked again for an earlier block: served, but the bar does not fall.
    const ServerOutput again = server.handle({7, 2, 11}, r0.data(), r0.size());
    EXPECT_TRUE(again.send);
    EXPECT_EQ(reported(again)->progress, 25);

    // The same source, type and sequence among the last eight: dropped.
    EXPECT_FALSE(server.handle({7, 1, 10}, r2.data(), r2.size()).send);
    EXPECT_TRUE(server.handle({7, 2, 10}, r2.data(), r2.size()).send);
    EXPECT_TRUE(server.handle({8, 1, 10}, r2.data(), r2.size()).send);
    for (uint16_t seq = 20; seq < 26; ++seq)
        server.handle({7, 1, seq}, r2.data(), r2.size());
    EXPECT_FALSE(server.handle({7, 1, 20}, r2.data(), r2.size()).send); // still among the last eight
    EXPECT_TRUE(server.handle({7, 1, 10}, r2.data(), r2.size()).send); // pushed out by eight others

    const Bytes failed = frame(0x82, {2});
    EXPECT_TRUE(server.handle({7, 1, 30}, failed.data(), failed.size()).final);
    EXPECT_TRUE(server.finished());
    // Nothing after the outcome, until the next start.
    const Bytes ok = frame(0x82, {0});
    EXPECT_FALSE(reported(server.handle({7, 1, 31}, ok.data(), ok.size())));
    EXPECT_FALSE(server.handle({7, 1, 32}, r0.data(), r0.size()).send);
    ASSERT_TRUE(server.start(image(32 + 4096)).send);
    EXPECT_TRUE(server.handle({7, 1, 30}, r0.data(), r0.size()).send); // history cleared too
}

TEST(PullUpgradeServer, LateStartAnswersAndLostResultsWithinOneRun)
{
    // What happens to a run, step by step: a frame from the device, the
    // device leaving the bus, coming back with a version, or the interface
    // giving the run up.
    enum class Kind { Frame, Gone, Back, Stop };
    struct Step
    {
        Kind kind;
        Bytes payload; // Frame
        std::string version; // Back
        std::optional<Reported> expected;
        bool send = false; // a block goes out
    };
    const auto frameStep = [](Bytes payload, std::optional<Reported> expected, bool send = false) {
        return Step{Kind::Frame, std::move(payload), {}, std::move(expected), send};
    };
    const Step gone{Kind::Gone, {}, {}, std::nullopt};
    const auto back = [](std::string version, std::optional<Reported> expected) {
        return Step{Kind::Back, {}, std::move(version), std::move(expected)};
    };
    const Step stop{Kind::Stop, {}, {}, std::nullopt};
    const Step half = frameStep(request(1024, 1024, 50), Reported{50, "升级进度:50"}, true);
    const Step last = frameStep(request(3072, 1024, 75), Reported{75, "升级进度:75"}, true);
    const Step first = frameStep(request(0, 1024, 0), Reported{0, "升级进度:0"}, true);

    struct Case
    {
        const char *name;
        std::string versionBefore;
        std::vector<Step> steps;
    };
    const Case cases[] = {
        {"late start answers after half the blocks",
         "V1.05",
         {frameStep(frame(0x80, {0}), Reported{0, "可以升级"}), first, half, frameStep(frame(0x80, {0}), {}),
          frameStep(frame(0x80, {2}), {}), frameStep(request(2048, 1024, 0), Reported{50, "升级进度:50"}, true), last,
          frameStep(frame(0x82, {0}), Reported{100, "升级成功"}), gone, back("V2.00", {})}},
        {"a start answer after a refused request is not a second outcome",
         "V1.05",
         {frameStep(request(4096, 1, 0), Reported{100, "升级失败"}), frameStep(frame(0x80, {1}), {})}},
        {"result lost, back with another version", "V1.05",
         {half, last, gone, back("V2.00", Reported{100, "升级成功"}), frameStep(frame(0x82, {1}), {}), gone,
          back("V3.00", {})}},
        {"result lost, back with the same version", "V1.05",
         {half, last, gone, gone, back("V1.05", Reported{100, "升级失败"}), back("V2.00", {})}},
        {"a late result still decides while the device is away", "V1.05",
         {last, gone, frameStep(frame(0x82, {1}), Reported{100, "升级失败,版本低"}), back("V2.00", {})}},
        {"gone before the last block: no waiting", "V1.05", {first, half, gone, back("V2.00", {})}},
        {"a version back without an answer is no answer", "V1.05", {last, gone, back("", {}), back("V1.05", Reported{100, "升级失败"})}},
        {"version unknown before the run: no decision by version", "", {last, gone, back("V2.00", {})}},
        {"given up by the interface", "V1.05",
         {last, gone, stop, back("V2.00", {}), frameStep(frame(0x82, {0}), {})}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        PullUpgradeServer server;
        ASSERT_TRUE(server.start(image(32 + 4096), c.versionBefore).send);
        int progress = 0;
        uint16_t sequence = 0;
        for (size_t i = 0; i < c.steps.size(); ++i) {
            SCOPED_TRACE(i);
            const Step &step = c.steps[i];
            ServerOutput out;
            switch (step.kind) {
            case Kind::Frame: out = server.handle({0x21, 0, ++sequence}, step.payload.data(), step.payload.size()); break;
            case Kind::Gone: out = server.deviceGone(); break;
            case Kind::Back: out = server.deviceBack(step.version); break;
            case Kind::Stop: out = server.stopWaiting(); break;
            }
            const auto got = reported(out);
            ASSERT_EQ(got.has_value(), step.expected.has_value());
            if (got) {
                EXPECT_EQ(got->progress, step.expected->progress);
                EXPECT_EQ(got->message, step.expected->message);
                EXPECT_GE(got->progress, progress);
                progress = got->progress;
            }
            EXPECT_EQ(out.send, step.send);
        }
    }
}
