// updateMonitorDevice reads the stored settings into the microphone
// processing: each case writes settings as the interface does, calls it, and
// runs blocks through the router's callback next to a processing core set
// directly to what the settings mean; both must give the same samples.
#include "BridgeTestSupport.h"

#include "app/SettingsManager.h"
#include "bridge/SystemBridge.h"

#include <QCoreApplication>

#include <functional>
#include <memory>
#include <vector>

namespace {

const QString kNotInitialized = QStringLiteral("SystemBridge::updateMonitorDevice: AudioRouterService not initialized");
const QString kNotTwelve = QStringLiteral("SystemBridge::updateMonitorDevice: Equalizer config array size is not 12, got");
const QString kVocal = QStringLiteral(R"({"name":"人声增强","type":0,"value":[4,2,0,0,-2,0,4,2,0,-3,-2,1],"img":"icons/rs.svg"})");
const std::array<float, kEqBandCount> kVocalValues = {4, 2, 0, 0, -2, 0, 4, 2, 0, -3, -2, 1};

using Settings = QList<QPair<QString, QVariant>>;

class BridgeMonitor : public BridgeTest
{
protected:
    void SetUp() override
    {
        BridgeTest::SetUp();
        SystemBridge::setStoredSettings(SettingsManager::instance());
        clearSettings();
    }

    static void clearSettings()
    {
        for (const char *key : {"device_equalizer", "device_equalizer_current", "device_compressor",
                                "device_compressor_value"})
            SettingsManager::instance()->removeValue(QString::fromLatin1(key));
    }

    static void store(const Settings &settings)
    {
        for (const auto &[key, value] : settings)
            SettingsManager::instance()->setValue(key, value);
    }

    static std::vector<float> block(int i)
    {
        std::vector<float> b(960);
        for (size_t n = 0; n < b.size(); ++n)
            b[n] = float(0.9 * std::sin(0.013 * double(n + size_t(i) * b.size())) + 0.3 * std::sin(0.4 * double(n)));
        return b;
    }

