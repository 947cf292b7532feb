// Feeds hostile byte streams to the frame parser, cut into calls by the
// first input byte, and checks that every delivered record is sound and
// that nothing is left in the arena.
#include "device/protocol/msg_frame.h"
#include "device/protocol/msg_pool.h"
#include "device/protocol/msg_runtime.h"

#include <cstdlib>

namespace {

int nullSend(int, int length, const uint8_t *frame)
{
    if (length < kMsgFrameOverhead || length > kMsgMaxPayload + kMsgFrameOverhead || frame[0] != kMsgStartByte)
        std::abort();
    return 0;
}

int checkRecord(int port, msg_record *record)
{
    if (record->length > kMsgMaxPayload || (record->length > 0) != (record->payload != nullptr) || record->type > 0x0F)
        std::abort();
    // Echo it: the encoder must accept anything the parser delivered.
    if (msg_encode_frame(port, record) != 0)
        std::abort();
    msg_free_payload(record);
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    msg_reset_for_test();
    const int port = msg_add_port(nullSend);
    msg_set_receive_hook(checkRecord);
    if (size == 0)
        return 0;
    const size_t step = 1 + data[0] % 64;
    for (size_t at = 1; at < size; at += step) {
        const size_t n = size - at < step ? size - at : step;
        msg_parse_bytes(port, int(n), data + at);
    }
    msg_reset_port(port);
    if (msg_pool_bytes_in_use() != 0)
        std::abort();
    return 0;
}
