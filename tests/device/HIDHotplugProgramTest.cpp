// The program against the emulated device, as the README's demonstration
// starts it. Real time: the first scan comes 2 s after start-up.

#include "ProgramRunner.h"

#include "device/emulator/firmware_image.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <vector>

TEST(HotplugProgram, EachEmulatedModelLogsInWithNameSerialAndVersionAndTheProgramQuitsCleanly)
{
    struct Case {
        const char *model;
        std::vector<QString> lines;
    };
    const Case cases[] = {
        {"t40",
         {"HIDDevice 连接成功: emu/T40/if0", "用户登录回调 from: 0 type: 0 VID:0x0002 PID:0x0101 CHID:0x0021",
          "设备名: Veloran T40", "SN: T40EMU0000001", "版本: V1.05"}},
        {"u20",
         {"HIDDevice 连接成功: emu/U20/if0", "用户登录回调 from: 0 type: 0 VID:0x0002 PID:0x0102 CHID:0x0022",
          "设备名: Veloran U20", "SN: U20EMU0000001", "版本: V1.02"}},
        {"r7",
         {"HIDDevice 连接成功: emu/R7/if0", "用户登录回调 from: 0 type: 0 VID:0x0003 PID:0x0201 CHID:0x0031",
          "设备名: Veloran R7", "SN: R7EMU00000001", "版本: V2.12"}},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.model);
        ProgramRunner runner;
        QProcessEnvironment extra;
        extra.insert("VELORAN_EMULATE", c.model);
        const auto result = runner.run(6000, extra);
        const std::string output = result.output.toStdString();
        ASSERT_FALSE(result.crashed) << output;
        EXPECT_EQ(result.exitCode, 0) << output;
        for (const QString &line : c.lines)
            EXPECT_TRUE(result.output.contains(line)) << line.toStdString() << "\n" << output;
    }
}

TEST(HotplugProgram, UnknownEmulatedModelFallsBackToRealDevices)
{
    ProgramRunner runner;
    QProcessEnvironment extra;
    extra.insert("VELORAN_EMULATE", "x99");
    const auto result = runner.run(500, extra);
    const std::string output = result.output.toStdString();
    ASSERT_FALSE(result.crashed) << output;
    EXPECT_EQ(result.exitCode, 0) << output;
    EXPECT_TRUE(result.output.contains("VELORAN_EMULATE: unknown model x99")) << output;
}

namespace {

// A root document that starts an upgrade with this file on the first
// complete connection and logs every report.
QByteArray upgraderDocument(const QString &firmware)
{
    return QStringLiteral(R"(
        import QtQuick
        import VeloranDeckHIDHotplug
        Window {
            property bool started: false
            Connections {
                target: HIDHotplugManager
                function onDeviceConnected(info, connected) {
                    if (started || !connected || !info.name || !info.sn || !info.version)
                        return
                    started = true
                    console.log("upgrading from", info.version)
                    HIDHotplugManager.upgradeFirmware("%1")
                }
                function onUpgradeFirmwareProgress(progress, message) {
                    console.log("upgrade progress", progress, message)
                }
            }
        }
    )").arg(firmware).toUtf8();
}

QString writeFirmware(const ProgramRunner &runner, const std::vector<uint8_t> &bytes)
{
    const QString path = QDir(runner.tempDir()).filePath("firmware.bin");
    QFile file(path);
    if (file.open(QIODevice::WriteOnly))
        file.write(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size()));
    return path;
}

// The program on this emulated model, with an upgrade to these bytes started
// on the first complete connection.
ProgramRunner::Result runUpgrade(const char *model, const std::vector<uint8_t> &firmware, int quitAfterMs)
{
    ProgramRunner runner;
    const QString path = writeFirmware(runner, firmware);
    QProcessEnvironment extra;
    extra.insert("VELORAN_EMULATE", model);
    extra.insert("VELORAN_ROOT_URL", runner.writeRootDocument("Upgrader.qml", upgraderDocument(path)));
    return runner.run(quitAfterMs, extra);
}

// Each step in its order.
void expectSteps(const QString &output, std::initializer_list<const char *> steps)
{
    qsizetype at = 0;
    for (const char *step : steps) {
        const qsizetype found = output.indexOf(QString::fromUtf8(step), at);
        ASSERT_GE(found, 0) << "missing after the steps before it: " << step << "\n" << output.toStdString();
        at = found;
    }
}

} // namespace

// The emulated T40 pulls the file, reboots and comes back with the new version.
TEST(HotplugProgram, EmulatedT40UpgradesOnItsFirstCompleteConnection)
{
    const auto result = runUpgrade("t40", veloran::emu::makePullFirmwareFile(veloran::emu::Model::T40, 2, 0, 5000), 9000);
    ASSERT_FALSE(result.crashed) << result.output.toStdString();
    EXPECT_EQ(result.exitCode, 0) << result.output.toStdString();
    expectSteps(result.output, {"upgrading from V1.05", "upgrade progress 0 可以升级", "data_address 0x81 : 0 ",
                                "data_address 0x81 : 4096 ", "升级进度 0x82 结果:0", "upgrade progress 100 升级成功",
                                "HIDDevice 断开连接: emu/T40/if0", "HIDDevice 连接成功: emu/T40/if0", "版本: V2.00"});
}

// The emulated R7 goes through its boot loader on the worker and comes back
// with the new version.
TEST(HotplugProgram, EmulatedR7UpgradesOnItsFirstCompleteConnection)
{
    const auto result = runUpgrade("r7", veloran::emu::makeFirmwareImage(veloran::emu::Model::R7, 3, 5, 3000), 14000);
    ASSERT_FALSE(result.crashed) << result.output.toStdString();
    EXPECT_EQ(result.exitCode, 0) << result.output.toStdString();
    expectSteps(result.output, {"upgrading from V2.12", "upgrade progress 0 开始HID升级...",
                                "upgrade progress 12 尝试切换至FlashBoot模式", "upgrade progress 20 设备已进入FlashBoot模式",
                                "upgrade progress 55 握手成功，擦除Flash", "upgrade progress 79 发送数据包 54/54",
                                "upgrade progress 100 升级成功", "版本: V3.05"});
    // The worker's own line, written on its thread.
    EXPECT_TRUE(result.output.contains(QString::fromUtf8("升级成功完成")));
}
