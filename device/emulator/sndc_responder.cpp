#include "device/emulator/sndc_responder.h"

#include <algorithm>
#include <cstring>

namespace veloran::emu {

namespace {

constexpr uint8_t kMagic[5] = {0xAA, 'S', 'N', 'D', 'C'};
constexpr size_t kReportBytes = 64;

std::vector<uint8_t> pattern(size_t bytes, uint8_t seed)
{
    std::vector<uint8_t> v(bytes);
    for (size_t i = 0; i < bytes; ++i)
        v[i] = uint8_t(seed + i * 7);
    return v;
}

uint8_t complementOfSum(const std::vector<uint8_t>& bytes)
{
    unsigned sum = 0;
    for (uint8_t b : bytes)
        sum += b;
    return uint8_t(0x100 - (sum & 0xFF));
}

}  // namespace

SndcResponder::SndcResponder(uint32_t seed) : m_rng(seed)
{
    m_blocks[0x81] = pattern(88, 0x11);
    m_blocks[0x82] = pattern(32, 0x22);
    m_blocks[0x83] = pattern(36, 0x33);
    m_blocks[0x88] = pattern(104, 0x44);
    m_spkEq = {pattern(324, 0x55)};
    m_micEq = {pattern(324, 0x66)};
}

void SndcResponder::setEqRecords(bool speaker, std::vector<std::vector<uint8_t>> records)
{
    (speaker ? m_spkEq : m_micEq) = std::move(records);
}

bool SndcResponder::isRequest(const uint8_t* report, size_t length)
{
    if (report == nullptr || length < 13 || length > 256 || report[0] != 0x01)
        return false;
    // [0x01][payload + 6][magic][payload][checksum]
    return std::memcmp(report + 2, kMagic, sizeof kMagic) == 0 && size_t(report[1]) + 2 <= length &&
           report[1] >= 11;
}

std::vector<uint8_t> SndcResponder::answer(uint8_t group, uint8_t channel, uint8_t command) const
{
    if (group == 0x10) {
        if (m_blocks.count(command))
            return m_blocks.at(command);
        if (command == 0x84 || command == 0x86)
            return {uint8_t((command == 0x84 ? m_spkEq : m_micEq).size())};
        if (command == 0x85 || command == 0x87) {
            const auto& records = command == 0x85 ? m_spkEq : m_micEq;
            if (channel < records.size())
                return records[channel];
        }
    }
    if (group == 0x00 && command == 0x85)
        return {'R', '7', 'E', 'M', 'U', '0', '0', '1'};
    return {0x00};  // status: done
}

bool SndcResponder::onOutputReport(const uint8_t* report, size_t length, const ReportSink& sink)
{
    if (!isRequest(report, length))
        return false;
    const size_t frameBytes = size_t(report[1]) + 2;
    m_frames.emplace_back(report, report + frameBytes);
    // Payload: bytes 7 .. frame end - 1.
    const std::vector<uint8_t> payload(report + 7, report + frameBytes - 1);
    m_requests.push_back(payload);
    if (m_faults.silent || payload.size() < 3)
        return true;
    sendReply(payload[0], payload[1], payload[2], answer(payload[0], payload[1], payload[2]), sink);
    return true;
}

void SndcResponder::sendReply(uint8_t group, uint8_t channel, uint8_t command, const std::vector<uint8_t>& data,
                              const ReportSink& sink)
{
    const size_t claimed = data.size() + (m_faults.lengthPastData ? 8 : 0);
    std::vector<uint8_t> reply(10 + data.size());
    std::memcpy(reply.data(), kMagic, sizeof kMagic);
    reply[5] = group;
    reply[6] = channel;
    reply[7] = uint8_t(command & 0x7F);
    reply[8] = uint8_t(claimed);
    reply[9] = uint8_t(claimed >> 8);
    std::copy(data.begin(), data.end(), reply.begin() + 10);
    reply.push_back(uint8_t(complementOfSum(reply) + (m_faults.badChecksum ? 1 : 0)));

    auto report = [&sink](const uint8_t* chunk, size_t n) {
        std::vector<uint8_t> r(kReportBytes, 0);
        r[0] = 0x01;
        r[1] = uint8_t(n);
        std::memcpy(r.data() + 2, chunk, n);
        sink(r);
    };
    if (m_faults.staleReportFirst) {
        // The tail of some earlier reply.
        const std::vector<uint8_t> stale = pattern(20, 0x5A);
        report(stale.data(), stale.size());
    }
    size_t at = 0;
    bool first = true;
    while (at < reply.size()) {
        size_t n = std::min(kMaxChunkBytes, reply.size() - at);
        if (first && m_faults.shortFirstChunk)
            n = std::min<size_t>(n, 1 + m_rng() % 10);
        else if (m_faults.splitAtRandom)
            n = first ? std::min(n, 11 + size_t(m_rng() % (kMaxChunkBytes - 10)))
                      : std::min(n, 1 + size_t(m_rng() % kMaxChunkBytes));
        report(reply.data() + at, n);
        at += n;
        first = false;
    }
}

}  // namespace veloran::emu
