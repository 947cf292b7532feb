#pragma once
// The road of audio on the simulated world, end to end: a microphone base
// ("Veloran T40"), two programs that play, the virtual driver, and the
// services in the order the system bridge starts them. The monitor output,
// the listen bus (through a bus forwarder unit on a virtual cable) and what
// "NUVEX Stream Mix" hands to recording software are kept for the run and
// written as WAV files.
//
// Lockstep runs the world on a manual clock stepped 1 ms at a time, each
// step taken once every thread of the road waits on the clock again and the
// work queues and notifications are flushed: the same run gives the same
// files. Real runs the world on a real (optionally faster) clock.

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

struct AudioRoadOptions {
    enum class ClockKind { Real, Lockstep };
    enum class LoopbackFormat { Float48, Pcm44 };
    double seconds = 6.0;
    std::string outDir = ".";
    ClockKind clock = ClockKind::Lockstep;
    double speed = 1.0;
    LoopbackFormat loopbackFormat = LoopbackFormat::Float48;
    double gateOffAt = -1.0; // seconds; negative: the virtual output stays default
    double gateOffFor = 0.0;
    std::function<void(const std::string &)> print; // the demonstration's own lines
};

// CPU time of the named audio threads, from their thread CPU clocks, and
// how often the scheduler switched them out (voluntary and not).
struct AudioThreadCost {
    long tid = 0;
    std::string name;
    double cpuUs = 0.0;
    uint64_t switches = 0;
};

class AudioRoad {
public:
    static constexpr uint32_t kRate = 48000;
    static constexpr uint32_t kPlayerPid = 4242;
    static constexpr uint32_t kChatPid = 5151;

    explicit AudioRoad(AudioRoadOptions options);
    ~AudioRoad();
    AudioRoad(const AudioRoad &) = delete;
    AudioRoad &operator=(const AudioRoad &) = delete;

    // Builds the world and starts the services; false with a line printed
    // when a service the road needs does not start.
    bool start();
    // Lets simulated time pass up to the given second of the run.
    void runUntil(double seconds);
    // Stops the services in the bridge's order.
    void stop();
    bool writeFiles();
    void printSummary();

    double nowSeconds() const;
    // Recorded frames (interleaved stereo float) so far.
    const std::vector<float> &streamMix() const;
    const std::vector<float> &monitor() const;
    const std::vector<float> &listenBus() const;
    // Blocks the simulated driver has taken from the livestream forwarder.
    uint32_t driverWrites() const;
    // Microphone blocks seen by the router's callback.
    static uint64_t micBlocks();
    std::vector<AudioThreadCost> threadCosts() const;

    struct Impl;

private:
    std::unique_ptr<Impl> m;
};
