// A minimal host for driving the emulator in tests, built on the emulator's
// own codec: it wraps frames in the model's output reports and decodes what
// comes back.
#pragma once

#include "device/emulator/mic_base_emulator.h"

#include <algorithm>
#include <vector>

namespace veloran::emu::testing {

inline const NodeAddress kHost{1, 1, 28};

class HostSide {
public:
    explicit HostSide(MicBaseEmulator& emu) : m_emu(emu), m_model(emu.config().model)
    {
        emu.setReportSink([this](const std::vector<uint8_t>& r) { m_reports.push_back(r); });
    }

    // Output reports for one frame, cut like the program does.
    std::vector<std::vector<uint8_t>> outputReports(const Frame& f) const
    {
        const auto bytes = encodeFrame(f);
        const size_t chunk = m_model == Model::R7 ? 58 : 64;
        std::vector<std::vector<uint8_t>> out;
        for (size_t off = 0; off < bytes.size(); off += chunk) {
            const size_t n = std::min(chunk, bytes.size() - off);
            std::vector<uint8_t> r;
            if (m_model == Model::R7) {
                r = {0x01, uint8_t(n)};
            } else {
                r = {0x00};
            }
            r.insert(r.end(), bytes.begin() + std::ptrdiff_t(off), bytes.begin() + std::ptrdiff_t(off + n));
            out.push_back(std::move(r));
        }
        return out;
    }

    void sendFrame(const Frame& f)
    {
        for (const auto& r : outputReports(f))
            m_emu.onOutputReport(r.data(), r.size());
    }

    uint16_t request(uint16_t id, std::vector<uint8_t> payload, uint8_t type = kTypeRequest)
    {
        Frame f;
        f.type = type;
        f.sequence = ++m_sequence;
        f.source = kHost;
        f.destination = m_emu.config().address;
        f.messageId = id;
        f.payload = std::move(payload);
        sendFrame(f);
        return f.sequence;
    }

    // The host's link message to the device (as after it registered it).
    void link(uint16_t maxPayload = 500, uint8_t type = kTypeNotification)
    {
        Frame f;
        f.type = type;
        f.source = kHost;
        f.destination = m_emu.config().address;
        f.messageId = kMsgLink;
        f.payload = {0, uint8_t(maxPayload & 0xFF), uint8_t(maxPayload >> 8), 0, 0x01, 0x0A, 0, 0, 0, 0, 0, 0, 0x24};
        sendFrame(f);
    }

    // Frames decoded from every report received so far (reports consumed).
    std::vector<Frame> take()
    {
        std::vector<Frame> out;
        for (const auto& r : m_reports) {
            size_t skip = m_model == Model::R7 ? std::min<size_t>(4, r.size()) : 0;
            m_decoder.feed(r.data() + skip, r.size() - skip, out);
        }
        m_reports.clear();
        return out;
    }

    std::vector<Frame> takeId(uint16_t id)
    {
        std::vector<Frame> out;
        for (auto& f : take())
            if (f.messageId == id)
                out.push_back(std::move(f));
        return out;
    }

    std::vector<std::vector<uint8_t>>& reports() { return m_reports; }
    FrameDecoder& decoder() { return m_decoder; }

private:
    MicBaseEmulator& m_emu;
    Model m_model;
    uint16_t m_sequence = 0;
    std::vector<std::vector<uint8_t>> m_reports;
    FrameDecoder m_decoder;
};

}  // namespace veloran::emu::testing
