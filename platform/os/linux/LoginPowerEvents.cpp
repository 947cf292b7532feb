#include "platform/os/linux/LoginPowerEvents.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusError>
#include <QDebug>
#include <QObject>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>

// One window's messages, filled from the GUI thread and by postQuit.
struct os::LoginPowerEvents::Queue {
    std::mutex mutex;
    std::condition_variable changed;
    std::deque<WindowMessage> messages; // guarded by mutex
    bool quit = false;                  // guarded by mutex

    void post(WindowMessage message)
    {
        {
            std::lock_guard lock(mutex);
            messages.push_back(std::move(message));
        }
        changed.notify_all();
    }
    void postQuit()
    {
        {
            std::lock_guard lock(mutex);
            quit = true;
        }
        changed.notify_all();
    }
};

// The live windows by the id of their thread.
struct os::LoginPowerEvents::Windows {
    std::mutex mutex;
    std::map<std::uint32_t, std::weak_ptr<Queue>> byThread; // guarded by mutex
};

namespace {

using Queue = os::LoginPowerEvents::Queue;
using Windows = os::LoginPowerEvents::Windows;

const char *const kService = "org.freedesktop.login1";
const char *const kPath = "/org/freedesktop/login1";
const char *const kInterface = "org.freedesktop.login1.Manager";
const char *const kSleepSignal = "PrepareForSleep";

std::atomic<std::uint32_t> g_nextThreadId{1};
std::atomic<std::uint32_t> g_nextConnection{1};

// Takes the login manager's signal on the GUI thread.
class SleepReceiver : public QObject
{
    Q_OBJECT
public:
    explicit SleepReceiver(std::shared_ptr<Queue> queue)
        : m_queue(std::move(queue))
    {
    }
public slots:
    void prepareForSleep(bool sleeping)
    {
        m_queue->post({os::WM_POWERBROADCAST, sleeping ? os::PBT_APMSUSPEND : os::PBT_APMRESUMEAUTOMATIC, std::nullopt});
    }

private:
    const std::shared_ptr<Queue> m_queue;
};

bool subscribe(const QString &connection, SleepReceiver *receiver, bool on)
{
    QDBusConnection bus(connection);
    const QString service = QString::fromLatin1(kService), path = QString::fromLatin1(kPath),
                  interface = QString::fromLatin1(kInterface), name = QString::fromLatin1(kSleepSignal);
    return on ? bus.connect(service, path, interface, name, receiver, SLOT(prepareForSleep(bool)))
              : bus.disconnect(service, path, interface, name, receiver, SLOT(prepareForSleep(bool)));
}

class LoginWindow final : public os::MessageWindow
{
public:
    LoginWindow(std::shared_ptr<Queue> queue, std::shared_ptr<Windows> windows, std::uint32_t threadId,
                QString connection, SleepReceiver *receiver, std::function<std::optional<bool>()> displayOn,
                int pollMs)
        : m_queue(std::move(queue))
        , m_windows(std::move(windows))
        , m_threadId(threadId)
        , m_connection(std::move(connection))
        , m_receiver(receiver)
        , m_displayOn(std::move(displayOn))
        , m_pollMs(pollMs)
    {
        // Only changes after the start are reported.
        if (m_displayOn)
            m_lastDisplayOn = m_displayOn();
    }

    ~LoginWindow() override
    {
        {
            std::lock_guard lock(m_windows->mutex);
            m_windows->byThread.erase(m_threadId);
        }
        subscribe(m_connection, m_receiver, false);
        QDBusConnection::disconnectFromBus(m_connection);
        m_receiver->deleteLater();
    }

