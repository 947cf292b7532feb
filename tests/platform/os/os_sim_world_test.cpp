#include "platform/os/AudioClient.h"
#include "platform/os/AudioSessions.h"
#include "platform/os/sim/SimAudioWorld.h"

#include <gtest/gtest.h>

#include <cstring>
#include <mutex>
#include <thread>

namespace os {
namespace {

// Records every notification as one line of text.
class NotificationLog final : public EndpointNotificationClient {
public:
    void onDeviceStateChanged(const std::wstring& id, std::uint32_t state) override
    {
        add(L"state " + id + L" " + std::to_wstring(state));
    }
    void onDeviceAdded(const std::wstring& id) override { add(L"added " + id); }
    void onDeviceRemoved(const std::wstring& id) override { add(L"removed " + id); }
    void onDefaultDeviceChanged(DataFlow flow, Role role, const std::wstring& id) override
    {
        add(L"default " + std::to_wstring(static_cast<int>(flow)) + L" " + std::to_wstring(static_cast<int>(role)) + L" "
            + id);
        if (m_onDefault)
            m_onDefault();
    }
    void onPropertyValueChanged(const std::wstring& id, EndpointProperty property) override
    {
        add(L"property " + id + L" " + std::to_wstring(static_cast<int>(property)));
    }
    std::vector<std::wstring> take()
    {
        std::lock_guard lock(m_mutex);
        auto lines = std::move(m_lines);
        m_lines.clear();
        return lines;
    }
    std::thread::id lastThread()
    {
        std::lock_guard lock(m_mutex);
        return m_thread;
    }
    std::function<void()> m_onDefault;

private:
    void add(std::wstring line)
    {
        std::lock_guard lock(m_mutex);
        m_lines.push_back(std::move(line));
        m_thread = std::this_thread::get_id();
    }
    std::mutex m_mutex;
    std::vector<std::wstring> m_lines;
    std::thread::id m_thread;
};

struct OsSimWorld : ::testing::Test {
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    SimAudioWorld world{clock};
    std::shared_ptr<EndpointEnumerator> enumerator;
    std::shared_ptr<NotificationLog> log = std::make_shared<NotificationLog>();

    void SetUp() override
    {
        ASSERT_EQ(world.createEndpointEnumerator(enumerator), S_OK);
        ASSERT_EQ(enumerator->registerNotificationClient(log), S_OK);
    }
    std::vector<std::wstring> names(DataFlow flow, std::uint32_t mask = DEVICE_STATE_ACTIVE)
    {
        std::vector<std::shared_ptr<AudioEndpoint>> list;
        EXPECT_EQ(enumerator->enumEndpoints(flow, mask, list), S_OK);
        std::vector<std::wstring> out;
        for (auto& e : list) {
            std::wstring name;
            EXPECT_EQ(e->getFriendlyName(name), S_OK);
            out.push_back(name);
        }
        return out;
    }
    std::vector<std::wstring> notifications()
    {
        world.flushNotifications();
        return log->take();
    }
};

TEST_F(OsSimWorld, EnumerationKeepsOrderAndFiltersByFlowAndState)
{
    world.addEndpoint({.name = L"Speakers", .flow = DataFlow::Render});
    const auto mic = world.addEndpoint({.name = L"Microphone (USB)", .flow = DataFlow::Capture});
    world.addEndpoint({.name = L"Headphones", .flow = DataFlow::Render});
    world.addEndpoint({.name = L"Line In", .flow = DataFlow::Capture, .state = DEVICE_STATE_DISABLED});

    EXPECT_EQ(names(DataFlow::Render), (std::vector<std::wstring>{L"Speakers", L"Headphones"}));
    EXPECT_EQ(names(DataFlow::Capture), (std::vector<std::wstring>{L"Microphone (USB)"}));
    EXPECT_EQ(names(DataFlow::All, DEVICE_STATEMASK_ALL).size(), 4u);
    EXPECT_EQ(names(DataFlow::Capture, DEVICE_STATE_DISABLED), (std::vector<std::wstring>{L"Line In"}));

    std::shared_ptr<AudioEndpoint> endpoint;
    ASSERT_EQ(enumerator->getEndpoint(mic, endpoint), S_OK);
    DataFlow flow{};
    EXPECT_EQ(endpoint->getDataFlow(flow), S_OK);
    EXPECT_EQ(flow, DataFlow::Capture);
}

TEST_F(OsSimWorld, FirstActiveEndpointBecomesDefaultAndDefaultsFollowChanges)
{
    const auto a = world.addEndpoint({.name = L"A", .flow = DataFlow::Render});
    const auto b = world.addEndpoint({.name = L"B", .flow = DataFlow::Render});
    auto lines = notifications();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0], L"added " + a);
    EXPECT_EQ(lines[1], L"default 0 0 " + a);
    EXPECT_EQ(lines[4], L"added " + b);
    EXPECT_EQ(world.defaultEndpointId(DataFlow::Render, Role::Communications), a);

