// Hostile host traffic for the emulated microphone base: raw output reports
// of any shape, and well-formed frames with arbitrary ids, types and payloads.
// Frame faults (delays, duplicates, drops, bad checksums) and unplugs in the
// middle of a frame are mixed in. Whatever comes in, every input report the
// device makes fits the model's layout and carries frames within the payload
// limit, and no message handed to the device's handlers is longer than the
// model joins.
//
// The same traffic, and boot-loader reports made valid from it, also go to
// the boot loader: its replies are whole 64-byte reports and it changes no
// flash byte outside the range it erased.
#include "device/emulator/boot_loader_emulator.h"
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

// A flash small enough to compare whole after every report.
constexpr size_t kFlashBytes = 4096;

class BootLoaderProbe {
public:
    BootLoaderProbe() : m_flash(kFlashBytes), m_bootLoader(m_flash, kProductR7, {1, 2, 3}) {}

    void feed(const uint8_t* report, size_t length)
    {
        const std::vector<uint8_t> before = m_flash.contents();
        m_bootLoader.onOutputReport(report, length, [](const std::vector<uint8_t>& reply) {
            if (reply.size() != kUpgradeReportBytes || reply[0] != 0x01 || reply[1] > kUpgradeReportBytes - 2)
                std::abort();
        });
        const auto [from, to] = m_flash.erasedRange();
        const std::vector<uint8_t>& after = m_flash.contents();
        for (size_t i = 0; i < after.size(); ++i) {
            const uint32_t address = FirmwareFlash::kApplicationAddress + uint32_t(i);
            if (after[i] != before[i] && (address < from || address >= to))
                std::abort();
        }
    }

    // A command or data report with a valid checksum, shaped by the bytes.
    void feedValid(const uint8_t* bytes, size_t n)
    {
        if (n < 8)
            return;
        uint8_t report[kUpgradeReportBytes] = {0x01};
        static const char* const texts[] = {"cm_code", "cm_vcrc", "cm_upgd?isok", "cm_fnsh?isok", "cm_vsrc"};
        const unsigned kind = bytes[0] % 6;
        if (kind == 5) {
            // Data packet: number and count near the real ranges.
            report[1] = 'c';
            report[2] = 'm';
            report[3] = uint8_t(bytes[1] % 80);
            report[5] = uint8_t(bytes[2] % 80);
            for (size_t i = 7; i < 63; ++i)
                report[i] = bytes[i % n];
        } else {
            report[1] = 62;
            const char* text = texts[kind];
            size_t at = 3;
            for (; *text; ++text)
                report[at++] = uint8_t(*text);
            // Addresses around the application area, lengths around the flash.
            const uint32_t address = FirmwareFlash::kApplicationAddress + bytes[1] * 64u - 256u;
            const uint32_t length = uint32_t(bytes[2] | bytes[3] << 8) % (kFlashBytes + 512);
            const uint8_t params[] = {uint8_t(address), uint8_t(address >> 8), uint8_t(address >> 16),
                                      uint8_t(length),  uint8_t(length >> 8),  uint8_t(length >> 16),
                                      bytes[4],         bytes[5],              bytes[6], bytes[7]};
            for (size_t i = 0; i < sizeof params && at < 63; ++i)
                report[at++] = params[i];
        }
        unsigned sum = 0;
        for (size_t i = 2; i < 63; ++i)
            sum += report[i];
        report[63] = uint8_t(256 - (sum & 0xFF));
        feed(report, sizeof report);
    }

private:
    FirmwareFlash m_flash;
    BootLoaderEmulator m_bootLoader;
};

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
    BootLoaderProbe bootLoader;
    uint64_t now = 0;
    size_t i = 2;
    while (i < size) {
        const uint8_t op = data[i++];
        if (op == 0xFF) {  // let time pass
            now += 50;
            emu.step(now);
            continue;
        }
        if (op == 0xFD && i + 1 < size) {  // a frame fault
            const uint8_t a = data[i++];
            const uint8_t b = data[i++];
            FrameFault fault;
            fault.kind = FrameFault::Kind(a % 5);
            fault.messageId = (a & 0x08) ? int(kMsgLink) : FrameFault::kAny;
            fault.count = 1 + (a >> 4) % 4;
            fault.delayMs = uint32_t(b) * 4;
            emu.addFault(fault);
            continue;
        }
        if (op == 0xFC) {
            emu.unplugMidFrame();
            continue;
        }
        if (op == 0xFB) {
            emu.replug();
            decoder.reset();
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
            bootLoader.feed(data + i, n);
        }
        bootLoader.feedValid(data + i, n);
        i += n;
    }
    emu.step(now + 5000);
    for (const ReceivedMessage& r : emu.received())
        if (r.frame.payload.size() > config.maxMessageBytes)
            std::abort();
    return 0;
}
