#include "threading/RepeatingTimer.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

namespace {

class QtRepeatingTimer final : public RepeatingTimer
{
public:
    QtRepeatingTimer(QObject *owner, std::function<void()> onTimeout)
        : m_timer(new QTimer(owner))
    {
        QObject::connect(m_timer, &QTimer::timeout, m_timer, std::move(onTimeout));
    }
    ~QtRepeatingTimer() override
    {
        // The owner may already have deleted its child.
        delete m_timer.data();
    }
    void start(int intervalMs) override { m_timer->start(intervalMs); }
    void stop() override
    {
        if (m_timer)
            m_timer->stop();
    }
    bool isActive() const override { return m_timer && m_timer->isActive(); }

private:
    QPointer<QTimer> m_timer;
};

class QtTimerFactory final : public RepeatingTimerFactory
{
public:
    std::unique_ptr<RepeatingTimer> create(QObject *owner, std::function<void()> onTimeout) override
    {
        return std::make_unique<QtRepeatingTimer>(owner, std::move(onTimeout));
    }
};

} // namespace

RepeatingTimerFactory &qtTimerFactory()
{
    static QtTimerFactory s_factory;
    return s_factory;
}
