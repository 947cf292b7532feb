// The engine on the installed PortAudio over ALSA, with null devices that
// need no sound card (they do not pace, so the test counts passes).
#include "PaEngineTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>

using namespace patest;

namespace {

class AlsaNullDevices : public ::testing::Test {
protected:
    static void SetUpTestSuite() { setenv("ALSA_CONFIG_PATH", VELORAN_ALSA_NULL_CONF, 1); }

    AudioRouterService::Environment environment()
    {
        AudioRouterService::Environment env = rig.environment();
        env.pa = &RealPaApi::instance();
        env.clock = &clock;
        return env;
    }

    Rig rig;
    os::RealClock clock;
};

TEST_F(AlsaNullDevices, AreListedAndFoundByName)
{
    AudioRouterService engine(environment());
    const std::vector<PortAudioDeviceEntry> inputs = engine.ListDevices(1);
    const auto mic = std::find_if(inputs.begin(), inputs.end(),
                                  [](const PortAudioDeviceEntry &e) { return e.name == "veloran_null_mic"; });
    ASSERT_NE(mic, inputs.end());
    EXPECT_EQ(mic->hostApi, "ALSA");
    EXPECT_TRUE(mic->isInput);

    ASSERT_EQ(Pa_Initialize(), paNoError);
    const int out = engine.impl().findDeviceByName("VELORAN_NULL_OUT", true);
    ASSERT_GE(out, 0);
    EXPECT_STREQ(Pa_GetDeviceInfo(out)->name, "veloran_null_out");
    EXPECT_TRUE(rig.lines.has("picked ALSA match"));
    Pa_Terminate();
}

} // namespace
