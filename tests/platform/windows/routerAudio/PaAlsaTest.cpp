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
        AudioRouterService::Environment env = rig.environment(&clock);
        env.pa = &RealPaApi::instance();
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

namespace {

TEST_F(AlsaNullDevices, WorkerReadsMixesAndMonitorsPassByPass)
{
    AudioRouterService engine(environment());
    AudioRouterService::Impl &impl = engine.impl();
    impl.config.inputDevices = {{"veloran_null_mic", 0, 0}};
    impl.config.outputDevice = "veloran_null_out";
    impl.state.store(AudioRouterService::Impl::State::Running);
    WorkerLoop loop(impl);
    ASSERT_TRUE(loop.start());
    ASSERT_EQ(loop.slots.size(), 1u);
    ASSERT_NE(loop.slots[0].stream, nullptr);
    ASSERT_NE(loop.outputStream, nullptr);

    const uint32_t before = rig.pushes(0);
    for (int pass = 0; pass < 200; ++pass)
        ASSERT_TRUE(loop.pass());
    EXPECT_EQ(rig.pushes(0) - before, 200u);
    EXPECT_EQ(rig.lines.count("[Solo] LibSR engaged, srcRate=48000 dstRate=44100"), 1);

    impl.state.store(AudioRouterService::Impl::State::Stopped);
    loop.finish();
    EXPECT_TRUE(rig.lines.has("Audio routing service stopped"));
    EXPECT_FALSE(rig.lines.has("[Error]"));
    EXPECT_FALSE(rig.lines.has("[Warning] Warning when terminating"));
}

} // namespace
