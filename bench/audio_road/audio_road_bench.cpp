// CPU cost of the road's audio threads: 20 simulated seconds in lockstep with
// the loopback captures at 44.1 kHz 16-bit (so they resample), then each
// named audio thread's CPU time per 10 ms block, and their total against the
// 10 ms a block lasts.
#include "AudioRoad.h"

#include <cstdio>
#include <map>

int main()
{
    AudioRoadOptions options;
    options.seconds = 20.0;
    options.clock = AudioRoadOptions::ClockKind::Lockstep;
    options.loopbackFormat = AudioRoadOptions::LoopbackFormat::Pcm44;
    AudioRoad road(options);
    if (!road.start()) {
        std::fprintf(stderr, "audio_road_bench: the road did not start\n");
        return 1;
    }
    road.runUntil(options.seconds);
    const auto costs = road.threadCosts();
    road.stop();

    const double blocks = options.seconds * 100.0;
    std::map<std::string, double> byName; // threads of one name add up (the queue threads)
    for (const auto &c : costs)
        byName[c.name] += c.cpuUs;
    double total = 0.0;
    std::printf("CPU per 10 ms block over %.0f simulated seconds (lockstep, pcm44):\n", options.seconds);
    for (const auto &[name, us] : byName) {
        std::printf("  %-16s %8.1f us\n", name.c_str(), us / blocks);
        total += us / blocks;
    }
    std::printf("  %-16s %8.1f us of 10000 us (%.2f %%)\n", "total", total, total / 100.0);
    return 0;
}
