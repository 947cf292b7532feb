#include "bridge/dsp/MonitorGainStage.h"

#include <cmath>

bool MonitorGainStage::configure(double rate, int channelCount)
{
    if (channelCount < 1 || channelCount > kMaxChannels)
        return false;
    sampleRate = rate > 0.0 && std::isfinite(rate) ? static_cast<float>(rate) : 48000.0f;
    channels = channelCount;
    return true;
}

void MonitorGainStage::updateCoefficient()
{
    coef = 1.0f - std::exp(-1.0f / (0.005f * sampleRate));
    if (!(coef > 0.0f)) // NaN too: a stage that cannot glide holds its gain
        coef = 0.0f;
    else if (coef > 1.0f)
        coef = 1.0f;
}

void MonitorGainStage::setGainDb(float db)
{
    if (std::isnan(db))
        return;
    gainDb = db > 0.0f ? 0.0f : db;
    target = std::pow(10.0f, gainDb / 20.0f);
}

void MonitorGainStage::process(const float *in, float *out)
{
    if (channels < 1 || channels > kMaxChannels)
        return;
    current = current + (target - current) * coef;
    for (int k = 0; k < channels; ++k) {
        const float y = in[k] * current;
        out[k] = y > 1.0f ? 1.0f : (y < -1.0f ? -1.0f : (y == y ? y : 0.0f));
    }
}
