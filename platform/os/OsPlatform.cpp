#include "platform/os/OsPlatform.h"

#include <atomic>
#include <mutex>

namespace os {

namespace {

// Work queues that accept nothing: without an installed platform no audio
// work can start.
class NoWorkQueues final : public WorkQueues {
public:
    HRESULT startup() override { return S_OK; }
    HRESULT lockSharedWorkQueue(const std::wstring&, std::int32_t, std::uint32_t&) override { return E_NOTIMPL; }
    HRESULT unlockWorkQueue(std::uint32_t) override { return E_INVALIDARG; }
    HRESULT putWorkItem(std::uint32_t, std::int32_t, std::shared_ptr<AsyncCallback>) override { return E_NOTIMPL; }
    HRESULT putWaitingWorkItem(std::shared_ptr<Event>, std::int32_t, std::shared_ptr<AsyncCallback>,
                               std::uint64_t&) override
    {
        return E_NOTIMPL;
    }
    HRESULT cancelWorkItem(std::uint64_t) override { return MF_E_NOT_FOUND; }
};

// No desktop to send keys to or take power events from: nothing is sent
// and no window is made.
class NoKeyInjector final : public KeyInjector {
public:
    std::uint32_t sendInput(const std::vector<KeyInput>&) override { return 0; }
};

class NoPowerEvents final : public PowerEvents {
public:
    std::uint32_t currentThreadId() override
    {
        static std::atomic<std::uint32_t> next{1};
        thread_local const std::uint32_t id = next.fetch_add(1);
        return id;
    }
    std::unique_ptr<MessageWindow> createMessageWindow(const std::wstring&, PowerWindowStep* failedStep) override
    {
        if (failedStep)
            *failedStep = PowerWindowStep::ModuleHandle;
        return nullptr;
    }
    bool postQuit(std::uint32_t) override { return false; }
};

class EmptyPlatform final : public OsPlatform {
public:
    Clock& clock() override { return m_clock; }
    WorkQueues& workQueues() override { return m_queues; }
    HRESULT createEndpointEnumerator(std::shared_ptr<EndpointEnumerator>&) override { return REGDB_E_CLASSNOTREG; }
    HRESULT activateAudioInterfaceAsync(const std::wstring&, const AudioClientActivationParams&,
                                        std::shared_ptr<ActivationCompletionHandler>,
                                        std::shared_ptr<ActivationOperation>&) override
    {
        return E_NOTIMPL;
    }
    HRESULT createPolicyConfig(PolicyConfigClass, std::shared_ptr<PolicyConfig>&) override { return REGDB_E_CLASSNOTREG; }
    HRESULT processImagePath(std::uint32_t, std::wstring&) override { return E_INVALIDARG; }
    HRESULT extractIcon(const std::wstring&, IconImage&) override { return E_NOTFOUND; }
    HRESULT fileVersionStrings(const std::wstring&, std::vector<VersionStrings>&) override { return E_NOTFOUND; }
    std::vector<std::wstring> applicationFolders() override { return {}; }
    MicrophonePermission& microphonePermission() override { return m_permission; }
    KeyInjector& keyInjector() override { return m_keys; }
    PowerEvents& powerEvents() override { return m_power; }

private:
    RealClock m_clock;
    NoWorkQueues m_queues;
    GrantedMicrophonePermission m_permission;
    NoKeyInjector m_keys;
    NoPowerEvents m_power;
};

std::mutex g_platformMutex;
std::shared_ptr<OsPlatform> g_platform; // guarded by g_platformMutex

} // namespace

std::shared_ptr<OsPlatform> makeEmptyPlatform()
{
    return std::make_shared<EmptyPlatform>();
}

void installPlatform(std::shared_ptr<OsPlatform> platform)
{
    std::lock_guard lock(g_platformMutex);
    g_platform = std::move(platform);
}

std::shared_ptr<OsPlatform> currentPlatform()
{
    std::lock_guard lock(g_platformMutex);
    if (!g_platform)
        g_platform = makeEmptyPlatform();
    return g_platform;
}

} // namespace os
