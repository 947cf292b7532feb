#include "device/hid/HidReportTransport.h"

#include <algorithm>

HidReportLayout hidReportLayoutFor(uint16_t productId)
{
    switch (productId) {
    case kProductIdR7:
        return HidReportLayout::R7;
    case kProductIdT40:
    case kProductIdU20:
        return HidReportLayout::ReportId0;
    default:
        return HidReportLayout::Bare;
    }
}

size_t hidReportChunkBytes(HidReportLayout layout)
{
    return layout == HidReportLayout::R7 ? kR7ChunkBytes : kChunkBytes;
}

std::vector<std::vector<uint8_t>> frameToReports(HidReportLayout layout, std::span<const uint8_t> frame)
{
    const size_t chunkBytes = hidReportChunkBytes(layout);
    std::vector<std::vector<uint8_t>> reports;
    reports.reserve((frame.size() + chunkBytes - 1) / chunkBytes);
    for (size_t offset = 0; offset < frame.size(); offset += chunkBytes) {
        const auto chunk = frame.subspan(offset, std::min(chunkBytes, frame.size() - offset));
        std::vector<uint8_t> report;
        report.reserve(chunk.size() + 2);
        if (layout == HidReportLayout::R7) {
            report.push_back(0x01);
            report.push_back(static_cast<uint8_t>(chunk.size()));
        } else if (layout == HidReportLayout::ReportId0) {
            report.push_back(0x00);
        }
        report.insert(report.end(), chunk.begin(), chunk.end());
        reports.push_back(std::move(report));
    }
    return reports;
}

std::span<const uint8_t> reportToFrameBytes(HidReportLayout layout, std::span<const uint8_t> report)
{
    if (layout != HidReportLayout::R7)
        return report;
    if (report.size() <= kR7InputHeadBytes)
        return {};
    return report.subspan(kR7InputHeadBytes);
}
