#include "MixerTestSupport.h"
#include "QuietMixer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

using namespace mixertest;

namespace {

class MixerPush : public testing::Test {
protected:
    MixerPush() { mixer = quietMixer(store, &constructionLog); }

    AudioRouteConfigStore store;
    std::unique_ptr<Mixer> mixer;
    std::string constructionLog;
};

std::vector<float> ringContents(const Mixer::InputBuffer &b)
{
    std::vector<float> out;
    for (float slot : b.ring)
        out.push_back(slot);
    return out;
}

TEST_F(MixerPush, ConstructionNamesTheResamplerBackend)
{
    const std::string head = "[Mixer] Resampler backend: libsamplerate (SRC_SINC_BEST_QUALITY), ";
    EXPECT_EQ(constructionLog.rfind(head, 0), 0u) << constructionLog;
    EXPECT_NE(constructionLog.find(src_get_version()), std::string::npos);
    EXPECT_EQ(constructionLog.back(), '\n');
}

// --- The gate ---------------------------------------------------------------

TEST_F(MixerPush, NothingIsTakenWhileTheVirtualOutputIsNotDefault)
{
    store.set(20, routed(20));
    store.virtualOutputIsDefault = false;
    pushFloats(*mixer, 20, constantBlock(480, 0.5f));
    EXPECT_TRUE(mixer->sourceIds().empty());
}

TEST_F(MixerPush, MissingOrInactiveRecordDropsTheBlock)
{
    pushFloats(*mixer, 21, constantBlock(480, 0.5f));
    AudioRouteConfig inactive = routed(22);
    inactive.active = 0;
    store.set(22, inactive);
    pushFloats(*mixer, 22, constantBlock(480, 0.5f));
    EXPECT_TRUE(mixer->sourceIds().empty());
}

TEST_F(MixerPush, EmptyOrUnreadableBlockMakesNoBuffer)
{
    store.set(23, routed(23));
    pushFloats(*mixer, 23, {});
    WAVEFORMATEX odd = pcmFormat(12, 2);
    const std::vector<uint8_t> bytes(96, 1);
    mixer->push(23, bytes.data(), 96, &odd);
    mixer->push(23, bytes.data(), 96, nullptr);
    EXPECT_TRUE(mixer->sourceIds().empty());
}

TEST_F(MixerPush, BothBusBuffersAppearOnFirstAcceptedBlockWhateverTheFlags)
{
    AudioRouteConfig r = routed(30);
    r.input1.enabled = 0;
    r.input2.enabled = 0;
    store.set(30, r);
    pushFloats(*mixer, 30, constantBlock(480, 0.5f));
    EXPECT_EQ(mixer->sourceIds(), (std::set<uint32_t>{30}));
    EXPECT_EQ(mixer->bufferFor(30, 1)->writeIndex.load(), 0u);
    EXPECT_EQ(mixer->bufferFor(30, 2)->writeIndex.load(), 0u);
    EXPECT_EQ(mixer->bufferFor(30, 1)->pushCount.load(), 1u); // still metered
}

// --- Bus flags --------------------------------------------------------------

TEST_F(MixerPush, MutedBusTakesSilenceButKeepsItsLevelDisabledBusTakesNothing)
{
    AudioRouteConfig r = routed(40, 0.8f, 1.0f);
    r.input1.muted = 1;
    r.input2.enabled = 0;
    store.set(40, r);
    auto bus1 = mixer->bufferFor(40, 1);
    bus1->ring[5] = 0.9f; // must be overwritten by the muted block
    pushFloats(*mixer, 40, constantBlock(480, 0.5f));

    EXPECT_EQ(bus1->writeIndex.load(), 960u);
    const auto ring = ringContents(*bus1);
    EXPECT_TRUE(std::all_of(ring.begin(), ring.begin() + 960, [](float s) { return s == 0.0f; }));
    // A constant 0.5 block meters (0.7 x 0.5 + 0.3 x 0.5) x 1.5 = 0.75.
    EXPECT_FLOAT_EQ(bus1->levelLeft.load(), 0.8f * 0.75f);
    EXPECT_FLOAT_EQ(bus1->levelRight.load(), 0.8f * 0.75f);

    auto bus2 = mixer->bufferFor(40, 2);
    EXPECT_EQ(bus2->writeIndex.load(), 0u);
    EXPECT_FLOAT_EQ(bus2->levelLeft.load(), 0.75f);
}

TEST_F(MixerPush, EnabledBusesTakeTheBlockAtTheirVolumes)
{
    store.set(41, routed(41, 0.5f, 0.25f));
    pushFloats(*mixer, 41, {0.4f, -0.8f, 0.2f, 0.6f});
    auto bus1 = ringContents(*mixer->bufferFor(41, 1));
    auto bus2 = ringContents(*mixer->bufferFor(41, 2));
    EXPECT_EQ(std::vector<float>(bus1.begin(), bus1.begin() + 4), (std::vector<float>{0.2f, -0.4f, 0.1f, 0.3f}));
    EXPECT_EQ(std::vector<float>(bus2.begin(), bus2.begin() + 4), (std::vector<float>{0.1f, -0.2f, 0.05f, 0.15f}));
}

TEST_F(MixerPush, SoloTakesTheListenVolumeEvenWhenMutedOrDisabledOnBus1)
{
    AudioRouteConfig r = routed(50, 0.5f, 1.0f);
    r.input1.muted = 1;
    r.solo = 1;
    store.set(50, r);
    pushFloats(*mixer, 50, constantBlock(4, 0.8f));
    std::vector<float> monitor(8, 9.0f);
    mixer->pullMonitor(monitor.data(), 4);
    for (float s : monitor)
        EXPECT_FLOAT_EQ(s, 0.4f);

    r.input1.enabled = 0;
    store.set(50, r);
    pushFloats(*mixer, 50, constantBlock(4, 0.6f));
    mixer->pullMonitor(monitor.data(), 4);
    for (float s : monitor)
        EXPECT_FLOAT_EQ(s, 0.3f);
}

// --- Levels -----------------------------------------------------------------

TEST_F(MixerPush, FullScaleSquareMetersOneAndScalesWithVolume)
{
    store.set(60, routed(60, 1.0f, 0.5f));
    std::vector<float> square(960);
    for (size_t i = 0; i < square.size(); ++i)
        square[i] = (i / 2) % 48 < 24 ? 1.0f : -1.0f;
    pushFloats(*mixer, 60, square);
    EXPECT_FLOAT_EQ(mixer->bufferFor(60, 1)->levelLeft.load(), 1.0f);
    EXPECT_FLOAT_EQ(mixer->bufferFor(60, 2)->levelRight.load(), 0.5f);
}

TEST_F(MixerPush, LevelsAreMeteredPerChannel)
{
    store.set(61, routed(61));
    std::vector<float> block(960, 0.0f);
    block[0] = 0.5f; // one left peak; rms of one 0.5 in 480 frames
    pushFloats(*mixer, 61, block);
    const float rms = std::sqrt(0.25f / 480.0f);
    EXPECT_NEAR(mixer->bufferFor(61, 1)->levelLeft.load(), (0.7f * rms + 0.3f * 0.5f) * 1.5f, 1e-6);
    EXPECT_EQ(mixer->bufferFor(61, 1)->levelRight.load(), 0.0f);
}

TEST_F(MixerPush, SilentBlockZeroesLevelsAndCountsThePush)
{
    store.set(62, routed(62));
    pushFloats(*mixer, 62, constantBlock(480, 0.5f));
    pushFloats(*mixer, 62, constantBlock(480, 0.0f));
    for (uint32_t bus : {1u, 2u}) {
        auto b = mixer->bufferFor(62, bus);
        EXPECT_EQ(b->levelLeft.load(), 0.0f);
        EXPECT_EQ(b->levelRight.load(), 0.0f);
        EXPECT_EQ(b->pushCount.load(), 2u);
    }
}

// --- Ring writes ------------------------------------------------------------

TEST_F(MixerPush, TwentyOneBlocksWrapTheRingKeepingTheNewestSamples)
{
    store.set(70, routed(70));
    for (int b = 0; b < 21; ++b) {
        std::vector<float> block(960);
        for (size_t i = 0; i < block.size(); ++i)
            block[i] = float(b * 960 + int(i)) * 1e-5f;
        pushFloats(*mixer, 70, block);
    }
    auto bus1 = mixer->bufferFor(70, 1);
    EXPECT_EQ(bus1->writeIndex.load(), 960u);
    // Slot s holds sample number 20160 - 9600 + ((s - 960) mod 9600).
    for (uint32_t s = 0; s < kRingSamples; ++s) {
        const uint32_t age = (s + kRingSamples - 960) % kRingSamples;
        ASSERT_EQ(bus1->ring[s], float(20160 - 9600 + int(age)) * 1e-5f) << s;
    }
}

TEST_F(MixerPush, BlockLongerThanTheRingLandsWhereAFullWriteWould)
{
    store.set(71, routed(71));
    std::vector<float> block(2 * 6000);
    for (size_t i = 0; i < block.size(); ++i)
        block[i] = float(i) * 1e-5f;
    pushFloats(*mixer, 71, block);
    auto bus1 = mixer->bufferFor(71, 1);
    EXPECT_EQ(bus1->writeIndex.load(), 12000u % kRingSamples);
    EXPECT_EQ(bus1->ring[2399], 11999 * 1e-5f);
    EXPECT_EQ(bus1->ring[2400], 2400 * 1e-5f);
}

TEST_F(MixerPush, ForeignRateIsResampledBeforeMeteringAndWriting)
{
    store.set(80, routed(80));
    const auto in = sineBlock(441, 1000.0, 44100.0, 0.5f);
    testing::internal::CaptureStdout();
    pushFloats(*mixer, 80, in, 44100); // asks for the source's converter
    mixer->waitForConverters();
    const uint32_t start = mixer->bufferFor(80, 1)->writeIndex.load();
    pushFloats(*mixer, 80, in, 44100);

    // The same block through a fresh converter of its own.
    Mixer::InputBuffer holder;
    std::vector<float> expected;
    mixer->resampleTo48k(in, 44100, expected, holder);
    mixer->waitForConverters();
    mixer->resampleTo48k(in, 44100, expected, holder);
    testing::internal::GetCapturedStdout();

    auto bus1 = mixer->bufferFor(80, 1);
    ASSERT_EQ(bus1->writeIndex.load() - start, expected.size());
    EXPECT_EQ(bus1->resamplerRate, 44100u);
    EXPECT_EQ(mixer->bufferFor(80, 2)->resamplerState, nullptr);
    float peak = 0;
    double sum = 0;
    for (size_t i = 0; i < expected.size(); i += 2) {
        peak = std::max(peak, std::fabs(expected[i]));
        sum += double(expected[i]) * expected[i];
        ASSERT_EQ(bus1->ring[start + i], expected[i]);
    }
    const float rms = float(std::sqrt(sum / double(expected.size() / 2)));
    EXPECT_NEAR(bus1->levelLeft.load(), std::min(1.0f, (0.7f * rms + 0.3f * peak) * 1.5f), 1e-5);
}

// --- Source bookkeeping -----------------------------------------------------

TEST_F(MixerPush, RemoveSourceSilencesAndRewindsButKeepsTheBuffers)
{
    mixer->removeSource(99); // unknown: nothing happens
    EXPECT_TRUE(mixer->sourceIds().empty());

    store.set(90, routed(90));
    pushFloats(*mixer, 90, constantBlock(480, 0.5f));
    std::vector<float> out(200);
    mixer->pullBus(out.data(), 100, 2);
    mixer->removeSource(90);

    EXPECT_EQ(mixer->sourceIds(), (std::set<uint32_t>{90}));
    for (uint32_t bus : {1u, 2u}) {
        auto b = mixer->bufferFor(90, bus);
        const auto ring = ringContents(*b);
        EXPECT_TRUE(std::all_of(ring.begin(), ring.end(), [](float s) { return s == 0.0f; }));
        EXPECT_EQ(b->writeIndex.load(), 0u);
        EXPECT_EQ(b->readIndex.load(), 0u);
        EXPECT_EQ(b->monitorReadIndex.load(), 0u);
        EXPECT_EQ(b->levelLeft.load(), 0.0f);
        EXPECT_EQ(b->pushCount.load(), 1u);
    }
}

TEST_F(MixerPush, SourceIdsAreNumericAndClearDropsEverything)
{
    for (uint32_t id : {4294967294u, 10u, 5u})
        mixer->bufferFor(id, id == 4294967294u ? 2 : 1);
    EXPECT_EQ(mixer->sourceIds(), (std::set<uint32_t>{5, 10, 4294967294u}));
    mixer->clear();
    EXPECT_TRUE(mixer->sourceIds().empty());
}

TEST_F(MixerPush, BufferForHandsOutTheSameBuffer)
{
    auto a = mixer->bufferFor(7, 1);
    EXPECT_EQ(mixer->bufferFor(7, 1), a);
    EXPECT_NE(mixer->bufferFor(7, 2), a);
    EXPECT_EQ(a->ring.size(), kRingSamples);
}

} // namespace
