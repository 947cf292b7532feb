#pragma once
// The simulated virtual driver on a manual clock, installed behind the
// control-device seam and opened for each test; closed and removed after it.

#include "driverclient/sim/SimVirtualDriver.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <memory>

class SimDriverFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        driver.install();
        ASSERT_EQ(VadAudio_Open(&handle), VAD_AUDIO_OK);
    }
    void TearDown() override
    {
        VadAudio_Close(handle);
        driver.uninstall();
    }
    // Writes through the opened handle; the driver must take it.
    void writeBytes(const void *data, uint32_t bytes)
    {
        int32_t reply = 0;
        ASSERT_EQ(VadAudio_Write(handle, data, bytes, &reply), VAD_AUDIO_OK);
    }

    // Shared so that a simulated audio world can run on the same clock.
    std::shared_ptr<os::ManualClock> sharedClock = std::make_shared<os::ManualClock>();
    os::ManualClock &clock = *sharedClock;
    SimVirtualDriver driver{clock};
    VadAudioHandle handle = nullptr;
};
