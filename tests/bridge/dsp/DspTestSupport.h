#pragma once
// Frequency responses of a section's float coefficients, evaluated in double.

#include "bridge/dsp/Biquad.h"

#include <cmath>
#include <complex>

namespace dsptest {

constexpr double kRate = 48000.0;

inline std::complex<double> response(const FBiquad &s, double hz, double rate = kRate)
{
    const std::complex<double> z1 = std::polar(1.0, -2.0 * M_PI * hz / rate);
    const std::complex<double> z2 = z1 * z1;
    return (double(s.b0) + double(s.b1) * z1 + double(s.b2) * z2) / (1.0 + double(s.a1) * z1 + double(s.a2) * z2);
}

inline double responseDb(const FBiquad &s, double hz, double rate = kRate)
{
    return 20.0 * std::log10(std::abs(response(s, hz, rate)));
}

inline bool insideStabilityTriangle(const FBiquad &s)
{
    return std::isfinite(s.b0) && std::isfinite(s.b1) && std::isfinite(s.b2) && std::isfinite(s.a1)
        && std::isfinite(s.a2) && std::fabs(s.a2) < 1.0f && std::fabs(s.a1) < 1.0f + s.a2;
}

} // namespace dsptest
