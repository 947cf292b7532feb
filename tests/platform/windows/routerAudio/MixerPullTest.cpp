#include "MixerTestSupport.h"
#include "QuietMixer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace mixertest;

namespace {

class MixerPull : public testing::Test {
protected:
    std::vector<float> pullBus(uint32_t frames, uint32_t bus)
    {
        std::vector<float> out(size_t(frames) * 2, 9.0f);
        mixer->pullBus(out.data(), frames, bus);
        return out;
    }

    std::vector<float> pullMonitor(uint32_t frames)
    {
        std::vector<float> out(size_t(frames) * 2, 9.0f);
        mixer->pullMonitor(out.data(), frames);
        return out;
    }

    // Writes n samples numbered from `first` straight into a ring, as a push would.
    static void fill(Mixer::InputBuffer &b, uint32_t n, float first = 0.0f)
    {
        uint32_t w = b.writeIndex.load();
        for (uint32_t i = 0; i < n; ++i) {
            b.ring[w] = (first + float(i)) * 1e-5f;
            w = (w + 1) % kRingSamples;
        }
        b.writeIndex = w;
    }

    void soloMaster(uint32_t id, float volume = 1.0f, bool muted = false)
    {
        AudioRouteConfig m;
        m.active = 1;
        m.solo = 1;
        BusRouting &own = id == kListenBusMasterId ? m.input1 : m.input2;
        own = {1, volume, uint8_t(muted)};
        store.set(id, m);
    }

