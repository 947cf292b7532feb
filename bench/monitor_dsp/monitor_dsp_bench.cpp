// Cost of the microphone processing: one 10 ms block (480 stereo frames)
// through the 12-band equaliser and the gain stage, one equaliser solve, and
// how much a block of silence after a burst costs next to a block of signal
// (subnormal numbers in the filters' history would make it many times dearer).
// Runs outside any real-time scope, so no flush-to-zero mode helps it.
// Next to the block figure: a plain 12-band float biquad chain (the same
// coefficients, no checks, band by band) over the same block, built with the
// same flags and timed in the same run, as the floor to compare with.
#include "bridge/dsp/MonitorProcessing.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kFrames = 480;

double medianOf(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

template <typename F>
double microseconds(F &&f)
{
    const auto start = Clock::now();
    f();
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count();
}

// Twelve sections per channel, Direct Form I, nothing else.
struct PlainChain {
    float b0[kEqBandCount], b1[kEqBandCount], b2[kEqBandCount], a1[kEqBandCount], a2[kEqBandCount];
    float state[kEqBandCount][2][4] = {}; // in1, in2, out1, out2 per channel

    void process(float *data, int frames)
    {
        for (int i = 0; i < kEqBandCount; ++i)
            for (int c = 0; c < 2; ++c) {
                float *s = state[i][c];
                float in1 = s[0], in2 = s[1], out1 = s[2], out2 = s[3];
                for (int n = 0; n < frames; ++n) {
                    const float x = data[2 * n + c];
                    const float y = b0[i] * x + b1[i] * in1 + b2[i] * in2 - a1[i] * out1 - a2[i] * out2;
                    in2 = in1;
                    in1 = x;
                    out2 = out1;
                    out1 = y;
                    data[2 * n + c] = y;
                }
                s[0] = in1, s[1] = in2, s[2] = out1, s[3] = out2;
            }
    }
};

} // namespace

int main()
{
    const std::array<float, kEqBandCount> vocal = {4, 2, 0, 0, -2, 0, 4, 2, 0, -3, -2, 1};
    const std::array<float, kEqBandCount> allBands = {3, -2, 1, 2, -1, 2, 1, -3, 2, 1, -2, 3};
    MonitorProcessing p;
    p.setEqualizerEnabled(true);
    p.applyEqualizerPreset(0, allBands);
    p.setGain(true, -6.0);

    std::vector<float> signal(2 * kFrames), block(2 * kFrames);
    for (int n = 0; n < kFrames; ++n)
        signal[2 * n] = signal[2 * n + 1] = float(0.5 * std::sin(0.031 * n) + 0.2 * std::sin(0.71 * n));

    int enabled = 0;
    for (int warm = 0; warm < 200; ++warm) {
        block = signal;
        p.process(block.data(), 2, kFrames, 48000.0);
    }
    for (int i = 0; i < kEqBandCount; ++i)
        enabled += p.eqChain->bands[i].enabled ? 1 : 0;

    PlainChain plain;
    for (int i = 0; i < kEqBandCount; ++i) {
        const FBiquad &s = p.eqChain->bands[i].sections[0];
        plain.b0[i] = s.b0, plain.b1[i] = s.b1, plain.b2[i] = s.b2, plain.a1[i] = s.a1, plain.a2[i] = s.a2;
    }

    std::vector<double> signalUs, silenceUs, plainUs;
    for (int round = 0; round < 200; ++round) {
        for (int i = 0; i < 10; ++i) {
            block = signal;
            signalUs.push_back(microseconds([&] { p.process(block.data(), 2, kFrames, 48000.0); }));
            block = signal;
            plainUs.push_back(microseconds([&] { plain.process(block.data(), kFrames); }));
        }
        // After the burst, the history decays towards zero for many blocks.
        for (int i = 0; i < 40; ++i) {
            std::fill(block.begin(), block.end(), 0.0f);
            silenceUs.push_back(microseconds([&] { p.process(block.data(), 2, kFrames, 48000.0); }));
        }
    }

    std::vector<double> solveMs;
    std::array<float, kEqBandCount> gains{};
    for (int i = 0; i < 50; ++i)
        solveMs.push_back(microseconds([&] {
            solveGraphicEqGains(centreFrequencies.data(), vocal.data(), gains.data(), 48000.0f);
        }) / 1000.0);

    const double perBlock = medianOf(signalUs);
    const double plainPerBlock = medianOf(plainUs);
    std::printf("12-band equaliser (%d bands on) + gain stage, 480 stereo frames: %.2f µs per 10 ms block; "
                "a plain 12-band float biquad chain: %.2f µs (%.2f times it)\n",
                enabled, perBlock, plainPerBlock, perBlock / plainPerBlock);
    std::printf("equaliser solve (200 passes at most): %.2f ms per solve\n", medianOf(solveMs));
    std::printf("silence after a burst: %.2f µs per block, %.2f times a block of signal\n", medianOf(silenceUs),
                medianOf(silenceUs) / perBlock);
    return 0;
}
