// Device frames of any shape against the pull road's server, with the
// device leaving and coming back between them. Whatever the device sends:
// nothing is read past its payload or the image, a served block is exactly
// the image body's bytes it names, every frame sent back carries a valid CRC,
// progress stays in 0..100 and never falls within the run, there is one
// outcome at most and nothing is reported after it, and a device that comes
// back is called upgraded only when its version changed after the last block
// went out.
#include "device/pullupgrade/pull_upgrade_codec.h"
#include "device/pullupgrade/pull_upgrade_server.h"

#include <cstdlib>
#include <string>
#include <vector>

using namespace veloran::pullupgrade;

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

uint32_t u32le(const uint8_t *p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 3)
        return 0;
    // Image of 0..8191 bytes; 0..32 are refused at the start.
    const size_t imageBytes = (size_t(data[0]) | size_t(data[1]) << 8) & 0x1FFF;
    std::vector<uint8_t> image(imageBytes);
    for (size_t i = 0; i < imageBytes; ++i)
        image[i] = uint8_t(i * 131 + 17);

    const std::string versionBefore = "V1.05";
    PullUpgradeServer server;
    const ServerOutput started = server.start(image, versionBefore);
    if (!started.send) {
        check(imageBytes <= PullUpgradeServer::kImageHeadBytes && started.final);
        return 0;
    }
    const bool wrapped = data[2] & 1; // frames built by the codec, or raw payloads
    bool finished = false;
    bool blockServed = false;
    bool lastBlockServed = false;
    int progress = 0;
    uint16_t sequence = 0;
    size_t i = 3;
    while (i < size) {
        const size_t declared = data[i++];
        // The last three lengths stand for the device leaving, coming back
        // with a version (the next byte: none, the old or another), and the
        // interface giving the run up.
        if (declared >= 0xFD) {
            ServerOutput out;
            std::string version;
            if (declared == 0xFD) {
                out = server.deviceGone();
            } else if (declared == 0xFE) {
                const uint8_t which = i < size ? data[i++] % 3 : 0;
                version = which == 0 ? std::string() : which == 1 ? versionBefore : std::string("V2.00");
                out = server.deviceBack(version);
            } else {
                // A run given up while waiting is over without an outcome.
                finished = finished || server.waitingForReturn();
                out = server.stopWaiting();
            }
            check(!out.send);
            if (out.hasProgress) {
                check(!finished && out.final && out.progress == 100 && out.progress >= progress);
                check(declared == 0xFE && lastBlockServed && !version.empty());
                check((out.message == "升级成功") == (version != versionBefore));
                finished = true;
                progress = out.progress;
            }
            continue;
        }
        const size_t n = std::min(declared, size - i);
        // An exact-size copy, so a read past the payload is a read past the heap block.
        std::vector<uint8_t> payload;
        if (wrapped && n >= 1) {
            payload = *encodeUpgradeFrame(data[i], data + i + 1, n - 1);
        } else {
            payload.assign(data + i, data + i + n);
        }
        i += n;
        // Origins repeat now and then, as a duplicated frame would.
        const FrameOrigin origin{0x21, uint8_t(sequence & 1), uint16_t(sequence / 3)};
        ++sequence;
        const ServerOutput out = server.handle(origin, payload.data(), payload.size());
        const UpgradeFrameView received = parseUpgradeFrame(payload.data(), payload.size());
        // Once a block has gone out, a start answer reports nothing.
        check(!(out.hasProgress && blockServed && received.command == kCommandStart));

        if (out.hasProgress) {
            check(!finished);
            check(out.progress >= 0 && out.progress <= 100);
            check(out.progress >= progress);
            progress = out.progress;
            finished = out.final;
        }
        if (!out.send)
            continue;
        check(!finished);
        const auto sent = encodeUpgradeFrame(out.command, out.data.data(), out.data.size());
        check(sent.has_value());
        const UpgradeFrameView view = parseUpgradeFrame(sent->data(), sent->size());
        check(view.headValid && view.crcValid && view.dataBytes == out.data.size());
        check(out.command == kCommandBlock && out.data.size() >= 6);
        const uint32_t address = u32le(out.data.data());
        const size_t length = size_t(out.data[4]) | size_t(out.data[5]) << 8;
        const size_t body = imageBytes - PullUpgradeServer::kImageHeadBytes;
        check(out.data.size() == 6 + length && uint64_t(address) + length <= body);
        blockServed = true;
        lastBlockServed = lastBlockServed || uint64_t(address) + length == body;
        for (size_t k = 0; k < length; ++k)
            check(out.data[6 + k] == image[PullUpgradeServer::kImageHeadBytes + address + k]);
    }
    return 0;
}
