#pragma once
// A list the interface reads often and a worker thread rebuilds: the list
// and the thread that keeps it, shared by the endpoint list and the running
// applications.

#include <QString>
#include <QVariantList>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace os {
class OsPlatform;
}

struct CachedListWorker {
    mutable std::mutex cacheMutex;
    QVariantList cachedList;             // guarded by cacheMutex
    std::atomic<bool> cacheValid{false}; // set with release after a store, read with acquire

    std::thread worker;                  // started and joined on the bridge's thread
    std::atomic<bool> running{false};
    // Whose clock the worker waits on; set before it starts, not changed
    // while it runs.
    std::shared_ptr<os::OsPlatform> platform;
    // Lists stored so far (for tests that drive the worker on a manual clock).
    std::atomic<int> passes{0};

    // Starts the worker unless it runs: in a multithreaded apartment it runs
    // pass while running and pass asks for more, then finished. False when
    // it was running already.
    bool start(std::function<bool()> pass, std::function<void()> finished = {});
    // Ends the worker and waits for it: wakeWaits ends the waits of its own,
    // the platform's clock is woken for the rest. False when it was not running.
    bool stop(const std::function<void()> &wakeWaits = {});

    // Worker thread: stores a new list; true when it differs from the last
    // one by its signature (never for the first list).
    bool store(QVariantList list, QString signature);

private:
    QString m_previousSignature; // worker thread only
    bool m_firstPass = true;     // worker thread only
};
