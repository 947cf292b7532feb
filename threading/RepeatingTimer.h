#pragma once

#include <functional>
#include <memory>

class QObject;

// A repeating timer on the owner's thread. The program uses QTimer; tests
// substitute timers that fire on a virtual clock, so that the scan period
// and the protocol tick can be driven without waiting.
class RepeatingTimer
{
public:
    virtual ~RepeatingTimer() = default;
    virtual void start(int intervalMs) = 0;
    virtual void stop() = 0;
    virtual bool isActive() const = 0;
};

class RepeatingTimerFactory
{
public:
    virtual ~RepeatingTimerFactory() = default;
    // onTimeout runs on the owner's thread each time the interval has passed.
    virtual std::unique_ptr<RepeatingTimer> create(QObject *owner, std::function<void()> onTimeout) = 0;
};

// QTimer children of the owner.
RepeatingTimerFactory &qtTimerFactory();
