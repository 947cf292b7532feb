#pragma once
// The microphone's 12-band graphic equaliser: fixed band centres, the
// magnitude of one peaking band, and the solver that finds band gains whose
// summed response meets the wanted gain at every centre.

#include <array>

constexpr int kEqBandCount = 12;

// Band i of the equaliser always sits at centre i (Hz).
inline constexpr std::array<float, kEqBandCount> centreFrequencies = {
    63.0f, 125.0f, 250.0f, 400.0f, 630.0f, 1000.0f, 1600.0f, 2500.0f, 4000.0f, 6300.0f, 10000.0f, 16000.0f};

// Magnitude in dB at `frequency` of a one-octave peaking band (the design
// the filters use), the coefficients in float, the response in double.
double peakingBandResponseDb(float centre, float gainDb, float frequency, float sampleRate);

// Gauss-Seidel passes (at most 200) on the band gains; the result lies in
// [-24, 24] dB. Not for the audio thread: up to 200 x 12 x 12 band responses.
void solveGraphicEqGains(const float centres[kEqBandCount], const float targets[kEqBandCount],
                         float gains[kEqBandCount], float sampleRate);
