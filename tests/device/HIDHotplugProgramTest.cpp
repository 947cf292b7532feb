// The program against the emulated device, as the README's demonstration
// starts it. Real time: the first scan comes 2 s after start-up.

#include "ProgramRunner.h"

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
