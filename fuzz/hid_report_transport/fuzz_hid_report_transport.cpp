// Input reports come from the device; frames from the encoder. The first
// byte picks the model layout, the rest is used both as an input report and
// as a frame.
#include "device/hid/HidReportTransport.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size == 0)
        return 0;
    const HidReportLayout layouts[] = {HidReportLayout::R7, HidReportLayout::ReportId0, HidReportLayout::Bare};
    const HidReportLayout layout = layouts[data[0] % 3];
    const std::span<const uint8_t> bytes(data + 1, size - 1);

    const auto passed = reportToFrameBytes(layout, bytes);
    if (!passed.empty() && (passed.data() < bytes.data() || passed.data() + passed.size() > bytes.data() + bytes.size()))
        std::abort();

    const size_t head = layout == HidReportLayout::R7 ? 2 : layout == HidReportLayout::ReportId0 ? 1 : 0;
    size_t offset = 0;
    for (const auto &report : frameToReports(layout, bytes)) {
        if (report.size() <= head || report.size() - head > hidReportChunkBytes(layout))
            std::abort();
        for (size_t i = head; i < report.size(); ++i) {
            if (report[i] != bytes[offset++])
                std::abort();
        }
    }
    if (offset != bytes.size())
        std::abort();
    return 0;
}
