// The boot-loader road end to end: HidUpgradeApi and hidProtocol against an
// emulated R7 unit on the emulated bus, on an accelerated clock shared with
// the emulator.
#include "emulated_r7.h"

#include "device/bootloader/HidUpgradeApi.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <functional>
#include <vector>

using namespace veloran::emu;

namespace {

constexpr quint16 kBoot = 0x0820;
constexpr size_t kImageBytes = 3000; // 54 packets

std::vector<int> collapsed(const std::vector<int> &values)
{
    std::vector<int> out;
    for (int v : values)
        if (out.empty() || out.back() != v)
            out.push_back(v);
    return out;
}

std::vector<int> steps(std::initializer_list<int> head, bool transfer, std::initializer_list<int> tail)
{
    std::vector<int> v(head);
    if (transfer)
        for (int p = 70; p <= 79; ++p)
            v.push_back(p);
    v.insert(v.end(), tail);
    return v;
}

struct UpgradeRun
{
    int result = -1;
    QString error;
    std::vector<int> progress;
    QStringList messages;
};

class bootloader_upgrade : public EmulatedR7
{
protected:
    void SetUp() override
    {
        EmulatedR7::SetUp();

        // An interface someone else holds open through the whole run.
        EmulatedHidDevice other;
        other.path = "emu/other/if0";
        other.vendorId = 0x1234;
        other.productId = 0x0001;
        EmulatedHidFirmware echo;
        echo.onOutputReport = [this](const uint8_t *data, size_t length) { bus.pushInput("emu/other/if0", data, length); };
        ASSERT_TRUE(bus.plug(other, echo));
        ASSERT_EQ(bus.init(), 0);
        otherHandle = bus.openPath("emu/other/if0");
        ASSERT_NE(otherHandle, nullptr);
        initsBefore = bus.initCount();
    }

    void TearDown() override
    {
        EmulatedR7::TearDown();
        bus.close(otherHandle);
        bus.exit();
    }

    QString writeFile(const std::vector<uint8_t> &bytes, const QString &name = QStringLiteral("fw.bin"))
    {
        const QString path = dir.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size()));
        return path;
    }

    UpgradeRun run(const QString &path)
    {
        UpgradeRun r;
        HidUpgradeApi api;
        api.setProgressCallback([&r](int percent, const QString &message) {
            r.progress.push_back(percent);
            r.messages << message;
        });
        r.result = api.runUpgrade(path, kVendor, kBoot);
        r.error = api.lastError();

        // The run gave back every reference it took, and hidapi still serves
        // the interface opened before it.
        EXPECT_EQ(bus.initCount(), initsBefore);
        EXPECT_FALSE(hidProtocol::instance()->isOpen());
        const uint8_t ping[] = {0x00, 0x5A};
        EXPECT_EQ(bus.write(otherHandle, ping, sizeof ping), 2);
        uint8_t back[8] = {};
        EXPECT_EQ(bus.readTimeout(otherHandle, back, sizeof back, 1000), 2);
        EXPECT_EQ(back[1], 0x5A);
        return r;
    }

    // Waits on the clock until the unit's mode is reached.
    bool waitForMode(MicBaseUnit::Mode mode, int64_t ms = 3000)
    {
        const int64_t deadline = clock.deadlineAfterMs(ms);
        while (clock.nowNs() < deadline) {
            if (unit.mode() == mode)
                return true;
            clock.sleepForMs(10);
        }
        return unit.mode() == mode;
    }

    bool restartSent() const
    {
        const auto log = unit.commandLog();
        return std::find(log.begin(), log.end(), "cm_rest?isok") != log.end();
    }

    QTemporaryDir dir;
    HidHandle *otherHandle = nullptr;
    int initsBefore = 0;
};

} // namespace

TEST_F(bootloader_upgrade, UpgradesTheRunningApplicationAndBootsTheNewImage)
{
    unit.plug();
    const std::vector<uint8_t> image = makeFirmwareImage(Model::R7, 3, 5, kImageBytes);
    const UpgradeRun r = run(writeFile(image));

    ASSERT_EQ(r.result, 0) << r.error.toStdString();
    EXPECT_TRUE(r.error.isEmpty());
    EXPECT_EQ(collapsed(r.progress), steps({0, 5, 12, 14, 18, 20, 35, 40, 45, 55}, true, {85, 95, 100}));
    EXPECT_EQ(r.messages.filter(QStringLiteral("发送数据包 ")).size(), 54);
    EXPECT_TRUE(r.messages.contains(QStringLiteral("发送数据包 54/54")));
    EXPECT_TRUE(r.messages.contains(QStringLiteral("FLASHBOOT 版本: 01-02-0A")));
    EXPECT_TRUE(r.messages.contains(QStringLiteral("发现设备 PID: 0x9829")));

    EXPECT_EQ(unit.readFlash(FirmwareFlash::kApplicationAddress, image.size()), image);
    ASSERT_TRUE(unit.announcedCrc() && unit.lastCheckedCrc());
    EXPECT_EQ(*unit.lastCheckedCrc(), *unit.announcedCrc());
    EXPECT_TRUE(r.messages.contains(
        QStringLiteral("固件加载完成: 大小=0xbb8, CRC=0x%1").arg(*unit.lastCheckedCrc(), 4, 16, QLatin1Char('0'))));

    ASSERT_TRUE(waitForMode(MicBaseUnit::Mode::Application));
    const auto found = bus.enumerate(kVendor, 0x9829);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0].releaseNumber, 0x0305);
    ASSERT_TRUE(unit.application());
    EXPECT_EQ(unit.application()->config().versionAnswer[9], 3);
    EXPECT_EQ(unit.application()->config().versionAnswer[10], 5);
}

