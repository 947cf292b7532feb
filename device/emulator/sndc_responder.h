// The R7 application's answers to the boot-loader link's "SNDC" requests:
// link steps, the audio parameter blocks (its defaults or a test's values),
// EQ counts and records by index, and a status answer to every command of the
// family. Replies go out as input reports [0x01][n][chunk] of 64 bytes, each
// chunk at most 62 bytes and the first above 10. Every request is logged.
//
// Its own codec, written from the frame layout alone. Not thread-safe: the
// unit serialises every call.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <random>
#include <vector>

namespace veloran::emu {

struct SndcFaults {
    bool silent = false;           // requests are taken, nothing is answered
    bool splitAtRandom = false;    // replies cut at random points (the first chunk still above 10)
    bool staleReportFirst = false; // a leftover report ahead of every reply
    bool shortFirstChunk = false;  // the first chunk of a reply holds 10 bytes or fewer
    bool badChecksum = false;      // the checksum byte is off by one
    bool lengthPastData = false;   // the length field claims 8 bytes more than are sent
};

class SndcResponder {
public:
    using ReportSink = std::function<void(const std::vector<uint8_t>& report)>;
    static constexpr size_t kMaxChunkBytes = 62;

    explicit SndcResponder(uint32_t seed = 1);

    // An output report carrying a request: id 1, its length byte, the magic
    // AA "SNDC" at bytes 2..6 and the whole frame inside the report.
    static bool isRequest(const uint8_t* report, size_t length);
    // Answers one request (false, nothing sent, for anything else).
    bool onOutputReport(const uint8_t* report, size_t length, const ReportSink& sink);

    void setFaults(const SndcFaults& faults) { m_faults = faults; }
    // Data of a parameter block by its request command (0x81 ADC, 0x82 DAC,
    // 0x83 I2S, 0x88 algorithm).
    void setBlock(uint8_t command, std::vector<uint8_t> data) { m_blocks[command] = std::move(data); }
    const std::vector<uint8_t>& block(uint8_t command) const { return m_blocks.at(command); }
    // EQ records (their count is the size); records may be shorter than 324.
    void setEqRecords(bool speaker, std::vector<std::vector<uint8_t>> records);
    const std::vector<std::vector<uint8_t>>& eqRecords(bool speaker) const { return speaker ? m_spkEq : m_micEq; }

    // Every request taken, from its group byte to its last data byte.
    const std::vector<std::vector<uint8_t>>& requests() const { return m_requests; }
    // Whole frames as received, checksum included.
    const std::vector<std::vector<uint8_t>>& frames() const { return m_frames; }

private:
    std::vector<uint8_t> answer(uint8_t group, uint8_t channel, uint8_t command) const;
    void sendReply(uint8_t group, uint8_t channel, uint8_t command, const std::vector<uint8_t>& data,
                   const ReportSink& sink);

    SndcFaults m_faults;
    std::mt19937 m_rng;
    std::map<uint8_t, std::vector<uint8_t>> m_blocks;
    std::vector<std::vector<uint8_t>> m_spkEq, m_micEq;
    std::vector<std::vector<uint8_t>> m_requests, m_frames;
};

}  // namespace veloran::emu
