#include "device/emulator/hid_attachment.h"

#include <gtest/gtest.h>

using namespace veloran::emu;

namespace {

const NodeAddress kHost{1, 1, 28};

struct BusHost {
    EmulatedHidBus bus;
    HidHandle* handle = nullptr;
    FrameDecoder decoder;

    HidHandle* openModel(uint16_t productId, uint16_t usagePage)
    {
        for (const auto& info : bus.enumerate(kVendorId, productId))
            if (info.usagePage == usagePage)
                return handle = bus.openPath(info.path);
        return nullptr;
    }

    // Reads what is queued (non-blocking) and decodes it; -1 once the
    // device is gone.
    int read(std::vector<Frame>& out, size_t skipHead)
    {
        uint8_t buf[65];
        for (;;) {
            int n = bus.readTimeout(handle, buf, sizeof buf, 0);
            if (n <= 0)
                return n;
            size_t skip = std::min<size_t>(skipHead, size_t(n));
            decoder.feed(buf + skip, size_t(n) - skip, out);
        }
    }
};

// A model's emulator attached to the bus, and the host on that bus.
struct AttachedHost : BusHost {
    AttachedHost(Model model, const char* path) : emu(defaultConfig(model)), attachment(bus, emu, path) {}
    MicBaseEmulator emu;
    HidAttachment attachment;
};

Frame versionRequest(const ModelConfig& c, uint16_t sequence)
{
    Frame f;
    f.sequence = sequence;
    f.source = kHost;
    f.destination = c.address;
    f.messageId = kMsgVersion;
    return f;
}

}  // namespace

TEST(EmuHidAttachment, T40AnswersOverTheBus)
{
    AttachedHost host(Model::T40, "emu/t40");
    ASSERT_TRUE(host.attachment.plug());
    ASSERT_NE(host.openModel(kProductT40, 0x8C), nullptr);
    EXPECT_EQ(host.bus.enumerate(kVendorId, kProductR7).size(), 0u);

    std::vector<uint8_t> report = {0x00};
    encodeFrame(versionRequest(host.emu.config(), 5), report);
    ASSERT_GT(host.bus.write(host.handle, report.data(), report.size()), 0);
    host.emu.step(0);
    std::vector<Frame> frames;
    EXPECT_EQ(host.read(frames, 0), 0);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].messageId, kMsgVersion);
    EXPECT_EQ(frames[0].sequence, 5);
    EXPECT_EQ(frames[1].messageId, kMsgLink);
    host.bus.close(host.handle);
}

TEST(EmuHidAttachment, R7LayoutAndUnplugInTheMiddleOfAFrame)
{
    AttachedHost host(Model::R7, "emu/r7");
    ASSERT_TRUE(host.attachment.plug());
    EXPECT_EQ(host.openModel(kProductR7, 0x8C), nullptr);
    ASSERT_NE(host.openModel(kProductR7, 0x0C), nullptr);

    auto bytes = encodeFrame(versionRequest(host.emu.config(), 9));
    std::vector<uint8_t> report = {0x01, uint8_t(bytes.size())};
    report.insert(report.end(), bytes.begin(), bytes.end());
    ASSERT_GT(host.bus.write(host.handle, report.data(), report.size()), 0);
    std::vector<Frame> frames;
    host.read(frames, 4);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].payload, host.emu.config().versionAnswer);

    host.emu.unplugMidFrame();
    host.bus.write(host.handle, report.data(), report.size());
    frames.clear();
    EXPECT_EQ(host.read(frames, 4), 0);
    EXPECT_TRUE(frames.empty());
    EXPECT_TRUE(host.decoder.midFrame());
    host.emu.step(10);
    EXPECT_EQ(host.read(frames, 4), -1);
    EXPECT_FALSE(host.bus.isPlugged(host.attachment.protocolPath()));
    host.bus.close(host.handle);

    // Plugged again: a fresh device that answers at once.
    ASSERT_TRUE(host.attachment.plug());
    ASSERT_NE(host.openModel(kProductR7, 0x0C), nullptr);
    host.decoder.reset();
    host.bus.write(host.handle, report.data(), report.size());
    frames.clear();
    host.read(frames, 4);
    ASSERT_EQ(frames.size(), 1u);
    EXPECT_EQ(frames[0].messageId, kMsgVersion);
    host.bus.close(host.handle);
}
