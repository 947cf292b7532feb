#include "driverclient/NUVEXAudio.h"
#include "driverclient/sim/SimVirtualDriver.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <vector>

namespace {

class NoDriverTest : public ::testing::Test {
protected:
    void SetUp() override { NUVEXControl_Install(nullptr); }
};

TEST_F(NoDriverTest, OpenReportsNotInstalledAndLeavesHandleNull)
{
    auto handle = reinterpret_cast<VadAudioHandle>(0x1234);
    EXPECT_EQ(VadAudio_Open(&handle), VAD_AUDIO_ERROR_DEVICE_NOT_FOUND);
    EXPECT_EQ(handle, nullptr);
}

TEST_F(NoDriverTest, OpenWithoutOutPointerIsBadArgument)
{
    EXPECT_EQ(VadAudio_Open(nullptr), VAD_AUDIO_ERROR_INVALID_PARAMETER);
}

// The handle is checked before every other argument.
TEST_F(NoDriverTest, InvalidHandleWinsOverNullArguments)
{
    EXPECT_EQ(VadAudio_Close(nullptr), VAD_AUDIO_ERROR_INVALID_HANDLE);
    EXPECT_EQ(VadAudio_GetFormat(nullptr, nullptr), VAD_AUDIO_ERROR_INVALID_HANDLE);
    EXPECT_EQ(VadAudio_SetFormat(nullptr, nullptr), VAD_AUDIO_ERROR_INVALID_HANDLE);
    EXPECT_EQ(VadAudio_Write(nullptr, nullptr, 8, nullptr), VAD_AUDIO_ERROR_INVALID_HANDLE);
    EXPECT_EQ(VadAudio_GetStatus(nullptr, nullptr), VAD_AUDIO_ERROR_INVALID_HANDLE);

    // A block that is not one of ours: the magic is wrong.
    alignas(std::max_align_t) std::array<uint8_t, 64> forged{};
    const uint32_t notMagic = kVadAudioMagic ^ 1u;
    std::memcpy(forged.data(), &notMagic, sizeof(notMagic));
    auto* handle = reinterpret_cast<VadAudioHandle>(forged.data());
    EXPECT_EQ(VadAudio_Close(handle), VAD_AUDIO_ERROR_INVALID_HANDLE);
    EXPECT_EQ(VadAudio_GetFormat(handle, nullptr), VAD_AUDIO_ERROR_INVALID_HANDLE);
    EXPECT_EQ(VadAudio_SetFormat(handle, nullptr), VAD_AUDIO_ERROR_INVALID_HANDLE);
    EXPECT_EQ(VadAudio_Write(handle, nullptr, 0, nullptr), VAD_AUDIO_ERROR_INVALID_HANDLE);
    EXPECT_EQ(VadAudio_GetStatus(handle, nullptr), VAD_AUDIO_ERROR_INVALID_HANDLE);
}

class DriverTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        driver.setRecordWrites(true);
        driver.install();
        ASSERT_EQ(VadAudio_Open(&handle), VAD_AUDIO_OK);
        ASSERT_NE(handle, nullptr);
    }
    void TearDown() override
    {
        if (handle != nullptr)
            VadAudio_Close(handle);
        driver.uninstall();
    }

    os::ManualClock clock;
    SimVirtualDriver driver{clock};
    VadAudioHandle handle = nullptr;
};

