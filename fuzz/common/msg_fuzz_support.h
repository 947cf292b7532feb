#pragma once
// What the message-layer fuzz targets share: whole frames fed to a port, the
// protocol clock run forward, and a port wound down at the end of a run.
#include "device/protocol/msg_protocol.h"

#include <vector>

namespace msg_fuzz {

inline void feedFrame(int port, uint8_t type, uint16_t sequence, uint32_t source, uint32_t destination, uint16_t id,
                      const uint8_t *payload, uint16_t length)
{
    std::vector<uint8_t> f = {0x55, uint8_t(0x10 | (type & 0x0F)), uint8_t(length), uint8_t(length >> 8),
                              uint8_t(sequence), uint8_t(sequence >> 8)};
    for (uint32_t a : {source, destination}) {
        for (int i = 0; i < 4; ++i)
            f.push_back(uint8_t(a >> (8 * i)));
    }
    f.push_back(uint8_t(id));
    f.push_back(uint8_t(id >> 8));
    f.insert(f.end(), payload, payload + length);
    uint8_t sum = 0;
    for (uint8_t b : f)
        sum = uint8_t(sum + b);
    f.push_back(sum);
    msg_parse_bytes(port, int(f.size()), f.data());
}

inline void tickFor(int ms)
{
    for (int i = 0; i < ms; ++i) {
        msg_tick();
        msg_advance_clock(1);
    }
}

// Lets ms pass in ticks just past the node-expiry step, so that nodes age
// as with 1 ms ticks while a long pause costs a few dozen ticks, not thousands.
inline void tickCoarse(int ms)
{
    constexpr int kStepMs = int(kMsgExpiryStepMs) + 1;
    for (int passed = 0; passed < ms; passed += kStepMs) {
        msg_tick();
        msg_advance_clock(uint16_t(ms - passed < kStepMs ? ms - passed : kStepMs));
    }
}

// Forgets the port and lets whatever is still pending finish or time out,
// so the run can check that nothing is left behind. Each step is long enough
// for every pending request to be due: it is sent again or, out of tries,
// expires (one time-out a tick), so a few hundred steps end them all.
inline void windDownPort(int port)
{
    msg_forget_port_nodes(port);
    msg_reset_port(port);
    for (int i = 0; i < 4 * kMsgPendingEntries && msg_pending_count() > 0; ++i) {
        msg_tick();
        msg_advance_clock(uint16_t(kMsgRetransmitAfterMs + 1));
    }
}

} // namespace msg_fuzz
