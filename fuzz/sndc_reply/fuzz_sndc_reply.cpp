// Any sequence of report bodies through the SNDC reply reassembly: the count
// of bytes ready never passes the total, the total stays within what a
// 16-bit length allows, the reply completes exactly when ready reaches the
// total, no reply is started by a chunk of 10 bytes or fewer, and every copy
// stays inside the buffers (the sanitizers check the bytes).
#include "device/bootloader/bootloader_log.h"
#include "device/bootloader/sndc_codec.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace bootloader;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool quiet = [] {
        setPrintSink([](const std::string &) {});
        return true;
    }();
    (void)quiet;

    SndcReplyState state;
    size_t i = 0;
    while (i < size) {
        // Each chunk: a length byte, then up to that many bytes (a real
        // report body holds at most 254). A chunk may be given the magic.
        const uint8_t head = data[i++];
        const size_t n = (head & 0x7F) == 0x7F ? 254 : (head & 0x7F);
        std::vector<uint8_t> chunk(data + i, data + i + std::min(n, size - i));
        i += chunk.size();
        if ((head & 0x80) && chunk.size() >= 5)
            std::memcpy(chunk.data(), kSndcMagic, sizeof kSndcMagic);

        const bool started = !state.buffer.empty() && state.ready > 0;
        const int taken = reassembleSndcReply(chunk.data(), int(chunk.size()), state);
        if (taken < 0 || size_t(taken) > chunk.size())
            std::abort();
        if (!started && chunk.size() <= 10 && taken != 0)
            std::abort();
        if (!started && taken == 0 && state.complete)
            std::abort();
        state.ready += taken;
        if (!state.buffer.empty()) {
            if (state.total > 65535 + 11 || state.ready > state.total || state.buffer.size() != size_t(state.total))
                std::abort();
            if (state.complete != (state.ready == state.total) && taken > 0)
                std::abort();
        }
        if (state.complete) {
            std::vector<uint8_t> block(324);
            copyReplyData(state, block.data(), block.size());
            state = SndcReplyState{};
        }
    }
    return 0;
}
