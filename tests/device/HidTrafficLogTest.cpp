#include "device/HIDDevice.h"
#include "device/HidFrameTransport.h"
#include "device/HidTrafficLog.h"
#include "device/hid/EmulatedHidBus.h"

#include "LogCollector.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <functional>

namespace {

const QString kStamp = QStringLiteral(R"(\[\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2}\.\d{3}\] )");

QStringList linesOf(const QString &name)
{
    QFile file(QDir(HidTrafficLog::folder()).filePath(name));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

bool matches(const QString &line, const QString &pattern)
{
    return QRegularExpression(QRegularExpression::anchoredPattern(kStamp + pattern)).match(line).hasMatch();
}


class HidTrafficLogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        QCoreApplication::setOrganizationName(QStringLiteral("VeloranTests"));
        QCoreApplication::setApplicationName(QStringLiteral("HidTrafficLogTest"));
        QDir(HidTrafficLog::folder()).removeRecursively(); // also checks that it is made again
    }
    void TearDown() override { QDir(HidTrafficLog::folder()).removeRecursively(); }
};

} // namespace

TEST_F(HidTrafficLogTest, DataAndAttributeLinesHaveTheirFormats)
{
    HidTrafficLog::appendDataLog("000A0BFF", QStringLiteral("TX"));
    HidTrafficLog::appendDataLog("55AA", QStringLiteral("RX"));
    HidTrafficLog::appendAttributeLog(5, QByteArray("\x01\xff", 2), QStringLiteral("发送"));
    HidTrafficLog::appendAttributeLog(0x8006, QByteArray("\xaa\x55", 2), QStringLiteral("接收"));
    HidTrafficLog::appendAttributeLog(0xabc, QByteArray(), QStringLiteral("接收"));

    const QStringList data = linesOf("hid_data.log");
    ASSERT_EQ(data.size(), 2);
    EXPECT_TRUE(matches(data[0], R"(\[TX\] 000A0BFF)")) << data[0].toStdString();
    EXPECT_TRUE(matches(data[1], R"(\[RX\] 55AA)")) << data[1].toStdString();

    const QStringList attributes = linesOf("hid_attribute.log");
    ASSERT_EQ(attributes.size(), 3);
    EXPECT_TRUE(matches(attributes[0], QStringLiteral(R"(\[属性发送\] attID:0x0005 数据:01FF)")))
        << attributes[0].toStdString();
    EXPECT_TRUE(matches(attributes[1], QStringLiteral(R"(\[属性接收\] attID:0x8006 数据:AA55)")));
    EXPECT_TRUE(matches(attributes[2], QStringLiteral(R"(\[属性接收\] attID:0x0ABC 数据:)")));

    // Appended, never truncated.
    HidTrafficLog::appendDataLog("01", QStringLiteral("TX"));
    EXPECT_EQ(linesOf("hid_data.log").size(), 3);
}

TEST_F(HidTrafficLogTest, UnopenableLogCostsOnlyTheLine)
{
    QDir().mkpath(QDir(HidTrafficLog::folder()).filePath("hid_data.log")); // a folder in its place
    QStringList warnings;
    {
        const LogCollector log;
        HidTrafficLog::appendDataLog("01", QStringLiteral("TX"));
        warnings = LogCollector::texts(QtWarningMsg);
    }
    ASSERT_EQ(warnings.size(), 1);
    EXPECT_TRUE(warnings[0].startsWith("无法打开日志文件:"));
    HidTrafficLog::appendAttributeLog(1, QByteArray(1, 1), QStringLiteral("发送"));
    EXPECT_EQ(linesOf("hid_attribute.log").size(), 1);
}

TEST_F(HidTrafficLogTest, FramesGoOutAsLoggedReportsOfTheModel)
{
    EmulatedHidBus bus;
    QList<QByteArray> seen;
    EmulatedHidFirmware fw;
    fw.onOutputReport = [&](const uint8_t *data, size_t length) {
        seen.append(QByteArray(reinterpret_cast<const char *>(data), static_cast<qsizetype>(length)));
    };
    EmulatedHidDevice d;
    d.path = "t40";
    d.vendorId = 0x3A71;
    d.productId = 0x000D;
    d.usagePage = 0x8C;
    bus.plug(d, fw);
    HIDDevice device(bus);

    const QByteArray frame(65, '\x55');
    EXPECT_EQ(writeFrameReports(device, 0x000D, frame), -1); // nothing open
    EXPECT_TRUE(seen.isEmpty());
    EXPECT_TRUE(linesOf("hid_data.log").isEmpty());

    device.openDevices(0x3A71, 0x000D, 0x8C);
    EXPECT_EQ(writeFrameReports(device, 0x000D, frame), 1);
    ASSERT_EQ(seen.size(), 2);
    EXPECT_EQ(seen[0].size(), 65);
    EXPECT_EQ(seen[1], QByteArray("\x00\x55", 2));
    const QStringList lines = linesOf("hid_data.log");
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(matches(lines[0], "\\[TX\\] 00" + QString("55").repeated(64)));
    EXPECT_TRUE(matches(lines[1], R"(\[TX\] 0055)"));
}

