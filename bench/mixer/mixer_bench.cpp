// Cost of one 10 ms mixer block: 16 sources pushed (half of them at 44.1 kHz,
// so through their resamplers) and both buses pulled; then the same at
// 48 kHz only, next to a plain loop doing the same mixing.
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

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

struct Run {
    std::vector<double> blockUs;
    double mean() const
    {
        double sum = 0;
        for (double us : blockUs)
            sum += us;
        return sum / double(blockUs.size());
    }
};

// 16 sources pushed (every odd one at cdRate), meters updated, both buses pulled.
Run runMixer(uint32_t cdRate)
{
    AudioRouteConfigStore store;
    Mixer mixer(store);

    std::vector<Source> sources;
    for (int i = 0; i < kSources; ++i) {
        const uint32_t id = 100 + i;
        const uint32_t rate = i % 2 == 1 ? cdRate : 48000;
        const uint32_t frames = rate / 100;
        sources.push_back({id, os::floatFormat(rate, 2), frames, std::vector<float>(frames * 2)});
        AudioRouteConfig r;
        r.processID = id;
        r.active = 1;
        r.input1 = {1, 0.8f, 0};
        r.input2 = {1, 0.8f, 0};
        store.set(id, r);
    }

    std::vector<float> bus1(960);
    std::vector<float> bus2(960);
    Run run;
    run.blockUs.reserve(kMeasuredBlocks);
    for (int block = 0; block < kWarmupBlocks + kMeasuredBlocks; ++block) {
        for (auto &s : sources)
            s.render();
        const auto start = std::chrono::steady_clock::now();
        for (auto &s : sources)
            mixer.push(s.id, s.samples.data(), uint32_t(s.samples.size() * sizeof(float)), &s.format);
        mixer.updateBusMeters();
        mixer.pullBus(bus1.data(), 480, 1);
        mixer.pullBus(bus2.data(), 480, 2);
        const auto end = std::chrono::steady_clock::now();
        if (block == 0)
            mixer.waitForConverters();
        if (block >= kWarmupBlocks)
            run.blockUs.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    }
    return run;
}

float softClip(float x)
{
    if (x > 0.95f)
        x = 0.95f + 0.05f * (1.0f - std::exp(-20.0f * (x - 0.95f)));
    else if (x < -0.95f)
        x = -0.95f - 0.05f * (1.0f - std::exp(20.0f * (x + 0.95f)));
    return std::clamp(x, -1.0f, 1.0f);
}

// The same mixing as a plain loop: 16 float stereo sources into two buses
// with gain, peak meters, soft clip and limit.
Run runPlainLoop()
{
    std::vector<Source> sources;
    for (int i = 0; i < kSources; ++i)
        sources.push_back({uint32_t(100 + i), os::floatFormat(48000, 2), 480, std::vector<float>(960)});
    std::vector<float> bus1(960);
    std::vector<float> bus2(960);
    float peaks[kSources][2] = {};
    volatile float sink = 0;
    Run run;
    run.blockUs.reserve(kMeasuredBlocks);
    for (int block = 0; block < kWarmupBlocks + kMeasuredBlocks; ++block) {
        for (auto &s : sources)
            s.render();
        const auto start = std::chrono::steady_clock::now();
        std::fill(bus1.begin(), bus1.end(), 0.0f);
        std::fill(bus2.begin(), bus2.end(), 0.0f);
        for (int i = 0; i < kSources; ++i) {
            const float *in = sources[i].samples.data();
            float peak[2] = {0.0f, 0.0f};
            for (size_t k = 0; k < 960; ++k) {
                peak[k & 1] = std::max(peak[k & 1], std::fabs(in[k]));
                bus1[k] += in[k] * 0.8f;
                bus2[k] += in[k] * 0.8f;
            }
            peaks[i][0] = peak[0];
            peaks[i][1] = peak[1];
        }
        for (size_t k = 0; k < 960; ++k) {
            bus1[k] = softClip(bus1[k]);
            bus2[k] = softClip(bus2[k]);
        }
        const auto end = std::chrono::steady_clock::now();
        sink = bus1[block % 960] + bus2[(block * 7) % 960] + peaks[block % kSources][block & 1];
        if (block >= kWarmupBlocks)
            run.blockUs.push_back(std::chrono::duration<double, std::micro>(end - start).count());
    }
    (void)sink;
    return run;
}

} // namespace

int main()
{
    const Run resampling = runMixer(44100);
    std::printf("mixer: %.1f us mean, %.1f us median, %.1f us p99 per 10 ms block "
                "(16 sources, 8 at 44.1 kHz, both buses pulled; budget 10000 us)\n",
                resampling.mean(), median(resampling.blockUs),
                [&] {
                    auto v = resampling.blockUs;
                    std::sort(v.begin(), v.end());
                    return v[v.size() * 99 / 100];
                }());
    const Run plain = runPlainLoop();
    const Run mixerOnly = runMixer(48000);
    std::printf("no-resampling: median %.1f us per block\n", median(mixerOnly.blockUs));
    std::printf("plain loop: median %.1f us per block (16 float stereo sources, two buses, gain, soft clip, "
                "peak meters)\n",
                median(plain.blockUs));
    return 0;
}
