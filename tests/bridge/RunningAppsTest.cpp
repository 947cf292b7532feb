// Running applications: which sessions become entries, under which names,
// with the extra capture endpoints in front; and when the worker tells the
// interface that the list changed.
#include "BridgeTestSupport.h"
#include "BridgeWorkers.h"

#include "platform/windows/routerAudio/AudioSessionIcons.h"

#include <QFileInfo>
#include <QSignalSpy>
#include <QUrl>

namespace {

constexpr std::uint16_t kEnglish = 0x0409;
constexpr std::uint16_t kSimplified = 0x0804;
constexpr std::uint16_t kTraditional = 0x0404;
constexpr std::uint16_t kUnicode = 1200;

struct Program {
    std::uint32_t pid;
    std::wstring image;
    std::wstring session;
    std::vector<os::VersionStrings> version;
    os::AudioSessionState state = os::AudioSessionState::Active;
};

class RunningApps : public BridgeTest
{
protected:
    void SetUp() override
    {
        BridgeTest::SetUp();
        m_world->addEndpoint({.name = L"Veloran T40 Microphone", .flow = os::DataFlow::Capture});
        m_world->addEndpoint({.name = L"USB Microphone", .flow = os::DataFlow::Capture});
        m_world->addEndpoint({.name = L"Speakers", .flow = os::DataFlow::Render});
        m_world->flushNotifications();
    }

    // The session listing renders the programs' icons on detached threads;
    // they must be done with the platform before the next test replaces it.
    void TearDown() override
    {
        EXPECT_TRUE(eventually(
            [&] {
                for (const auto &[image, pid] : m_images) {
                    const std::wstring icon = AudioRouterAPI::iconPathFor(image, pid);
                    if (!QFileInfo::exists(QString::fromStdWString(icon)))
                        return false;
                }
                return true;
            },
            "icons rendered"));
        BridgeTest::TearDown();
    }

    void add(const Program &p)
    {
        m_world->addProcess({.processId = p.pid, .imagePath = p.image, .displayName = p.session,
                             .sessionState = p.state});
        m_world->setVersionStrings(p.image, p.version);
        if (!p.image.empty()) {
            m_world->setProgramIcon(p.image, {1, 1, {0xff336699u}});
            m_images.emplace_back(p.image, p.pid);
        }
    }

    std::vector<std::pair<std::wstring, std::uint32_t>> m_images;

    // The values of one key, comma separated.
    static std::string pick(const QVariantList &list, const char *key)
    {
        QStringList out;
        for (const QVariant &entry : list)
            out << entry.toMap().value(key).toString();
        return out.join(',').toStdString();
    }

