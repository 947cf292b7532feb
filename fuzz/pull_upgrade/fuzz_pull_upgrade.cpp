// Device frames of any shape against the pull road's server. Whatever the
// device sends: nothing is read past its payload or the image, a served
// block is exactly the image body's bytes it names, every frame sent back
// carries a valid CRC, progress stays in 0..100 and does not fall before the
// one outcome of the run, and nothing is reported after it.
#include "device/pullupgrade/pull_upgrade_codec.h"
#include "device/pullupgrade/pull_upgrade_server.h"

#include <cstdlib>
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

    PullUpgradeServer server;
    const ServerOutput started = server.start(image);
    if (!started.send) {
        check(imageBytes <= PullUpgradeServer::kImageHeadBytes && started.final);
        return 0;
    }
    const bool wrapped = data[2] & 1; // frames built by the codec, or raw payloads
    bool finished = false;
    int progress = 0;
    uint16_t sequence = 0;
    size_t i = 3;
    while (i < size) {
        const size_t declared = data[i++];
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

        if (out.hasProgress) {
            check(!finished);
            check(out.progress >= 0 && out.progress <= 100);
            check(out.final || out.progress >= progress);
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
        for (size_t k = 0; k < length; ++k)
            check(out.data[6 + k] == image[PullUpgradeServer::kImageHeadBytes + address + k]);
    }
    return 0;
}