    // Only the role that changes is notified.
    ASSERT_TRUE(world.setDefaultEndpoint(b, Role::Multimedia));
    EXPECT_EQ(notifications(), (std::vector<std::wstring>{L"default 0 1 " + b}));
    ASSERT_TRUE(world.setDefaultEndpoint(b, Role::Multimedia));
    EXPECT_TRUE(notifications().empty());

    // Removing the console default hands it to the next active endpoint.
    ASSERT_TRUE(world.removeEndpoint(a));
    lines = notifications();
    EXPECT_EQ(lines, (std::vector<std::wstring>{L"removed " + a, L"default 0 0 " + b, L"default 0 2 " + b}));

    std::shared_ptr<AudioEndpoint> def;
    ASSERT_EQ(enumerator->getDefaultEndpoint(DataFlow::Render, Role::Console, def), S_OK);
    std::wstring id;
    def->getId(id);
    EXPECT_EQ(id, b);
    EXPECT_EQ(enumerator->getDefaultEndpoint(DataFlow::Capture, Role::Console, def), E_NOTFOUND);
}

TEST_F(OsSimWorld, UnplugRenameAndStateChangesAreNotifiedOnTheServiceThread)
{
    const auto speakers = world.addEndpoint({.name = L"Speakers"});
    const auto mic = world.addEndpoint({.name = L"Mic", .flow = DataFlow::Capture});
    notifications();

    ASSERT_TRUE(world.renameEndpoint(speakers, L"Speakers (2)"));
    ASSERT_TRUE(world.unplugEndpoint(mic));
    EXPECT_TRUE(world.setEndpointState(mic, DEVICE_STATE_UNPLUGGED)); // no change, no notification
    const auto lines = notifications();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], L"property " + speakers + L" 0");
    EXPECT_EQ(lines[1], L"state " + mic + L" 8");
    // The capture flow lost its only active endpoint, so its defaults clear.
    EXPECT_EQ(lines.size(), 5u);
    EXPECT_TRUE(world.defaultEndpointId(DataFlow::Capture, Role::Console).empty());
    EXPECT_NE(log->lastThread(), std::this_thread::get_id());
    EXPECT_EQ(names(DataFlow::Render), (std::vector<std::wstring>{L"Speakers (2)"}));
    EXPECT_TRUE(names(DataFlow::Capture).empty());

    ASSERT_TRUE(world.plugEndpoint(mic));
    EXPECT_EQ(names(DataFlow::Capture), (std::vector<std::wstring>{L"Mic"}));
}

TEST_F(OsSimWorld, UnregisteredClientHearsNothingMore)
{
    ASSERT_EQ(enumerator->unregisterNotificationClient(log), S_OK);
    world.addEndpoint({.name = L"X"});
    EXPECT_TRUE(notifications().empty());
    EXPECT_EQ(enumerator->unregisterNotificationClient(log), E_INVALIDARG);
}

TEST_F(OsSimWorld, ClientMayUnregisterItselfFromItsCallback)
{
    log->m_onDefault = [this] { enumerator->unregisterNotificationClient(log); };
    world.addEndpoint({.name = L"X"});
    const auto lines = notifications();
    // Added, then the first default change; the other two roles are not heard.
    EXPECT_EQ(lines.size(), 2u);
}

