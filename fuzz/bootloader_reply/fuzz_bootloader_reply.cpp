// Any input report the boot loader or the application may send back: the
// body read, every reply check, the version parse and both echo reads stay
// within the bytes read and the 256-byte buffers.
#include "device/bootloader/bootloader_codec.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

using namespace bootloader;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    // Exactly the bytes read, on the heap, so a read past them is caught.
    const size_t read = std::min<size_t>(size - 1, kReplyBufferBytes);
    std::vector<uint8_t> report(data + 1, data + 1 + read);
    const int bytesRead = (data[0] & 0x80) ? -1 : int(read);

    uint8_t body[kReplyBufferBytes] = {};
    const int length = replyBody(report.data(), bytesRead, body);
    if (length < 0 || length > std::max(0, bytesRead - 2) || length > int(kReplyBufferBytes) - 2)
        std::abort();
    if (length > 0 && (bytesRead < 3 || length > report[1]))
        std::abort();

    for (const int code : {12, 20, 21, 32, 41, 42, int(data[0])}) {
        const int result = checkReply(code, body, length);
        if (code == 41 && (result == 0) != (length >= 1))
            std::abort();
    }
    if (const auto version = flashBootVersion(body, length)) {
        if (length < 11 || (body[8] == 0xFF && body[9] == 0xFF && body[10] == 0xFF))
            std::abort();
    }

    uint8_t echo[kReplyBufferBytes];
    for (const auto &[from, want] : {std::pair<size_t, size_t>{2, 62}, std::pair<size_t, size_t>{1, 61}}) {
        const int n = echoBody(report.data(), bytesRead, from, want, echo);
        if (n < 0 || size_t(n) > want || (n > 0 && size_t(n) + from > read))
            std::abort();
    }
    return 0;
}
