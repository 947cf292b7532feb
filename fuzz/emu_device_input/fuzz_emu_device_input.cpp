// Hostile host traffic for the emulated microphone base: raw output reports
// of any shape, and well-formed frames with arbitrary ids, types and payloads.
// Whatever comes in, every input report the device makes fits the model's
// layout and carries frames within the payload limit.
#include "device/emulator/mic_base_emulator.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

using namespace veloran::emu;

namespace {

void checkReport(Model model, const std::vector<uint8_t>& report, FrameDecoder& decoder)
{
    const ReportLayout layout = reportLayout(model);
    if (report.size() > layout.inputReportBytes || report.size() < layout.inputHeadBytes)
        std::abort();
    std::vector<Frame> frames;
    decoder.feed(report.data() + layout.inputHeadBytes, report.size() - layout.inputHeadBytes, frames);
    for (const Frame& f : frames)
        if (f.payload.size() > kMaxPayloadBytes)
            std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const Model model = Model(data[0] % 3);
    const bool structured = data[1] & 1;
    ModelConfig config = defaultConfig(model);
    config.maxPayloadBytes = uint16_t(64 + data[1]);  // the host may fragment to the device
    MicBaseEmulator emu(config);
    FrameDecoder decoder;
    emu.setReportSink([&](const std::vector<uint8_t>& r) { checkReport(model, r, decoder); });
    emu.setStreamFaults({.splitReports = bool(data[1] & 2), .packFrames = bool(data[1] & 4),
                         .garbageBetweenFrames = bool(data[1] & 8)});
    uint64_t now = 0;
    size_t i = 2;
    while (i < size) {
        const uint8_t op = data[i++];
        if (op == 0xFF) {  // let time pass
            now += 50;
            emu.step(now);
            continue;
        }
        if (op == 0xFE) {
            emu.changeAttribute(uint8_t(i < size ? data[i] : 0), {1});
            emu.floodNotifications(5, 3);
            emu.pressKnob();
            continue;
        }
        const size_t n = std::min<size_t>(op, size - i);
        if (structured && n >= 3) {
            Frame f;
            f.type = data[i] & 3;
            f.sequence = uint16_t(i);
            f.source = {1, 1, 28};
            f.destination = (data[i] & 4) ? NodeAddress{} : config.address;
            f.messageId = (data[i] & 8) ? uint16_t(0x8000 | data[i + 1]) : data[i + 1];
            f.payload.assign(data + i + 2, data + i + n);
            std::vector<uint8_t> bytes = encodeFrame(f);
            const size_t chunk = reportLayout(model).outputChunkBytes;
            for (size_t off = 0; off < bytes.size(); off += chunk) {
                const size_t c = std::min(chunk, bytes.size() - off);
                std::vector<uint8_t> report;
                if (model == Model::R7)
                    report = {0x01, uint8_t(c)};
                else
                    report = {0x00};
                report.insert(report.end(), bytes.begin() + std::ptrdiff_t(off), bytes.begin() + std::ptrdiff_t(off + c));
                emu.onOutputReport(report.data(), report.size());
            }
        } else {
            emu.onOutputReport(data + i, n);
        }
        i += n;
    }
    emu.step(now + 5000);
    return 0;
}
