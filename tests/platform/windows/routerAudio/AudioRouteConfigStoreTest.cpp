#include "platform/windows/routerAudio/AudioRouteConfig.h"

#include <gtest/gtest.h>

namespace {

void expectBus(const BusRouting &bus, uint8_t enabled, float volume, uint8_t muted)
{
    EXPECT_EQ(bus.enabled, enabled);
    EXPECT_FLOAT_EQ(bus.volume, volume);
    EXPECT_EQ(bus.muted, muted);
}

TEST(AudioRouteConfigStore, UnknownIdGivesAbsentRecordNotTheAskedId)
{
    AudioRouteConfigStore store;
    const AudioRouteConfig r = store.get(4242);
    EXPECT_EQ(r.processID, 0u);
    EXPECT_EQ(r.active, 0);
    EXPECT_EQ(r.solo, 0);
    expectBus(r.input1, 0, 1.0f, 0);
    expectBus(r.input2, 0, 1.0f, 0);
}

TEST(AudioRouteConfigStore, BusMasterDefaultsPlayTheirOwnBusAtUnity)
{
    AudioRouteConfigStore store;
    const AudioRouteConfig m1 = store.getBusMaster(1);
    EXPECT_EQ(m1.active, 1);
    EXPECT_EQ(m1.solo, 0);
    expectBus(m1.input1, 1, 1.0f, 0);
    expectBus(m1.input2, 0, 1.0f, 0);

    const AudioRouteConfig m2 = store.getBusMaster(2);
    EXPECT_EQ(m2.active, 1);
    expectBus(m2.input1, 0, 1.0f, 0);
    expectBus(m2.input2, 1, 1.0f, 0);

    const AudioRouteConfig m7 = store.getBusMaster(7);
    expectBus(m7.input1, 0, 1.0f, 0);
    expectBus(m7.input2, 1, 1.0f, 0);
}

TEST(AudioRouteConfigStore, MastersAreStoredRecordsUnderTheirIds)
{
    AudioRouteConfigStore store;
    AudioRouteConfig listen;
    listen.active = 1;
    listen.solo = 1;
    listen.input1 = {1, 0.25f, 1};
    store.set(kListenBusMasterId, listen);
    AudioRouteConfig mix;
    mix.input2 = {1, 0.5f, 0};
    store.setBusMaster(9, mix); // any bus but 1 is the mix master

    EXPECT_EQ(store.getBusMaster(1).solo, 1);
    expectBus(store.getBusMaster(1).input1, 1, 0.25f, 1);
    expectBus(store.get(kMixBusMasterId).input2, 1, 0.5f, 0);
    EXPECT_EQ(store.getBusMaster(2).active, 0); // stored records are returned as they are
}

TEST(AudioRouteConfigStore, SetReplacesAndIsKeyedByTheIdArgument)
{
    AudioRouteConfigStore store;
    AudioRouteConfig first;
    first.processID = 77;
    first.active = 1;
    first.input1.volume = 0.3f;
    AudioRouteConfig second = first;
    second.input1.volume = 0.9f;
    store.set(12, first);
    store.set(12, second);
    EXPECT_FLOAT_EQ(store.get(12).input1.volume, 0.9f);
    EXPECT_EQ(store.get(12).processID, 77u);
    EXPECT_EQ(store.get(77).active, 0);
    EXPECT_EQ(store.sourceIds().size(), 1u);
}

TEST(AudioRouteConfigStore, SourceIdsAscendWithMastersLast)
{
    AudioRouteConfigStore store;
    for (uint32_t id : {0xFFFFFFFFu, 5u, 0u, 0xFFFFFFFEu, 4000u})
        store.set(id, AudioRouteConfig{});
    EXPECT_EQ(store.sourceIds(), (std::vector<uint32_t>{0, 5, 4000, 0xFFFFFFFE, 0xFFFFFFFF}));
}

TEST(AudioRouteConfigStore, ClearErasesRecordsButKeepsTheSwitch)
{
    AudioRouteConfigStore store;
    EXPECT_TRUE(store.virtualOutputIsDefault.load());
    store.set(3, AudioRouteConfig{});
    store.virtualOutputIsDefault = false;
    store.clear();
    EXPECT_TRUE(store.sourceIds().empty());
    EXPECT_FALSE(store.virtualOutputIsDefault.load());
}

} // namespace
