// Dispatches messages of any id, type and payload from a registered device
// to the message modules. Payloads live in exactly-sized heap buffers, so
// any read past them is caught; callbacks read all the data they are given
// and check that it lies in the payload (or is a copy within its buffer);
// every answer must fit in one frame. The program asks the device for an
// attribute every tenth message; neither its requests nor its answers may
// ever be dropped from the transmit queue, whatever watches the device set.
#include "device/protocol/msg_protocol.h"
#include "fuzz/common/msg_fuzz_support.h"

#include <cstdlib>
#include <vector>

namespace {

using msg_fuzz::feedFrame;
using msg_fuzz::tickFor;

constexpr uint32_t kDevice = msg_make_address(5, 1, 28);
constexpr uint16_t kIds[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 11, 12, 13, 14, 15, 16, 17, 18, 19, 21, 22, 23, 24, 26, 30, 31, 32, 33, 34};

const uint8_t *g_payload = nullptr;
uint16_t g_length = 0;

void touch(const uint8_t *data, uint16_t length)
{
    volatile uint8_t sum = 0;
    for (uint16_t i = 0; i < length; ++i)
        sum = uint8_t(sum + data[i]);
}

void checkInPayload(const uint8_t *data, uint16_t length)
{
    if (!data)
        return;
    if (!g_payload || data < g_payload || data + length > g_payload + g_length)
        std::abort();
    touch(data, length);
}

void onName(const msg_reply_info *info, const uint8_t *data)
{
    if (info->length > kMsgNameBufferBytes || (data == nullptr) != (info->length == 0))
        std::abort();
    if (data)
        touch(data, info->length);
}

void onVersion(const msg_reply_info *info, const uint8_t *data)
{
    if (info->length > kMsgVersionBufferBytes || (data == nullptr) != (info->length == 0))
        std::abort();
    if (data)
        touch(data, info->length);
}

void onSerial(const msg_reply_info *info, const uint8_t *data) { checkInPayload(data, info->length); }
void onAttr(const msg_reply_info *info, uint8_t, const uint8_t *data) { checkInPayload(data, info->length); }

int checkFrame(int, int length, const uint8_t *frame)
{
    if (length < kMsgFrameOverhead || length > kMsgMaxPayload + kMsgFrameOverhead || (frame[1] & 0x0F) == kMsgTypeFragment)
        std::abort();
    return 0;
}

void onError(int code, int)
{
    if (code == kMsgErrEncodeTooLong || code == kMsgErrTransmitDropped)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    msg_reset_for_tests();
    msg_set_error_callback(onError);
    msg_set_name_callback(onName);
    msg_set_version_callback(onVersion);
    msg_set_serial_callback(onSerial);
    msg_set_attr_callback(onAttr);
    const int port = msg_add_port(checkFrame);
    const uint8_t link[] = {0, 0xF4, 0x01, 0, 0x01, 0x0A, 0, 0, 0, 0, 0, 0, 0x24};
    feedFrame(port, 2, 1, kDevice, 0, 0, link, sizeof link);
    tickFor(2);

    size_t at = 0;
    int messages = 0;
    while (at + 3 <= size && ++messages < 200) {
        const uint8_t type = data[at] & 0x03;
        const uint8_t pick = data[at + 1];
        const uint16_t id = pick < 2 * sizeof kIds / sizeof kIds[0] ? kIds[pick % (sizeof kIds / sizeof kIds[0])] : pick;
        uint16_t length = data[at + 2];
        at += 3;
        if (length > size - at)
            length = uint16_t(size - at);
        std::vector<uint8_t> payload(data + at, data + at + length);
        at += length;
        msg_record r{};
        r.start = kMsgStartByte;
        r.type = type;
        r.length = length;
        r.sequence = uint16_t(messages);
        r.source = kDevice;
        r.destination = msg_self_address();
        r.id = id;
        r.payload = length ? payload.data() : nullptr;
        g_payload = r.payload;
        g_length = length;
        msg_dispatch(port, &r);
        g_payload = nullptr;
        if (messages % 10 == 0)
            msg_attr_get(kDevice, 5);
        tickFor(1 + (pick & 0x0F));
    }
    tickFor(2);
    msg_fuzz::windDownPort(port);
    if (msg_pool_bytes_in_use() != 0)
        std::abort();
    return 0;
}
