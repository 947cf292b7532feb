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

// The root document starts an upgrade on the first complete connection; the
// emulated T40 pulls the file, reboots and comes back with the new version.
TEST(HotplugProgram, EmulatedT40UpgradesOnItsFirstCompleteConnection)
{
    ProgramRunner runner;
    const QString firmware = QDir(runner.tempDir()).filePath("firmware.bin");
    {
        const auto bytes = veloran::emu::makePullFirmwareFile(veloran::emu::Model::T40, 2, 0, 5000);
        QFile file(firmware);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size()));
    }
    QProcessEnvironment extra;
    extra.insert("VELORAN_EMULATE", "t40");
    extra.insert("VELORAN_ROOT_URL", runner.writeRootDocument("Upgrader.qml", QStringLiteral(R"(
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
    )").arg(firmware).toUtf8()));
    const auto result = runner.run(9000, extra);
    const std::string output = result.output.toStdString();
    ASSERT_FALSE(result.crashed) << output;
    EXPECT_EQ(result.exitCode, 0) << output;

    // Each step in its order: the start, every block asked for, the result,
    // the reboot, the new version.
    qsizetype at = 0;
    for (const char *step : {"upgrading from V1.05", "upgrade progress 0 可以升级", "data_address 0x81 : 0 ",
                             "data_address 0x81 : 4096 ", "升级进度 0x82 结果:0", "upgrade progress 100 升级成功",
                             "HIDDevice 断开连接: emu/T40/if0", "HIDDevice 连接成功: emu/T40/if0", "版本: V2.00"}) {
        const qsizetype found = result.output.indexOf(QString::fromUtf8(step), at);
        ASSERT_GE(found, 0) << "missing after the steps before it: " << step << "\n" << output;
        at = found;
    }
}
