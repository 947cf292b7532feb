// Cost of one 10 ms mixer block: 16 sources pushed (half of them at 44.1 kHz,
// so through their resamplers) and both buses pulled.
#include "platform/windows/routerAudio/Mixer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <vector>

namespace {

constexpr int kSources = 16;
constexpr int kWarmupBlocks = 100;
constexpr int kMeasuredBlocks = 2000;

WAVEFORMATEX floatFormat(uint32_t rate)
{
    WAVEFORMATEX f{};
    f.wFormatTag = WAVE_FORMAT_IEEE_FLOAT;
    f.nChannels = 2;
    f.nSamplesPerSec = rate;
    f.wBitsPerSample = 32;
    f.nBlockAlign = 8;
    f.nAvgBytesPerSec = rate * 8;
    return f;
}

struct Source {
    uint32_t id;
    WAVEFORMATEX format;
    uint32_t frames;
    std::vector<float> samples;
    uint64_t position = 0;

    void render()
    {
        const double hz = 200.0 + 37.0 * id;
        for (uint32_t f = 0; f < frames; ++f) {
            const auto v = static_cast<float>(0.05 * std::sin(2.0 * M_PI * hz * double(position + f) / format.nSamplesPerSec));
            samples[2 * f] = v;
            samples[2 * f + 1] = v;
        }
        position += frames;
    }
};

} // namespace

int main()
{
    AudioRouteConfigStore store;
    Mixer mixer(store);

    std::vector<Source> sources;
    for (int i = 0; i < kSources; ++i) {
        const uint32_t id = 100 + i;
        const bool cd = i % 2 == 1;
        const uint32_t rate = cd ? 44100 : 48000;
        const uint32_t frames = rate / 100;
        sources.push_back({id, floatFormat(rate), frames, std::vector<float>(frames * 2)});
        AudioRouteConfig r;
        r.processID = id;
        r.active = 1;
        r.input1 = {1, 0.8f, 0};
        r.input2 = {1, 0.8f, 0};
        store.set(id, r);
    }

    std::vector<float> bus1(960);
    std::vector<float> bus2(960);
    std::vector<double> blockUs;
    blockUs.reserve(kMeasuredBlocks);
    for (int block = 0; block < kWarmupBlocks + kMeasuredBlocks; ++block) {
        for (auto &s : sources)
            s.render();
        const auto start = std::chrono::steady_clock::now();
        for (auto &s : sources)
            mixer.push(s.id, s.samples.data(), uint32_t(s.samples.size() * sizeof(float)), &s.format);
        mixer.pullBus(bus1.data(), 480, 1);
        mixer.pullBus(bus2.data(), 480, 2);
        const auto end = std::chrono::steady_clock::now();
        if (block >= kWarmupBlocks)
            blockUs.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    }

    std::sort(blockUs.begin(), blockUs.end());
    double sum = 0;
    for (double us : blockUs)
        sum += us;
    std::printf("mixer: %.1f us mean, %.1f us median, %.1f us p99 per 10 ms block "
                "(16 sources, 8 at 44.1 kHz, both buses pulled; budget 10000 us)\n",
                sum / double(blockUs.size()), blockUs[blockUs.size() / 2], blockUs[blockUs.size() * 99 / 100]);
    return 0;
}