TEST_F(bootloader_upgrade, StartsFromTheBootLoaderWhenNoApplicationRuns)
{
    unit.programFlash({}); // erased: only the boot loader can start
    unit.plug();
    ASSERT_EQ(unit.mode(), MicBaseUnit::Mode::BootLoader);
    const UpgradeRun r = run(writeFile(makeFirmwareImage(Model::R7, 3, 6, kImageBytes)));
    ASSERT_EQ(r.result, 0) << r.error.toStdString();
    EXPECT_EQ(collapsed(r.progress), steps({0, 5, 15, 35, 40, 45, 55}, true, {85, 95, 100}));
    EXPECT_FALSE(restartSent());
    ASSERT_TRUE(waitForMode(MicBaseUnit::Mode::Application));
    EXPECT_EQ(unit.applicationVersion(), std::make_pair(uint8_t(3), uint8_t(6)));
}

TEST_F(bootloader_upgrade, FaultsEndWithTheirResultAndNeverReachOneHundred)
{
    struct Case
    {
        const char *name;
        std::function<void(UnitOptions &, UnitFaults &)> fault;
        int result;
        QString error;
        MicBaseUnit::Mode after;
    };
    const QString noFlashBoot = QStringLiteral("设备不存在FlashBoot");
    const QString confirm = QStringLiteral("升级确认失败，错误ID[4-1]");
    const Case cases[] = {
        {"version FF FF FF", [](UnitOptions &o, UnitFaults &) { o.bootLoaderVersion = {0xFF, 0xFF, 0xFF}; }, 4,
         noFlashBoot, MicBaseUnit::Mode::Application},
        {"version reply of 8 bytes", [](UnitOptions &, UnitFaults &f) { f.shortVersionReply = true; }, 4,
         noFlashBoot, MicBaseUnit::Mode::Application},
        {"no boot loader within 5 s", [](UnitOptions &, UnitFaults &f) { f.ignoreRestart = true; }, 4,
         QStringLiteral("SDK跳转到FlashBoot失败"), MicBaseUnit::Mode::Application},
        {"wrong cm_vcrc echo", [](UnitOptions &, UnitFaults &f) { f.bootLoader.wrongVcrcEcho = true; }, 1,
         QStringLiteral("握手失败，错误ID[2-0]"), MicBaseUnit::Mode::BootLoader},
        {"packet dropped", [](UnitOptions &, UnitFaults &f) { f.bootLoader.dropPacket = 7; }, 1, confirm,
         MicBaseUnit::Mode::BootLoader},
        {"packet corrupted", [](UnitOptions &, UnitFaults &f) { f.bootLoader.corruptPacket = 54; }, 1, confirm,
         MicBaseUnit::Mode::BootLoader},
        {"power lost at a packet", [](UnitOptions &, UnitFaults &f) { f.bootLoader.powerLossAtPacket = 9; }, 1,
         QStringLiteral("发送固件数据失败 (包9/54)"), MicBaseUnit::Mode::Off},
        {"cm_vcrc answered twice", [](UnitOptions &, UnitFaults &f) { f.bootLoader.duplicateVcrcReply = true; }, 0,
         QString(), MicBaseUnit::Mode::Application},
        {"confirmation answered with a plain text", [](UnitOptions &, UnitFaults &f) { f.bootLoader.plainConfirmReply = true; },
         0, QString(), MicBaseUnit::Mode::Application},
        {"beacon crossing the commands", [](UnitOptions &, UnitFaults &f) { f.beaconCrossesCommand = true; }, 0,
         QString(), MicBaseUnit::Mode::Application},
    };
    const QString path = writeFile(makeFirmwareImage(Model::R7, 4, 1, kImageBytes));
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        unit.unplug();
        unit.programFlash(makeFirmwareImage(Model::R7, 2, 12, 4096));
        UnitOptions options;
        UnitFaults faults;
        c.fault(options, faults);
        unit.setOptions(options);
        unit.setFaults(faults);
        unit.plug();

        const UpgradeRun r = run(path);
        EXPECT_EQ(r.result, c.result);
        EXPECT_EQ(r.error, c.error);
        if (c.result != 0) {
            EXPECT_EQ(std::count(r.progress.begin(), r.progress.end(), 100), 0);
        } else {
            EXPECT_TRUE(waitForMode(MicBaseUnit::Mode::Application));
        }
        EXPECT_EQ(unit.mode(), c.after);
    }

    // After the power loss the unit comes back in its boot loader (the
    // application was erased) and a second run finishes the job.
    unit.unplug();
    unit.setFaults({});
    unit.setOptions({});
    unit.programFlash(makeFirmwareImage(Model::R7, 2, 12, 4096));
    unit.plug();
    UnitFaults powerLoss;
    powerLoss.bootLoader.powerLossAtPacket = 9;
    unit.setFaults(powerLoss);
    ASSERT_EQ(run(path).result, 1);
    unit.setFaults({});
    unit.plug();
    ASSERT_EQ(unit.mode(), MicBaseUnit::Mode::BootLoader);
    const UpgradeRun second = run(path);
    EXPECT_EQ(second.result, 0) << second.error.toStdString();
    EXPECT_EQ(collapsed(second.progress), steps({0, 5, 15, 35, 40, 45, 55}, true, {85, 95, 100}));
    ASSERT_TRUE(waitForMode(MicBaseUnit::Mode::Application));
    EXPECT_EQ(unit.applicationVersion(), std::make_pair(uint8_t(4), uint8_t(1)));
}

