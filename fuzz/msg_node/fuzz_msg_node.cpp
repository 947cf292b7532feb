// Hostile peers against the node layer: link messages with any contents,
// fragments in any order and length, collisions, forgotten ports and clock
// jumps. Handlers check what they get; the arena must end empty.
#include "device/protocol/msg_protocol.h"
#include "fuzz/common/msg_fuzz_support.h"

#include <cstdlib>
#include <vector>

namespace {

using msg_fuzz::feedFrame;
using msg_fuzz::tickFor;

struct Input {
    const uint8_t *data;
    size_t size;
    size_t at = 0;
    bool empty() const { return at >= size; }
    uint8_t byte() { return at < size ? data[at++] : 0; }
    uint16_t u16() { return uint16_t(byte() | (byte() << 8)); }
};

int checkFrame(int, int length, const uint8_t *frame)
{
    if (length < kMsgFrameOverhead || length > kMsgMaxPayload + kMsgFrameOverhead)
        std::abort();
    volatile uint8_t sink = frame[length - 1];
    (void)sink;
    return 0;
}

int checkMessage(int, msg_record *r)
{
    if (r->length > kMsgMaxPayload || (r->length > 0 && !r->payload))
        std::abort();
    uint8_t sum = 0;
    for (int i = 0; i < r->length; ++i)
        sum = uint8_t(sum + r->payload[i]);
    volatile uint8_t sink = sum;
    (void)sink;
    return 0;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    msg_reset_for_tests();
    const int port = msg_add_port(checkFrame);
    msg_register_handler(0x7000, checkMessage, checkMessage);
    msg_register_handler(0x7001, checkMessage, checkMessage);
    Input in{data, size};
    std::vector<uint8_t> payload;
    int ops = 0;
    while (!in.empty() && ++ops < 400) {
        const uint8_t op = in.byte() % 6;
        const uint32_t node = msg_make_address(in.byte() % 8, 1, 28);
        switch (op) {
        case 0: { // link message from a node (maybe our own address)
            const uint8_t type = in.byte() % 4;
            const uint16_t length = in.byte() % 16;
            payload.assign(length, 0);
            for (auto &b : payload)
                b = in.byte();
            const uint32_t from = node == msg_make_address(0, 1, 28) ? msg_self_address() : node;
            feedFrame(port, type, in.u16(), from, type == 0 ? msg_self_address() : 0, 0, payload.data(), length);
            break;
        }
        case 1: { // a message or fragment for the program, another node or everyone
            const uint8_t type = in.byte() % 4;
            const uint16_t sequence = in.u16();
            const uint16_t id = 0x7000 + in.byte() % 3;
            const uint16_t length = in.u16() % (kMsgMaxPayload + 1);
            const uint8_t route = in.byte() % 3;
            payload.assign(length, uint8_t(sequence));
            const uint32_t to = route == 0 ? msg_self_address() : route == 1 ? 0 : node;
            feedFrame(port, type, sequence, node, to, id, payload.data(), length);
            break;
        }
        case 2:
            msg_fuzz::tickCoarse(1 + in.byte() * 8);
            break;
        case 3: { // the program sends, possibly in fragments
            msg_record r{};
            r.type = in.byte() % 3;
            r.destination = (in.byte() & 1) ? node : 0;
            r.id = 0x7000;
            r.length = in.u16() % 1500;
            payload.assign(r.length, 0xA5);
            r.payload = r.length ? payload.data() : nullptr;
            msg_send(in.byte() & 7, &r);
            break;
        }
        case 4:
            msg_forget_port_nodes(port);
            msg_reset_port(port);
            break;
        default: { // raw bytes
            const uint8_t length = in.byte();
            payload.assign(length, 0);
            for (auto &b : payload)
                b = in.byte();
            msg_parse_bytes(port, length, payload.data());
            tickFor(1);
            break;
        }
        }
    }
    tickFor(3);
    msg_fuzz::windDownPort(port);
    if (msg_pool_bytes_in_use() != 0 || msg_pending_count() != 0)
        std::abort();
    return 0;
}
