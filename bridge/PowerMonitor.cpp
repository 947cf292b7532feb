#include "bridge/PowerMonitor.h"

#include "platform/os/OsPlatform.h"

#include <QDebug>

#include <atomic>

namespace {

const wchar_t *const kWindowClass = L"VeloranDeckPowerEventWindow";

} // namespace

// One start's state, shared by the monitor and its window thread.
struct PowerMonitor::Run {
    explicit Run(std::shared_ptr<os::OsPlatform> os, std::function<void(bool)> cb)
        : platform(std::move(os))
        , ready(platform->clock(), os::EventReset::Manual)
        , finished(platform->clock(), os::EventReset::Manual)
        , callback(std::move(cb))
    {
    }

    const std::shared_ptr<os::OsPlatform> platform; // outlives the events made on its clock
    os::Event ready;    // set by the thread on every path, once set-up ended
    os::Event finished; // set by the thread as it ends
    std::atomic<std::uint32_t> threadId{0};
    std::atomic<bool> setUp{false}; // written before ready is set

    std::mutex mutex;                  // guards the members below; held while the callback runs
    std::function<void(bool)> callback; // empty once the start is over
    bool reported = false;
    bool lastState = false;
};

namespace {

void report(PowerMonitor::Run &run, bool screenOn)
{
    std::lock_guard lock(run.mutex);
    if (!run.callback)
        return;
    if (run.reported && run.lastState == screenOn)
        return;
    run.reported = true;
    run.lastState = screenOn;
    run.callback(screenOn);
}

// The window procedure of the message-only window.
void handleMessage(PowerMonitor::Run &run, const os::WindowMessage &message)
{
    if (message.message != os::WM_POWERBROADCAST)
        return; // session changes (lock, unlock, switch) are received and ignored
    if (auto screenOn = classifyPowerEvent(message.wParam, message.setting ? &*message.setting : nullptr))
        report(run, *screenOn);
}

void windowThread(std::shared_ptr<PowerMonitor::Run> run)
{
    os::PowerEvents &power = run->platform->powerEvents();
    run->threadId.store(power.currentThreadId());
    std::unique_ptr<os::MessageWindow> window;
    os::PowerWindowStep failedStep{};
    try {
        window = power.createMessageWindow(kWindowClass, &failedStep);
    } catch (...) {
        window.reset();
    }
    run->setUp.store(window != nullptr);
    run->ready.set();
    if (!window)
        qWarning().noquote() << "[PowerMonitor] set-up failed at step" << int(failedStep);

    os::WindowMessage message;
    while (window && window->getMessage(message))
        handleMessage(*run, message);
    window.reset(); // unregisters both notifications and destroys the window
    run->finished.set();
}

} // namespace

std::optional<bool> classifyPowerEvent(std::uintptr_t event, const os::PowerSetting *setting)
{
    switch (event) {
    case os::PBT_APMSUSPEND:
        return false;
    case os::PBT_APMRESUMESUSPEND:
    case os::PBT_APMRESUMEAUTOMATIC:
        return true;
    case os::PBT_POWERSETTINGCHANGE: {
        if (!setting || setting->setting != os::GUID_CONSOLE_DISPLAY_STATE || setting->data.size() < 4)
            return std::nullopt;
        const auto &d = setting->data;
        const std::uint32_t value = d[0] | (d[1] << 8) | (d[2] << 16) | (std::uint32_t(d[3]) << 24);
        if (value == 0)
            return false;
        if (value == 1)
            return true;
        return std::nullopt; // dimmed, or a value of its own
    }
    default:
        return std::nullopt;
    }
}

PowerMonitor &PowerMonitor::instance()
{
    static PowerMonitor monitor;
    return monitor;
}

PowerMonitor::~PowerMonitor()
{
    stop();
}

bool PowerMonitor::start(std::function<void(bool screenOn)> callback)
{
    stop();
    auto run = std::make_shared<Run>(os::currentPlatform(), std::move(callback));
    std::thread thread(windowThread, run);
    if (!run->ready.wait(kReadyTimeoutMs)) {
        qWarning().noquote() << "[PowerMonitor] window thread not ready within" << kReadyTimeoutMs << "ms";
        {
            std::lock_guard lock(run->mutex);
            run->callback = nullptr;
        }
        if (const std::uint32_t id = run->threadId.load())
            run->platform->powerEvents().postQuit(id);
        thread.detach();
        return false;
    }
    if (!run->setUp.load()) {
        thread.join();
        std::lock_guard lock(run->mutex);
        run->callback = nullptr;
        return false;
    }
    m_run = std::move(run);
    m_thread = std::move(thread);
    return true;
}

void PowerMonitor::stop()
{
    std::shared_ptr<Run> run = std::move(m_run);
    if (m_thread.joinable()) {
        os::Clock &clock = run->platform->clock();
        const std::int64_t startNs = clock.nowNs();
        const std::uint32_t id = run->threadId.load();
        const bool posted = id != 0 && run->platform->powerEvents().postQuit(id);
        // The second counts from the stop's start, not from the wait's.
        const std::int64_t leftNs = startNs + kStopTimeoutMs * os::Clock::kNsPerMs - clock.nowNs();
        const std::int64_t leftMs = leftNs <= 0 ? 0 : (leftNs + os::Clock::kNsPerMs - 1) / os::Clock::kNsPerMs;
        if (run->finished.wait(leftMs)) {
            m_thread.join();
        } else {
            qWarning().noquote() << "[PowerMonitor] window thread did not end within" << kStopTimeoutMs
                                 << "ms; quit message posted:" << posted;
            m_thread.detach();
        }
        qInfo().noquote() << "[PowerMonitor] stopped in" << (clock.nowNs() - startNs) / os::Clock::kNsPerMs << "ms";
    }
    if (run) {
        std::lock_guard lock(run->mutex);
        run->callback = nullptr;
        run->reported = false;
        run->lastState = false;
    }
}
