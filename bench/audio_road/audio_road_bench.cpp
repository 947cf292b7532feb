// The road's audio threads at work. First 20 simulated seconds in lockstep
// with the loopback captures at 44.1 kHz 16-bit (so they resample): each
// named audio thread's CPU time per 10 ms block, and their total against the
// 10 ms a block lasts. Then 4 seconds on the real clock: the silent gaps of
// each recording after its first half second, and how often each named
// thread was switched out per second (a thread woken once per block makes
// about 100).
#include "AudioRoad.h"
#include "WavFile.h"

#include <cstdio>
#include <map>

namespace {

void lockstepCost()
{
    AudioRoadOptions options;
    options.seconds = 20.0;
    options.clock = AudioRoadOptions::ClockKind::Lockstep;
    options.loopbackFormat = AudioRoadOptions::LoopbackFormat::Pcm44;
    AudioRoad road(options);
    if (!road.start()) {
        std::fprintf(stderr, "audio_road_bench: the road did not start\n");
        return;
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
}

void realClock()
{
    AudioRoadOptions options;
    options.seconds = 4.0;
    options.clock = AudioRoadOptions::ClockKind::Real;
    AudioRoad road(options);
    if (!road.start()) {
        std::fprintf(stderr, "audio_road_bench: the road did not start on the real clock\n");
        return;
    }
    constexpr double kSettle = 0.5;
    road.runUntil(kSettle);
    const auto before = road.threadCosts();
    road.runUntil(options.seconds);
    const auto after = road.threadCosts();
    road.stop();

    std::printf("Real clock, %.1f s after the first %.1f s:\n", options.seconds - kSettle, kSettle);
    const struct {
        const char *name;
        const std::vector<float> &samples;
    } files[] = {{"stream_mix", road.streamMix()}, {"listen_bus", road.listenBus()}, {"monitor", road.monitor()}};
    for (const auto &f : files) {
        const SilentGaps gaps = silentGaps(f.samples, 2, size_t(kSettle * AudioRoad::kRate), 48);
        std::printf("  %-12s gaps over 1 ms: %zu, longest silence %zu frames\n", f.name, gaps.count,
                    gaps.longestFrames);
    }
    std::printf("  context switches per second:\n");
    std::map<long, const AudioThreadCost *> start;
    for (const auto &c : before)
        start[c.tid] = &c;
    for (const auto &c : after) {
        const auto it = start.find(c.tid);
        const uint64_t from = it == start.end() ? 0 : it->second->switches;
        std::printf("    %-16s %6.0f\n", c.name.c_str(), double(c.switches - from) / (options.seconds - kSettle));
    }
}

} // namespace

int main()
{
    lockstepCost();
    realClock();
    return 0;
}
