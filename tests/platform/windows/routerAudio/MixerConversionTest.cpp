#include "MixerTestSupport.h"

#include <gtest/gtest.h>

#include "platform/windows/routerAudio/MixerLog.h"

#include <algorithm>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

using namespace mixertest;

namespace {

template <typename T>
std::vector<float> convert(const std::vector<T> &samples, const WAVEFORMATEX &format)
{
    std::vector<float> out;
    convertToFloatStereo(samples.data(), static_cast<uint32_t>(samples.size() * sizeof(T)), format, out);
    return out;
}

std::vector<float> convertBytes(const std::vector<uint8_t> &bytes, const WAVEFORMATEX &format)
{
    return convert(bytes, format);
}

// --- Sample formats -------------------------------------------------------

TEST(ConvertToFloatStereo, Int16ScalesBy32768)
{
    const auto out = convert(std::vector<int16_t>{-32768, 32767, 0, 16384}, pcmFormat(16, 2));
    ASSERT_EQ(out.size(), 4u);
    EXPECT_FLOAT_EQ(out[0], -1.0f);
    EXPECT_NEAR(out[1], 0.999969f, 1e-6);
    EXPECT_FLOAT_EQ(out[2], 0.0f);
    EXPECT_FLOAT_EQ(out[3], 0.5f);
}

TEST(ConvertToFloatStereo, Int32ScalesBy2Pow31InSinglePrecision)
{
    const auto out = convert(std::vector<int32_t>{INT32_MIN, INT32_MAX}, pcmFormat(32, 2));
    ASSERT_EQ(out.size(), 2u);
    EXPECT_FLOAT_EQ(out[0], -1.0f);
    EXPECT_FLOAT_EQ(out[1], 1.0f);
}

TEST(ConvertToFloatStereo, Int24PackedAndUnsigned8Bit)
{
    // 24-bit little-endian: 0x7FFFFF, 0x800000 | 0x000001, 0xC00000
    const auto out24 = convertBytes({0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x80, 0x01, 0x00, 0x00, 0x00, 0x00, 0xC0},
                                    pcmFormat(24, 2));
    ASSERT_EQ(out24.size(), 4u);
    EXPECT_FLOAT_EQ(out24[0], 8388607.0f / 8388608.0f);
    EXPECT_FLOAT_EQ(out24[1], -1.0f);
    EXPECT_FLOAT_EQ(out24[2], 1.0f / 8388608.0f);
    EXPECT_FLOAT_EQ(out24[3], -0.5f);

    const auto out8 = convertBytes({0, 128, 255, 64}, pcmFormat(8, 2));
    ASSERT_EQ(out8.size(), 4u);
    EXPECT_FLOAT_EQ(out8[0], -1.0f);
    EXPECT_FLOAT_EQ(out8[1], 0.0f);
    EXPECT_FLOAT_EQ(out8[2], 127.0f / 128.0f);
    EXPECT_FLOAT_EQ(out8[3], -0.5f);
}

TEST(ConvertToFloatStereo, FloatPassesUnclampedButNonFiniteBecomesZero)
{
    const auto out = convert(std::vector<float>{1.5f, -3.0f, NAN, INFINITY, -INFINITY, 0.25f},
                             os::floatFormat(kMixSampleRate, 2));
    ASSERT_EQ(out.size(), 6u);
    EXPECT_FLOAT_EQ(out[0], 1.5f);
    EXPECT_FLOAT_EQ(out[1], -3.0f);
    EXPECT_EQ(out[2], 0.0f);
    EXPECT_EQ(out[3], 0.0f);
    EXPECT_EQ(out[4], 0.0f);
    EXPECT_FLOAT_EQ(out[5], 0.25f);
}

TEST(ConvertToFloatStereo, FloatTagIgnoresBitsPerSample)
{
    WAVEFORMATEX f = os::floatFormat(kMixSampleRate, 2);
    f.wBitsPerSample = 64;
    const auto out = convert(std::vector<float>{0.5f, -0.5f}, f);
    EXPECT_EQ(out, (std::vector<float>{0.5f, -0.5f}));
}

// --- Channels and framing -------------------------------------------------

TEST(ConvertToFloatStereo, MonoIsCopiedToBothSidesAndExtraChannelsAreDropped)
{
    EXPECT_EQ(convert(std::vector<float>{0.1f, 0.2f}, os::floatFormat(kMixSampleRate, 1)),
              (std::vector<float>{0.1f, 0.1f, 0.2f, 0.2f}));
    EXPECT_EQ(convert(std::vector<float>{0.1f, 0.2f, 0.3f, 0.4f, 0.5f, 0.6f, -0.1f, -0.2f, 9, 9, 9, 9},
                      os::floatFormat(kMixSampleRate, 6)),
              (std::vector<float>{0.1f, 0.2f, -0.1f, -0.2f}));
}

TEST(ConvertToFloatStereo, IncompleteTrailingFrameIsIgnored)
{
    std::vector<uint8_t> bytes(1000, 0);
    EXPECT_EQ(convertBytes(bytes, pcmFormat(16, 3)).size(), 166u * 2);
    EXPECT_TRUE(convertBytes({1, 2, 3}, pcmFormat(16, 2)).empty());
}

TEST(ConvertToFloatStereo, FramesAreSteppedByBlockAlignment)
{
    WAVEFORMATEX f = pcmFormat(16, 2);
    f.nBlockAlign = 6; // two bytes of padding per frame
    const std::vector<int16_t> samples{16384, -16384, 9999, 8192, -8192, 9999};
    EXPECT_EQ(convert(samples, f), (std::vector<float>{0.5f, -0.5f, 0.25f, -0.25f}));
}

TEST(ConvertToFloatStereo, RefusedBlocksLeaveNoStaleSamples)
{
    const std::vector<int16_t> samples(64, 1000);
    auto refused = [&](const WAVEFORMATEX &f) {
        std::vector<float> out(50, 0.7f); // the previous block of another source
        convertToFloatStereo(samples.data(), 128, f, out);
        return out.empty();
    };
    WAVEFORMATEX noChannels = pcmFormat(16, 2);
    noChannels.nChannels = 0;
    EXPECT_TRUE(refused(noChannels));
    WAVEFORMATEX zeroAlign = pcmFormat(16, 2);
    zeroAlign.nBlockAlign = 0;
    EXPECT_TRUE(refused(zeroAlign));
    WAVEFORMATEX shortAlign = pcmFormat(16, 2);
    shortAlign.nBlockAlign = 2; // would read the right channel from the next frame
    EXPECT_TRUE(refused(shortAlign));
    WAVEFORMATEX shortFloatAlign = os::floatFormat(kMixSampleRate, 2);
    shortFloatAlign.nBlockAlign = 4;
    EXPECT_TRUE(refused(shortFloatAlign));
    EXPECT_TRUE(refused(pcmFormat(12, 2)));
    EXPECT_TRUE(refused(pcmFormat(0, 2)));
    WAVEFORMATEX adpcm = pcmFormat(16, 2);
    adpcm.wFormatTag = 2;
    EXPECT_TRUE(refused(adpcm));
    std::vector<float> out(8, 0.7f);
    convertToFloatStereo(nullptr, 16, pcmFormat(16, 2), out);
    EXPECT_TRUE(out.empty());
}

// --- Extensible records ---------------------------------------------------

TEST(ConvertToFloatStereo, ExtensibleReadsThroughSubFormat)
{
    auto pcm16 = extensibleFormat(KSDATAFORMAT_SUBTYPE_PCM, 16, 16);
    EXPECT_EQ(convert(std::vector<int16_t>{16384, -32768}, pcm16.Format), (std::vector<float>{0.5f, -1.0f}));

    auto flt = extensibleFormat(KSDATAFORMAT_SUBTYPE_IEEE_FLOAT, 32, 32);
    EXPECT_EQ(convert(std::vector<float>{1.5f, -0.25f}, flt.Format), (std::vector<float>{1.5f, -0.25f}));
}

TEST(ConvertToFloatStereo, ExtensibleValidBitsDropPaddingBits)
{
    // 24 valid bits in a 32-bit container: the low byte is padding.
    auto f = extensibleFormat(KSDATAFORMAT_SUBTYPE_PCM, 32, 24);
    const auto out = convert(std::vector<int32_t>{INT32_MAX, static_cast<int32_t>(0xC00000FF)}, f.Format);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_FLOAT_EQ(out[0], 1.0f - 1.0f / 8388608.0f);
    EXPECT_FLOAT_EQ(out[1], -0.5f);
}

TEST(ConvertToFloatStereo, ExtensibleRecordsItCannotReadAreDropped)
{
    const std::vector<int16_t> samples{1000, 1000};
    auto dropped = [&](const WAVEFORMATEXTENSIBLE &x) {
        std::vector<float> out(4, 0.7f);
        convertToFloatStereo(samples.data(), 4, x.Format, out);
        return out.empty();
    };
    auto truncated = extensibleFormat(KSDATAFORMAT_SUBTYPE_PCM, 16, 16);
    truncated.Format.cbSize = 0;
    EXPECT_TRUE(dropped(truncated));
    EXPECT_TRUE(dropped(extensibleFormat(KSDATAFORMAT_SUBTYPE_PCM, 16, 20)));
    EXPECT_TRUE(dropped(extensibleFormat(KSDATAFORMAT_SUBTYPE_PCM, 16, 0)));
    EXPECT_TRUE(dropped(extensibleFormat(KSDATAFORMAT_SUBTYPE_IEEE_FLOAT, 16, 16)));
    WaveGuid unknown = KSDATAFORMAT_SUBTYPE_PCM;
    unknown.Data1 = 0x92; // a compressed sub-format
    EXPECT_TRUE(dropped(extensibleFormat(unknown, 16, 16)));
}

// --- Resampling -----------------------------------------------------------

// Counts creations and their threads; can hold them back or fail them.
class TestConverterFactory : public ConverterFactory {
public:
    SRC_STATE *create(int &error) override
    {
        std::unique_lock lock(m_mutex);
        ++m_calls;
        m_threads.push_back(std::this_thread::get_id());
        m_released.wait(lock, [this] { return !m_held; });
        if (m_failWith != 0) {
            error = m_failWith;
            return nullptr;
        }
        return ConverterFactory::create(error);
    }
    void hold()
    {
        std::lock_guard lock(m_mutex);
        m_held = true;
    }
    void release()
    {
        {
            std::lock_guard lock(m_mutex);
            m_held = false;
        }
        m_released.notify_all();
    }
    void failWith(int error)
    {
        std::lock_guard lock(m_mutex);
        m_failWith = error;
    }
    int calls() const
    {
        std::lock_guard lock(m_mutex);
        return m_calls;
    }
    std::vector<std::thread::id> threads() const
    {
        std::lock_guard lock(m_mutex);
        return m_threads;
    }

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_released;
    bool m_held = false;
    int m_failWith = 0;
    int m_calls = 0;
    std::vector<std::thread::id> m_threads;
};

class Resample : public testing::Test {
protected:
    Resample()
    {
        setMixerLogSink([this](const std::string &line) {
            std::lock_guard lock(logMutex);
            log.push_back(line);
        });
        mixer = std::make_unique<Mixer>(store, factory);
    }
    ~Resample() override
    {
        mixer.reset();
        setMixerLogSink({});
    }
    std::vector<std::string> lines()
    {
        std::lock_guard lock(logMutex);
        return {log.begin() + 1, log.end()}; // past the backend line
    }
    // One block through the source's converter once it has been handed over.
    void settle(Mixer::InputBuffer &holder, uint32_t rate)
    {
        std::vector<float> out;
        mixer->resampleTo48k(constantBlock(rate / 100, 0.0f), rate, out, holder);
        mixer->waitForConverters();
    }

