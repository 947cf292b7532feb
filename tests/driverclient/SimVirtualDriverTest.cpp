// The simulated driver's buffer: it drains at the wanted format's rate on
// its clock, only while active, and plays out silence when it runs dry.

#include "driverclient/sim/SimVirtualDriver.h"

#include "SimDriverFixture.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

class SimDriverTest : public SimDriverFixture {
protected:
    void write(const std::vector<uint8_t>& bytes) { writeBytes(bytes.data(), static_cast<uint32_t>(bytes.size())); }
    uint32_t freeBytes()
    {
        VadAudioStatus status{};
        EXPECT_EQ(VadAudio_GetStatus(handle, &status), VAD_AUDIO_OK);
        return status.freeBytes;
    }
};

TEST_F(SimDriverTest, DrainsAtTheFormatsByteRate)
{
    std::vector<uint8_t> block(3840);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = static_cast<uint8_t>(i * 7 + 1);
    write(block);
    EXPECT_EQ(freeBytes(), SimVirtualDriver::kDefaultCapacityBytes - 3840);

    clock.advanceMs(5); // 240 frames of 8 bytes
    EXPECT_EQ(driver.fillBytes(), 1920u);
    clock.advanceMs(5);
    EXPECT_EQ(driver.fillBytes(), 0u);
    EXPECT_EQ(freeBytes(), SimVirtualDriver::kDefaultCapacityBytes);

    // What drained is what the capture side gets, then silence.
    clock.advanceMs(1);
    std::vector<uint8_t> played(3840 + 384);
    ASSERT_EQ(driver.takePlayed(played.data(), played.size()), played.size());
    EXPECT_TRUE(std::equal(block.begin(), block.end(), played.begin()));
    EXPECT_TRUE(std::all_of(played.begin() + 3840, played.end(), [](uint8_t b) { return b == 0; }));
}

TEST_F(SimDriverTest, FractionalFramesAreNotLost)
{
    driver.setWantedFormat(SimVirtualDriver::makeFormat(44100, 2, 16, false));
    write(std::vector<uint8_t>(4 * 441));
    for (int i = 0; i < 10; ++i)
        clock.advanceMs(1); // 44.1 frames each
    EXPECT_EQ(driver.fillBytes(), 0u);
    EXPECT_EQ(driver.playedBytesAvailable(), 4u * 441);
}

TEST_F(SimDriverTest, InactiveStreamHoldsItsBuffer)
{
    driver.setActiveByte(0);
    write(std::vector<uint8_t>(800));
    clock.advanceMs(50);
    EXPECT_EQ(driver.fillBytes(), 800u);
    driver.setActiveByte(1);
    clock.advanceMs(1); // 48 frames
    EXPECT_EQ(driver.fillBytes(), 800u - 384u);
}

TEST_F(SimDriverTest, FaultsCountDownAndPersist)
{
    VadAudioStatus status{};
    driver.failRequest(IOCTL_VAD_AUDIO_GET_STATUS, kVadSysErrorNotReady, 2);
    EXPECT_EQ(VadAudio_GetStatus(handle, &status), VAD_AUDIO_ERROR_NOT_READY);
    EXPECT_EQ(VadAudio_GetStatus(handle, &status), VAD_AUDIO_ERROR_NOT_READY);
    EXPECT_EQ(VadAudio_GetStatus(handle, &status), VAD_AUDIO_OK);

    driver.failRequest(IOCTL_VAD_AUDIO_GET_STATUS, kVadSysErrorNotReady);
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(VadAudio_GetStatus(handle, &status), VAD_AUDIO_ERROR_NOT_READY);
    driver.failRequest(IOCTL_VAD_AUDIO_GET_STATUS, 0);
    EXPECT_EQ(VadAudio_GetStatus(handle, &status), VAD_AUDIO_OK);
    EXPECT_EQ(driver.requestCount(IOCTL_VAD_AUDIO_GET_STATUS), 9u);
}

TEST_F(SimDriverTest, ClosedDeviceRejectsRequests)
{
    VadDeviceHandle device = nullptr;
    ASSERT_EQ(driver.open(kVadControlDevicePath, &device), 0u);
    driver.close(device);
    uint32_t returned = 0;
    VadDriverStatusRecord record{};
    EXPECT_EQ(driver.ioControl(device, IOCTL_VAD_AUDIO_GET_STATUS, nullptr, 0, &record, sizeof(record), &returned),
              kVadSysErrorInvalidHandle);
    EXPECT_EQ(driver.open("\\\\.\\Other", &device), kVadSysErrorFileNotFound);
}

} // namespace
