#include "platform/os/sim/Signal.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace os {

namespace {

class SineSource final : public SignalSource {
public:
    SineSource(double frequencyHz, float amplitude)
        : m_frequencyHz(frequencyHz)
        , m_amplitude(amplitude)
    {
    }
    void render(std::uint64_t firstFrame, std::uint32_t frames, std::uint32_t channels, std::uint32_t sampleRate,
                float* out) const override
    {
        for (std::uint32_t i = 0; i < frames; ++i) {
            // fmod keeps the phase precise after hours of frames.
            const double cycles = std::fmod(static_cast<double>(firstFrame + i) * m_frequencyHz / sampleRate, 1.0);
            const float v = m_amplitude * static_cast<float>(std::sin(2.0 * std::numbers::pi * cycles));
            std::fill_n(out + static_cast<std::size_t>(i) * channels, channels, v);
        }
    }

private:
    double m_frequencyHz;
    float m_amplitude;
};

class RampSource final : public SignalSource {
public:
    RampSource(float start, float step, std::uint32_t lengthFrames)
        : m_start(start)
        , m_step(step)
        , m_length(std::max<std::uint32_t>(lengthFrames, 1))
    {
    }
    void render(std::uint64_t firstFrame, std::uint32_t frames, std::uint32_t channels, std::uint32_t,
                float* out) const override
    {
        for (std::uint32_t i = 0; i < frames; ++i) {
            const float v = m_start + m_step * static_cast<float>((firstFrame + i) % m_length);
            std::fill_n(out + static_cast<std::size_t>(i) * channels, channels, v);
        }
    }

private:
    float m_start;
    float m_step;
    std::uint32_t m_length;
};

class BufferSource final : public SignalSource {
public:
    BufferSource(std::vector<float> samples, std::uint32_t channels)
        : m_samples(std::move(samples))
        , m_channels(std::max<std::uint32_t>(channels, 1))
        , m_frames(m_samples.size() / m_channels)
    {
    }
    void render(std::uint64_t firstFrame, std::uint32_t frames, std::uint32_t channels, std::uint32_t,
                float* out) const override
    {
        if (m_frames == 0) {
            std::fill_n(out, static_cast<std::size_t>(frames) * channels, 0.0f);
            return;
        }
        for (std::uint32_t i = 0; i < frames; ++i) {
            const std::size_t frame = (firstFrame + i) % m_frames;
            for (std::uint32_t c = 0; c < channels; ++c)
                out[static_cast<std::size_t>(i) * channels + c] = m_samples[frame * m_channels + c % m_channels];
        }
    }

private:
    std::vector<float> m_samples;
    std::uint32_t m_channels;
    std::size_t m_frames;
};

} // namespace

Signal Signal::sine(double frequencyHz, float amplitude)
{
    return Signal(std::make_shared<SineSource>(frequencyHz, amplitude));
}

Signal Signal::ramp(float start, float step, std::uint32_t lengthFrames)
{
    return Signal(std::make_shared<RampSource>(start, step, lengthFrames));
}

Signal Signal::buffer(std::vector<float> interleaved, std::uint32_t channels)
{
    return Signal(std::make_shared<BufferSource>(std::move(interleaved), channels));
}

Signal Signal::custom(std::shared_ptr<const SignalSource> source)
{
    return Signal(std::move(source));
}

void Signal::render(std::uint64_t firstFrame, std::uint32_t frames, std::uint32_t channels, std::uint32_t sampleRate,
                    float* out) const
{
    if (!m_source || sampleRate == 0) {
        std::fill_n(out, static_cast<std::size_t>(frames) * channels, 0.0f);
        return;
    }
    m_source->render(firstFrame, frames, channels, sampleRate, out);
}

} // namespace os
