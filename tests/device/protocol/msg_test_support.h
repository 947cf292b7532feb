// Shared helpers for the protocol tests: a capturing transport port, an
// error log and a frame builder. Every fixture starts from a clean core and
// checks that the arena is empty again afterwards.
#pragma once

#include "device/protocol/msg_core.h"
#include "device/protocol/msg_frame.h"
#include "device/protocol/msg_node.h"
#include "device/protocol/msg_pool.h"
#include "device/protocol/msg_runtime.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <tuple>
#include <utility>
#include <vector>

namespace msgtest {

using Bytes = std::vector<uint8_t>;

struct Sent {
    int port;
    Bytes frame;
};

inline std::vector<Sent> &sentFrames()
{
    static std::vector<Sent> frames;
    return frames;
}

inline std::vector<std::pair<int, int>> &errors()
{
    static std::vector<std::pair<int, int>> log;
    return log;
}

inline int captureSend(int port, int length, const uint8_t *frame)
{
    sentFrames().push_back({port, Bytes(frame, frame + length)});
    return length;
}

inline void captureError(int code, int id) { errors().push_back({code, id}); }

inline bool hasError(int code)
{
    for (const auto &e : errors()) {
        if (e.first == code)
            return true;
    }
    return false;
}

inline Bytes frameBytes(uint8_t type, uint16_t sequence, uint32_t source, uint32_t destination, uint16_t id,
                        const Bytes &payload)
{
    Bytes f;
    f.push_back(0x55);
    f.push_back(uint8_t(0x10 | type));
    f.push_back(uint8_t(payload.size()));
    f.push_back(uint8_t(payload.size() >> 8));
    f.push_back(uint8_t(sequence));
    f.push_back(uint8_t(sequence >> 8));
    for (uint32_t a : {source, destination}) {
        for (int i = 0; i < 4; ++i)
            f.push_back(uint8_t(a >> (8 * i)));
    }
    f.push_back(uint8_t(id));
    f.push_back(uint8_t(id >> 8));
    f.insert(f.end(), payload.begin(), payload.end());
    uint8_t sum = 0;
    for (uint8_t b : f)
        sum = uint8_t(sum + b);
    f.push_back(sum);
    return f;
}

// Decoded view of a sent frame (no checksum verification: tests compare bytes).
struct Frame {
    uint8_t type;
    uint16_t length;
    uint16_t sequence;
    uint32_t source;
    uint32_t destination;
    uint16_t id;
    Bytes payload;
};

inline Frame decode(const Bytes &f)
{
    auto u16 = [&](size_t at) { return uint16_t(f[at] | (f[at + 1] << 8)); };
    auto u32 = [&](size_t at) { return uint32_t(f[at] | (f[at + 1] << 8) | (f[at + 2] << 16) | (uint32_t(f[at + 3]) << 24)); };
    Frame d{uint8_t(f[1] & 0x0F), u16(2), u16(4), u32(6), u32(10), u16(14), {}};
    d.payload.assign(f.begin() + 16, f.begin() + 16 + d.length);
    return d;
}

class CoreFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        msg_reset_for_tests();
        sentFrames().clear();
        errors().clear();
        msg_set_error_callback(captureError);
    }
    void TearDown() override
    {
        releaseAll();
        EXPECT_EQ(msg_pool_bytes_in_use(), 0u) << "arena not empty after the test";
    }
    // Releases what the core still holds legitimately (half frames, queued
    // and pending messages) so that leaks show as bytes in use.
    static void releaseAll()
    {
        for (int port = 0; port < kMsgPortCount; ++port) {
            msg_forget_port_nodes(port);
            msg_reset_port(port);
        }
        for (int i = 0; i < 6000 && (msg_pending_count() > 0 || msg_receive_ring_count() > 0); ++i) {
            msg_tick();
            msg_advance_clock(1);
        }
    }
};

inline std::vector<std::tuple<int, int, uint32_t>> &logins()
{
    static std::vector<std::tuple<int, int, uint32_t>> log;
    return log;
}

inline void captureLogin(int from, int kind, uint32_t address) { logins().push_back({from, kind, address}); }

inline void tick(int milliseconds = 1)
{
    for (int i = 0; i < milliseconds; ++i) {
        msg_tick();
        msg_advance_clock(1);
    }
}

// The link payload a device sends: largest payload, rate, uptime, period code.
inline Bytes linkPayload(uint16_t maxPayload = 500, uint16_t rate = 0, uint32_t uptimeMs = 0, uint8_t periodCode = 0x24)
{
    Bytes p(13, 0);
    p[1] = uint8_t(maxPayload);
    p[2] = uint8_t(maxPayload >> 8);
    p[4] = 0x01;
    p[5] = 0x0A;
    for (int i = 0; i < 4; ++i)
        p[6 + i] = uint8_t(uptimeMs >> (8 * i));
    p[10] = uint8_t(rate);
    p[11] = uint8_t(rate >> 8);
    p[12] = periodCode;
    return p;
}

inline void inject(int port, const Bytes &frame) { msg_parse_bytes(port, int(frame.size()), frame.data()); }

// Sent frames with the given message id, decoded.
inline std::vector<Frame> sentWithId(uint16_t id)
{
    std::vector<Frame> out;
    for (const Sent &s : sentFrames()) {
        Frame f = decode(s.frame);
        if (f.id == id)
            out.push_back(f);
    }
    return out;
}

// Sends a message with this payload through the core, as the program's own
// callers fill the record.
inline int sendMessage(uint8_t flags, uint8_t type, uint32_t destination, uint16_t id, const Bytes &payload)
{
    msg_record r{};
    r.type = type;
    r.destination = destination;
    r.id = id;
    r.length = uint16_t(payload.size());
    r.payload = const_cast<uint8_t *>(payload.data());
    return msg_send(flags, &r);
}

// A fixture with one transport port and a registered device node.
class PeerFixture : public CoreFixture {
protected:
    static constexpr uint32_t kDevice = msg_make_address(5, 1, 28);
    void SetUp() override
    {
        CoreFixture::SetUp();
        logins().clear();
        msg_set_login_callback(captureLogin);
        port = msg_add_port(captureSend);
    }
    void linkUp(uint32_t device = kDevice, uint16_t maxPayload = 500, uint16_t rate = 0)
    {
        inject(port, frameBytes(kMsgTypeNotification, 1, device, 0, 0, linkPayload(maxPayload, rate)));
        tick();
        // The device answers the program's greeting (message 14).
        for (const Frame &f : sentWithId(14)) {
            if (f.destination == device)
                inject(port, frameBytes(kMsgTypeReply, f.sequence, device, msg_self_address(), 14, {0x00}));
        }
        tick();
        sentFrames().clear();
    }
    // A frame from the device to the program.
    void fromDevice(uint8_t type, uint16_t sequence, uint16_t id, const Bytes &payload, uint32_t device = kDevice)
    {
        inject(port, frameBytes(type, sequence, device, msg_self_address(), id, payload));
    }
    int port = 0;
};

} // namespace msgtest
