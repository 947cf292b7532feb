#pragma once
// What a simulated capture endpoint or process plays: a function of the
// frame index, rendered at whatever rate and channel count a stream asks.

#include <cstdint>
#include <memory>
#include <vector>

namespace os {

class SignalSource {
public:
    virtual ~SignalSource() = default;
    // Writes frames x channels interleaved samples starting at firstFrame.
    virtual void render(std::uint64_t firstFrame, std::uint32_t frames, std::uint32_t channels,
                        std::uint32_t sampleRate, float* out) const = 0;
};

class Signal {
public:
    Signal() = default; // silence

    static Signal silence() { return {}; }
    // amplitude * sin(2 pi f n / rate) on every channel.
    static Signal sine(double frequencyHz, float amplitude);
    // start + step * (n mod lengthFrames) on every channel.
    static Signal ramp(float start, float step, std::uint32_t lengthFrames);
    // Interleaved samples with their own channel count, repeated for ever;
    // a stream with more channels reuses them modulo the count.
    static Signal buffer(std::vector<float> interleaved, std::uint32_t channels);
    static Signal custom(std::shared_ptr<const SignalSource> source);

    bool isSilence() const { return !m_source; }
    void render(std::uint64_t firstFrame, std::uint32_t frames, std::uint32_t channels, std::uint32_t sampleRate,
                float* out) const;

private:
    explicit Signal(std::shared_ptr<const SignalSource> source)
        : m_source(std::move(source))
    {
    }
    std::shared_ptr<const SignalSource> m_source; // immutable once made, shared between threads
};

} // namespace os
