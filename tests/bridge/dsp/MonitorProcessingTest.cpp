// The equaliser solver against known solutions and the stored presets, and
// the block processing as the capture thread runs it: bypass, low cut, gain
// glide, clamps and clipping, and sine probes against the solved design.
#include "DspTestSupport.h"

#include "bridge/dsp/MonitorProcessing.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

using namespace dsptest;

namespace {

using Values = std::array<float, kEqBandCount>;

double summedDb(const float gains[kEqBandCount], float hz)
{
    double sum = 0.0;
    for (int i = 0; i < kEqBandCount; ++i)
        sum += peakingBandResponseDb(centreFrequencies[i], gains[i], hz, 48000.0f);
    return sum;
}

Values solved(const Values &targets)
{
    Values gains{};
    solveGraphicEqGains(centreFrequencies.data(), targets.data(), gains.data(), 48000.0f);
    return gains;
}

std::vector<float> stereoBlock(int frames, float value)
{
    return std::vector<float>(size_t(frames) * 2, value);
}

// Amplitude of a sine at hz in y, by least squares on sine and cosine.
double amplitude(const std::vector<float> &y, double hz, size_t from)
{
    double ss = 0, cc = 0, sc = 0, ys = 0, yc = 0;
    for (size_t n = from; n < y.size(); ++n) {
        const double s = std::sin(2 * M_PI * hz * double(n) / kRate), c = std::cos(2 * M_PI * hz * double(n) / kRate);
        ss += s * s, cc += c * c, sc += s * c, ys += y[n] * s, yc += y[n] * c;
    }
    const double det = ss * cc - sc * sc;
    const double a = (ys * cc - yc * sc) / det, b = (yc * ss - ys * sc) / det;
    return std::hypot(a, b);
}

TEST(GraphicEqSolver, MeetsTargetsAndStaysInRange)
{
    const Values peak = solved({0, 0, 0, 0, 0, 6, 0, 0, 0, 0, 0, 0});
    EXPECT_NEAR(peak[5], 7.78, 0.02);
    EXPECT_NEAR(peak[4], -2.63, 0.02);
    EXPECT_NEAR(peak[6], -2.56, 0.02);
    for (int i : {0, 1, 2, 3, 7, 8, 9, 10, 11})
        EXPECT_NEAR(peak[i], 0.0, 0.2) << i;

    const Values presets[] = {
        {2, 1, 0, 0, 0, 0, 0, 1, 2, 1, 0, 0},
        {4, 2, 0, 0, -2, 0, 4, 2, 0, -3, -2, 1},
        {0, 0, 1, 2, 3, 3, 2, 1, 1, 0, 0, 0},
        {-1, 0, 4, 2, 0, 0, 0, 1, 1, 0, 0, 0},
        {12, 12, 12, 0, -12, -12, -12, 0, 12, 12, 0, -12}, // steep presets need many passes
        {-12, -6, 0, 6, 12, 12, 6, 0, -6, -12, -12, -6},
    };
    for (const Values &targets : presets) {
        const Values gains = solved(targets);
        for (int j = 0; j < kEqBandCount; ++j)
            EXPECT_NEAR(summedDb(gains.data(), centreFrequencies[j]), targets[j], 0.01) << j;
    }

    const Values wild = solved({12, -12, 12, -12, 12, -12, 12, -12, 12, -12, 12, -12});
    const Values huge = solved({1e30f, -1e30f, std::numeric_limits<float>::infinity(), 0, 0, 0, 0, 0, 0, 0, 0, 0});
    for (int i = 0; i < kEqBandCount; ++i) {
        EXPECT_LE(std::fabs(wild[i]), 24.0f) << i;
        EXPECT_LE(std::fabs(huge[i]), 24.0f) << i;
    }
}

TEST(MonitorProcessingBlocks, BypassFlatAndLowCut)
{
    // Both off, then equaliser on with a flat preset: bit for bit, unclipped.
    MonitorProcessing p;
    std::vector<float> block = stereoBlock(480, 0.0f);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = float(std::sin(double(i))) * 3.0f;
    const std::vector<float> original = block;
    EXPECT_EQ(p.process(block.data(), 2, 480, 48000.0), MonitorProcessing::BlockResult::Untouched);
    EXPECT_EQ(std::memcmp(block.data(), original.data(), block.size() * 4), 0);
    p.setEqualizerEnabled(true);
    p.applyEqualizerPreset(0, {});
    EXPECT_EQ(p.process(block.data(), 2, 480, 48000.0), MonitorProcessing::BlockResult::Processed);
    EXPECT_EQ(std::memcmp(block.data(), original.data(), block.size() * 4), 0);
    for (int i = 0; i < kEqBandCount; ++i)
        EXPECT_FALSE(p.eqChain->bands[i].enabled) << i;

    // Type 1: one first-order high-pass at sqrt(3) x 75 Hz, the values unheard.
    p.applyEqualizerPreset(1, {-3, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6});
    p.process(block.data(), 2, 480, 48000.0);
    const FBiquadFilter &lowCut = p.eqChain->bands[0];
    EXPECT_TRUE(lowCut.enabled);
    EXPECT_EQ(lowCut.type, 2);
    EXPECT_NEAR(responseDb(lowCut.sections[0], 75.0), -6.0, 0.1);
    EXPECT_NEAR(responseDb(lowCut.sections[1], 129.9), -3.0, 0.1);
    for (int i = 1; i < kEqBandCount; ++i)
        EXPECT_FALSE(p.eqChain->bands[i].enabled) << i;

    // Unusable blocks and blocks unlike the first one's channels are refused.
    const float before = block[0];
    EXPECT_EQ(p.process(nullptr, 2, 480, 48000.0), MonitorProcessing::BlockResult::Refused);
    EXPECT_EQ(p.process(block.data(), 2, 0, 48000.0), MonitorProcessing::BlockResult::Refused);
    EXPECT_EQ(p.process(block.data(), 9, 10, 48000.0), MonitorProcessing::BlockResult::Refused);
    EXPECT_EQ(p.process(block.data(), 1, 480, 48000.0), MonitorProcessing::BlockResult::Refused);
    EXPECT_EQ(block[0], before);
    EXPECT_EQ(p.refusedBlocks.load(), 4u);
}

TEST(MonitorProcessingBlocks, GainStageGlidesClampsAndClips)
{
    MonitorProcessing p;
    EXPECT_EQ(p.gainDb.load(), -45.0f) << "the value the gain tab shows before anything is stored";
    p.setGain(true, -10.0);
    std::vector<float> block = stereoBlock(480, 0.5f);
    for (int i = 0; i < 100; ++i) { // settle at -10 dB
        std::fill(block.begin(), block.end(), 0.5f);
        p.process(block.data(), 2, 480, 48000.0);
    }
    const double from = std::pow(10.0, -10 / 20.0), to = std::pow(10.0, -40 / 20.0);
    EXPECT_NEAR(block.back() / 0.5, from, 1e-4);
    p.setGain(true, -40.0);
    std::vector<float> five = stereoBlock(240, 0.5f);
    p.process(five.data(), 2, 240, 48000.0);
    EXPECT_NEAR((from - five.back() / 0.5) / (from - to), 0.632, 0.01);

    struct Case {
        double stored;
        float wantDb;
    };
    for (const Case &c : {Case{5.0, 0.0f}, Case{-100.0, -80.0f}, Case{-20.0, -20.0f}}) {
        p.setGain(true, c.stored);
        p.process(block.data(), 2, 480, 48000.0);
        EXPECT_EQ(p.gainStage->gainDb, c.wantDb) << c.stored;
    }

    // Equaliser boost then gain: every output within [-1, 1].
    p.setGain(true, 0.0);
    p.setEqualizerEnabled(true);
    p.applyEqualizerPreset(0, {6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6});
    for (int i = 0; i < 20; ++i) {
        for (size_t k = 0; k < block.size(); ++k)
            block[k] = (k % 3 ? 4.0f : -7.0f);
        p.process(block.data(), 2, 480, 48000.0);
        for (float s : block)
            ASSERT_TRUE(s >= -1.0f && s <= 1.0f) << s;
    }
}

TEST(MonitorProcessingBlocks, SineProbesFollowTheSolvedDesign)
{
    const Values vocal = {4, 2, 0, 0, -2, 0, 4, 2, 0, -3, -2, 1};
    const Values gains = solved(vocal);
    for (int j = 0; j < kEqBandCount; ++j) {
        MonitorProcessing p;
        p.setEqualizerEnabled(true);
        p.applyEqualizerPreset(0, vocal);
        const double hz = centreFrequencies[j];
        std::vector<float> mono(96000);
        for (size_t n = 0; n < mono.size(); ++n)
            mono[n] = float(0.1 * std::sin(2 * M_PI * hz * double(n) / kRate));
        for (size_t at = 0; at < mono.size(); at += 480)
            p.process(mono.data() + at, 1, 480, 48000.0);
        const double measured = 20 * std::log10(amplitude(mono, hz, 48000) / 0.1);
        EXPECT_NEAR(measured, summedDb(gains.data(), float(hz)), 0.05) << hz;
    }
}

} // namespace