TEST_F(HidTrafficLogTest, InputReportsAreLoggedAfterTheHeadIsDropped)
{
    EXPECT_EQ(frameBytesFromReport(0x9829, QByteArray("\x01\x02\x00\x00\x55\x10", 6)), QByteArray("\x55\x10", 2));
    EXPECT_TRUE(frameBytesFromReport(0x9829, QByteArray("\x01\x02\x00\x00", 4)).isEmpty());
    EXPECT_EQ(frameBytesFromReport(0x000E, QByteArray("\x55\x10", 2)), QByteArray("\x55\x10", 2));
    const QStringList lines = linesOf("hid_data.log");
    ASSERT_EQ(lines.size(), 3);
    EXPECT_TRUE(matches(lines[0], R"(\[RX\] 5510)"));
    EXPECT_TRUE(matches(lines[1], R"(\[RX\] )")); // an RX line with no hex
    EXPECT_TRUE(matches(lines[2], R"(\[RX\] 5510)"));
}

// A long session's traffic costs at most the current and the previous file:
// each rollover keeps the full file whole as the previous one and drops only
// the one before it.
TEST_F(HidTrafficLogTest, LogsRollOverKeepingOnlyThePreviousFile)
{
    struct Case {
        const char *name;
        std::function<void(int)> append; // writes line i of about 64 KiB
        QString numbered; // a line after its time stamp up to its fixed ending, its number captured
        int base;
        QString ending;
    };
    const QByteArray filler(64 * 1024 - 8, 'A');
    const QByteArray payload(32 * 1024, '\xAB');
    const Case cases[] = {
        {"hid_data.log",
         [&](int i) { HidTrafficLog::appendDataLog(QByteArray::number(i).rightJustified(8, '0') + filler, "RX"); },
         R"(\[RX\] (\d{8}))", 10, QString::fromLatin1(filler)},
        {"hid_attribute.log",
         [&](int i) { HidTrafficLog::appendAttributeLog(quint16(i), payload, QStringLiteral("接收")); },
         QStringLiteral(R"(\[属性接收\] attID:0x([0-9A-F]{4}) 数据:)"), 16,
         QString::fromLatin1(payload.toHex().toUpper())},
    };
    const QDir folder(HidTrafficLog::folder());
    const auto size = [&](const QString &name) { return QFileInfo(folder.filePath(name)).size(); };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString live = QString::fromLatin1(c.name);
        const QString previous = live + ".1";
        const QRegularExpression numbered(QRegularExpression::anchoredPattern(kStamp + c.numbered));
        const auto numbers = [&](const QString &name) { // -1 for a line that is not whole
            QList<int> numbers;
            for (const QString &line : linesOf(name)) {
                const QRegularExpressionMatch match = numbered.match(line.chopped(c.ending.size()));
                numbers.append(line.endsWith(c.ending) && match.hasMatch() ? match.captured(1).toInt(nullptr, c.base)
                                                                          : -1);
            }
            return numbers;
        };

        QList<int> current, before; // the lines the live and the previous file should hold
        int rollovers = 0;
        for (int i = 0; i < 20 * 16; ++i) { // 20 MiB
            SCOPED_TRACE(i);
            const qint64 sizeBefore = size(live);
            c.append(i);
            const qint64 sizeAfter = size(live);
            ASSERT_LE(sizeAfter, HidTrafficLog::kMaxFileBytes);
            ASSERT_LE(size(previous), HidTrafficLog::kMaxFileBytes);
            if (sizeAfter > sizeBefore) { // appended
                current.append(i);
                continue;
            }
            // Rolled over: the full file is the previous one, whole, and the line starts the live one.
            ++rollovers;
            ASSERT_GT(sizeBefore + sizeAfter, HidTrafficLog::kMaxFileBytes) << "a file rolled over before it was full";
            ASSERT_EQ(numbers(previous), current);
            ASSERT_EQ(numbers(live), QList<int>{i});
            before = current;
            current = {i};
        }
        EXPECT_EQ(rollovers, 2);
        EXPECT_EQ(numbers(previous), before);
        EXPECT_EQ(numbers(live), current);
        EXPECT_EQ(folder.entryList({live + "*"}, QDir::Files), QStringList({live, previous}));
    }
}
