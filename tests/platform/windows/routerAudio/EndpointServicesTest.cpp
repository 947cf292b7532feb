#include "EndpointServicesTestSupport.h"

#include "platform/os/Apartment.h"
#include "platform/windows/routerAudio/AudioSessionIcons.h"
#include "platform/windows/routerAudio/DeviceStateMonitor.h"
#include "platform/windows/routerAudio/VirtualDriverEndpoints.h"

#include <gmock/gmock.h>

#include <atomic>
#include <condition_variable>
#include <map>
#include <set>
#include <thread>

using ::testing::ElementsAreArray;

namespace {

using os::DataFlow;
using os::Role;
using os::SimOp;

std::string narrow(const std::wstring &text)
{
    return std::string(text.begin(), text.end());
}

// ---- device-state monitor -------------------------------------------------

struct Listed {
    std::string name;
    uint32_t inputs;
    uint32_t outputs;
    double rate;
    bool input;
};

// Active, disabled and unplugged endpoints of both flows.
struct MonitoredEndpoints {
    std::wstring headphones;
    std::wstring micB;
};
MonitoredEndpoints addMonitoredEndpoints(os::SimAudioWorld &world)
{
    MonitoredEndpoints ids;
    world.addEndpoint({L"Speakers", DataFlow::Render, 48000, 2});
    world.addEndpoint({L"Mic A", DataFlow::Capture, 44100, 1});
    ids.headphones = world.addEndpoint({L"Headphones", DataFlow::Render, 96000, 6});
    world.addEndpoint({L"Off", DataFlow::Capture, 48000, 2, 24, true, DEVICE_STATE_DISABLED});
    ids.micB = world.addEndpoint({L"Mic B", DataFlow::Capture, 16000, 1});
    world.addEndpoint({L"Gone", DataFlow::Render, 48000, 2, 24, true, DEVICE_STATE_UNPLUGGED});
    // Delivered before anyone listens.
    world.flushNotifications();
    return ids;
}

TEST_F(EndpointServicesWorld, MonitorListsActiveEndpointsWithTheirFormats)
{
    const std::wstring micB = addMonitoredEndpoints(*m_world).micB;
    m_world->faults().failNextFor(SimOp::ActivateAudioClient, micB, E_FAIL, 100);

    const Listed micA{"Mic A", 1, 0, 44100.0, true};
    const Listed micBListed{"Mic B", 0, 0, 48000.0, true}; // no client: defaults
    const Listed speakers{"Speakers", 0, 2, 48000.0, false};
    const Listed phones{"Headphones", 0, 6, 96000.0, false};
    const struct {
        int selector;
        std::vector<Listed> expected;
    } listings[] = {
        {1, {micA, micBListed}},
        {2, {speakers, phones}},
        {0, {micA, micBListed, speakers, phones}},
        {7, {micA, micBListed, speakers, phones}},
    };
    for (const auto &listing : listings) {
        SCOPED_TRACE(listing.selector);
        const auto devices = DeviceStateMonitor::enumerateDevices(listing.selector);
        ASSERT_EQ(devices.size(), listing.expected.size());
        for (std::size_t i = 0; i < devices.size(); ++i) {
            EXPECT_EQ(narrow(devices[i].name), listing.expected[i].name);
            EXPECT_FALSE(devices[i].id.empty());
            EXPECT_EQ(devices[i].maxInputChannels, listing.expected[i].inputs);
            EXPECT_EQ(devices[i].maxOutputChannels, listing.expected[i].outputs);
            EXPECT_EQ(devices[i].defaultSampleRate, listing.expected[i].rate);
            EXPECT_EQ(devices[i].isInput, listing.expected[i].input);
            EXPECT_NE(devices[i].isOutput, devices[i].isInput);
        }
    }
}

TEST_F(EndpointServicesWorld, MonitorCallsOncePerKindOfChange)
{
    const std::wstring headphones = addMonitoredEndpoints(*m_world).headphones;
    DeviceStateMonitor &monitor = DeviceStateMonitor::instance();
    std::atomic<int> calls{0};
    ASSERT_TRUE(monitor.start([&] { ++calls; }));
    EXPECT_EQ(os::apartmentDepth(), 1);
    std::wstring added;
    const struct {
        const char *change;
        std::function<void()> make;
        int calls;
    } changes[] = {
        {"added", [&] { added = m_world->addEndpoint({L"USB Mic", DataFlow::Capture}); }, 1},
        {"state", [&] { m_world->unplugEndpoint(added); }, 1},
        {"removed", [&] { m_world->removeEndpoint(added); }, 1},
        {"default", [&] { m_world->setDefaultEndpoint(headphones, Role::Communications); }, 1},
        // A rename changes nothing in the set.
        {"renamed", [&] { m_world->renameEndpoint(headphones, L"Phones"); }, 0},
    };
    for (const auto &change : changes) {
        SCOPED_TRACE(change.change);
        calls = 0;
        change.make();
        m_world->flushNotifications();
        EXPECT_EQ(calls.load(), change.calls);
    }
    monitor.stop();
}

TEST_F(EndpointServicesWorld, ASecondMonitorStartOnlyReplacesTheCallback)
{
    const std::wstring headphones = addMonitoredEndpoints(*m_world).headphones;
    DeviceStateMonitor &monitor = DeviceStateMonitor::instance();
    std::atomic<int> calls{0};
    ASSERT_TRUE(monitor.start([&] { ++calls; }));
    std::atomic<int> second{0};
    EXPECT_TRUE(monitor.start([&] { ++second; }));
    EXPECT_EQ(m_world->faults().calls(SimOp::RegisterNotification), 1u);
    m_world->setDefaultEndpoint(headphones);
    m_world->flushNotifications();
    EXPECT_EQ(calls.load(), 0);
    EXPECT_GE(second.load(), 1);
    monitor.stop();
}

TEST_F(EndpointServicesWorld, MonitorStopForgetsTheCallbackAndUnregisters)
{
    // After a new start one change still calls once, not once per client
    // ever registered.
    addMonitoredEndpoints(*m_world);
    DeviceStateMonitor &monitor = DeviceStateMonitor::instance();
    std::atomic<int> first{0};
    ASSERT_TRUE(monitor.start([&] { ++first; }));
    monitor.stop();
    EXPECT_EQ(os::apartmentDepth(), 0);
    first = 0;
    monitor.notifyChange();
    EXPECT_EQ(first.load(), 0);
    std::atomic<int> third{0};
    ASSERT_TRUE(monitor.start([&] { ++third; }));
    m_world->addEndpoint({L"Line In", DataFlow::Capture});
    m_world->flushNotifications();
    EXPECT_EQ(third.load(), 1);
    monitor.stop();
    EXPECT_EQ(first.load(), 0);
}

TEST_F(EndpointServicesWorld, FailedMonitorStartsLeaveNothingInitialised)
{
    DeviceStateMonitor &monitor = DeviceStateMonitor::instance();
    const struct {
        SimOp op;
        std::string line;
    } failures[] = {
        {SimOp::CreateEnumerator, "[DeviceStateMonitor] CoCreateInstance failed: 0x80004005"},
        {SimOp::RegisterNotification, "[DeviceStateMonitor] RegisterEndpointNotificationCallback failed: 0x80004005"},
    };
    for (const auto &failure : failures) {
        SCOPED_TRACE(failure.line);
        takeLines();
        m_world->failNext(failure.op, E_FAIL);
        EXPECT_FALSE(monitor.start([] {}));
        EXPECT_EQ(os::apartmentDepth(), 0);
        EXPECT_THAT(takeLines(), ElementsAreArray({failure.line}));
        monitor.stop(); // stopped already: no line
        EXPECT_TRUE(takeLines().empty());
    }
}

// ---- driver detection and the default device -------------------------------

TEST_F(EndpointServicesWorld, DriverDetectionFindsTheStreamMixByContainedName)
{
    const struct {
        std::vector<std::wstring> captures;
        bool found;
        std::string line;
    } cases[] = {
        {{L"Microphone", L"nuvex stream mix"}, true, "[DriverDetection] Found capture device: nuvex stream mix"},
        {{L"NUVEX Stream Mix (2- Virtual)"}, true, "[DriverDetection] Found capture device: NUVEX Stream Mix (2- Virtual)"},
        {{L"NUVEX Stream", L"Mic"}, false,
         "[DriverDetection] Capture device 'nuvex stream mix' not found among 2 capture devices"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.line);
        auto world = std::make_shared<os::SimAudioWorld>();
        os::installPlatform(world);
        world->addEndpoint({L"NUVEX Stream Mix", DataFlow::Render}); // wrong flow never counts
        for (const auto &name : c.captures)
            world->addEndpoint({name, DataFlow::Capture});
        world->addEndpoint({L"NUVEX Stream Mix", DataFlow::Capture, 48000, 2, 24, false, DEVICE_STATE_DISABLED});
        takeLines();
        EXPECT_EQ(DriverDetection::isVirtualDriverInstalled(), c.found);
        EXPECT_THAT(takeLines(), ElementsAreArray({c.line}));
    }
}

TEST_F(EndpointServicesWorld, DefaultDeviceIsSetForEveryRoleAndJudgedByTheConsoleRole)
{
    const std::string found = "[DefaultDeviceManager] Brand speaker found: \"Speakers (NUVEX Output)\" id=";
    const struct {
        const char *name;
        bool targetFirst;            // the target is the first endpoint, so default for all roles
        std::vector<Role> preset;    // roles already pointing at the target
        std::vector<std::pair<SimOp, std::wstring>> faults;
        bool result;
        std::uint64_t policyObjects;
        std::vector<std::string> lines; // after the "found" line
        bool consoleIsTarget;
    } cases[] = {
        {"already default", true, {}, {}, true, 0,
         {"[DefaultDeviceManager] \"NUVEX Output\" is already the system default; nothing to do."}, true},
        {"two roles of three", false, {Role::Console, Role::Multimedia}, {}, true, 1,
         {"[DefaultDeviceManager] Set default (eConsole) -> \"NUVEX Output\"",
          "[DefaultDeviceManager] Set default (eMultimedia) -> \"NUVEX Output\"",
          "[DefaultDeviceManager] Set default (eCommunications) -> \"NUVEX Output\""},
         true},
        {"legacy class", false, {}, {{SimOp::CreatePolicyConfig, L""}}, true, 2,
         {"[DefaultDeviceManager] Modern CLSID failed (0x80040154), trying legacy Vista CLSID (vtable mismatch likely)",
          "[DefaultDeviceManager] Set default (eConsole) -> \"NUVEX Output\"",
          "[DefaultDeviceManager] Set default (eMultimedia) -> \"NUVEX Output\"",
          "[DefaultDeviceManager] Set default (eCommunications) -> \"NUVEX Output\""},
         true},
        {"no class at all", false, {}, {{SimOp::CreatePolicyConfig, L""}, {SimOp::CreatePolicyConfig, L""}}, false, 2,
         {"[DefaultDeviceManager] Modern CLSID failed (0x80040154), trying legacy Vista CLSID (vtable mismatch likely)",
          "[DefaultDeviceManager] CoCreateInstance(IPolicyConfig) failed: 0x80040154"},
         false},
        {"communications fails", false, {}, {{SimOp::SetDefaultEndpoint, os::SimFaults::roleTarget(2)}}, true, 1,
         {"[DefaultDeviceManager] Set default (eConsole) -> \"NUVEX Output\"",
          "[DefaultDeviceManager] Set default (eMultimedia) -> \"NUVEX Output\"",
          "[DefaultDeviceManager] SetDefaultEndpoint(eCommunications) failed: 0x80004005"},
         true},
        {"console fails", false, {}, {{SimOp::SetDefaultEndpoint, os::SimFaults::roleTarget(0)}}, false, 1,
         {"[DefaultDeviceManager] SetDefaultEndpoint(eConsole) failed: 0x80004005",
          "[DefaultDeviceManager] Set default (eMultimedia) -> \"NUVEX Output\"",
          "[DefaultDeviceManager] Set default (eCommunications) -> \"NUVEX Output\""},
         false},
        {"console fails but already was", false, {Role::Console},
         {{SimOp::SetDefaultEndpoint, os::SimFaults::roleTarget(0)}}, true, 1,
         {"[DefaultDeviceManager] SetDefaultEndpoint(eConsole) failed: 0x80004005",
          "[DefaultDeviceManager] Set default (eMultimedia) -> \"NUVEX Output\"",
          "[DefaultDeviceManager] Set default (eCommunications) -> \"NUVEX Output\""},
         true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        auto world = std::make_shared<os::SimAudioWorld>();
        os::installPlatform(world);
        std::wstring target;
        if (c.targetFirst) {
            target = world->addEndpoint({L"Speakers (NUVEX Output)", DataFlow::Render});
            world->addEndpoint({L"Speakers", DataFlow::Render});
        } else {
            world->addEndpoint({L"Speakers", DataFlow::Render});
            target = world->addEndpoint({L"Speakers (NUVEX Output)", DataFlow::Render});
        }
        world->addEndpoint({L"Second NUVEX Output", DataFlow::Render}); // the first match wins
        world->addEndpoint({L"NUVEX Output", DataFlow::Capture});       // wrong flow
        for (Role role : c.preset)
            world->setDefaultEndpoint(target, role);
        for (const auto &[op, aim] : c.faults) {
            const HRESULT code = op == SimOp::CreatePolicyConfig ? REGDB_E_CLASSNOTREG : E_FAIL;
            // Two untargeted faults of one op: one slot counting two.
            world->faults().failNextFor(op, aim, code,
                                        static_cast<int>(std::count_if(c.faults.begin(), c.faults.end(),
                                                                       [&](const auto &f) { return f.first == op; })));
        }
        takeLines();
        EXPECT_EQ(DefaultDeviceManager::setVirtualOutputAsDefault(), c.result);
        EXPECT_EQ(os::apartmentDepth(), 0); // the caller's thread is not touched
        EXPECT_EQ(world->faults().calls(SimOp::CreatePolicyConfig), c.policyObjects);
        std::vector<std::string> expected{found + narrow(target)};
        expected.insert(expected.end(), c.lines.begin(), c.lines.end());
        EXPECT_THAT(takeLines(), ElementsAreArray(expected));
        EXPECT_EQ(world->defaultEndpointId(DataFlow::Render, Role::Console) == target, c.consoleIsTarget);
        if (c.result && c.policyObjects > 0 && c.lines.size() == 3) {
            EXPECT_EQ(world->defaultEndpointId(DataFlow::Render, Role::Multimedia), target);
        }
    }

    // No endpoint by that name: no policy object at all.
    auto world = std::make_shared<os::SimAudioWorld>();
    os::installPlatform(world);
    world->addEndpoint({L"Speakers", DataFlow::Render});
    world->addEndpoint({L"NUVEX Output", DataFlow::Render, 48000, 2, 24, false, DEVICE_STATE_DISABLED});
    takeLines();
    EXPECT_FALSE(DefaultDeviceManager::setVirtualOutputAsDefault());
    EXPECT_EQ(world->faults().calls(SimOp::CreatePolicyConfig), 0u);
    EXPECT_THAT(takeLines(),
                ElementsAreArray({"[DefaultDeviceManager] Brand speaker \"NUVEX Output\" not found among 1 render endpoints"}));
}

// ---- sessions and their icons ----------------------------------------------

// Waits for a batch's allIconsDone; collects its iconReady calls.
struct BatchObserver {
    std::mutex mutex;
    std::condition_variable cv;
    std::map<uint32_t, std::wstring> ready;             // guarded by mutex
    std::map<uint32_t, std::thread::id> readyThread;    // guarded by mutex
    int readyCalls = 0;                                 // guarded by mutex
    int doneCalls = 0;                                  // guarded by mutex

    AudioRouterAPI::IconReadyCallback iconReady()
    {
        return [this](uint32_t pid, const std::wstring &path) {
            std::lock_guard lock(mutex);
            ready[pid] = path;
            readyThread[pid] = std::this_thread::get_id();
            ++readyCalls;
        };
    }
    AudioRouterAPI::AllIconsDoneCallback allIconsDone()
    {
        return [this] {
            std::lock_guard lock(mutex);
            ++doneCalls;
            cv.notify_all();
        };
    }
    bool waitDone()
    {
        std::unique_lock lock(mutex);
        return cv.wait_for(lock, std::chrono::seconds(10), [&] { return doneCalls > 0; });
    }
};

TEST_F(EndpointServicesWorld, SessionsGiveOneRecordPerProcessAndTheirIconsAreCachedOnce)
{
    m_world->addEndpoint({L"Speakers", DataFlow::Render});
    const struct SessionCase {
        os::SimProcessSpec process;
        const char *name;
        const char *state;
        const char *iconFile; // "" when no icon path
        std::uint32_t iconSize; // 0: no icon to extract
        std::uint32_t pngSize;
        std::uint32_t iconHeight = 0; // 0: as wide as high
    } processes[] = {
        {{10, 0, L"C:\\Apps\\stateless.exe"}, "stateless", "Unknown", "stateless.png", 0, 0},
        {{0, 0, L"C:\\Windows\\system.exe"}, nullptr, nullptr, nullptr, 0, 0},
        {{4242, 0, L"C:\\Apps\\player.x64.exe", L"", 2}, "player.x64", "Active", "player.x64.png", 16, 128},
        {{77, 0, L"tool.exe", L"", 1, os::AudioSessionState::Inactive}, "tool.exe", "Inactive", "tool.png", 256, 256},
        {{78, 0, L"", L"", 1, os::AudioSessionState::Expired}, "(unknown)", "Expired", "", 0, 0},
        {{79, 0, L"/opt/chat/chat.bin", L"Chat"}, "Chat", "Active", "chat.png", 130, 130},
        {{80, 0, L"C:\\Odd\\a<b>c:d\"e|f?g*h.exe"}, "a<b>c:d\"e|f?g*h", "Active", "a_b_c_d_e_f_g_h.png", 32, 128},
        {{81, 0, L"C:\\Apps\\"}, "C:\\Apps\\", "Active", "process_81.png", 0, 0},
        {{82, 0, L"C:\\Apps\\wide.exe"}, "wide", "Active", "wide.png", 256, 128, 64}, // one side short is enough
    };
    for (const auto &p : processes) {
        m_world->addProcess(p.process);
        if (p.iconSize > 0) {
            os::IconImage icon = solidIcon(p.iconSize);
            if (p.iconHeight > 0) {
                icon.height = p.iconHeight;
                icon.pixels.resize(std::size_t(p.iconSize) * p.iconHeight);
            }
            m_world->setProgramIcon(p.process.imagePath, icon);
        }
    }
    m_world->failNext(SimOp::SessionState, E_FAIL); // the first process listed

    BatchObserver batch;
    const auto records = AudioRouterAPI::enumerateAudioSessions(batch.iconReady(), batch.allIconsDone());
    std::vector<const SessionCase *> listed;
    for (const auto &p : processes)
        if (p.name)
            listed.push_back(&p);
    ASSERT_EQ(records.size(), listed.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        const auto &p = *listed[i];
        SCOPED_TRACE(p.name);
        EXPECT_EQ(records[i].processId, p.process.processId);
        EXPECT_EQ(narrow(records[i].name), p.name);
        EXPECT_EQ(records[i].exePath, p.process.imagePath);
        EXPECT_EQ(narrow(records[i].state), p.state);
        if (*p.iconFile) {
            EXPECT_EQ(std::filesystem::path(records[i].iconPath), iconFolder() / p.iconFile);
        } else {
            EXPECT_TRUE(records[i].iconPath.empty());
        }
    }

    ASSERT_TRUE(batch.waitDone());
    std::map<uint32_t, std::wstring> expectedReady;
    for (const auto *p : listed) {
        const auto file = iconFolder() / p->iconFile;
        if (p->pngSize == 0) {
            EXPECT_TRUE(!*p->iconFile || !std::filesystem::exists(file)) << p->iconFile;
            continue;
        }
        expectedReady[p->process.processId] = file.wstring();
        const PngSize png = readPng(file);
        EXPECT_EQ(png.width, p->pngSize) << p->iconFile;
        EXPECT_EQ(png.height, p->pngSize) << p->iconFile;
        EXPECT_TRUE(png.decodes) << p->iconFile;
    }
    {
        std::lock_guard lock(batch.mutex);
        EXPECT_EQ(batch.ready, expectedReady);
        EXPECT_EQ(batch.readyCalls, static_cast<int>(expectedReady.size()));
    }

    // A second batch finds the files: no icon work but a retry of the
    // failed ones, no iconReady, one allIconsDone.
    const std::uint64_t extractions = m_world->faults().calls(SimOp::ExtractIcon);
    const auto failed = std::count_if(listed.begin(), listed.end(),
                                      [](const SessionCase *p) { return *p->iconFile && p->pngSize == 0; });
    AudioRouterAPI::IconBatchJob again{records, batch.iconReady(), batch.allIconsDone()};
    {
        std::lock_guard lock(batch.mutex);
        batch.ready.clear();
        batch.readyCalls = 0;
        batch.doneCalls = 0;
    }
    AudioRouterAPI::iconBatchThread(again);
    {
        std::lock_guard lock(batch.mutex);
        EXPECT_EQ(batch.readyCalls, 0);
        EXPECT_EQ(batch.doneCalls, 1);
    }
    EXPECT_EQ(m_world->faults().calls(SimOp::ExtractIcon), extractions + static_cast<std::uint64_t>(failed));
    uint32_t width = 1;
    uint32_t height = 1;
    EXPECT_EQ(AudioRouterAPI::extractIconToPng(L"C:\\Apps\\player.x64.exe", 4242, width, height),
              (iconFolder() / "player.x64.png").wstring());
    EXPECT_EQ(width, 0u);
    EXPECT_EQ(height, 0u);

    // A failed listing starts no batch; no temporary folder gives no path.
    m_world->failNext(SimOp::ActivateSessionManager, E_FAIL);
    EXPECT_TRUE(AudioRouterAPI::enumerateAudioSessions(batch.iconReady(), batch.allIconsDone()).empty());
    setenv("TMPDIR", (m_temp / "missing").c_str(), 1);
    EXPECT_TRUE(AudioRouterAPI::iconPathFor(L"C:\\Apps\\player.x64.exe", 4242).empty());
    EXPECT_TRUE(AudioRouterAPI::extractIconToPng(L"C:\\Apps\\new.exe", 5, width, height).empty());
    setenv("TMPDIR", m_temp.c_str(), 1);
    EXPECT_EQ(AudioRouterAPI::processBaseName(4242), L"player.x64.exe");
    EXPECT_EQ(AudioRouterAPI::processBaseName(78), L"");
}

TEST_F(EndpointServicesWorld, NineRecordsAreSplitIntoContiguousChunksOfTwo)
{
    std::vector<AudioSessionInfo> records;
    for (uint32_t i = 0; i < 9; ++i) {
        const std::wstring path = L"C:\\Apps\\app" + std::to_wstring(i) + L".exe";
        m_world->setProgramIcon(path, solidIcon(48));
        records.push_back({100 + i, L"app", path, L"Active", AudioRouterAPI::iconPathFor(path, 100 + i)});
    }
    BatchObserver batch;
    AudioRouterAPI::iconBatchThread({records, batch.iconReady(), batch.allIconsDone()});
    std::map<std::thread::id, std::set<uint32_t>> byWorker;
    {
        std::lock_guard lock(batch.mutex);
        EXPECT_EQ(batch.doneCalls, 1);
        EXPECT_EQ(batch.readyCalls, 9);
        for (const auto &[pid, thread] : batch.readyThread)
            byWorker[thread].insert(pid - 100);
    }
    std::set<std::set<uint32_t>> chunks;
    for (const auto &[thread, indices] : byWorker)
        chunks.insert(indices);
    EXPECT_EQ(chunks, (std::set<std::set<uint32_t>>{{0, 1}, {2, 3}, {4, 5}, {6, 7}, {8}}));
}

} // namespace
