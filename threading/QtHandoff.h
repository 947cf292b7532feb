#pragma once

#include "threading/ThreadHandoff.h"

#include <QMetaObject>
#include <QObject>
#include <QThreadPool>

#include <functional>
#include <utility>

// Hand-overs through Qt's queues, marked for ThreadSanitizer (see
// ThreadHandoff.h): the receiving side acquires before it touches f.

// Runs f on context's thread, queued, like QMetaObject::invokeMethod. Qt
// builds its queued copy of f after the last release we could mark, so that
// copy is built unrecorded; a copy dropped with its context acquires too.
template <typename F>
void postQueued(QObject *context, F f)
{
    static int token = 0;
    struct Queued {
        F f;
        explicit Queued(F &&fn) : f(std::move(fn)) {}
        Queued(Queued &&other) noexcept : f(std::move(other.f)) {}
        ~Queued() { handoffAcquire(&token); }
        void operator()()
        {
            handoffAcquire(&token);
            f();
        }
    };
    handoffRelease(&token);
    handoffHideBegin();
    QMetaObject::invokeMethod(context, Queued(std::move(f)), Qt::QueuedConnection);
    handoffHideEnd();
}

// Runs f on the global thread pool.
template <typename F>
void startPooled(F f)
{
    static int token = 0;
    std::function<void()> job = [f = std::move(f)]() mutable {
        handoffAcquire(&token);
        f();
    };
    handoffRelease(&token);
    QThreadPool::globalInstance()->start(std::move(job));
}
