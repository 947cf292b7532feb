// Throughput of the pull upgrade in protocol time: the program's core and
// PullUpgradeServer against the emulated T40, the link paced at one 64-byte
// report per millisecond each way (full-speed HID with 1 ms polling). The
// figure is image bytes per second of the core's clock, for three block sizes.
#include "device/emulator/firmware_image.h"
#include "tests/support/loopback_harness.h"

#include <cstdio>

using namespace veloran::emu;

namespace {

constexpr size_t kBodyBytes = 256 * 1024;
constexpr uint32_t kMaxTicks = 120000;
constexpr double kLinkLimitBytesPerSecond = 64 * 1000.0;

}  // namespace

int main()
{
    std::printf("pull upgrade, %zu-byte image body, link paced at one 64-byte report per ms each way\n", kBodyBytes);
    std::printf("full-speed limit: %.0f bytes/s per direction\n", kLinkLimitBytesPerSecond);
    int failures = 0;
    for (uint16_t block : {uint16_t(256), uint16_t(1024), uint16_t(4096)}) {
        ModelConfig config = defaultConfig(Model::T40);
        config.pull.blockBytes = block;
        config.maxMessageBytes = uint16_t(pull::kBlockReplyOverheadBytes + block);
        MicBaseEmulator emu(config);
        LoopbackHarness h(emu);
        h.setPaced(true);
        if (!h.runUntil([&] { return h.peerAddress() != 0; }, 2000)) {
            std::printf("%5u-byte blocks: the device never logged in\n", block);
            ++failures;
            continue;
        }
        const uint32_t startMs = h.nowMs();
        h.startPullUpgrade(makePullFirmwareFile(Model::T40, 9, 9, kBodyBytes));
        const bool done = h.runUntil([&] { return h.pullUpgradeFinished(); }, kMaxTicks);
        const auto& progress = h.events().upgradeProgress;
        if (!done || progress.empty() || progress.back().message != "升级成功") {
            std::printf("%5u-byte blocks: no success (%s)\n", block,
                        progress.empty() ? "no report" : progress.back().message.c_str());
            ++failures;
            continue;
        }
        const double seconds = (h.nowMs() - startMs) / 1000.0;
        std::printf("%5u-byte blocks: %8.0f image bytes/s (%.3f s of protocol time)\n", block, kBodyBytes / seconds,
                    seconds);
    }
    return failures == 0 ? 0 : 1;
}
