// Feeds hostile byte streams to the frame parser twice, once whole and once
// cut into calls by the first input byte. Both runs must deliver the same
// records, each record must re-encode to exactly the bytes it came from, in
// stream order, and nothing may be left in the arena.
#include "device/protocol/msg_frame.h"
#include "device/protocol/msg_pool.h"
#include "device/protocol/msg_runtime.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
std::vector<Bytes> *g_delivered = nullptr;

int captureSend(int, int length, const uint8_t *frame)
{
    if (length < kMsgFrameOverhead || length > kMsgMaxPayload + kMsgFrameOverhead || frame[0] != kMsgStartByte)
        std::abort();
    g_delivered->emplace_back(frame, frame + length);
    return 0;
}

int checkRecord(int port, msg_record *record)
{
    if (record->length > kMsgMaxPayload || (record->length > 0) != (record->payload != nullptr))
        std::abort();
    // Echo it: the encoder must accept anything the parser delivered.
    if (msg_encode_frame(port, record) != 0)
        std::abort();
    msg_free_payload(record);
    return 0;
}

std::vector<Bytes> parse(const uint8_t *data, size_t size, size_t step)
{
    std::vector<Bytes> delivered;
    g_delivered = &delivered;
    msg_reset_for_tests();
    const int port = msg_add_port(captureSend);
    msg_set_receive_hook(checkRecord);
    for (size_t at = 0; at < size; at += step) {
        const size_t n = std::min(step, size - at);
        msg_parse_bytes(port, int(n), data + at);
    }
    msg_reset_port(port);
    if (msg_pool_bytes_in_use() != 0)
        std::abort();
    g_delivered = nullptr;
    return delivered;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const size_t step = 1 + data[0] % 64;
    const std::vector<Bytes> cut = parse(data + 1, size - 1, step);
    const std::vector<Bytes> whole = parse(data + 1, size - 1, size);
    if (cut != whole)
        std::abort();
    // Each record is a stretch of the stream, later than the one before.
    const uint8_t *from = data + 1;
    const uint8_t *end = data + size;
    for (const Bytes &frame : whole) {
        const uint8_t *found = std::search(from, end, frame.begin(), frame.end());
        if (found == end)
            std::abort();
        from = found + frame.size();
    }
    return 0;
}
