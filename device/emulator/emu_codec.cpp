#include "device/emulator/emu_codec.h"

namespace veloran::emu {

namespace {

void putAddress(std::vector<uint8_t>& v, const NodeAddress& a)
{
    v.push_back(a.node);
    v.push_back(a.network);
    putU16(v, a.group);
}

NodeAddress readAddress(const uint8_t* p) { return {p[0], p[1], getU16(p + 2)}; }

}  // namespace

uint8_t additiveChecksum(const uint8_t* bytes, size_t count)
{
    unsigned sum = 0;
    for (size_t i = 0; i < count; ++i)
        sum += bytes[i];
    return uint8_t(sum & 0xFF);
}

bool encodeFrame(const Frame& frame, std::vector<uint8_t>& out)
{
    if (frame.payload.size() > kMaxPayloadBytes || frame.type > kTypeFragment)
        return false;
    const size_t start = out.size();
    out.reserve(start + frame.payload.size() + kFrameOverheadBytes);
    out.push_back(kFrameStart);
    out.push_back(uint8_t(0x10 | frame.type));
    putU16(out, uint16_t(frame.payload.size()));
    putU16(out, frame.sequence);
    putAddress(out, frame.source);
    putAddress(out, frame.destination);
    putU16(out, frame.messageId);
    out.insert(out.end(), frame.payload.begin(), frame.payload.end());
    out.push_back(additiveChecksum(out.data() + start, out.size() - start));
    return true;
}

std::vector<uint8_t> encodeFrame(const Frame& frame)
{
    std::vector<uint8_t> out;
    encodeFrame(frame, out);
    return out;
}

void FrameDecoder::reset()
{
    m_pos = 0;
    m_payloadBytes = 0;
    m_sum = 0;
    m_payload.clear();
}

void FrameDecoder::feed(const uint8_t* bytes, size_t count, std::vector<Frame>& out)
{
    if (bytes == nullptr)
        return;
    for (size_t i = 0; i < count; ++i)
        consume(bytes[i], out);
}

void FrameDecoder::consume(uint8_t b, std::vector<Frame>& out)
{
    if (m_pos == 1 && (b & 0xF0) != 0x10) {
        // Not a frame after all; the byte itself may start the next one.
        ++m_stats.badKind;
        reset();
    }
    if (m_pos == 0) {
        if (b != kFrameStart) {
            ++m_stats.skippedBytes;
            return;
        }
        m_header[0] = b;
        m_sum = b;
        m_pos = 1;
        return;
    }
    if (m_pos < kHeaderBytes) {
        m_header[m_pos++] = b;
        m_sum = uint8_t(m_sum + b);
        if (m_pos == kHeaderBytes) {
            m_payloadBytes = getU16(m_header + 2);
            if (m_payloadBytes > kMaxPayloadBytes) {
                // Resynchronise after the header, before any payload is kept.
                ++m_stats.overLength;
                reset();
                return;
            }
            m_payload.clear();
            m_payload.reserve(m_payloadBytes);
        }
        return;
    }
    if (m_pos < kHeaderBytes + m_payloadBytes) {
        m_payload.push_back(b);
        m_sum = uint8_t(m_sum + b);
        ++m_pos;
        return;
    }
    // Checksum byte.
    if (b != m_sum) {
        ++m_stats.badChecksum;
        reset();
        return;
    }
    Frame f;
    f.type = uint8_t(m_header[1] & 0x0F);
    f.sequence = getU16(m_header + 4);
    f.source = readAddress(m_header + 6);
    f.destination = readAddress(m_header + 10);
    f.messageId = getU16(m_header + 14);
    f.payload = std::move(m_payload);
    out.push_back(std::move(f));
    ++m_stats.frames;
    reset();
}

std::vector<Frame> splitIntoPieces(const Frame& message, size_t chunkBytes)
{
    std::vector<Frame> pieces;
    if (chunkBytes == 0)
        return pieces;
    const size_t total = message.payload.size();
    if (total <= chunkBytes) {
        pieces.push_back(message);
        return pieces;
    }
    uint16_t sequence = message.sequence;
    uint16_t sum = message.sequence;
    size_t offset = 0;
    while (total - offset > chunkBytes) {
        Frame piece = message;
        piece.type = kTypeFragment;
        sequence = uint16_t(sequence + 1);
        piece.sequence = sequence;
        sum = uint16_t(sum + sequence);
        piece.payload.assign(message.payload.begin() + std::ptrdiff_t(offset),
                             message.payload.begin() + std::ptrdiff_t(offset + chunkBytes));
        pieces.push_back(std::move(piece));
        offset += chunkBytes;
    }
    Frame last = message;
    last.sequence = sum;
    last.payload.assign(message.payload.begin() + std::ptrdiff_t(offset), message.payload.end());
    pieces.push_back(std::move(last));
    return pieces;
}

Reassembler::Outcome Reassembler::drop()
{
    m_dropping = true;
    m_buffer.clear();
    return Outcome::Dropped;
}

Reassembler::Outcome Reassembler::accept(const Frame& piece, Frame& out)
{
    if (piece.type == kTypeFragment) {
        if (m_active && piece.messageId != m_messageId) {
            // Another message starts before this one ended: this one is lost.
            const bool wasDropping = m_dropping;
            reset();
            if (!wasDropping) {
                accept(piece, out);
                return Outcome::Dropped;
            }
        }
        if (!m_active) {
            m_active = true;
            m_firstSequence = uint16_t(piece.sequence - 1);
            m_sequenceSum = m_firstSequence;
            m_messageId = piece.messageId;
            m_buffer.clear();
        }
        m_sequenceSum = uint16_t(m_sequenceSum + piece.sequence);
        if (m_dropping)
            return Outcome::Discarded;
        if (m_buffer.size() + piece.payload.size() > m_limitBytes)
            return drop();
        m_buffer.insert(m_buffer.end(), piece.payload.begin(), piece.payload.end());
        return Outcome::Pending;
    }
    if (!m_active) {
        out = piece;
        return Outcome::Passed;
    }
    if (m_dropping) {
        reset();
        return Outcome::Discarded;
    }
    const bool fits = m_buffer.size() + piece.payload.size() <= m_limitBytes;
    if (piece.sequence != m_sequenceSum || piece.messageId != m_messageId || !fits) {
        reset();
        return Outcome::Dropped;
    }
    out = piece;
    out.sequence = m_firstSequence;
    out.payload = std::move(m_buffer);
    out.payload.insert(out.payload.end(), piece.payload.begin(), piece.payload.end());
    reset();
    return Outcome::Complete;
}

}  // namespace veloran::emu