    std::shared_ptr<TestConverterFactory> factory = std::make_shared<TestConverterFactory>();
    AudioRouteConfigStore store;
    std::unique_ptr<Mixer> mixer;
    std::mutex logMutex;
    std::vector<std::string> log;
};

TEST_F(Resample, NothingToResampleGivesEmptyOutput)
{
    Mixer::InputBuffer holder;
    std::vector<float> out(10, 1.0f);
    mixer->resampleTo48k(constantBlock(100, 0.1f), 0, out, holder);
    EXPECT_TRUE(out.empty());
    out.assign(10, 1.0f);
    mixer->resampleTo48k({}, 44100, out, holder);
    EXPECT_TRUE(out.empty());
    out.assign(10, 1.0f);
    mixer->resampleTo48k(constantBlock(4800, 0.1f), 1, out, holder);
    EXPECT_TRUE(out.empty());
    mixer->resampleTo48k(constantBlock(4800, 0.1f), 100'000'000, out, holder);
    EXPECT_TRUE(out.empty()); // absurd rates would blow up the output
    mixer->waitForConverters();
    EXPECT_EQ(factory->calls(), 0);
    EXPECT_EQ(holder.resamplerState, nullptr);
}

TEST_F(Resample, ConverterIsKeptPerRateAndRemadeOnEveryChange)
{
    Mixer::InputBuffer holder;
    settle(holder, 44100);
    settle(holder, 44100);
    SRC_STATE *first = holder.resamplerState;
    ASSERT_NE(first, nullptr);
    settle(holder, 44100);
    EXPECT_EQ(holder.resamplerState, first);
    settle(holder, 32000);
    settle(holder, 32000);
    EXPECT_EQ(holder.resamplerRate, 32000u);
    settle(holder, 44100);
    settle(holder, 32000);
    const std::string line44 = "[Mixer] LibSR engaged, rate=44100 Hz, conv=SINC_BEST_QUALITY";
    const std::string line32 = "[Mixer] LibSR engaged, rate=32000 Hz, conv=SINC_BEST_QUALITY";
    EXPECT_EQ(lines(), (std::vector<std::string>{line44, line32, line44, line32}));
    EXPECT_EQ(factory->calls(), 4);
}

// A rate change while pushes go on: no push makes or waits for a converter;
// blocks before the handover are cubic, after it libsamplerate's, and the
// handover block itself is converted, so no input is dropped.
TEST_F(Resample, RateChangeHandsTheConverterOverWithoutStallingPushes)
{
    store.set(90, routed(90));
    factory->hold();
    std::vector<std::vector<float>> blocks;
    for (int b = 0; b < 8; ++b)
        blocks.push_back(sineBlock(441, 1000.0, 44100.0, 0.5f, uint64_t(b) * 441));
    auto bus1 = mixer->bufferFor(90, 1);
    uint32_t written = 0;
    auto pushAndRead = [&](const std::vector<float> &block) {
        const uint32_t before = bus1->writeIndex.load();
        pushFloats(*mixer, 90, block, 44100);
        const uint32_t after = bus1->writeIndex.load();
        std::vector<float> got;
        for (uint32_t i = before; i != after; i = (i + 1) % kRingSamples)
            got.push_back(bus1->ring[i]);
        written += static_cast<uint32_t>(got.size());
        return got;
    };

    // Held: three blocks go through the cubic fallback at once.
    for (int b = 0; b < 3; ++b) {
        std::vector<float> cubic;
        Mixer::cubicResample(blocks[b], 44100, cubic);
        EXPECT_EQ(pushAndRead(blocks[b]), cubic) << "block " << b;
    }
    factory->release();
    mixer->waitForConverters();
    EXPECT_EQ(factory->calls(), 1); // asked once, not per block
    for (std::thread::id id : factory->threads())
        EXPECT_NE(id, std::this_thread::get_id());

    // Handed over: from here on, a fresh converter's output block for block.
    SRC_STATE *reference = src_new(SRC_SINC_BEST_QUALITY, 2, nullptr);
    for (int b = 3; b < 8; ++b) {
        std::vector<float> expected(2 * 600);
        SRC_DATA job{};
        job.data_in = blocks[b].data();
        job.input_frames = 441;
        job.data_out = expected.data();
        job.output_frames = 600;
        job.src_ratio = 48000.0 / 44100.0;
        ASSERT_EQ(src_process(reference, &job), 0);
        EXPECT_EQ(job.input_frames_used, 441); // every input frame is taken in
        expected.resize(size_t(job.output_frames_gen) * 2);
        EXPECT_EQ(pushAndRead(blocks[b]), expected) << "block " << b;
    }
    src_delete(reference);
    EXPECT_EQ(bus1->resamplerRate, 44100u);
    EXPECT_GT(written, 3u * 960);
}

TEST_F(Resample, FailedCreationIsLoggedBlocksFallBackAndTheNextBlockTriesAgain)
{
    Mixer::InputBuffer holder;
    factory->failWith(-3);
    const auto in = constantBlock(441, 0.25f);
    std::vector<float> out;
    std::vector<float> cubic;
    Mixer::cubicResample(in, 44100, cubic);
    mixer->resampleTo48k(in, 44100, out, holder);
    mixer->waitForConverters();
    EXPECT_EQ(out, cubic);
    mixer->resampleTo48k(in, 44100, out, holder); // sees the failure, asks again
    mixer->waitForConverters();
    EXPECT_EQ(out, cubic);
    EXPECT_EQ(holder.resamplerState, nullptr);
    EXPECT_EQ(factory->calls(), 2);
    const std::string failed = "[Mixer] src_new failed (err=-3); falling back to cubic for rate=44100";
    EXPECT_EQ(lines(), (std::vector<std::string>{failed, failed}));

    factory->failWith(0);
    mixer->resampleTo48k(in, 44100, out, holder);
    mixer->waitForConverters();
    mixer->resampleTo48k(in, 44100, out, holder);
    EXPECT_EQ(holder.resamplerRate, 44100u);
    EXPECT_NE(out, cubic);
}

TEST_F(Resample, StreamingConverterKeepsToneFrequencyAmplitudeAndContinuity)
{
    Mixer::InputBuffer holder;
    settle(holder, 44100);
    std::vector<float> block;
    std::vector<float> stream;
    constexpr uint32_t kBlockFrames = 441;
    constexpr int kBlocks = 60;
    for (int b = 0; b < kBlocks; ++b) {
        const auto in = sineBlock(kBlockFrames, 1000.0, 44100.0, 0.5f, uint64_t(b) * kBlockFrames);
        mixer->resampleTo48k(in, 44100, block, holder);
        // A block yields about 480 frames, never wildly more or fewer.
        EXPECT_LE(block.size() / 2, 480u + 16u);
        for (size_t i = 0; i < block.size(); i += 2)
            stream.push_back(block[i]);
    }
    // The converter's delay eats some of the start; a dropped input block
    // would lose ~480 frames.
    ASSERT_GT(stream.size(), size_t(kBlocks - 2) * 480);

    // Least-squares fit of an ideal 1 kHz tone at 48 kHz over the steady part:
    // any lost, repeated or jumped sample at a block edge leaves a residual.
    const size_t begin = 2000;
    const double w = 2.0 * M_PI * 1000.0 / 48000.0;
    double ss = 0, cc = 0, sc = 0, ys = 0, yc = 0;
    for (size_t n = begin; n < stream.size(); ++n) {
        const double s = std::sin(w * n), c = std::cos(w * n);
        ss += s * s;
        cc += c * c;
        sc += s * c;
        ys += stream[n] * s;
        yc += stream[n] * c;
    }
    const double det = ss * cc - sc * sc;
    const double a = (ys * cc - yc * sc) / det;
    const double b = (yc * ss - ys * sc) / det;
    EXPECT_NEAR(std::hypot(a, b), 0.5, 0.005);
    double worst = 0;
    for (size_t n = begin; n < stream.size(); ++n)
        worst = std::max(worst, std::fabs(stream[n] - (a * std::sin(w * n) + b * std::cos(w * n))));
    EXPECT_LT(worst, 0.005);
}

TEST(CubicResample, UpsamplesByInterpolatingBetweenFrames)
{
    const std::vector<float> in{0.0f, 1.0f, 0.4f, -1.0f, 0.8f, 0.0f};
    std::vector<float> out;
    Mixer::cubicResample(in, 24000, out);
    const std::vector<float> expected{0.0f, 1.0f, 0.2f, 0.0f, 0.4f, -1.0f, 0.6f, -0.5f, 0.8f, 0.0f, 0.8f, 0.0f};
    ASSERT_EQ(out.size(), expected.size());
    for (size_t i = 0; i < out.size(); ++i)
        EXPECT_NEAR(out[i], expected[i], 1e-6) << i;
}

TEST(CubicResample, SingleFrameDownsamplesToItself)
{
    std::vector<float> out;
    Mixer::cubicResample({0.3f, -0.6f}, 96000, out);
    EXPECT_EQ(out, (std::vector<float>{0.3f, -0.6f}));
}

TEST(CubicResample, InnerFramesUseCatmullRomEdgesLinear)
{
    // Catmull-Rom follows a parabola exactly, where a straight line between
    // two frames does not.
    std::vector<float> in;
    for (int i = 0; i < 8; ++i) {
        in.push_back(0.01f * float(i * i));
        in.push_back(-0.1f * float(i));
    }
    std::vector<float> out;
    Mixer::cubicResample(in, 32000, out); // step 2/3
    ASSERT_EQ(out.size(), 12u * 2);
    EXPECT_NEAR(out[2 * 1], 0.01f * (2.0f / 3.0f), 1e-6); // first interval: linear
    for (size_t i = 2; i <= 8; ++i) { // positions 4/3 to 16/3: inner frames
        const float p = (2.0f / 3.0f) * float(i);
        EXPECT_NEAR(out[2 * i], 0.01f * p * p, 1e-5) << i;
        EXPECT_NEAR(out[2 * i + 1], -0.1f * p, 1e-5) << i;
    }
}

} // namespace
