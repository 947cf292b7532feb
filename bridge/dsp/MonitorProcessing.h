#pragma once
// Processing of the first microphone's blocks on its capture thread: the
// 12-band graphic equaliser (or a low-cut filter) and the gain stage. The GUI
// thread hands settings over through the atomic flags and the two mutexes
// below; the capture thread never solves and never waits: it takes a pending
// change with try_lock at a block boundary, or at the next block when the
// lock is busy. After the block that creates the chain and the stage it
// allocates nothing.

#include "bridge/dsp/Biquad.h"
#include "bridge/dsp/GraphicEq.h"
#include "bridge/dsp/MonitorGainStage.h"
#include "platform/os/RealtimeGuard.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>

class MonitorProcessing
{
public:
    static constexpr int kMaxChannels = FBiquadChain::kMaxChannels;
    static constexpr float kDefaultGainDb = -45.0f;
    static constexpr float kMinGainDb = -80.0f;

    enum class BlockResult {
        Untouched, // both stages off
        Processed,
        Refused,   // unusable block, or unlike the first one's channel count
        Busy,      // another thread was processing a block at the same time
    };

    // GUI thread. The equaliser's on/off flag, read once per block.
    void setEqualizerEnabled(bool on);
    // GUI thread: the equaliser is off; forgets the band gains.
    void clearEqualizer();
    // Preset types with a low cut; any other type is the twelve bands.
    static constexpr int kPresetLowCut75Hz = 1;
    static constexpr int kPresetLowCut150Hz = 2;
    // GUI thread: a preset of type (a low cut from 75 or 150 Hz, otherwise
    // twelve bands) and its twelve values in dB.
    void applyEqualizerPreset(int type, const std::array<float, kEqBandCount> &values);
    // GUI thread: the gain stage's switch and, when on, its value in dB
    // (clamped to [-80, 0]; a NaN keeps the last value).
    void setGain(bool enabled, double valueDb);

    // The capture thread: frames interleaved frames of channels samples, in
    // place. A second thread calling while a block runs gets Busy and its
    // block untouched.
    BlockResult process(float *data, int channels, int frames, double sampleRate);

    const int32_t eqDesignRate = 48000;

    std::atomic<bool> eqEnabled{false};
    float eqTargetGains[kEqBandCount] = {};   // guarded by eqMutex
    float eqAppliedGains[kEqBandCount] = {};  // guarded by eqMutex
    std::atomic<bool> eqChainReady{false};
    std::atomic<bool> eqDirty{true};
    std::unique_ptr<FBiquadChain> eqChain;    // created and run by the capture thread, under eqMutex
    os::AudioMutex eqMutex;
    float lowCutBase = 0.0f;                  // guarded by eqMutex

    std::atomic<bool> gainEnabled{false};
    std::atomic<float> gainDb{kDefaultGainDb};
    std::atomic<bool> gainReady{false};
    std::atomic<bool> gainDirty{true};
    std::unique_ptr<MonitorGainStage> gainStage; // created and run by the capture thread
    os::AudioMutex gainMutex;                 // guards the stage's creation and gain changes

    // Blocks refused and blocks passed by because another was running.
    std::atomic<uint64_t> refusedBlocks{0};
    std::atomic<uint64_t> busyBlocks{0};

private:
    BlockResult processExclusive(float *data, int channels, int frames, double sampleRate);
    void prepareChain(int channels, double sampleRate);
    void prepareGainStage(int channels, double sampleRate);
    void configureChain(); // with eqMutex held

    std::atomic<bool> m_busy{false};
    int m_channels = 0; // of the first processed block; the capture thread's (behind m_busy)
};