    // Runs blocks through the registered callback and through the reference;
    // true when every sample is the same.
    static bool sameAs(MonitorProcessing &reference, int blocks = 30)
    {
        bool same = true;
        for (int i = 0; i < blocks; ++i) {
            std::vector<float> viaBridge = block(i), direct = block(i);
            SystemBridge::monitorLevelCallback(viaBridge.data(), 2, 480, 48000.0);
            reference.process(direct.data(), 2, 480, 48000.0);
            same = same && viaBridge == direct;
        }
        return same;
    }
};

TEST_F(BridgeMonitor, StoredSettingsBecomeTheProcessing)
{
    struct Step {
        Settings settings;
        std::function<void(MonitorProcessing &)> means;
    };
    struct Case {
        const char *what;
        std::vector<Step> steps;
        int criticalLines;
    };
    const auto gain = [](double db) { return [db](MonitorProcessing &p) { p.setGain(true, db); }; };
    const auto vocal = [](MonitorProcessing &p) {
        p.setEqualizerEnabled(true);
        p.applyEqualizerPreset(0, kVocalValues);
    };
    const auto nothing = [](MonitorProcessing &) {};
    const Case cases[] = {
        {"gain on, value never stored", {{{{"device_compressor", true}}, gain(-45)}}, 0},
        {"gain value as INI text above 0", {{{{"device_compressor", "true"}, {"device_compressor_value", "5"}}, gain(0)}}, 0},
        {"gain value below -80", {{{{"device_compressor", true}, {"device_compressor_value", -100}}, gain(-80)}}, 0},
        {"gain off keeps the stage out", {{{{"device_compressor", "false"}, {"device_compressor_value", -20}}, nothing}}, 0},
        {"equaliser preset", {{{{"device_equalizer", "true"}, {"device_equalizer_current", kVocal}}, vocal}}, 0},
        {"low cut ignores its values",
         {{{{"device_equalizer", true},
            {"device_equalizer_current", R"({"type":2,"value":[-6,-3,0,0,0,0,0,0,0,0,0,0]})"}},
           [](MonitorProcessing &p) {
               p.setEqualizerEnabled(true);
               p.applyEqualizerPreset(2, {9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9, 9});
           }}},
         0},
        {"non-numbers count as 0 dB, a non-integer type as equaliser mode",
         {{{{"device_equalizer", true},
            {"device_equalizer_current", R"({"type":1.5,"value":[4,"x",null,0,-2,0,4,2,0,-3,-2,1]})"}},
           [](MonitorProcessing &p) {
               p.setEqualizerEnabled(true);
               p.applyEqualizerPreset(0, {4, 0, 0, 0, -2, 0, 4, 2, 0, -3, -2, 1});
           }}},
         0},
        {"13 and 11 values change nothing",
         {{{{"device_equalizer", true}, {"device_equalizer_current", kVocal}}, vocal},
          {{{"device_equalizer_current", R"({"type":0,"value":[1,1,1,1,1,1,1,1,1,1,1,1,1]})"}}, nothing},
          {{{"device_equalizer_current", R"({"type":0,"value":[1,1,1,1,1,1,1,1,1,1,1]})"}}, nothing}},
         2},
        {"unreadable presets change nothing",
         {{{{"device_equalizer", true}, {"device_equalizer_current", kVocal}}, vocal},
          {{{"device_equalizer_current", "not json"}}, nothing},
          {{{"device_equalizer_current", "[1,2]"}}, nothing},
          {{{"device_equalizer_current", "{}"}}, nothing}},
         0},
        {"equaliser off forgets the bands",
         {{{{"device_equalizer", true}, {"device_equalizer_current", kVocal}}, vocal},
          {{{"device_equalizer", false}},
           [](MonitorProcessing &p) {
               p.setEqualizerEnabled(false);
               p.clearEqualizer();
           }}},
         0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.what);
        clearSettings();
        clearLines();
        auto bridge = std::make_unique<SystemBridge>(SystemBridge::Options{});
        bridge->initializeMonitorDevice();
        ASSERT_EQ(SystemBridge::callbackBridge(), bridge.get());
        MonitorProcessing reference;
        for (const Step &step : c.steps) {
            store(step.settings);
            bridge->updateMonitorDevice();
            step.means(reference);
            EXPECT_TRUE(sameAs(reference));
        }
        EXPECT_EQ(count(kNotTwelve), c.criticalLines);
        if (c.criticalLines) {
            EXPECT_GE(find(kNotTwelve + " 13", 0, QtCriticalMsg), 0);
            EXPECT_GE(find(kNotTwelve + " 11", 0, QtCriticalMsg), 0);
        }
    }
}

TEST_F(BridgeMonitor, NothingBeforeTheRoutersAndRefusedBlocksLoggedOnce)
{
    store({{"device_compressor", true}, {"device_compressor_value", -30}});
    auto early = std::make_unique<SystemBridge>(SystemBridge::Options{});
    early->updateMonitorDevice();
    EXPECT_GE(find(kNotInitialized, 0, QtWarningMsg), 0);
    std::vector<float> samples = block(0);
    const std::vector<float> original = samples;
    early->processFirstDeviceAudio(samples.data(), 2, 480, 48000.0);
    EXPECT_EQ(samples, original) << "the gain stage stayed off";

    auto bridge = std::make_unique<SystemBridge>(SystemBridge::Options{});
    bridge->initializeMonitorDevice();
    bridge->updateMonitorDevice();
    clearLines();
    std::vector<float> wide(12 * 480, 0.5f);
    for (int i = 0; i < 3; ++i)
        SystemBridge::monitorLevelCallback(wide.data(), 12, 480, 48000.0);
    SystemBridge::monitorLevelCallback(nullptr, 2, 480, 48000.0);
    EXPECT_EQ(count(QStringLiteral("block left unprocessed")), 1);
    EXPECT_EQ(wide, std::vector<float>(12 * 480, 0.5f));
}

} // namespace
