// The mixer page's routing list on its way to the routing API, parked while
// the API is stopped, and the level reports on their way back.
#include "BridgeTestSupport.h"

#include "bridge/AudioRoutingRecords.h"
#include "platform/windows/routerAudio/AudioRouteConfig.h"
#include "platform/windows/routerAudio/LoopbackCapture.h"
#include "platform/windows/routerAudio/Mixer.h"
#include "platform/windows/routerAudio/WinMicRouter.h"

#include <QJsonDocument>
#include <QThread>

#include <cmath>
#include <limits>
#include <optional>
#include <vector>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

QVariantMap entry(const char *json)
{
    return QJsonDocument::fromJson(json).toVariant().toMap();
}

struct Bus {
    uint8_t enabled;
    float volume;
    uint8_t muted;
};

class BridgeRoutingConfig : public BridgeTest
{
protected:
    void TearDown() override
    {
        AudioRouterAPI::Shutdown();
        setLevelCallback({}, nullptr);
        BridgeTest::TearDown();
    }
    static std::vector<uint32_t> captures() { return AudioRouterAPI::captureIds(); }
};

TEST_F(BridgeRoutingConfig, EntriesBecomeRecordsByTheFlagAndNumberRules)
{
    struct Case {
        const char *what;
        QVariantMap entry;
        std::optional<uint32_t> id; // none: skipped
        Bus listen;
        Bus mix;
        uint8_t solo;
    } cases[] = {
        {"the documented record",
         entry(R"({"processID":1234,"input1":{"enabled":"true","volume":0.5,"muted":"false"}})"), 1234,
         {1, 0.5f, 0}, {0, 1.0f, 0}, 0},
        {"a mix bus without enabled stays disabled", entry(R"({"processID":7,"input2":{"volume":0.25}})"), 7,
         {0, 1.0f, 0}, {0, 0.25f, 0}, 0},
        {"words: padded YES, unknown word, empty text",
         entry(R"({"input1":{"enabled":" YES ","muted":"maybe"},"input2":{"enabled":"","muted":" On"}})"), 0,
         {1, 1.0f, 0}, {0, 1.0f, 1}, 0},
        {"an unknown word takes the default true of enabled", entry(R"({"input1":{"enabled":"maybe"}})"), 0,
         {1, 1.0f, 0}, {0, 1.0f, 0}, 0},
        {"solo 2", QVariantMap{{"solo", 2}}, 0, {0, 1.0f, 0}, {0, 1.0f, 0}, 1},
        {"solo 0.0", QVariantMap{{"solo", 0.0}}, 0, {0, 1.0f, 0}, {0, 1.0f, 0}, 0},
        {"solo NaN", QVariantMap{{"solo", kNaN}}, 0, {0, 1.0f, 0}, {0, 1.0f, 0}, 1},
        {"solo null keeps the default", QVariantMap{{"solo", QVariant()}}, 0, {0, 1.0f, 0}, {0, 1.0f, 0}, 0},
        {"largest id", QVariantMap{{"processID", 4294967295.0}}, 0xFFFFFFFFu, {0, 1.0f, 0}, {0, 1.0f, 0}, 0},
        {"id as text", QVariantMap{{"processID", "4100"}}, 4100, {0, 1.0f, 0}, {0, 1.0f, 0}, 0},
        {"id -1", QVariantMap{{"processID", -1}}, std::nullopt, {}, {}, 0},
        {"id 1.5", QVariantMap{{"processID", 1.5}}, std::nullopt, {}, {}, 0},
        {"id abc", QVariantMap{{"processID", "abc"}}, std::nullopt, {}, {}, 0},
        {"id NaN", QVariantMap{{"processID", kNaN}}, std::nullopt, {}, {}, 0},
        {"id 2^32", QVariantMap{{"processID", 4294967296.0}}, std::nullopt, {}, {}, 0},
        {"volumes: text, NaN, infinity",
         QVariantMap{{"input1", QVariantMap{{"volume", "loud"}}},
                     {"input2", QVariantMap{{"volume", std::numeric_limits<double>::infinity()}}}},
         0, {0, 0.0f, 0}, {0, 0.0f, 0}, 0},
        {"volume NaN", QVariantMap{{"input1", QVariantMap{{"volume", kNaN}, {"enabled", 1}}}}, 0, {1, 0.0f, 0},
         {0, 1.0f, 0}, 0},
        {"not a map", QVariantMap{}, 0, {0, 1.0f, 0}, {0, 1.0f, 0}, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        const std::optional<AudioRouteConfig> record = parseAudioConfigEntry(c.entry);
        ASSERT_EQ(record.has_value(), c.id.has_value());
        if (!record)
            continue;
        EXPECT_EQ(record->processID, *c.id);
        EXPECT_EQ(record->active, 1);
        EXPECT_EQ(record->input1.enabled, c.listen.enabled);
        EXPECT_EQ(record->input1.volume, c.listen.volume);
        EXPECT_EQ(record->input1.muted, c.listen.muted);
        EXPECT_EQ(record->input2.enabled, c.mix.enabled);
        EXPECT_EQ(record->input2.volume, c.mix.volume);
        EXPECT_EQ(record->input2.muted, c.mix.muted);
        EXPECT_EQ(record->solo, c.solo);
    }
    EXPECT_TRUE(parseAudioConfigEntry(QVariant(QStringLiteral("text"))).has_value()) << "a non-map is an empty map";
}

TEST_F(BridgeRoutingConfig, ListsGoThroughWhileRunningAndAreParkedWhileStopped)
{
    m_world->addProcess({.processId = 4100, .signal = os::Signal::buffer({0.5f}, 1)});
    auto bridge = makeBridge();
    AudioRouteConfigStore &store = AudioRouteConfigStore::instance();
    const QVariantList first{entry(R"({"processID":5,"input1":{"enabled":true}})")};
    const QVariantList second{entry(R"({"processID":6,"input1":{"enabled":true}})"),
                              QVariantMap{{"processID", -1}}, entry(R"({"processID":7})")};

    // Stopped: parked, the second list replaces the first, replayed once.
    bridge->setAudioConfig(first);
    bridge->setAudioConfig(second);
    EXPECT_GE(find(QStringLiteral("SystemBridge::setAudioConfig() called with 3 configs")), 0);
    EXPECT_EQ(find(QStringLiteral("NOT RUNNING")), -1) << "a parked list is not handed over";
    ASSERT_TRUE(AudioRouterAPI::Initialize());
    applyPendingAudioConfigs();
    EXPECT_EQ(store.sourceIds(), (std::vector<uint32_t>{6, 7}));
    EXPECT_GE(find(QStringLiteral("processID is not a source id"), 0, QtWarningMsg), 0);
    store.clear();
    applyPendingAudioConfigs();
    EXPECT_TRUE(store.sourceIds().empty()) << "replayed only once";

    // Running: straight through; an empty list too.
    bridge->setAudioConfig({QVariantMap{{"processID", 4100}}});
    EXPECT_EQ(captures(), std::vector<uint32_t>{4100});
    bridge->setAudioConfig({});
    EXPECT_TRUE(captures().empty()) << "the empty list reached the routing API";

    // An empty list parked while stopped is dropped at the replay.
    AudioRouterAPI::Shutdown();
    bridge->setAudioConfig({});
    ASSERT_TRUE(AudioRouterAPI::Initialize());
    ASSERT_TRUE(AudioRouterAPI::UpdateConfigs({parseAudioConfigEntry(QVariantMap{{"processID", 4100}}).value()}));
    applyPendingAudioConfigs();
    EXPECT_EQ(captures(), std::vector<uint32_t>{4100});
}

TEST_F(BridgeRoutingConfig, AReportBecomesOneListOfMapsInOrderOnTheGuiThread)
{
    QObject context;
    std::vector<QVariantList> delivered;
    bool onGuiThread = true;
    setLevelCallback(
        [&](const QVariantList &levels) {
            onGuiThread = onGuiThread && QThread::currentThread() == context.thread();
            delivered.push_back(levels);
        },
        &context);
    // Installed before the start: no level thread, only the report below.
    ASSERT_TRUE(AudioRouterAPI::Initialize());
    AudioRouteConfigStore::instance().virtualOutputIsDefault.store(true);
    parseAudioConfigs({QVariantMap{{"processID", 0}}, QVariantMap{{"processID", 3}}, QVariantMap{{"processID", 5}}});
    const WAVEFORMATEX format = makeMixFormat();
    const std::vector<float> block(2 * 480, 0.5f);
    for (uint32_t id : {5u, 0u, 3u})
        Mixer::instance().push(id, block.data(), uint32_t(block.size() * sizeof(float)), &format);

    std::thread level([] { AudioRouterAPI::levelReportTick(); });
    level.join();
    EXPECT_TRUE(delivered.empty()) << "delivered through the context's event queue";
    ASSERT_TRUE(eventually([&] { return !delivered.empty(); }));
    ASSERT_EQ(delivered.size(), 1u);
    const QVariantList &levels = delivered.front();
    ASSERT_EQ(levels.size(), 3);
    const qulonglong ids[] = {0, 3, 5};
    for (int i = 0; i < 3; ++i) {
        const QVariantMap map = levels[i].toMap();
        EXPECT_EQ(map.value("processID").metaType(), QMetaType::fromType<qulonglong>());
        EXPECT_EQ(map.value("processID").toULongLong(), ids[i]);
        EXPECT_EQ(map.value("levelLeft").metaType(), QMetaType::fromType<float>());
        EXPECT_GT(map.value("levelLeft").toFloat(), 0.0f);
        EXPECT_GT(map.value("levelRight").toFloat(), 0.0f);
    }
    EXPECT_TRUE(onGuiThread);
}

} // namespace
