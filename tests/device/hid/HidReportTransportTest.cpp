#include "device/hid/HidReportTransport.h"

#include <gtest/gtest.h>

#include <numeric>
#include <random>

namespace {

std::vector<uint8_t> sequence(size_t length, uint8_t first = 1)
{
    std::vector<uint8_t> bytes(length);
    std::iota(bytes.begin(), bytes.end(), first);
    return bytes;
}

// The device's side of the wire, written independently of the code under
// test: what the firmware gets from an output report, and the input report
// it answers with (fixed size, zero padded).
std::vector<uint8_t> chunkSeenByDevice(HidReportLayout layout, const std::vector<uint8_t> &report)
{
    switch (layout) {
    case HidReportLayout::R7:
        return {report.begin() + 2, report.begin() + 2 + report[1]};
    case HidReportLayout::ReportId0:
        return {report.begin() + 1, report.end()};
    case HidReportLayout::Bare:
        break;
    }
    return report;
}

std::vector<uint8_t> inputReportFromDevice(HidReportLayout layout, const std::vector<uint8_t> &chunk)
{
    const bool r7 = layout == HidReportLayout::R7;
    std::vector<uint8_t> report(r7 ? 62 : 64, 0x00);
    if (r7) {
        report[0] = 0x01;
        report[1] = static_cast<uint8_t>(chunk.size());
    }
    std::copy(chunk.begin(), chunk.end(), report.begin() + (r7 ? 4 : 0));
    return report;
}

// A frame that fits goes out as one report: the layout's head, then the frame.
void expectOneReport(HidReportLayout layout, size_t frameBytes, const std::vector<uint8_t> &head)
{
    const auto frame = sequence(frameBytes);
    std::vector<uint8_t> expected = head;
    expected.insert(expected.end(), frame.begin(), frame.end());
    const auto reports = frameToReports(layout, frame);
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], expected);
}

} // namespace

TEST(HidReportLayoutChoice, ByProductId)
{
    EXPECT_EQ(hidReportLayoutFor(0x9829), HidReportLayout::R7);
    EXPECT_EQ(hidReportLayoutFor(0x000D), HidReportLayout::ReportId0);
    EXPECT_EQ(hidReportLayoutFor(0x000E), HidReportLayout::ReportId0);
    EXPECT_EQ(hidReportLayoutFor(0x0820), HidReportLayout::Bare);
    EXPECT_EQ(hidReportLayoutFor(0), HidReportLayout::Bare);
}

TEST(HidReportWrapping, T40AndU20CarryUpTo64FrameBytesAfterReportIdZero)
{
    expectOneReport(HidReportLayout::ReportId0, 64, {0x00});

    auto reports = frameToReports(HidReportLayout::ReportId0, sequence(65));
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0].size(), 65u);
    EXPECT_EQ(reports[1], (std::vector<uint8_t>{0x00, 65}));

    // 500 payload bytes + 17 frame bytes.
    reports = frameToReports(HidReportLayout::ReportId0, sequence(517));
    ASSERT_EQ(reports.size(), 9u);
    for (const auto &report : reports)
        EXPECT_LE(report.size(), 65u);
    EXPECT_EQ(reports.back().size(), 1u + 517 - 8 * 64);
}

TEST(HidReportWrapping, R7CarriesLengthByteAndAtMost58Bytes)
{
    expectOneReport(HidReportLayout::R7, 58, {0x01, 0x3A});

    auto reports = frameToReports(HidReportLayout::R7, sequence(59));
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[1], (std::vector<uint8_t>{0x01, 0x01, 59}));
}

TEST(HidReportWrapping, OtherProductsGetBareChunksAndEmptyFramesNothing)
{
    const auto reports = frameToReports(HidReportLayout::Bare, sequence(70));
    ASSERT_EQ(reports.size(), 2u);
    EXPECT_EQ(reports[0], sequence(64));
    EXPECT_EQ(reports[1], sequence(6, 65));
    for (auto layout : {HidReportLayout::R7, HidReportLayout::ReportId0, HidReportLayout::Bare})
        EXPECT_TRUE(frameToReports(layout, {}).empty());
}

TEST(HidReportUnwrapping, R7DropsFourHeadBytesOthersPassWhole)
{
    const std::vector<uint8_t> report{1, 2, 3, 4, 0x55, 6};
    const auto r7 = reportToFrameBytes(HidReportLayout::R7, report);
    EXPECT_EQ(std::vector<uint8_t>(r7.begin(), r7.end()), (std::vector<uint8_t>{0x55, 6}));
    for (size_t length = 0; length <= 4; ++length)
        EXPECT_TRUE(reportToFrameBytes(HidReportLayout::R7, std::span(report).first(length)).empty());

    const auto t40 = reportToFrameBytes(HidReportLayout::ReportId0, report);
    EXPECT_EQ(std::vector<uint8_t>(t40.begin(), t40.end()), report);
    EXPECT_EQ(reportToFrameBytes(HidReportLayout::Bare, report).size(), report.size());
}

TEST(HidReportRoundTrip, RandomFramesComeBackThroughTheDevice)
{
    std::mt19937 random(20261209);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<size_t> length(1, 700);
    for (auto layout : {HidReportLayout::R7, HidReportLayout::ReportId0, HidReportLayout::Bare}) {
        for (int round = 0; round < 200; ++round) {
            std::vector<uint8_t> frame(length(random));
            for (auto &b : frame)
                b = static_cast<uint8_t>(byte(random));

            std::vector<uint8_t> received;
            for (const auto &report : frameToReports(layout, frame)) {
                const auto input = inputReportFromDevice(layout, chunkSeenByDevice(layout, report));
                const auto bytes = reportToFrameBytes(layout, input);
                received.insert(received.end(), bytes.begin(), bytes.end());
            }
            ASSERT_GE(received.size(), frame.size());
            ASSERT_TRUE(std::equal(frame.begin(), frame.end(), received.begin()))
                << "frame of " << frame.size() << " bytes";
            // Whatever follows is the padding of the last report.
            EXPECT_TRUE(std::all_of(received.begin() + frame.size(), received.end(), [](uint8_t b) { return b == 0; }));
        }
    }
}
