#include "device/HidFrameTransport.h"

#include "device/HIDDevice.h"
#include "device/HidTrafficLog.h"
#include "device/hid/HidReportTransport.h"

namespace {

std::span<const uint8_t> bytesOf(const QByteArray &data)
{
    return {reinterpret_cast<const uint8_t *>(data.constData()), static_cast<size_t>(data.size())};
}

} // namespace

int writeFrameReports(HIDDevice &device, quint16 productId, const QByteArray &frame)
{
    if (!device.hasDevices())
        return -1;
    for (const auto &report : frameToReports(hidReportLayoutFor(productId), bytesOf(frame))) {
        const QByteArray bytes(reinterpret_cast<const char *>(report.data()), static_cast<qsizetype>(report.size()));
        device.writeAll(bytes);
        HidTrafficLog::appendDataLog(bytes.toHex().toUpper(), QStringLiteral("TX"));
    }
    return 1;
}

QByteArray frameBytesFromReport(quint16 productId, const QByteArray &report)
{
    const auto passed = reportToFrameBytes(hidReportLayoutFor(productId), bytesOf(report));
    QByteArray bytes(reinterpret_cast<const char *>(passed.data()), static_cast<qsizetype>(passed.size()));
    HidTrafficLog::appendDataLog(bytes.toHex().toUpper(), QStringLiteral("RX"));
    return bytes;
}