    bool getMessage(os::WindowMessage &message) override
    {
        std::unique_lock lock(m_queue->mutex);
        for (;;) {
            if (m_queue->quit)
                return false;
            if (!m_queue->messages.empty()) {
                message = std::move(m_queue->messages.front());
                m_queue->messages.pop_front();
                return true;
            }
            if (!m_displayOn) {
                m_queue->changed.wait(lock);
                continue;
            }
            if (m_queue->changed.wait_for(lock, std::chrono::milliseconds(m_pollMs)) == std::cv_status::no_timeout)
                continue;
            lock.unlock();
            const std::optional<bool> on = m_displayOn();
            lock.lock();
            if (on && on != m_lastDisplayOn) {
                m_lastDisplayOn = on;
                os::PowerSetting setting{os::GUID_CONSOLE_DISPLAY_STATE, {std::uint8_t(*on ? 1 : 0), 0, 0, 0}};
                m_queue->messages.push_back({os::WM_POWERBROADCAST, os::PBT_POWERSETTINGCHANGE, setting});
            }
        }
    }

private:
    const std::shared_ptr<Queue> m_queue;
    const std::shared_ptr<Windows> m_windows;
    const std::uint32_t m_threadId;
    const QString m_connection;
    SleepReceiver *const m_receiver; // lives on the GUI thread
    const std::function<std::optional<bool>()> m_displayOn;
    const int m_pollMs;
    std::optional<bool> m_lastDisplayOn; // window thread only
};

} // namespace

namespace os {

LoginPowerEvents::LoginPowerEvents(Options options)
    : m_options(std::move(options))
    , m_windows(std::make_shared<Windows>())
{
}

LoginPowerEvents::~LoginPowerEvents()
{
    // Waiting windows return as if told to quit.
    std::lock_guard lock(m_windows->mutex);
    for (auto &[id, weak] : m_windows->byThread)
        if (const auto queue = weak.lock())
            queue->postQuit();
}

std::uint32_t LoginPowerEvents::currentThreadId()
{
    thread_local const std::uint32_t id = g_nextThreadId.fetch_add(1);
    return id;
}

std::unique_ptr<MessageWindow> LoginPowerEvents::createMessageWindow(const std::wstring &, PowerWindowStep *failedStep)
{
    const auto fail = [failedStep](PowerWindowStep step) -> std::unique_ptr<MessageWindow> {
        if (failedStep)
            *failedStep = step;
        return nullptr;
    };
    QCoreApplication *app = QCoreApplication::instance();
    if (!app)
        return fail(PowerWindowStep::ModuleHandle);

    // A connection of this window's own, so that a bus that comes later is
    // found by the next start.
    const QString name = QStringLiteral("veloran-power-%1").arg(g_nextConnection.fetch_add(1));
    const QDBusConnection bus = m_options.busAddress.isEmpty()
        ? QDBusConnection::connectToBus(QDBusConnection::SystemBus, name)
        : QDBusConnection::connectToBus(m_options.busAddress, name);
    if (!bus.isConnected()) {
        qWarning().noquote() << "[PowerEvents] no system bus:" << bus.lastError().message();
        QDBusConnection::disconnectFromBus(name);
        return fail(PowerWindowStep::RegisterSession);
    }

    auto queue = std::make_shared<Queue>();
    auto *receiver = new SleepReceiver(queue);
    receiver->moveToThread(app->thread());
    if (!subscribe(name, receiver, true)) {
        qWarning().noquote() << "[PowerEvents] cannot subscribe to the login manager:" << bus.lastError().message();
        receiver->deleteLater();
        QDBusConnection::disconnectFromBus(name);
        return fail(PowerWindowStep::RegisterPowerSetting);
    }
    const std::uint32_t threadId = currentThreadId();
    {
        std::lock_guard lock(m_windows->mutex);
        m_windows->byThread[threadId] = queue;
    }
    return std::make_unique<LoginWindow>(queue, m_windows, threadId, name, receiver, m_options.displayOn,
                                         m_options.pollMs);
}

bool LoginPowerEvents::postQuit(std::uint32_t threadId)
{
    std::shared_ptr<Queue> queue;
    {
        std::lock_guard lock(m_windows->mutex);
        const auto it = m_windows->byThread.find(threadId);
        if (it != m_windows->byThread.end())
            queue = it->second.lock();
    }
    if (!queue)
        return false;
    queue->postQuit();
    return true;
}

} // namespace os

#include "LoginPowerEvents.moc"
