// The routing API over the process-wide mixer and store, in a simulated
// world on a manual clock installed as the platform.
#include "LoopbackTestSupport.h"

#include "platform/os/Apartment.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <optional>
#include <utility>

using namespace looptest;

namespace {

class RouterApiTest : public testing::Test {
protected:
    RouterApiTest()
    {
        output = world->addEndpoint({.name = L"xx nuvex OUTPUT yy", .flow = os::DataFlow::Render});
        speakers = world->addEndpoint({.name = L"Speakers", .flow = os::DataFlow::Render});
        world->addProcess({.processId = 4100, .signal = os::Signal::buffer({0.5f}, 1)});
        world->addProcess({.processId = 4242, .signal = os::Signal::buffer({0.25f}, 1)});
        os::installPlatform(world);
        collectLevels();
    }
    // Reports go to `reports`; set while running, this starts the level thread.
    void collectLevels()
    {
        AudioRouterAPI::SetLevelCallback([this](const std::vector<AudioLevelInfo> &report) {
            std::lock_guard lock(reportMutex);
            reports.push_back(report);
        });
    }
    ~RouterApiTest() override
    {
        AudioRouterAPI::Shutdown();
        AudioRouterAPI::SetLevelCallback({});
        os::installPlatform(nullptr);
        // Captures keep the world; the last of them must not end it on one
        // of the world's own threads.
        EXPECT_TRUE(eventually([&] { return world.use_count() == 1; }));
    }
    std::vector<std::vector<AudioLevelInfo>> takeReports()
    {
        std::lock_guard lock(reportMutex);
        return std::exchange(reports, {});
    }
    // The levels reported for id in one tick; absent: not reported.
    std::optional<AudioLevelInfo> tickFor(uint32_t id)
    {
        AudioRouterAPI::levelReportTick();
        const auto all = takeReports();
        if (all.empty())
            return std::nullopt;
        for (const auto &entry : all.back())
            if (entry.sourceId == id)
                return entry;
        return std::nullopt;
    }
    static AudioRouteConfig master(uint32_t id)
    {
        AudioRouteConfig m;
        m.processID = id;
        m.active = 1;
        (id == kListenBusMasterId ? m.input1 : m.input2) = {1, 1.0f, 0};
        return m;
    }