TEST_F(OsSimWorld, PolicySetsDefaultsAndDeviceFormat)
{
    const auto a = world.addEndpoint({.name = L"A"});
    const auto b = world.addEndpoint({.name = L"NUVEX Output", .physical = false});
    notifications();

    std::shared_ptr<PolicyConfig> policy;
    world.failNext(SimOp::CreatePolicyConfig, REGDB_E_CLASSNOTREG);
    EXPECT_EQ(world.createPolicyConfig(PolicyConfigClass::Current, policy), REGDB_E_CLASSNOTREG);
    ASSERT_EQ(world.createPolicyConfig(PolicyConfigClass::Legacy, policy), S_OK);

    for (Role role : kAllRoles)
        EXPECT_EQ(policy->setDefaultEndpoint(b, role), S_OK);
    EXPECT_EQ(notifications().size(), 3u);
    EXPECT_EQ(world.defaultEndpointId(DataFlow::Render, Role::Multimedia), b);
    EXPECT_EQ(policy->setDefaultEndpoint(L"no such id", Role::Console), E_NOTFOUND);

    world.failNext(SimOp::SetDefaultEndpoint, E_ACCESSDENIED);
    EXPECT_EQ(policy->setDefaultEndpoint(a, Role::Console), E_ACCESSDENIED);
    EXPECT_EQ(policy->setDefaultEndpoint(a, Role::Console), S_OK);

    std::shared_ptr<AudioEndpoint> endpoint;
    ASSERT_EQ(enumerator->getEndpoint(a, endpoint), S_OK);
    std::vector<std::uint8_t> format;
    ASSERT_EQ(endpoint->getDeviceFormat(format), S_OK);
    ASSERT_EQ(format.size(), sizeof(WAVEFORMATEXTENSIBLE));
    WAVEFORMATEXTENSIBLE f;
    std::memcpy(&f, format.data(), sizeof f);
    EXPECT_EQ(f.Format.nSamplesPerSec, 48000u);
    f.Format.nSamplesPerSec = 44100;
    f.Format.nAvgBytesPerSec = 44100u * f.Format.nBlockAlign;
    std::memcpy(format.data(), &f, sizeof f);

    // An open stream is invalidated by the format change.
    std::shared_ptr<AudioClient> client;
    ASSERT_EQ(endpoint->activateAudioClient(client), S_OK);
    notifications();
    ASSERT_EQ(policy->setDeviceFormat(a, format, format), S_OK);
    EXPECT_EQ(notifications(), (std::vector<std::wstring>{L"property " + a + L" 1"}));
    std::vector<std::uint8_t> readBack;
    ASSERT_EQ(endpoint->getDeviceFormat(readBack), S_OK);
    EXPECT_EQ(readBack, format);
    std::vector<std::uint8_t> mix;
    EXPECT_EQ(client->getMixFormat(mix), AUDCLNT_E_DEVICE_INVALIDATED);

    // A truncated record is refused.
    EXPECT_EQ(policy->setDeviceFormat(a, std::span(format.data(), 17), {}), E_INVALIDARG);

    std::uint32_t connectors = 9;
    ASSERT_EQ(enumerator->getEndpoint(b, endpoint), S_OK);
    EXPECT_EQ(endpoint->getConnectorCount(connectors), S_OK);
    EXPECT_EQ(connectors, 0u);
}

TEST_F(OsSimWorld, SessionsListProcessesOfTheConsoleDefault)
{
    const auto speakers = world.addEndpoint({.name = L"Speakers"});
    const auto other = world.addEndpoint({.name = L"Other"});
    world.addProcess({.processId = 0, .displayName = L"System Sounds"});
    world.addProcess({.processId = 4321,
                      .imagePath = L"C:\\Apps\\player.x64.exe",
                      .sessions = 2,
                      .sessionState = AudioSessionState::Inactive});
    world.addProcess({.processId = 77, .imagePath = L"", .displayName = L"Locked", .sessions = 0});

    std::shared_ptr<AudioEndpoint> endpoint;
    ASSERT_EQ(enumerator->getEndpoint(speakers, endpoint), S_OK);
    std::shared_ptr<AudioSessionManager> manager;
    ASSERT_EQ(endpoint->activateSessionManager(manager), S_OK);
    std::vector<std::shared_ptr<AudioSessionControl>> sessions;
    ASSERT_EQ(manager->enumerateSessions(sessions), S_OK);
    ASSERT_EQ(sessions.size(), 3u);
    std::uint32_t pid = 1;
    EXPECT_EQ(sessions[0]->getProcessId(pid), S_OK);
    EXPECT_EQ(pid, 0u);
    EXPECT_EQ(sessions[2]->getProcessId(pid), S_OK);
    EXPECT_EQ(pid, 4321u);
    AudioSessionState state{};
    EXPECT_EQ(sessions[1]->getState(state), S_OK);
    EXPECT_EQ(state, AudioSessionState::Inactive);
    world.failNext(SimOp::SessionDisplayName, E_FAIL);
    std::wstring name;
    EXPECT_EQ(sessions[0]->getDisplayName(name), E_FAIL);
    EXPECT_EQ(sessions[0]->getDisplayName(name), S_OK);
    EXPECT_EQ(name, L"System Sounds");

    ASSERT_EQ(enumerator->getEndpoint(other, endpoint), S_OK);
    ASSERT_EQ(endpoint->activateSessionManager(manager), S_OK);
    ASSERT_EQ(manager->enumerateSessions(sessions), S_OK);
    EXPECT_TRUE(sessions.empty());

    std::wstring path;
    EXPECT_EQ(world.processImagePath(4321, path), S_OK);
    EXPECT_EQ(path, L"C:\\Apps\\player.x64.exe");
    EXPECT_TRUE(FAILED(world.processImagePath(77, path)));
    EXPECT_TRUE(FAILED(world.processImagePath(9999, path)));
}

