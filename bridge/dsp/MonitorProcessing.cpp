#include "bridge/dsp/MonitorProcessing.h"

#include <algorithm>
#include <cmath>
#include <mutex>
#include <utility>

namespace {

constexpr float kLowCutRatio = 1.7320508f; // the corner sits at sqrt(3) times the base
constexpr float kBandOffDb = 0.01f;

} // namespace

void MonitorProcessing::setEqualizerEnabled(bool on)
{
    eqEnabled.store(on, std::memory_order_release);
}

void MonitorProcessing::clearEqualizer()
{
    std::lock_guard lock(eqMutex);
    lowCutBase = 0.0f;
    std::fill(std::begin(eqTargetGains), std::end(eqTargetGains), 0.0f);
    std::fill(std::begin(eqAppliedGains), std::end(eqAppliedGains), 0.0f);
}

void MonitorProcessing::applyEqualizerPreset(int type, const std::array<float, kEqBandCount> &values)
{
    const float base = type == kPresetLowCut75Hz ? 75.0f : (type == kPresetLowCut150Hz ? 150.0f : 0.0f);
    // Solved before locking: the capture thread may want the lock meanwhile.
    float applied[kEqBandCount];
    if (base > 0.0f)
        std::copy(values.begin(), values.end(), applied);
    else
        solveGraphicEqGains(centreFrequencies.data(), values.data(), applied, static_cast<float>(eqDesignRate));
    {
        std::lock_guard lock(eqMutex);
        lowCutBase = base;
        std::copy(values.begin(), values.end(), eqTargetGains);
        std::copy(std::begin(applied), std::end(applied), eqAppliedGains);
    }
    eqDirty.store(true, std::memory_order_release);
}

void MonitorProcessing::setGain(bool enabled, double valueDb)
{
    gainEnabled.store(enabled, std::memory_order_release);
    if (!enabled || std::isnan(valueDb))
        return;
    const float db = std::clamp(static_cast<float>(valueDb), kMinGainDb, 0.0f);
    gainDb.store(db, std::memory_order_relaxed);
    gainDirty.store(true, std::memory_order_release);
}

MonitorProcessing::BlockResult MonitorProcessing::process(float *data, int channels, int frames, double sampleRate)
{
    if (m_busy.exchange(true, std::memory_order_acquire)) {
        busyBlocks.fetch_add(1, std::memory_order_relaxed);
        return BlockResult::Busy;
    }
    const BlockResult result = processExclusive(data, channels, frames, sampleRate);
    m_busy.store(false, std::memory_order_release);
    return result;
}

MonitorProcessing::BlockResult MonitorProcessing::processExclusive(float *data, int channels, int frames,
                                                                   double sampleRate)
{
    const bool eqOn = eqEnabled.load(std::memory_order_acquire);
    const bool gainOn = gainEnabled.load(std::memory_order_acquire);
    if (!eqOn && !gainOn)
        return BlockResult::Untouched;
    if (!data || frames < 1 || channels < 1 || channels > kMaxChannels || (m_channels != 0 && channels != m_channels)) {
        refusedBlocks.fetch_add(1, std::memory_order_relaxed);
        return BlockResult::Refused;
    }
    m_channels = channels;

    if (eqOn)
        prepareChain(channels, sampleRate);
    if (gainOn)
        prepareGainStage(channels, sampleRate);
    FBiquadChain *chain = eqOn && eqChainReady.load(std::memory_order_acquire) ? eqChain.get() : nullptr;
    MonitorGainStage *stage = gainOn && gainReady.load(std::memory_order_acquire) ? gainStage.get() : nullptr;
    if (!chain && !stage)
        return BlockResult::Processed;

    if (chain)
        chain->processBlock(data, frames);
    if (stage)
        for (int n = 0; n < frames; ++n)
            stage->process(data + static_cast<long>(n) * channels, data + static_cast<long>(n) * channels);
    return BlockResult::Processed;
}

void MonitorProcessing::prepareChain(int channels, double sampleRate)
{
    if (!eqChainReady.load(std::memory_order_acquire)) {
        std::unique_lock lock(eqMutex, std::try_to_lock);
        if (!lock.owns_lock())
            return;
        if (!eqChainReady.load(std::memory_order_relaxed)) {
            if (!eqChain)
                eqChain = std::make_unique<FBiquadChain>();
            eqChain->init(static_cast<float>(sampleRate), kEqBandCount, channels);
            for (int i = 0; i < kEqBandCount; ++i)
                eqChain->setBandEnabled(i, false);
            eqDirty.store(true, std::memory_order_release);
            eqChainReady.store(true, std::memory_order_release);
        }
    }
    if (eqDirty.load(std::memory_order_acquire)) {
        std::unique_lock lock(eqMutex, std::try_to_lock);
        if (lock.owns_lock() && eqDirty.load(std::memory_order_relaxed)) {
            configureChain();
            eqDirty.store(false, std::memory_order_release);
        }
    }
}

void MonitorProcessing::configureChain()
{
    if (lowCutBase > 0.0f) {
        eqChain->setBandEnabled(0, true);
        eqChain->setBand(0, lowCutBase * kLowCutRatio, 1.0f, 0.0f, biquad::kFirstOrderHighPass);
        for (int i = 1; i < kEqBandCount; ++i)
            eqChain->setBandEnabled(i, false);
        return;
    }
    for (int i = 0; i < kEqBandCount; ++i) {
        const bool on = std::fabs(eqAppliedGains[i]) > kBandOffDb;
        eqChain->setBandEnabled(i, on);
        if (on)
            eqChain->setBand(i, centreFrequencies[i], 1.0f, eqAppliedGains[i], biquad::kPeaking);
    }
}

void MonitorProcessing::prepareGainStage(int channels, double sampleRate)
{
    if (!gainReady.load(std::memory_order_acquire)) {
        std::unique_lock lock(gainMutex, std::try_to_lock);
        if (!lock.owns_lock())
            return;
        if (!gainReady.load(std::memory_order_relaxed)) {
            if (!gainStage)
                gainStage = std::make_unique<MonitorGainStage>();
            gainStage->configure(sampleRate, channels);
            gainStage->current = gainStage->target;
            gainStage->updateCoefficient();
            gainDirty.store(true, std::memory_order_release);
            gainReady.store(true, std::memory_order_release);
        }
    }
    if (gainDirty.load(std::memory_order_acquire)) {
        std::unique_lock lock(gainMutex, std::try_to_lock);
        // Cleared before the value is read: a value stored meanwhile sets
        // the flag again and is taken at the next block.
        if (lock.owns_lock() && gainDirty.exchange(false, std::memory_order_acq_rel))
            gainStage->setGainDb(gainDb.load(std::memory_order_relaxed));
    }
}