TEST_F(bootloader_upgrade, FilesOutsideTheSizeLimitsNeverSendTheDeviceToItsBootLoader)
{
    unit.plug();
    struct Case
    {
        QString name;
        std::vector<uint8_t> bytes;
        bool create;
        int result;
        QString error;
    };
    const QString missing = dir.filePath(QStringLiteral("missing.bin"));
    const Case cases[] = {
        {QStringLiteral("empty.bin"), {}, true, 3, QStringLiteral("固件文件大小异常: 0 Bytes")},
        {QStringLiteral("big.bin"), std::vector<uint8_t>(0x100001, 0xA5), true, 3,
         QStringLiteral("固件文件大小异常: 1048577 Bytes")},
        {QStringLiteral("missing.bin"), {}, false, 3, QStringLiteral("无法打开固件文件: %1").arg(missing)},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        const QString path = c.create ? writeFile(c.bytes, c.name) : missing;
        const UpgradeRun r = run(path);
        EXPECT_EQ(r.result, c.result);
        EXPECT_EQ(r.error, c.error);
        EXPECT_EQ(collapsed(r.progress), (std::vector<int>{0, 5}));
        EXPECT_FALSE(restartSent());
        EXPECT_EQ(unit.mode(), MicBaseUnit::Mode::Application);
    }

    // The largest accepted image loads and goes all the way.
    const std::vector<uint8_t> largest = makeFirmwareImage(Model::R7, 5, 0, 0x100000);
    const UpgradeRun r = run(writeFile(largest, QStringLiteral("largest.bin")));
    EXPECT_EQ(r.result, 0) << r.error.toStdString();
    EXPECT_TRUE(r.messages.contains(QStringLiteral("发送数据包 18725/18725")));
    EXPECT_EQ(unit.readFlash(FirmwareFlash::kApplicationAddress, largest.size()), largest);
}

TEST_F(bootloader_upgrade, NoDeviceOfTheVendorIsResultTwo)
{
    const UpgradeRun r = run(writeFile(makeFirmwareImage(Model::R7, 3, 5, kImageBytes)));
    EXPECT_EQ(r.result, 2);
    EXPECT_EQ(r.error, QStringLiteral("未找到指定VID的HID设备"));
    EXPECT_EQ(r.progress, std::vector<int>{0});
}

TEST_F(bootloader_upgrade, RawReportsFitTheFrameBuffer)
{
    unit.plug();
    hidProtocol *link = hidProtocol::instance();
    ASSERT_TRUE(link->openDevice(kVendor, 0x9829));
    EXPECT_EQ(link->linkState(), bootloader::stateOpened);
    EXPECT_EQ(bus.initCount(), initsBefore + 1);
    const std::vector<uint8_t> data(300, 0x11);
    EXPECT_EQ(link->writeRawReport(data.data(), 254), 256);
    EXPECT_EQ(link->writeRawReport(data.data(), 255), -1);
    EXPECT_EQ(link->writeRawReport(data.data(), 256), -1);
    link->closeDevice();
    EXPECT_EQ(link->linkState(), bootloader::stateClosed);
    EXPECT_EQ(bus.initCount(), initsBefore);
    EXPECT_FALSE(link->openDevice(kVendor, 0x7777));
    EXPECT_EQ(link->linkState(), bootloader::stateFinishedFail);
    EXPECT_EQ(bus.initCount(), initsBefore);
}