TEST_F(OsSimWorld, IconsComeFromTheProgramImage)
{
    IconImage small{16, 16, std::vector<std::uint32_t>(256, 0xFF112233u)};
    world.setProgramIcon(L"C:\\Apps\\tool.exe", small);
    IconImage icon;
    ASSERT_EQ(world.extractIcon(L"C:\\Apps\\tool.exe", icon), S_OK);
    EXPECT_EQ(icon.width, 16u);
    EXPECT_EQ(icon.pixels[255], 0xFF112233u);
    EXPECT_EQ(world.extractIcon(L"C:\\Apps\\none.exe", icon), E_NOTFOUND);
    // A malformed picture is never handed out.
    world.setProgramIcon(L"C:\\Apps\\bad.exe", IconImage{4, 4, {}});
    EXPECT_EQ(world.extractIcon(L"C:\\Apps\\bad.exe", icon), E_NOTFOUND);
}

TEST_F(OsSimWorld, InjectedFaultsHitTheNextCallsOnly)
{
    world.addEndpoint({.name = L"Speakers"});
    world.failNext(SimOp::EnumEndpoints, E_OUTOFMEMORY, 2);
    std::vector<std::shared_ptr<AudioEndpoint>> list;
    EXPECT_EQ(enumerator->enumEndpoints(DataFlow::Render, DEVICE_STATE_ACTIVE, list), E_OUTOFMEMORY);
    EXPECT_EQ(enumerator->enumEndpoints(DataFlow::Render, DEVICE_STATE_ACTIVE, list), E_OUTOFMEMORY);
    EXPECT_EQ(enumerator->enumEndpoints(DataFlow::Render, DEVICE_STATE_ACTIVE, list), S_OK);
    ASSERT_EQ(list.size(), 1u);

    world.failNext(SimOp::GetFriendlyName, E_FAIL);
    std::wstring name;
    EXPECT_EQ(list[0]->getFriendlyName(name), E_FAIL);
    EXPECT_EQ(list[0]->getFriendlyName(name), S_OK);

    world.failNext(SimOp::CreateEnumerator, REGDB_E_CLASSNOTREG);
    std::shared_ptr<EndpointEnumerator> second;
    EXPECT_EQ(world.createEndpointEnumerator(second), REGDB_E_CLASSNOTREG);
    EXPECT_FALSE(second);
}

TEST(OsSimLifetime, ObjectsOutliveTheWorldSafely)
{
    std::shared_ptr<AudioEndpoint> endpoint;
    std::shared_ptr<AudioClient> client;
    {
        SimAudioWorld world(std::make_shared<ManualClock>());
        const auto id = world.addEndpoint({.name = L"Speakers"});
        std::shared_ptr<EndpointEnumerator> enumerator;
        ASSERT_EQ(world.createEndpointEnumerator(enumerator), S_OK);
        ASSERT_EQ(enumerator->getEndpoint(id, endpoint), S_OK);
        ASSERT_EQ(endpoint->activateAudioClient(client), S_OK);
    }
    std::uint32_t frames = 0;
    EXPECT_EQ(client->getCurrentPadding(frames), AUDCLNT_E_NOT_INITIALIZED);
    std::vector<std::uint8_t> mix;
    EXPECT_EQ(client->getMixFormat(mix), AUDCLNT_E_DEVICE_INVALIDATED);
    std::shared_ptr<AudioClient> another;
    EXPECT_EQ(endpoint->activateAudioClient(another), AUDCLNT_E_DEVICE_INVALIDATED);
}

} // namespace
} // namespace os