TEST_F(DriverTest, NullArgumentsAfterAValidHandle)
{
    int32_t reply = 0;
    const uint8_t data[4] = {};
    EXPECT_EQ(VadAudio_GetFormat(handle, nullptr), VAD_AUDIO_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(VadAudio_SetFormat(handle, nullptr), VAD_AUDIO_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(VadAudio_Write(handle, nullptr, 4, &reply), VAD_AUDIO_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(VadAudio_Write(handle, nullptr, 0, &reply), VAD_AUDIO_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(VadAudio_Write(handle, data, 4, nullptr), VAD_AUDIO_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(VadAudio_GetStatus(handle, nullptr), VAD_AUDIO_ERROR_INVALID_PARAMETER);
    EXPECT_EQ(driver.requestCount(IOCTL_VAD_AUDIO_WRITE), 0u);
}

TEST_F(DriverTest, CloseReleasesTheDevice)
{
    EXPECT_EQ(driver.openHandles(), 1);
    EXPECT_EQ(VadAudio_Close(handle), VAD_AUDIO_OK);
    handle = nullptr;
    EXPECT_EQ(driver.openHandles(), 0);
}

TEST_F(DriverTest, EveryOpenMakesANewHandle)
{
    VadAudioHandle second = nullptr;
    ASSERT_EQ(VadAudio_Open(&second), VAD_AUDIO_OK);
    EXPECT_NE(second, handle);
    EXPECT_EQ(driver.openHandles(), 2);
    EXPECT_EQ(VadAudio_Close(second), VAD_AUDIO_OK);
}

// Exactly the bytes of the record the program sends.
TEST_F(DriverTest, SetFormatPassesTheFortyByteRecordUnchanged)
{
    const std::array<uint8_t, 40> expected = {
        0xFE, 0xFF,             // extensible
        0x02, 0x00,             // 2 channels
        0x80, 0xBB, 0x00, 0x00, // 48000 Hz
        0x00, 0xDC, 0x05, 0x00, // 384000 bytes per second
        0x08, 0x00,             // block align 8
        0x20, 0x00,             // 32 bits
        0x16, 0x00,             // 22 bytes of extension
        0x20, 0x00,             // 32 valid bits
        0x03, 0x00, 0x00, 0x00, // front left, front right
        0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00, // integer PCM sub-format
        0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

    const WAVEFORMATEXTENSIBLE format = SimVirtualDriver::makeFormat(48000, 2, 32, false);
    ASSERT_EQ(std::memcmp(&format, expected.data(), expected.size()), 0);
    ASSERT_EQ(VadAudio_SetFormat(handle, &format), VAD_AUDIO_OK);

    const auto received = driver.formatsSet();
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(std::memcmp(&received[0], expected.data(), expected.size()), 0);
}

TEST_F(DriverTest, GetFormatReturnsTheDriversRecord)
{
    const auto wanted = SimVirtualDriver::makeFormat(44100, 2, 16, false);
    driver.setWantedFormat(wanted);
    WAVEFORMATEXTENSIBLE format;
    std::memset(&format, 0xAB, sizeof(format));
    ASSERT_EQ(VadAudio_GetFormat(handle, &format), VAD_AUDIO_OK);
    EXPECT_EQ(std::memcmp(&format, &wanted, sizeof(format)), 0);
}

TEST_F(DriverTest, ShortFormatAnswerLeavesTheRestZero)
{
    driver.setFormatAnswerBytes(sizeof(WAVEFORMATEX));
    WAVEFORMATEXTENSIBLE format;
    std::memset(&format, 0xAB, sizeof(format));
    ASSERT_EQ(VadAudio_GetFormat(handle, &format), VAD_AUDIO_OK);
    EXPECT_EQ(format.Format.nSamplesPerSec, 48000u);
    EXPECT_EQ(format.Samples.wValidBitsPerSample, 0);
    EXPECT_EQ(format.dwChannelMask, 0u);
    EXPECT_EQ(format.SubFormat, WaveGuid{});
}

TEST_F(DriverTest, StatusWidensTheActiveByte)
{
    driver.setStatusWords(0x11223344, 0xCAFEBABE);
    driver.setCapacityBytes(5000);
    VadAudioStatus status{};
    for (uint8_t active : {uint8_t{1}, uint8_t{255}}) {
        driver.setActiveByte(active);
        ASSERT_EQ(VadAudio_GetStatus(handle, &status), VAD_AUDIO_OK);
        EXPECT_EQ(status.active, active);
    }
    EXPECT_EQ(status.word0, 0x11223344u);
    EXPECT_EQ(status.word1, 0xCAFEBABEu);
    EXPECT_EQ(status.freeBytes, 5000u);
}

TEST_F(DriverTest, WriteOfNothingSendsNothing)
{
    int32_t reply = 77;
    const uint8_t data[1] = {0x42};
    EXPECT_EQ(VadAudio_Write(handle, data, 0, &reply), VAD_AUDIO_OK);
    EXPECT_EQ(reply, 0);
    EXPECT_EQ(driver.requestCount(IOCTL_VAD_AUDIO_WRITE), 0u);
}

TEST_F(DriverTest, ShortWritesSendExactlyTheirBytes)
{
    const uint8_t data[3] = {0xA1, 0xB2, 0xC3};
    for (uint32_t length = 1; length <= 3; ++length) {
        int32_t reply = -1;
        ASSERT_EQ(VadAudio_Write(handle, data, length, &reply), VAD_AUDIO_OK);
    }
    EXPECT_EQ(driver.writeSizes(), (std::vector<uint32_t>{1, 2, 3}));
    EXPECT_EQ(driver.writtenBytes(), (std::vector<uint8_t>{0xA1, 0xA1, 0xB2, 0xA1, 0xB2, 0xC3}));
}

TEST_F(DriverTest, ReplyIsTakenOnlyWhenAllFourBytesCome)
{
    const uint8_t data[8] = {1, 2, 3, 4, 5, 6, 7, 8};
    int32_t reply = -1;
    driver.setWriteReply(0x01020304, 4);
    ASSERT_EQ(VadAudio_Write(handle, data, 8, &reply), VAD_AUDIO_OK);
    EXPECT_EQ(reply, 0x01020304);

    driver.setWriteReply(0x01020304, 3);
    ASSERT_EQ(VadAudio_Write(handle, data, 8, &reply), VAD_AUDIO_OK);
    EXPECT_EQ(reply, 0);
}

// Every system error the driver may report, through every request.
TEST_F(DriverTest, EachRequestFailureMapsToItsCode)
{
    struct Case {
        uint32_t systemError;
        int result;
    };
    const Case cases[] = {
        {kVadSysErrorFileNotFound, VAD_AUDIO_ERROR_DEVICE_NOT_FOUND},
        {kVadSysErrorPathNotFound, VAD_AUDIO_ERROR_DEVICE_NOT_FOUND},
        {kVadSysErrorInvalidHandle, VAD_AUDIO_ERROR_INVALID_HANDLE},
        {kVadSysErrorNotReady, VAD_AUDIO_ERROR_NOT_READY},
        {kVadSysErrorInvalidParameter, VAD_AUDIO_ERROR_INVALID_PARAMETER},
        {kVadSysErrorInsufficientBuffer, VAD_AUDIO_ERROR_BUFFER_FULL},
        {kVadSysErrorAccessDenied, VAD_AUDIO_ERROR_FAILED},
        {1167, VAD_AUDIO_ERROR_FAILED},
    };
    const auto format = SimVirtualDriver::defaultFormat();
    const WAVEFORMATEXTENSIBLE zero{};
    const uint8_t data[8] = {};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.systemError);
        driver.failRequest(IOCTL_VAD_AUDIO_GET_FORMAT, c.systemError, 1);
        WAVEFORMATEXTENSIBLE got;
        std::memset(&got, 0xAB, sizeof(got));
        EXPECT_EQ(VadAudio_GetFormat(handle, &got), c.result);
        EXPECT_EQ(std::memcmp(&got, &zero, sizeof(got)), 0);

        driver.failRequest(IOCTL_VAD_AUDIO_SET_FORMAT, c.systemError, 1);
        EXPECT_EQ(VadAudio_SetFormat(handle, &format), c.result);

        driver.failRequest(IOCTL_VAD_AUDIO_WRITE, c.systemError, 1);
        int32_t reply = 5;
        EXPECT_EQ(VadAudio_Write(handle, data, sizeof(data), &reply), c.result);
        EXPECT_EQ(reply, 0);

        driver.failRequest(IOCTL_VAD_AUDIO_GET_STATUS, c.systemError, 1);
        VadAudioStatus status{1, 2, 3, 4};
        EXPECT_EQ(VadAudio_GetStatus(handle, &status), c.result);
        EXPECT_EQ(status.word0, 1u);
        EXPECT_EQ(status.active, 4u);
    }
    EXPECT_TRUE(driver.writtenBytes().empty());
    EXPECT_TRUE(driver.formatsSet().empty());
}

TEST_F(DriverTest, OpenFailuresMapToTheirCodes)
{
    const std::pair<uint32_t, int> cases[] = {
        {kVadSysErrorPathNotFound, VAD_AUDIO_ERROR_DEVICE_NOT_FOUND},
        {kVadSysErrorNotReady, VAD_AUDIO_ERROR_NOT_READY},
        {kVadSysErrorAccessDenied, VAD_AUDIO_ERROR_FAILED},
    };
    for (const auto& [error, result] : cases) {
        driver.setOpenError(error);
        auto second = reinterpret_cast<VadAudioHandle>(0x1234);
        EXPECT_EQ(VadAudio_Open(&second), result);
        EXPECT_EQ(second, nullptr);
    }
    EXPECT_EQ(driver.openHandles(), 1);
}

TEST_F(DriverTest, FullDriverAnswersBufferFull)
{
    driver.setCapacityBytes(16);
    const uint8_t data[12] = {};
    int32_t reply = 0;
    EXPECT_EQ(VadAudio_Write(handle, data, 12, &reply), VAD_AUDIO_OK);
    EXPECT_EQ(VadAudio_Write(handle, data, 12, &reply), VAD_AUDIO_ERROR_BUFFER_FULL);
    EXPECT_EQ(driver.writeSizes().size(), 1u);
}

} // namespace
