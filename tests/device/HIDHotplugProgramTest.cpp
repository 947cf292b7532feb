// The program against the emulated device, as the README's demonstration
// starts it. Real time: the first scan comes 2 s after start-up.

#include "ProgramRunner.h"

#include <gtest/gtest.h>

TEST(HotplugProgram, EmulatedT40ConnectsWithNameAndVersionAndTheProgramQuitsCleanly)
{
    ProgramRunner runner;
    QProcessEnvironment extra;
    extra.insert("VELORAN_EMULATE", "t40");
    const auto result = runner.run(6000, extra);
    const std::string output = result.output.toStdString();
    ASSERT_FALSE(result.crashed) << output;
    EXPECT_EQ(result.exitCode, 0) << output;
    EXPECT_TRUE(result.output.contains("HIDDevice 连接成功: emu/T40/if0")) << output;
    EXPECT_TRUE(result.output.contains("设备名: Veloran T40")) << output;
    EXPECT_TRUE(result.output.contains("版本: V1.05")) << output;
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
