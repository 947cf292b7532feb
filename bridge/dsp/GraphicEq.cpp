#include "bridge/dsp/GraphicEq.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr int kMaxPasses = 200;
constexpr double kConvergedDb = 1e-5;
constexpr float kMaxSolvedDb = 24.0f;
// Beyond this a target is no equaliser setting; it would only drive the
// passes to infinity.
constexpr float kMaxTargetDb = 48.0f;

} // namespace

double peakingBandResponseDb(float centre, float gainDb, float frequency, float sampleRate)
{
    if (std::fabs(gainDb) < 1e-6f || !std::isfinite(gainDb) || !(sampleRate > 0.0f))
        return 0.0;
    const float w0 = 6.283185f * centre / sampleRate;
    const float s = std::sin(w0);
    const float c = std::cos(w0);
    const float alpha = s * std::sinh(0.3465736f * w0 / s);
    const float A = std::pow(10.0f, gainDb / 40.0f);
    const float b0 = 1.0f + alpha * A, b1 = -2.0f * c, b2 = 1.0f - alpha * A;
    const float a0 = 1.0f + alpha / A, a1 = -2.0f * c, a2 = 1.0f - alpha / A;

    const double w = 6.283185307179586 * frequency / sampleRate;
    const double cw = std::cos(w), c2w = std::cos(2.0 * w), sw = std::sin(w), s2w = std::sin(2.0 * w);
    const double nr = b0 + b1 * cw + b2 * c2w, ni = b1 * sw + b2 * s2w;
    const double dr = a0 + a1 * cw + a2 * c2w, di = a1 * sw + a2 * s2w;
    return 10.0 * std::log10((nr * nr + ni * ni) / (dr * dr + di * di));
}

void solveGraphicEqGains(const float centres[kEqBandCount], const float targets[kEqBandCount],
                         float gains[kEqBandCount], float sampleRate)
{
    float wanted[kEqBandCount];
    for (int i = 0; i < kEqBandCount; ++i) {
        wanted[i] = std::isfinite(targets[i]) ? std::clamp(targets[i], -kMaxTargetDb, kMaxTargetDb) : 0.0f;
        gains[i] = wanted[i];
    }
    for (int pass = 0; pass < kMaxPasses; ++pass) {
        double maxCorrection = 0.0;
        for (int j = 0; j < kEqBandCount; ++j) {
            double sum = 0.0;
            for (int i = 0; i < kEqBandCount; ++i)
                sum += peakingBandResponseDb(centres[i], gains[i], centres[j], sampleRate);
            const double correction = wanted[j] - sum;
            gains[j] += static_cast<float>(correction);
            maxCorrection = std::max(maxCorrection, std::fabs(correction));
        }
        if (maxCorrection < kConvergedDb)
            break;
    }
    for (int i = 0; i < kEqBandCount; ++i)
        gains[i] = std::isfinite(gains[i]) ? std::clamp(gains[i], -kMaxSolvedDb, kMaxSolvedDb) : 0.0f;
}
