#pragma once

// How frames of the device message protocol travel in HID reports, per
// model. Pure functions: no I/O, no state.

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

enum class HidReportLayout {
    R7,       // out: [0x01][chunk length][chunk <= 58]; in: 4 head bytes to drop
    ReportId0, // T40, U20: out: [0x00][chunk <= 64]; in: passed on whole
    Bare,     // any other product: out: [chunk <= 64]; in: passed on whole
};

constexpr uint16_t kProductIdR7 = 0x9829;
constexpr uint16_t kProductIdT40 = 0x000D;
constexpr uint16_t kProductIdU20 = 0x000E;

constexpr size_t kR7ChunkBytes = 58;
constexpr size_t kChunkBytes = 64;
constexpr size_t kR7InputHeadBytes = 4;

HidReportLayout hidReportLayoutFor(uint16_t productId);
size_t hidReportChunkBytes(HidReportLayout layout);

// The output reports that carry one encoded frame, in order. The last one
// carries only the remaining bytes (no padding). An empty frame gives none.
std::vector<std::vector<uint8_t>> frameToReports(HidReportLayout layout, std::span<const uint8_t> frame);

// The bytes of one input report that go to the frame parser (a view into
// the report). An R7 report of 4 bytes or fewer gives nothing.
std::span<const uint8_t> reportToFrameBytes(HidReportLayout layout, std::span<const uint8_t> report);