    static QString fileUrl(const std::wstring &path) { return QUrl::fromLocalFile(QString::fromStdWString(path)).toString(); }
};

TEST(ProductName, ChineseBlocksWinAndDescriptionsStandIn)
{
    const struct {
        const char *what;
        std::vector<os::VersionStrings> blocks;
        QString expected;
    } cases[] = {
        {"none", {}, ""},
        {"first product name", {{kEnglish, kUnicode, L"Orbit", L"Orbit Browser"}, {0x0407, kUnicode, L"Umlauf", L""}},
         "Orbit"},
        {"description stands in", {{kEnglish, kUnicode, L"", L"Tape Deck"}, {0x0407, kUnicode, L"", L"Band"}},
         "Tape Deck"},
        {"simplified after english", {{kEnglish, kUnicode, L"Recorder", L""}, {kSimplified, kUnicode, L"录音机", L""}},
         "录音机"},
        {"traditional after english", {{kEnglish, kUnicode, L"Recorder", L""}, {kTraditional, kUnicode, L"錄音機", L""}},
         "錄音機"},
        {"simplified description over a kept name",
         {{kEnglish, kUnicode, L"Recorder", L""}, {kSimplified, kUnicode, L"", L"录音工具"}},
         "录音工具"},
        {"traditional description only when nothing is kept",
         {{kEnglish, kUnicode, L"Recorder", L""}, {kTraditional, kUnicode, L"", L"錄音工具"}},
         "Recorder"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(chooseProductName(c.blocks), c.expected) << c.what;
}

TEST_F(RunningApps, SessionsBecomeEntriesBehindTheExtraMicrophones)
{
    const Program programs[] = {
        {900, L"/opt/orbit/orbit.exe", L"orbit", {{kEnglish, kUnicode, L"Orbit Browser", L""}}},
        {800, L"/opt/tape/tape.exe", L"tape", {{kEnglish, kUnicode, L"", L"Tape Deck"}},
         os::AudioSessionState::Inactive},
        {700, L"/opt/orbit/orbit-helper.exe", L"orbit-helper", {{kEnglish, kUnicode, L"Orbit Browser", L""}}},
        {600, L"", L"", {}},
        {610, L"/usr/lib/sndvol.exe", L"@%SystemRoot%\\x.dll,-1", {}},
        {620, L"/opt/t/tarvo.exe", L"Tarvo", {}},
        {630, L"/opt/v/deck.exe", L"Veloran Deck", {}},
        {640, L"/opt/v/my.exe", L"MyVeloranDeckApp", {}},
        {650, L"/opt/rec/rec.exe", L"rec",
         {{kEnglish, kUnicode, L"Sound Recorder", L""}, {kSimplified, kUnicode, L"录音机", L""}}},
        {660, L"/opt/chat/chat.exe", L"Chat", {}},
    };
    for (const Program &p : programs)
        add(p);

    SystemBridge bridge{SystemBridge::Options{}};
    const QVariantList list = bridge.getRunningApplications();
    EXPECT_EQ(pick(list, "name"), "USB Microphone,Tape Deck,Orbit Browser,录音机,Chat");
    EXPECT_EQ(pick(list, "processIdentifier"), "USB Microphone,800,700,650,660");
    ASSERT_EQ(list.size(), 5);

    const QVariantMap microphone = list[0].toMap();
    EXPECT_EQ(microphone.value("bundleIdentifier").toString(), "USB Microphone");
    EXPECT_EQ(microphone.value("isInput").toBool(), true);
    EXPECT_EQ(microphone.value("hostApi").toString(), "WASAPI");

    const std::map<std::uint32_t, const Program *> byPid = [&] {
        std::map<std::uint32_t, const Program *> m;
        for (const Program &p : programs)
            m[p.pid] = &p;
        return m;
    }();
    for (qsizetype i = 1; i < list.size(); ++i) {
        const QVariantMap app = list[i].toMap();
        const Program &p = *byPid.at(std::uint32_t(app.value("processIdentifier").toULongLong()));
        SCOPED_TRACE(p.pid);
        EXPECT_EQ(app.value("processIdentifier").typeId(), QMetaType::ULongLong);
        EXPECT_EQ(app.value("bundleIdentifier").toString(), fileUrl(p.image));
        EXPECT_EQ(app.value("iconFilePath").toString(), fileUrl(AudioRouterAPI::iconPathFor(p.image, p.pid)));
        EXPECT_EQ(app.value("type").toString(), "app");
        EXPECT_EQ(app.value("isActive").toBool(), p.state == os::AudioSessionState::Active);
        EXPECT_EQ(app.size(), 6);
    }
}

TEST_F(RunningApps, WorkerSignalsNewSourcesNotStateChanges)
{
    add({800, L"/opt/tape/tape.exe", L"tape", {}, os::AudioSessionState::Inactive});
    SystemBridge bridge{SystemBridge::Options{}};
    bridge.initializeMonitorDevice();
    RunningAppsCache &cache = bridge.runningAppsForTests();
    ASSERT_TRUE(eventually([&] { return cache.passes.load() == 1; }, "first pass"));
    QSignalSpy changed(&bridge, &SystemBridge::runningAppsChanged);
    int passes = 1;
    // One two-second wait, and the pass after it.
    const auto nextPass = [&] {
        m_clock->advanceMs(kRunningAppsWaitSteps * kRunningAppsWaitStepMs);
        ++passes;
        EXPECT_TRUE(eventually([&] { return cache.passes.load() == passes; }, "pass"));
        deliverQueued();
    };

    const struct {
        const char *what;
        std::function<void()> change;
        int emitted;
        std::string pids;
    } steps[] = {
        {"first pass", [] {}, 0, "USB Microphone,800"},
        {"state change", [&] { m_world->setSessionState(800, os::AudioSessionState::Active); }, 0,
         "USB Microphone,800"},
        {"new process", [&] { add({900, L"/opt/orbit/orbit.exe", L"orbit", {}}); }, 1,
         "USB Microphone,800,900"},
        {"new name only", [&] { m_world->setVersionStrings(L"/opt/orbit/orbit.exe", {{kEnglish, kUnicode, L"Orbit", L""}}); },
         1, "USB Microphone,800,900"},
        {"restart under a new pid",
         [&] {
             m_world->removeProcess(900);
             add({901, L"/opt/orbit/orbit.exe", L"orbit", {}});
         },
         2, "USB Microphone,800,901"},
        {"microphone unplugged",
         [&] {
             // The endpoint cache follows first.
             DeviceListCache &devices = bridge.deviceCacheForTests();
             m_world->unplugEndpoint(m_world->findEndpointId(L"USB Microphone"));
             m_world->flushNotifications();
             ASSERT_TRUE(eventually(
                 [&] { return devices.state.load() == DeviceCacheWorkerState::Debouncing; }, "debounce"));
             m_clock->advanceMs(kDeviceListDebounceMs);
             ASSERT_TRUE(eventually([&] { return devices.passes.load() == 2; }, "endpoint rebuild"));
         },
         3, "800,901"},
    };
    for (const auto &step : steps) {
        SCOPED_TRACE(step.what);
        step.change();
        m_world->flushNotifications();
        if (&step != &steps[0])
            nextPass();
        deliverQueued();
        EXPECT_EQ(changed.count(), step.emitted);
        EXPECT_EQ(pick(bridge.getRunningApplicationsCached(), "processIdentifier"), step.pids);
    }
    const QVariantList cached = bridge.getRunningApplicationsCached();
    EXPECT_TRUE(cached.first().toMap().value("isActive").toBool()) << "the cache follows the state without a signal";
}

} // namespace