    LogLines log;
    std::shared_ptr<os::ManualClock> clock = std::make_shared<os::ManualClock>();
    std::shared_ptr<os::SimAudioWorld> world = std::make_shared<os::SimAudioWorld>(clock);
    std::wstring output;
    std::wstring speakers;
    std::mutex reportMutex;
    std::vector<std::vector<AudioLevelInfo>> reports;
};

TEST_F(RouterApiTest, ListsStartAndStopCapturesStoreRecordsAndReportLevels)
{
    EXPECT_FALSE(AudioRouterAPI::UpdateConfigs({routedRecord(4100), routedRecord(5)}));
    EXPECT_TRUE(log.has("[AudioRouterAPI::UpdateConfigs] NOT RUNNING! Ignoring 2 configs. Call Initialize() first."));
    ASSERT_TRUE(AudioRouterAPI::Initialize());
    EXPECT_FALSE(AudioRouterAPI::Initialize());
    EXPECT_TRUE(AudioRouterAPI::IsRunning());

    AudioRouteConfig second = routedRecord(4100);
    second.input2.volume = 0.5f;
    ASSERT_TRUE(AudioRouterAPI::UpdateConfigs({routedRecord(4100), second, routedRecord(5), routedRecord(0),
                                               master(kListenBusMasterId), master(kMixBusMasterId)}));
    EXPECT_EQ(AudioRouterAPI::captureIds(), std::vector<uint32_t>{4100}); // small ids and masters: records only
    EXPECT_EQ(AudioRouteConfigStore::instance().get(4100).input2.volume, 0.5f); // the second wins
    EXPECT_EQ(AudioRouteConfigStore::instance().sourceIds(),
              (std::vector<uint32_t>{0, 5, 4100, kMixBusMasterId, kListenBusMasterId}));
    EXPECT_TRUE(log.has("[INFO] Started capture for PID: 4100"));
    // The capture's buffer: 20 ms in 100 ns units.
    EXPECT_TRUE(eventually([&] { return log.has("[INFO] Audio capture started for PID 4100, buffer size: 960 frames"); }));
    ASSERT_TRUE(AudioRouterAPI::UpdateConfigs({routedRecord(4100)}));
    EXPECT_EQ(AudioRouterAPI::captureIds(), std::vector<uint32_t>{4100}); // kept, not restarted

    // The capture sounds: reported while it sounds.
    ASSERT_TRUE(eventually([&] {
        clock->advanceMs(10);
        return Mixer::instance().getSourceLevels(4100).left > 0.0f;
    }));
    const auto sounding = tickFor(4100);
    ASSERT_TRUE(sounding);
    EXPECT_GT(sounding->left, 0.0f);

    // It leaves the list: stopped, inactive record, silenced, one zero report.
    ASSERT_TRUE(AudioRouterAPI::UpdateConfigs({}));
    EXPECT_TRUE(AudioRouterAPI::captureIds().empty());
    const AudioRouteConfig gone = AudioRouteConfigStore::instance().get(4100);
    EXPECT_EQ(gone.active, 0);
    EXPECT_EQ(gone.processID, 0u);
    EXPECT_EQ(Mixer::instance().getSourceLevels(4100).left, 0.0f);
    EXPECT_EQ(Mixer::instance().bufferFor(4100, 1)->writeIndex.load(), 0u);
    const auto zero = tickFor(4100);
    ASSERT_TRUE(zero);
    EXPECT_EQ(zero->left, 0.0f);
    EXPECT_EQ(zero->right, 0.0f);
    EXPECT_FALSE(tickFor(4100));

    // A failed start is logged and tried again by the next list.
    world->faults().failNextFor(os::SimOp::ProcessLoopbackResult, os::SimFaults::processTarget(4242), E_FAIL);
    ASSERT_TRUE(AudioRouterAPI::UpdateConfigs({routedRecord(4242)}));
    EXPECT_TRUE(log.has("[ERROR] Failed to start capture for PID: 4242 (HRESULT: 0x80004005)"));
    EXPECT_TRUE(AudioRouterAPI::captureIds().empty());
    ASSERT_TRUE(AudioRouterAPI::UpdateConfigs({routedRecord(4242)}));
    EXPECT_EQ(AudioRouterAPI::captureIds(), std::vector<uint32_t>{4242});

    AudioRouterAPI::Shutdown();
    EXPECT_FALSE(AudioRouterAPI::IsRunning());
    EXPECT_TRUE(AudioRouterAPI::captureIds().empty());
    EXPECT_TRUE(AudioRouteConfigStore::instance().sourceIds().empty());
    EXPECT_TRUE(Mixer::instance().sourceIds().empty());
    EXPECT_FALSE(AudioRouterAPI::UpdateConfigs({routedRecord(4242)}));
    EXPECT_TRUE(eventually([&] { return world->openStreams() == 0; }));
}

// A sounding capture is reported every 50 ms of the clock: over two
// seconds about 40 reports (fewer when the thread is late), never 4 or 200.
TEST_F(RouterApiTest, LevelsAreReportedEveryFiftyMilliseconds)
{
    ASSERT_TRUE(AudioRouterAPI::Initialize());
    collectLevels();
    ASSERT_TRUE(AudioRouterAPI::UpdateConfigs({routedRecord(4100)}));
    ASSERT_TRUE(eventually([&] {
        clock->advanceMs(10);
        return Mixer::instance().getSourceLevels(4100).left > 0.0f;
    }));
    takeReports();
    for (int ms = 0; ms < 2000; ms += 10) {
        clock->advanceMs(10);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const auto reports = takeReports();
    EXPECT_GE(reports.size(), 25u);
    EXPECT_LE(reports.size(), 41u);
}

TEST_F(RouterApiTest, GateFollowsTheDefaultOutputAtTheNextTick)
{
    std::atomic<bool> &gate = AudioRouteConfigStore::instance().virtualOutputIsDefault;
    auto checks = [&] { return world->faults().calls(os::SimOp::CreateEnumerator); };
    gate.store(false);
    ASSERT_TRUE(AudioRouterAPI::Initialize());
    ASSERT_TRUE(eventually([&] { return checks() == 1; })); // the first check, at once
    EXPECT_TRUE(eventually([&] { return gate.load(); }));   // "xx nuvex OUTPUT yy" counts
    // The monitor has taken its next deadline before time moves (the
    // world's two threads wait on the clock too).
    ASSERT_TRUE(eventually([&] { return clock->settledThreads() == 3 && clock->waitingThreads() == 3; }));
    ASSERT_TRUE(world->setDefaultEndpoint(speakers));
    world->flushNotifications();
    clock->advanceMs(999);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(checks(), 1u);
    EXPECT_TRUE(gate.load()); // not before the tick
    clock->advanceMs(1);
    EXPECT_TRUE(eventually([&] { return checks() == 2 && !gate.load(); }));
    AudioRouterAPI::Shutdown();
    EXPECT_TRUE(gate.load()); // as before any check

    // Without an enumerator the answer is yes.
    world->failNext(os::SimOp::CreateEnumerator, E_FAIL);
    EXPECT_TRUE(isVirtualOutputDefault());
}

TEST_F(RouterApiTest, ApartmentsStayBalancedAcrossThreads)
{
    int afterInit = -1;
    int afterShutdown = -1;
    std::thread([&] {
        AudioRouterAPI::Initialize();
        afterInit = os::apartmentDepth();
    }).join();
    std::thread([&] {
        AudioRouterAPI::UpdateConfigs({routedRecord(5)});
        AudioRouterAPI::Shutdown();
        afterShutdown = os::apartmentDepth();
    }).join();
    EXPECT_EQ(afterInit, 0);
    EXPECT_EQ(afterShutdown, 0);
}

} // namespace
