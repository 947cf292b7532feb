// The cached endpoint list: what it keeps, and when its worker rebuilds it
// and tells the interface.
#include "BridgeTestSupport.h"
#include "BridgeWorkers.h"

#include "platform/os/sim/SimWorldCore.h"

#include <QSignalSpy>

namespace {

struct Expected {
    QString name;
    int index;
    bool input;
    int channels;
    double rate;
};

class DeviceCache : public BridgeTest
{
protected:
    void SetUp() override
    {
        BridgeTest::SetUp();
        m_world->addEndpoint({.name = L"Desk Mic", .flow = os::DataFlow::Capture, .sampleRate = 44100, .channels = 1});
        m_world->addEndpoint({.name = L"Foo NUVEX Stream Mix Bar", .flow = os::DataFlow::Capture});
        m_refused = m_world->addEndpoint({.name = L"Line In", .flow = os::DataFlow::Capture});
        m_world->refuseMixFormat(m_refused);
        m_world->addEndpoint({.name = L"unknown device", .flow = os::DataFlow::Capture});
        m_speakers = m_world->addEndpoint({.name = L"Speakers", .flow = os::DataFlow::Render});
        m_world->addEndpoint({.name = L"NUVEX Output", .flow = os::DataFlow::Render, .physical = false});
        m_world->flushNotifications();
    }

    static QStringList names(const QVariantList &list)
    {
        QStringList out;
        for (const QVariant &entry : list)
            out << entry.toMap().value("name").toString();
        return out;
    }

    // Starts the workers and waits until the first list is stored.
    std::unique_ptr<SystemBridge> startedBridge()
    {
        auto bridge = std::make_unique<SystemBridge>(SystemBridge::Options{});
        bridge->initializeMonitorDevice();
        DeviceListCache &cache = bridge->deviceCacheForTests();
        EXPECT_TRUE(eventually([&] { return cache.passes.load() == 1; }, "first pass"));
        return bridge;
    }

    // Waits until the worker sleeps in its debounce, its deadline taken.
    static ::testing::AssertionResult debouncing(SystemBridge &bridge)
    {
        DeviceListCache &cache = bridge.deviceCacheForTests();
        return eventually([&] { return cache.state.load() == DeviceCacheWorkerState::Debouncing; }, "debounce");
    }

    // Lets the debounce run out and waits for the rebuild it leads to.
    void rebuildAfterDebounce(SystemBridge &bridge, int pass)
    {
        m_world->flushNotifications();
        ASSERT_TRUE(debouncing(bridge));
        m_clock->advanceMs(kDeviceListDebounceMs);
        DeviceListCache &cache = bridge.deviceCacheForTests();
        ASSERT_TRUE(eventually([&] { return cache.passes.load() == pass; }, "rebuild"));
        deliverQueued();
    }

