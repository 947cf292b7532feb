#pragma once
// The microphone's gain stage: an attenuation that glides to its target with
// a 5 ms one-pole time constant, then a hard clip to [-1, 1]. It never boosts.

#include <cstdint>

struct MonitorGainStage
{
    static constexpr int kMaxChannels = 8;

    // Sets rate and channel count for the frames to come; refuses (false,
    // stage unchanged) channels outside 1..kMaxChannels. A rate that is not
    // above 0 is taken as 48000.
    bool configure(double rate, int channelCount);
    void updateCoefficient();
    void setGainDb(float db);
    // One frame of `channels` samples; in and out may be the same frame.
    void process(const float *in, float *out);

    float sampleRate = 48000.0f;
    int32_t channels = 2;
    float gainDb = 0.0f;
    float target = 1.0f;
    float current = 1.0f;
    float coef = 1.0f;
};