    AudioRouteConfigStore store;
    std::unique_ptr<Mixer> mixer = quietMixer(store);
};

bool allZero(const std::vector<float> &v, size_t from = 0)
{
    return std::all_of(v.begin() + long(from), v.end(), [](float s) { return s == 0.0f; });
}

// --- Reading rings ----------------------------------------------------------

TEST_F(MixerPull, WithoutSourcesBothPullsAreSilent)
{
    EXPECT_TRUE(allZero(pullBus(480, 2)));
    EXPECT_TRUE(allZero(pullBus(480, 1)));
    EXPECT_TRUE(allZero(pullMonitor(480)));
}

TEST_F(MixerPull, ReaderTooFarBehindSkipsToTheNewestBlock)
{
    auto b = mixer->bufferFor(100, 2);
    fill(*b, 7000);
    const auto out = pullBus(480, 2);
    for (uint32_t i = 0; i < 960; ++i)
        ASSERT_FLOAT_EQ(out[i], float(7000 - 960 + i) * 1e-5f) << i;
    EXPECT_EQ(b->readIndex.load(), b->writeIndex.load());
}

TEST_F(MixerPull, ReaderJustWithinTheLagLimitKeepsItsPlace)
{
    auto b = mixer->bufferFor(100, 2);
    fill(*b, kMaxPendingSamples);
    const auto out = pullBus(480, 2);
    EXPECT_FLOAT_EQ(out[0], 0.0f);
    EXPECT_FLOAT_EQ(out[959], 959 * 1e-5f);
    EXPECT_EQ(b->readIndex.load(), 960u);
}

TEST_F(MixerPull, ShortRingFillsOnlyTheFrontAndOthersStillAdd)
{
    auto shortRing = mixer->bufferFor(101, 2);
    auto fullRing = mixer->bufferFor(102, 2);
    fill(*shortRing, 500, 1000.0f);
    for (uint32_t i = 0; i < 960; ++i)
        fullRing->ring[i] = 0.25f;
    fullRing->writeIndex = 960;
    const auto out = pullBus(480, 2);
    for (uint32_t i = 0; i < 500; ++i)
        ASSERT_FLOAT_EQ(out[i], 0.25f + (1000.0f + float(i)) * 1e-5f) << i;
    for (uint32_t i = 500; i < 960; ++i)
        ASSERT_FLOAT_EQ(out[i], 0.25f) << i;
    EXPECT_EQ(shortRing->readIndex.load(), 500u);
}

// With a one-block margin a source is taken only once it is ahead of the
// margin, from the first sample beyond it, placed at the end of the pull so
// that it begins without a break; from then on a push that lands after a
// pull costs nothing, and a source that ran dry (an underrun) or was
// removed starts over.
TEST_F(MixerPull, MarginPullStartsBeyondTheMarginThenAbsorbsALatePush)
{
    auto b = mixer->bufferFor(100, 2);
    struct Step {
        uint32_t filled;    // samples written before the pull
        bool remove;        // the source is removed before the writes
        int firstSample;    // the sample the source starts with in the pull; -1: silent
        uint32_t offset;    // where in the pull it starts
        uint32_t underruns; // counted so far
    } steps[] = {
        {960, false, -1, 0, 0},   // one block: not yet beyond the margin
        {960, false, 0, 0, 0},    // two blocks: the first is played, one kept
        {0, false, 960, 0, 0},    // the push is late: the kept block plays
        {1920, false, 1920, 0, 0}, // it lands with the next: one kept again
        {960, false, 2880, 0, 0},
        {0, false, 3840, 0, 0},   // the source pauses: the kept block plays,
        {0, false, -1, 0, 1},     // then it runs dry
        {960, false, -1, 0, 1},   // back: it waits for its margin again
        {960, false, 4800, 0, 1},
        {960, true, -1, 0, 1},    // removed and pushing again: waits anew
        {40, false, 0, 920, 1},   // 20 frames beyond the margin start at the pull's end
        {960, false, 40, 0, 1},   // the margin stays one block
        {960, false, 1000, 0, 1},
    };
    float next = 0.0f;
    for (const Step &step : steps) {
        if (step.remove) {
            mixer->removeSource(100);
            next = 0.0f;
        }
        fill(*b, step.filled, next);
        next += float(step.filled);
        std::vector<float> out(960, 9.0f);
        mixer->pullBus(out.data(), 480, 2, 480);
        ASSERT_EQ(mixer->underruns().bySource[100], step.underruns) << step.firstSample;
        ASSERT_EQ(mixer->underrunCount(), step.underruns) << step.firstSample;
        if (step.firstSample < 0) {
            ASSERT_TRUE(allZero(out)) << step.filled;
            continue;
        }
        for (uint32_t i = 0; i < 960; ++i) {
            const float expected = i < step.offset ? 0.0f : float(step.firstSample + int(i - step.offset)) * 1e-5f;
            ASSERT_FLOAT_EQ(out[i], expected) << step.firstSample << " " << i;
        }
    }
}

// A source is due when the bus's last pull fed from it (half a pull or
// more) and it now holds less than half a pull: its push has not come yet.
// Without a margin, a pull short of a source that filled the last one is
// an underrun.
TEST_F(MixerPull, SourceIsDueOnlyAfterFeedingAPullAndWhileShort)
{
    auto b = mixer->bufferFor(100, 2);
    struct Step {
        uint32_t filled;    // samples written, then the question, then the pull if any
        bool remove;        // the source is removed before the writes
        bool due;
        bool pull;
        uint32_t underruns; // counted after the step
    } steps[] = {
        {0, false, false, true, 0},   // never fed: a silent source is not waited for
        {960, false, false, true, 0}, // a block: taken, the source fed the pull
        {0, false, true, false, 0},   // nothing yet: due
        {479, false, true, false, 0}, // less than half a pull: still due
        {1, false, false, true, 1},   // half a pull: not due, and it feeds the pull, short
        {0, false, true, true, 1},    // due; the pull finds nothing
        {0, false, false, true, 1},   // a source that stopped is not due again
        {960, false, false, true, 1},
        {0, true, false, false, 1},   // removed: starts over
        {480, false, false, true, 1}, // half a pull feeds it again
        {0, false, true, false, 1},
    };
    for (size_t i = 0; i < std::size(steps); ++i) {
        const Step &step = steps[i];
        if (step.remove)
            mixer->removeSource(100);
        fill(*b, step.filled);
        EXPECT_EQ(mixer->busSourceDue(2, 480), step.due) << i;
        EXPECT_FALSE(mixer->busSourceDue(1, 480)) << i; // the other bus never pulled from it
        if (step.pull)
            pullBus(480, 2);
        EXPECT_EQ(mixer->underrunCount(), step.underruns) << i;
    }
}

TEST_F(MixerPull, RoundTripAcrossTheRingEdgeWith441FrameBlocks)
{
    store.set(110, routed(110));
    uint64_t n = 0;
    for (int block = 0; block < 40; ++block) { // 40 x 882 samples wraps the ring several times
        std::vector<float> in(882);
        for (auto &s : in)
            s = float(n++ % 9973) * 5e-5f;
        pushFloats(*mixer, 110, in);
        const auto out = pullBus(441, 2);
        ASSERT_EQ(out, in) << "block " << block;
    }
}

TEST_F(MixerPull, LongRequestIsReadInChunksWithoutRepeatingSamples)
{
    auto b = mixer->bufferFor(120, 2);
    fill(*b, 5000);
    const auto out = pullBus(7200, 2); // 150 ms, more than the ring holds
    for (uint32_t i = 0; i < 5000; ++i)
        ASSERT_FLOAT_EQ(out[i], float(i) * 1e-5f) << i;
    EXPECT_TRUE(allZero(out, 5000));
    EXPECT_EQ(b->readIndex.load(), 5000u);

    fill(*b, 9000, 50000.0f); // far behind again: only the newest half ring is heard
    const auto late = pullBus(7200, 2);
    for (uint32_t i = 0; i < kRingSamples / 2; ++i)
        ASSERT_FLOAT_EQ(late[i], (50000.0f + 9000 - kRingSamples / 2 + float(i)) * 1e-5f) << i;
    EXPECT_TRUE(allZero(late, kRingSamples / 2));
    EXPECT_EQ(b->readIndex.load(), b->writeIndex.load());
}

// --- Gain and soft clip -----------------------------------------------------

TEST_F(MixerPull, SoftClipBendsAboveTheKneeAndLimits)
{
    store.set(130, routed(130));
    pushFloats(*mixer, 130, {0.95f, 1.0f, -1.0f, 3.0f, -3.0f, 0.5f});
    const auto out = pullBus(3, 2);
    EXPECT_FLOAT_EQ(out[0], 0.95f);
    EXPECT_NEAR(out[1], 0.981606f, 1e-6);
    EXPECT_NEAR(out[2], -0.981606f, 1e-6);
    EXPECT_LE(out[3], 1.0f);
    EXPECT_GT(out[3], 0.999f);
    EXPECT_GE(out[4], -1.0f);
    EXPECT_FLOAT_EQ(out[5], 0.5f);
}

TEST_F(MixerPull, SourcesAddAndTheMasterVolumeScales)
{
    store.set(131, routed(131));
    store.set(132, routed(132));
    AudioRouteConfig master;
    master.active = 1;
    master.input2 = {1, 0.5f, 0};
    store.set(kMixBusMasterId, master);
    pushFloats(*mixer, 131, constantBlock(10, 0.3f));
    pushFloats(*mixer, 132, constantBlock(10, 0.2f));
    for (float s : pullBus(10, 2))
        EXPECT_FLOAT_EQ(s, 0.25f);
}

// Each bus takes its own master's gain, on the pull and on the meter alike.
TEST_F(MixerPull, EachBusPullAndMeterTakeTheirOwnMastersGain)
{
    struct Case {
        float listenVolume;
        float mixVolume;
    } cases[] = {{0.5f, 1.0f}, {1.0f, 0.25f}, {0.2f, 0.8f}};
    uint32_t id = 135;
    for (const Case &c : cases) {
        store.clear();
        AudioRouteConfig listen;
        listen.input1 = {1, c.listenVolume, 0};
        store.set(kListenBusMasterId, listen);
        AudioRouteConfig mix;
        mix.input2 = {1, c.mixVolume, 0};
        store.set(kMixBusMasterId, mix);
        store.set(id, routed(id));
        pushFloats(*mixer, id, constantBlock(16, 0.4f));
        for (float s : pullBus(16, 1))
            ASSERT_FLOAT_EQ(s, 0.4f * c.listenVolume);
        for (float s : pullBus(16, 2))
            ASSERT_FLOAT_EQ(s, 0.4f * c.mixVolume);
        mixer->updateBusMeters();
        const float level = mixer->bufferFor(id, 1)->levelLeft.load();
        EXPECT_FLOAT_EQ(mixer->getListenBusLevels().left, level * c.listenVolume);
        EXPECT_FLOAT_EQ(mixer->getMixBusLevels().left, level * c.mixVolume);
        mixer->removeSource(id++);
    }
}

TEST_F(MixerPull, MutedMasterIsSilentButStillDrainsItsRings)
{
    store.set(133, routed(133));
    AudioRouteConfig master;
    master.input2 = {1, 1.0f, 1};
    store.set(kMixBusMasterId, master);
    pushFloats(*mixer, 133, constantBlock(480, 0.5f));
    EXPECT_TRUE(allZero(pullBus(480, 2)));
    EXPECT_EQ(mixer->bufferFor(133, 2)->readIndex.load(), 960u);
}

TEST_F(MixerPull, NonFiniteGainNeverReachesTheOutput)
{
    store.set(134, routed(134));
    AudioRouteConfig master;
    master.input2 = {1, NAN, 0};
    store.set(kMixBusMasterId, master);
    pushFloats(*mixer, 134, constantBlock(4, 0.5f));
    EXPECT_TRUE(allZero(pullBus(4, 2)));
}

// --- Monitor ------------------------------------------------------------------

TEST_F(MixerPull, MonitorPlaysTheSoloRingWhenNoMasterIsSoloed)
{
    store.set(140, routed(140, 0.5f, 1.0f));
    pushFloats(*mixer, 140, constantBlock(8, 0.4f));
    EXPECT_TRUE(allZero(pullMonitor(8))); // nobody soloed: the solo ring is empty

    AudioRouteConfig solo = routed(141, 0.5f, 1.0f);
    solo.solo = 1;
    store.set(141, solo);
    pushFloats(*mixer, 141, constantBlock(8, 0.4f));
    for (float s : pullMonitor(8))
        EXPECT_FLOAT_EQ(s, 0.2f);
}

TEST_F(MixerPull, MonitorPlaysASoloedBusAtItsMasterGain)
{
    store.set(142, routed(142, 0.5f, 1.0f));
    pushFloats(*mixer, 142, constantBlock(8, 0.4f));
    soloMaster(kMixBusMasterId, 0.5f);
    for (float s : pullMonitor(8))
        EXPECT_FLOAT_EQ(s, 0.2f);

    pushFloats(*mixer, 142, constantBlock(8, 0.4f));
    soloMaster(kListenBusMasterId, 0.5f);
    for (float s : pullMonitor(8)) // both soloed: bus 1 wins
        EXPECT_FLOAT_EQ(s, 0.1f);

    pushFloats(*mixer, 142, constantBlock(8, 0.4f));
    soloMaster(kListenBusMasterId, 0.5f, true);
    EXPECT_TRUE(allZero(pullMonitor(8)));
}

TEST_F(MixerPull, MonitoringABusTakesNothingFromItsConsumer)
{
    store.set(150, routed(150));
    soloMaster(kMixBusMasterId);
    uint64_t n = 0;
    for (int block = 0; block < 15; ++block) {
        std::vector<float> in(960);
        for (auto &s : in)
            s = float(n++ % 7919) * 1e-4f;
        pushFloats(*mixer, 150, in);
        // Either order: both readers receive every sample.
        if (block % 2) {
            ASSERT_EQ(pullBus(480, 2), in);
            ASSERT_EQ(pullMonitor(480), in);
        } else {
            ASSERT_EQ(pullMonitor(480), in);
            ASSERT_EQ(pullBus(480, 2), in);
        }
    }
}

TEST_F(MixerPull, IdleMonitorPositionCatchesUpByTheSkipRule)
{
    store.set(151, routed(151));
    for (int block = 0; block < 16; ++block) { // the monitor position is left 6720 samples behind
        pushFloats(*mixer, 151, constantBlock(480, 0.1f * float(block % 5)));
        pullBus(480, 2);
    }
    soloMaster(kMixBusMasterId);
    std::vector<float> newest = constantBlock(480, 0.55f);
    pushFloats(*mixer, 151, newest);
    EXPECT_EQ(pullMonitor(480), newest);
}

// --- Meters, decay, readers ------------------------------------------------------

TEST_F(MixerPull, BusMetersAreTheRootSumOfSquaresTimesMasterGain)
{
    for (uint32_t id : {160u, 161u}) {
        mixer->bufferFor(id, 1)->levelLeft = 1.0f;
        mixer->bufferFor(id, 2)->levelRight = 0.6f;
        store.set(id, routed(id));
    }
    AudioRouteConfig master;
    master.input2 = {1, 0.5f, 0};
    store.set(kMixBusMasterId, master);
    mixer->updateBusMeters();
    EXPECT_FLOAT_EQ(mixer->getListenBusLevels().left, std::sqrt(2.0f)); // not limited to 1.0
    EXPECT_FLOAT_EQ(mixer->getListenBusLevels().right, 0.0f);
    EXPECT_FLOAT_EQ(mixer->getMixBusLevels().right, 0.5f * std::sqrt(0.72f));
}

TEST_F(MixerPull, MutedSourceIsLeftOutOfItsBusMeterOnly)
{
    AudioRouteConfig r = routed(162);
    r.input1.muted = 1;
    store.set(162, r);
    pushFloats(*mixer, 162, constantBlock(480, 0.5f));
    mixer->updateBusMeters();
    EXPECT_FLOAT_EQ(mixer->bufferFor(162, 1)->levelLeft.load(), 0.75f);
    EXPECT_EQ(mixer->getListenBusLevels().left, 0.0f);
    EXPECT_FLOAT_EQ(mixer->getMixBusLevels().left, 0.75f);

    // Without a record (active 0) the mute is not consulted.
    mixer->bufferFor(163, 1)->levelLeft = 0.3f;
    mixer->updateBusMeters();
    EXPECT_FLOAT_EQ(mixer->getListenBusLevels().left, 0.3f);

    // Nor for a stored record that is inactive, however muted.
    r.active = 0;
    store.set(162, r);
    mixer->updateBusMeters();
    EXPECT_FLOAT_EQ(mixer->getListenBusLevels().left, std::hypot(0.75f, 0.3f));
}

TEST_F(MixerPull, RemovedSourceRewindsEveryReadPosition)
{
    store.set(164, routed(164));
    soloMaster(kMixBusMasterId);
    pushFloats(*mixer, 164, constantBlock(300, 0.2f));
    pullMonitor(100);
    pullBus(200, 2);
    auto bus2 = mixer->bufferFor(164, 2);
    ASSERT_EQ(bus2->monitorReadIndex.load(), 200u);
    mixer->removeSource(164);
    EXPECT_EQ(bus2->monitorReadIndex.load(), 0u);
    EXPECT_EQ(bus2->readIndex.load(), 0u);
    // Back in the same buffers: both readers hear the new block from its start.
    const std::vector<float> fresh = constantBlock(50, 0.35f);
    pushFloats(*mixer, 164, fresh);
    EXPECT_EQ(pullMonitor(50), fresh);
    EXPECT_EQ(pullBus(50, 2), fresh);
}

TEST_F(MixerPull, StoppedSourceHoldsOnePassThenHalvesToZero)
{
    store.set(170, routed(170));
    std::vector<float> square(960);
    for (size_t i = 0; i < square.size(); ++i)
        square[i] = i % 4 < 2 ? 1.0f : -1.0f;
    pushFloats(*mixer, 170, square);
    auto bus1 = mixer->bufferFor(170, 1);
    ASSERT_FLOAT_EQ(bus1->levelLeft.load(), 1.0f);

    mixer->decayLevels(0.5f); // the push since the last pass keeps the level
    EXPECT_FLOAT_EQ(bus1->levelLeft.load(), 1.0f);
    const float expected[] = {0.5f, 0.25f, 0.125f, 0.0625f, 0.03125f, 0.015625f, 0.0f};
    for (float e : expected) {
        mixer->decayLevels(0.5f);
        EXPECT_FLOAT_EQ(bus1->levelLeft.load(), e);
        EXPECT_FLOAT_EQ(mixer->getSourceLevels(170).right, e);
    }
    EXPECT_EQ(mixer->getListenBusLevels().left, 0.0f);

    pushFloats(*mixer, 170, square); // a pushing source is never decayed
    mixer->decayLevels(0.5f);
    EXPECT_FLOAT_EQ(bus1->levelLeft.load(), 1.0f);
    EXPECT_FLOAT_EQ(mixer->getListenBusLevels().left, 1.0f); // decay refreshes the meters
}

TEST_F(MixerPull, DecayBelowOneHundredthSnapsToZero)
{
    auto b = mixer->bufferFor(171, 2);
    b->levelRight = 0.015f;
    mixer->decayLevels(0.5f);
    EXPECT_EQ(b->levelRight.load(), 0.0f);
}

TEST_F(MixerPull, SourceLevelIsTheLouderBusPerChannel)
{
    mixer->bufferFor(180, 1)->levelLeft = 0.3f;
    mixer->bufferFor(180, 2)->levelLeft = 0.6f;
    mixer->bufferFor(180, 1)->levelRight = 0.4f;
    EXPECT_FLOAT_EQ(mixer->getSourceLevels(180).left, 0.6f);
    EXPECT_FLOAT_EQ(mixer->getSourceLevels(180).right, 0.4f);
    EXPECT_EQ(mixer->getSourceLevels(181).left, 0.0f);
    EXPECT_EQ(mixer->getSourceLevels(181).right, 0.0f);
    EXPECT_TRUE(mixer->sourceIds().count(181) == 0); // reading makes no buffer
}

} // namespace