    std::wstring m_refused;
    std::wstring m_speakers;
};

TEST_F(DeviceCache, ListsRealEndpointsWithTheirIndexesByDirection)
{
    // No worker yet: every call builds the list at once.
    SystemBridge bridge{SystemBridge::Options{}};
    const Expected desk{"Desk Mic", 0, true, 1, 44100.0};
    const Expected line{"Line In", 1, true, 0, 48000.0};
    const Expected speakers{"Speakers", 2, false, 2, 48000.0};
    const Expected output{"NUVEX Output", 3, false, 2, 48000.0};
    const struct {
        int type;
        QList<Expected> entries;
    } cases[] = {
        {0, {desk, line, speakers, output}},
        {1, {desk, line}},
        {2, {speakers, output}},
        {5, {desk, line, speakers, output}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.type);
        const QVariantList list = bridge.GetDeviceList(c.type);
        ASSERT_EQ(list.size(), c.entries.size()) << names(list).join(", ").toStdString();
        for (qsizetype i = 0; i < list.size(); ++i) {
            const QVariantMap entry = list[i].toMap();
            const Expected &e = c.entries[i];
            EXPECT_EQ(entry.value("name").toString(), e.name);
            EXPECT_EQ(entry.value("index").toInt(), e.index) << e.name.toStdString();
            EXPECT_EQ(entry.value("hostApi").toString(), "WASAPI");
            EXPECT_EQ(entry.value("isInput").toBool(), e.input);
            EXPECT_EQ(entry.value("isOutput").toBool(), !e.input);
            EXPECT_EQ(entry.value("maxInputChannels").toInt(), e.input ? e.channels : 0) << e.name.toStdString();
            EXPECT_EQ(entry.value("maxOutputChannels").toInt(), e.input ? 0 : e.channels) << e.name.toStdString();
            EXPECT_EQ(entry.value("defaultSampleRate").toDouble(), e.rate) << e.name.toStdString();
            EXPECT_EQ(entry.size(), 8);
        }
    }

    m_world->addEndpoint({.name = L"USB Headset", .flow = os::DataFlow::Capture});
    EXPECT_EQ(names(bridge.GetDeviceList(1)), QStringList({"Desk Mic", "Line In", "USB Headset"}));
}

TEST_F(DeviceCache, WorkerFoldsABurstIntoOneSignalAndStaysQuietWhenNamesStay)
{
    auto bridge = startedBridge();
    DeviceListCache &cache = bridge->deviceCacheForTests();
    QSignalSpy changed(bridge.get(), &SystemBridge::audioDeviceListChanged);
    deliverQueued();
    EXPECT_EQ(changed.count(), 0) << "the first pass differs from nothing and says nothing";

    // A headset brings five notifications within 40 ms.
    const std::wstring headset = m_world->addEndpoint({.name = L"USB Headset", .flow = os::DataFlow::Capture});
    m_world->flushNotifications();
    ASSERT_TRUE(debouncing(*bridge));
    const std::wstring headphones = m_world->addEndpoint({.name = L"USB Headphones", .flow = os::DataFlow::Render});
    for (int i = 0; i < 3; ++i) {
        m_clock->advanceMs(10);
        m_world->setDefaultEndpoint(i % 2 ? m_speakers : headphones);
    }
    m_clock->advanceMs(10);
    m_world->setDefaultEndpoint(headset);
    m_world->flushNotifications();
    m_clock->advanceMs(109);
    deliverQueued();
    EXPECT_EQ(cache.passes.load(), 1) << "still in the 150 ms after the first notification";
    EXPECT_EQ(changed.count(), 0);
    m_clock->advanceMs(1);
    ASSERT_TRUE(eventually([&] { return cache.passes.load() == 2; }, "rebuild"));
    deliverQueued();
    EXPECT_EQ(changed.count(), 1);
    EXPECT_TRUE(names(bridge->GetDeviceList(0)).contains("USB Headphones"));

    // A default switch and a format change rebuild the cache silently.
    std::shared_ptr<os::PolicyConfig> policy;
    ASSERT_EQ(m_world->createPolicyConfig(os::PolicyConfigClass::Current, policy), S_OK);
    const std::vector<std::uint8_t> format = os::makeDeviceFormat(96000, 2, 24, false);
    ASSERT_EQ(policy->setDeviceFormat(m_speakers, format, {}), S_OK);
    m_world->setDefaultEndpoint(m_speakers);
    rebuildAfterDebounce(*bridge, 3);
    EXPECT_EQ(changed.count(), 1);
    const QVariantList outputs = bridge->GetDeviceList(2);
    ASSERT_FALSE(outputs.isEmpty());
    EXPECT_EQ(outputs.last().toMap().value("name").toString(), "USB Headphones");
    bool found = false;
    for (const QVariant &entry : outputs) {
        if (entry.toMap().value("name") == "Speakers") {
            found = true;
            EXPECT_EQ(entry.toMap().value("defaultSampleRate").toDouble(), 96000.0);
        }
    }
    EXPECT_TRUE(found);

    // Unplugged: one more signal.
    m_world->unplugEndpoint(headset);
    rebuildAfterDebounce(*bridge, 4);
    EXPECT_EQ(changed.count(), 2);
    EXPECT_FALSE(names(bridge->GetDeviceList(1)).contains("USB Headset"));
}

TEST_F(DeviceCache, StopDuringTheDebounceEndsWithoutRebuilding)
{
    auto bridge = startedBridge();
    DeviceListCache &cache = bridge->deviceCacheForTests();
    QSignalSpy changed(bridge.get(), &SystemBridge::audioDeviceListChanged);
    m_world->removeEndpoint(m_speakers);
    m_world->flushNotifications();
    ASSERT_TRUE(debouncing(*bridge));

    // The clock stands still: the stop itself ends the debounce.
    bridge->stopDeviceCacheWorkerForTests();
    deliverQueued();

    EXPECT_EQ(cache.state.load(), DeviceCacheWorkerState::Stopped);
    EXPECT_EQ(cache.passes.load(), 1);
    EXPECT_EQ(changed.count(), 0);
    EXPECT_TRUE(names(bridge->GetDeviceList(2)).contains("Speakers")) << "the cache keeps the list before the stop";
}

} // namespace
