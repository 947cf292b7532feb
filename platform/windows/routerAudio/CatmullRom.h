#pragma once
// The stateless cubic interpolation both resampler fallbacks use: channel c
// of interleaved stereo input at a fractional frame position, Catmull-Rom
// inside, linear next to either edge (the block holds no neighbours there),
// the last frame repeated past the end. Single precision throughout.

#include <cstddef>

inline float catmullRomAt(const float *in, size_t frames, float position, size_t c)
{
    auto k = static_cast<size_t>(position);
    float t = position - static_cast<float>(k);
    if (!(position < static_cast<float>(frames))) { // also a position that is not finite
        k = frames - 1;
        t = 0.0f;
    }
    const auto at = [&](size_t frame) { return in[frame * 2 + c]; };
    if (k + 1 >= frames)
        return at(k);
    if (k == 0 || k + 2 >= frames)
        return at(k) * (1.0f - t) + at(k + 1) * t;
    const float t2 = t * t;
    const float t3 = t2 * t;
    const float w0 = -0.5f * t3 + t2 - 0.5f * t;
    const float w1 = 1.5f * t3 - 2.5f * t2 + 1.0f;
    const float w2 = -1.5f * t3 + 2.0f * t2 + 0.5f * t;
    const float w3 = 0.5f * t3 - 0.5f * t2;
    return at(k - 1) * w0 + at(k) * w1 + at(k + 1) * w2 + at(k + 2) * w3;
}
