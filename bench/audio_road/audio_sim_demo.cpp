// The road of audio on the simulated world: starts the services as the
// system bridge does, lets the run's seconds pass, prints the levels each
// second and writes what the monitor, the listen bus and "NUVEX Stream Mix"
// played as WAV files.
//
//   audio_sim_demo [--seconds S] [--out-dir DIR] [--clock real|lockstep] [--speed X]
//                  [--loopback-format float48|pcm44] [--gate-off-at S --gate-off-for S]
#include "AudioRoad.h"

#include "platform/windows/routerAudio/MixerLog.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>

#include <unistd.h>

namespace {

int usage(const char *why)
{
    std::fprintf(stderr,
                 "audio_sim_demo: %s\nusage: audio_sim_demo [--seconds S] [--out-dir DIR] [--clock real|lockstep] "
                 "[--speed X] [--loopback-format float48|pcm44] [--gate-off-at S --gate-off-for S]\n",
                 why);
    return 2;
}

bool number(const char *text, double low, double high, double &out)
{
    char *end = nullptr;
    const double v = std::strtod(text, &end);
    if (!end || *end || end == text || !(v >= low && v <= high))
        return false;
    out = v;
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    AudioRoadOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (i + 1 >= argc)
            return usage(("missing value for " + arg).c_str());
        const char *value = argv[++i];
        if (arg == "--seconds") {
            if (!number(value, 0.1, 3600.0, options.seconds))
                return usage("--seconds takes 0.1 to 3600");
        } else if (arg == "--out-dir") {
            options.outDir = value;
        } else if (arg == "--clock") {
            if (std::strcmp(value, "real") == 0)
                options.clock = AudioRoadOptions::ClockKind::Real;
            else if (std::strcmp(value, "lockstep") == 0)
                options.clock = AudioRoadOptions::ClockKind::Lockstep;
            else
                return usage("--clock takes real or lockstep");
        } else if (arg == "--speed") {
            if (!number(value, 0.1, 100.0, options.speed))
                return usage("--speed takes 0.1 to 100");
        } else if (arg == "--loopback-format") {
            if (std::strcmp(value, "float48") == 0)
                options.loopbackFormat = AudioRoadOptions::LoopbackFormat::Float48;
            else if (std::strcmp(value, "pcm44") == 0)
                options.loopbackFormat = AudioRoadOptions::LoopbackFormat::Pcm44;
            else
                return usage("--loopback-format takes float48 or pcm44");
        } else if (arg == "--gate-off-at") {
            if (!number(value, 0.0, 3600.0, options.gateOffAt))
                return usage("--gate-off-at takes 0 to 3600");
        } else if (arg == "--gate-off-for") {
            if (!number(value, 0.0, 3600.0, options.gateOffFor))
                return usage("--gate-off-for takes 0 to 3600");
        } else {
            return usage(("unknown option " + arg).c_str());
        }
    }
    options.print = [](const std::string &line) { mixerLogLine(line); };
    // The folder is made and proved writable before the run, not after it.
    std::error_code made;
    std::filesystem::create_directories(options.outDir, made);
    if (made || ::access(options.outDir.c_str(), W_OK | X_OK) != 0) {
        std::fprintf(stderr, "audio_sim_demo: cannot write to the output folder \"%s\"%s%s\n", options.outDir.c_str(),
                     made ? ": " : "", made ? made.message().c_str() : "");
        return 1;
    }

    AudioRoad road(options);
    if (!road.start()) {
        road.stop();
        return 1;
    }
    road.runUntil(options.seconds);
    road.stop();
    const bool written = road.writeFiles();
    road.printSummary();
    return written ? 0 : 1;
}
