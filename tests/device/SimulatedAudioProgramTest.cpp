// The program's audio world as the demonstration sees it: with an emulated
// model the simulated endpoints and the simulated virtual driver are in
// place and the audio services start with the device; without one the
// driver client finds no driver.

#include "ProgramRunner.h"

#include <gtest/gtest.h>

TEST(SimulatedAudioProgram, EmulatedModelBringsItsEndpointsAndTheDriverOtherwiseNone)
{
    struct Case {
        const char *emulate;
        std::vector<const char *> present;
        std::vector<const char *> absent;
    } cases[] = {
        {"t40",
         {"VELORAN_EMULATE: simulated audio endpoint Microphone (Veloran T40)",
          "VELORAN_EMULATE: simulated audio endpoint Headphones (Veloran T40)",
          "VELORAN_EMULATE: simulated audio endpoint Speakers (High Definition Audio Device)",
          "VELORAN_EMULATE: simulated audio endpoint NUVEX Output",
          "VELORAN_EMULATE: simulated audio endpoint NUVEX Stream Mix",
          "Audio: VadAudio_Open 0, VadAudio_GetStatus 0",
          // The bridge follows the device found 2 s after start-up.
          "[SystemBridge] Audio endpoint ready for Veloran T40 -- starting audio services",
          "[SystemBridge] LivestreamForwarder started"},
         {"driver not installed"}},
        {"", {"Audio: VadAudio_Open 2 (driver not installed)"}, {"simulated audio endpoint", "Audio endpoint ready"}},
    };
    for (const Case &c : cases) {
        ProgramRunner runner;
        QProcessEnvironment extra;
        if (*c.emulate)
            extra.insert("VELORAN_EMULATE", c.emulate);
        const auto result = runner.run(*c.emulate ? 6000 : 3000, extra);
        const std::string output = result.output.toStdString();
        ASSERT_FALSE(result.crashed) << output;
        EXPECT_EQ(result.exitCode, 0) << output;
        for (const char *line : c.present)
            EXPECT_TRUE(result.output.contains(QString::fromUtf8(line))) << line << "\n" << output;
        for (const char *text : c.absent)
            EXPECT_FALSE(result.output.contains(QString::fromUtf8(text))) << text << "\n" << output;
    }
}
