#include "device/hid/EmulatedHidBus.h"
#include "device/hid/HidBackend.h"

#include <gtest/gtest.h>

TEST(HidBackendSelection, InstalledBackendReplacesHidapiUntilCleared)
{
    EXPECT_EQ(&hidBackend(), &hidapiBackend());
    EmulatedHidBus bus;
    setHidBackend(&bus);
    EXPECT_EQ(&hidBackend(), &bus);
    setHidBackend(nullptr);
    EXPECT_EQ(&hidBackend(), &hidapiBackend());
}

// Runs against the real library, so only what holds with no device attached.
TEST(HidapiBackend, FailedOpenByPathGivesNullAndErrorText)
{
    HidBackend &backend = hidapiBackend();
    ASSERT_EQ(backend.init(), 0);
    EXPECT_EQ(backend.openPath("/dev/veloran-no-such-hidraw"), nullptr);
    EXPECT_FALSE(backend.error(nullptr).empty());
    EXPECT_EQ(backend.exit(), 0);
}
