// The emulator's own codec for the device message frame, its fragments and
// node addresses. It is written from the wire format alone and shares no code
// with device/protocol, so that a fault in one cannot hide in the other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace veloran::emu {

inline constexpr uint8_t kFrameStart = 0x55;
inline constexpr size_t kHeaderBytes = 16;
inline constexpr size_t kFrameOverheadBytes = 17;  // header + checksum
inline constexpr size_t kMaxPayloadBytes = 500;

enum FrameType : uint8_t {
    kTypeRequest = 0,
    kTypeReply = 1,
    kTypeNotification = 2,
    kTypeFragment = 3,
};

struct NodeAddress {
    uint8_t node = 0;
    uint8_t network = 0;
    uint16_t group = 0;

    // Node number in the low byte, as the program keeps it.
    uint32_t packed() const { return node | (uint32_t(network) << 8) | (uint32_t(group) << 16); }
    static NodeAddress fromPacked(uint32_t v)
    {
        return {uint8_t(v & 0xFF), uint8_t((v >> 8) & 0xFF), uint16_t(v >> 16)};
    }
    bool isBroadcast() const { return network == 0 && group == 0; }
    friend bool operator==(const NodeAddress&, const NodeAddress&) = default;
};

struct Frame {
    uint8_t type = kTypeRequest;  // 0..3
    uint16_t sequence = 0;
    NodeAddress source;
    NodeAddress destination;
    uint16_t messageId = 0;
    std::vector<uint8_t> payload;
    friend bool operator==(const Frame&, const Frame&) = default;
};

uint8_t additiveChecksum(const uint8_t* bytes, size_t count);

// Appends the frame's wire bytes to out. Refuses (false, nothing appended) a
// payload above 500 bytes or a type above 3.
bool encodeFrame(const Frame& frame, std::vector<uint8_t>& out);
std::vector<uint8_t> encodeFrame(const Frame& frame);

// Byte-stream decoder for one stream. It keeps a partial frame between feeds,
// so the result never depends on where the stream was cut.
class FrameDecoder {
public:
    struct Stats {
        uint64_t frames = 0;
        uint64_t badChecksum = 0;
        uint64_t badKind = 0;      // second byte without 0x1 in its high nibble
        uint64_t overLength = 0;   // declared payload above 500
        uint64_t skippedBytes = 0; // bytes outside any frame
    };

    void feed(const uint8_t* bytes, size_t count, std::vector<Frame>& out);
    // Drops a partial frame (a new session must not join the old one).
    void reset();
    bool midFrame() const { return m_pos != 0; }
    const Stats& stats() const { return m_stats; }

private:
    void consume(uint8_t b, std::vector<Frame>& out);

    uint8_t m_header[kHeaderBytes] = {};
    size_t m_pos = 0;            // bytes of the current frame taken so far
    size_t m_payloadBytes = 0;   // declared payload length of the current frame
    uint8_t m_sum = 0;
    std::vector<uint8_t> m_payload;
    Stats m_stats;
};

// Cuts a message for a peer whose largest accepted payload is chunkBytes:
// fragments (type 3) of exactly a chunk with sequence numbers following the
// message's, then the remainder with the message's own type and, as sequence,
// the u16 sum of the message sequence and every fragment sequence.
std::vector<Frame> splitIntoPieces(const Frame& message, size_t chunkBytes);

// Joins the pieces that one peer sends, up to limitBytes of joined payload.
// A piece that breaks the sequence check or would grow the message past the
// limit drops the whole message: the pieces still to come of it are
// swallowed up to and including its last one, so no tail of it passes as a
// message of its own.
class Reassembler {
public:
    // Passed: a whole message that was not part of a reassembly (in 'out').
    // Complete: the joined message (in 'out', with the first sequence).
    // Dropped: the message this piece belongs to is lost (once per message).
    // Discarded: a later piece of a message already dropped.
    enum class Outcome { Pending, Complete, Dropped, Discarded, Passed };
    explicit Reassembler(size_t limitBytes = kMaxPayloadBytes) : m_limitBytes(limitBytes) {}
    Outcome accept(const Frame& piece, Frame& out);
    bool active() const { return m_active; }
    void reset()
    {
        m_active = false;
        m_dropping = false;
        m_buffer.clear();
    }

private:
    Outcome drop();

    size_t m_limitBytes;
    bool m_active = false;
    bool m_dropping = false;  // over the limit: the rest of the message is swallowed
    uint16_t m_firstSequence = 0;
    uint16_t m_sequenceSum = 0;
    uint16_t m_messageId = 0;
    std::vector<uint8_t> m_buffer;
};

// Little-endian helpers for payload building and reading.
inline void putU16(std::vector<uint8_t>& v, uint16_t x)
{
    v.push_back(uint8_t(x & 0xFF));
    v.push_back(uint8_t(x >> 8));
}
inline void putU32(std::vector<uint8_t>& v, uint32_t x)
{
    for (int i = 0; i < 4; ++i)
        v.push_back(uint8_t((x >> (8 * i)) & 0xFF));
}
inline uint16_t getU16(const uint8_t* p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t getU32(const uint8_t* p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

}  // namespace veloran::emu
