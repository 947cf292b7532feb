#pragma once
// Work queues on plain threads: the multithreaded queue has two threads,
// each shared class queue a pool of one thread per lock taken (items leave
// in order but are not serialised, as on the platform), each inside a
// real-time scope of its class. A watcher thread waits on the clock for the
// events of armed waiting items and hands their callbacks to their queues.

#include "platform/os/WorkQueues.h"
#include "platform/os/sim/SimFaults.h"

#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace os {

class SimWorkQueues final : public WorkQueues {
public:
    SimWorkQueues(Clock& clock, SimFaults& faults);
    // Joins every thread; items not yet run are dropped unrun.
    ~SimWorkQueues() override;

    HRESULT startup() override;
    HRESULT lockSharedWorkQueue(const std::wstring& className, std::int32_t basePriority,
                                std::uint32_t& queueId) override;
    HRESULT unlockWorkQueue(std::uint32_t queueId) override;
    HRESULT putWorkItem(std::uint32_t queueId, std::int32_t priority, std::shared_ptr<AsyncCallback> callback) override;
    HRESULT putWaitingWorkItem(std::shared_ptr<Event> event, std::int32_t priority,
                               std::shared_ptr<AsyncCallback> callback, std::uint64_t& key) override;
    HRESULT cancelWorkItem(std::uint64_t key) override;

    // Waits (real time) until no item is queued or running; for tests.
    void drain();
    // While held, a queue takes items but runs none (a busy or stalled
    // queue); items run in order once it is released.
    void holdQueue(std::uint32_t queueId, bool hold);

private:
    struct Item {
        std::shared_ptr<AsyncCallback> callback;
        std::uint64_t key = 0; // waiting items keep their key until they run
        std::int64_t dueNs = 0;    // clock time it came due: its event's set, or its arming if later
        std::int64_t queuedNs = 0; // clock time it was handed to its queue
    };
    struct Queue {
        std::wstring className;
        int locks = 0;
        bool held = false;
        std::deque<Item> pending;
        std::condition_variable workReady; // with m_mutex: wakes this queue's threads only
        std::vector<std::thread> threads;
    };
    struct Armed {
        std::uint64_t key;
        std::shared_ptr<Event> event;
        std::shared_ptr<AsyncCallback> callback;
        std::int64_t armedNs;
    };

    Queue* findQueueLocked(std::uint32_t queueId);
    std::uint32_t addQueueLocked(std::uint32_t queueId, const std::wstring& className, int threads);
    void addThreadLocked(std::uint32_t queueId, Queue& queue);
    void queueThread(std::uint32_t queueId);
    // Runs under the clock's mutex: moves armed items whose event is set to
    // their queues. Returns true when the watcher should end.
    bool dispatchSignalledLocked();

    Clock& m_clock;
    SimFaults& m_faults;
    // The watcher's own wait: woken by the sets of the events it watches,
    // not by every set on the clock.
    WaitChannel m_watchChannel;
    std::mutex m_linkMutex;                           // guards m_linked
    std::vector<std::weak_ptr<Event>> m_linked;       // events whose sets wake the watcher

    std::mutex m_mutex;                               // guards everything below
    std::condition_variable m_idle;                   // with m_mutex: an item ran or a hold changed (drain)
    std::map<std::uint32_t, std::unique_ptr<Queue>> m_queues;
    std::vector<Armed> m_armed;
    std::uint32_t m_nextQueueId = 0x100;
    std::uint64_t m_nextKey = 1;
    int m_running = 0;                                // items being invoked
    bool m_stopping = false;
    std::thread m_watcher;
};

} // namespace os
