#include "platform/os/sim/SimWorkQueues.h"

#include "platform/os/RealtimeThread.h"

#include <algorithm>
#include <array>

namespace os {

namespace {
constexpr int kMultithreadedQueueThreads = 2;
}

SimWorkQueues::SimWorkQueues(Clock& clock, SimFaults& faults)
    : m_clock(clock)
    , m_faults(faults)
{
    std::lock_guard lock(m_mutex);
    addQueueLocked(kMultithreadedQueue, L"", kMultithreadedQueueThreads);
    // The watcher's whole life is one wait on the clock: its condition does
    // the dispatching and only turns true at shutdown.
    m_watcher = std::thread([this] {
        scheduleAboveAudioThreads(); // the system's dispatcher does not wait for the machine
        m_clock.waitOn(m_watchChannel, [this] { return dispatchSignalledLocked(); }, Clock::kNoDeadline);
    });
}

SimWorkQueues::~SimWorkQueues()
{
    std::vector<std::thread> threads;
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
        for (auto& [id, queue] : m_queues)
            for (auto& t : queue->threads)
                threads.push_back(std::move(t));
    }
    for (auto& [id, queue] : m_queues)
        queue->workReady.notify_all();
    m_clock.notify(m_watchChannel, [] {});
    m_watcher.join();
    {
        std::lock_guard lock(m_linkMutex);
        for (auto& weak : m_linked)
            if (auto event = weak.lock())
                event->linkWatcher(nullptr);
        m_linked.clear();
    }
    for (auto& t : threads)
        t.join();
    // Drop what never ran while the queues still exist: an owner released
    // here may unlock its queue from its destructor.
    std::vector<std::shared_ptr<AsyncCallback>> unrun;
    {
        std::lock_guard lock(m_mutex);
        for (auto& armed : m_armed)
            unrun.push_back(std::move(armed.callback));
        m_armed.clear();
        for (auto& [id, queue] : m_queues) {
            for (auto& item : queue->pending)
                unrun.push_back(std::move(item.callback));
            queue->pending.clear();
        }
    }
    unrun.clear();
}

HRESULT SimWorkQueues::startup()
{
    return m_faults.take(SimOp::WorkQueueStartup);
}

SimWorkQueues::Queue* SimWorkQueues::findQueueLocked(std::uint32_t queueId)
{
    auto it = m_queues.find(queueId);
    return it == m_queues.end() ? nullptr : it->second.get();
}

std::uint32_t SimWorkQueues::addQueueLocked(std::uint32_t queueId, const std::wstring& className, int threads)
{
    auto queue = std::make_unique<Queue>();
    queue->className = className;
    Queue& q = *queue;
    m_queues.emplace(queueId, std::move(queue));
    for (int i = 0; i < threads; ++i)
        addThreadLocked(queueId, q);
    return queueId;
}

void SimWorkQueues::addThreadLocked(std::uint32_t queueId, Queue& queue)
{
    queue.threads.emplace_back([this, queueId, className = queue.className] {
        if (className.empty()) {
            nameCurrentThread("vd-mfq-mt");
            queueThread(queueId);
            return;
        }
        nameCurrentThread("vd-mfq-class");
        // Two periods of the streams whose callbacks it runs.
        const RealtimeThreadScope realtime(className, RealtimePriority::High, 20);
        queueThread(queueId);
    });
}

HRESULT SimWorkQueues::lockSharedWorkQueue(const std::wstring& className, std::int32_t, std::uint32_t& queueId)
{
    if (HRESULT hr = m_faults.take(SimOp::LockSharedWorkQueue); FAILED(hr))
        return hr;
    std::lock_guard lock(m_mutex);
    if (m_stopping)
        return E_UNEXPECTED;
    for (auto& [id, queue] : m_queues) {
        if (id != kMultithreadedQueue && queue->className == className) {
            // The class's pool grows with its users: each streams on a
            // thread of its own instead of waiting behind the others.
            if (++queue->locks > static_cast<int>(queue->threads.size()))
                addThreadLocked(id, *queue);
            queueId = id;
            return S_OK;
        }
    }
    queueId = addQueueLocked(m_nextQueueId++, className, 1);
    m_queues[queueId]->locks = 1;
    return S_OK;
}

HRESULT SimWorkQueues::unlockWorkQueue(std::uint32_t queueId)
{
    std::lock_guard lock(m_mutex);
    Queue* queue = findQueueLocked(queueId);
    if (!queue || queueId == kMultithreadedQueue || queue->locks == 0)
        return E_INVALIDARG;
    // The thread stays for the next lock of the class; only the count drops.
    --queue->locks;
    return S_OK;
}

HRESULT SimWorkQueues::putWorkItem(std::uint32_t queueId, std::int32_t, std::shared_ptr<AsyncCallback> callback)
{
    if (!callback)
        return E_POINTER;
    if (HRESULT hr = m_faults.take(SimOp::PutWorkItem); FAILED(hr))
        return hr;
    {
        std::lock_guard lock(m_mutex);
        Queue* queue = findQueueLocked(queueId);
        if (!queue || m_stopping)
            return E_INVALIDARG;
        const std::int64_t now = m_clock.nowNs();
        queue->pending.push_back({std::move(callback), 0, now, now});
        // Only this queue's threads have something to do.
        queue->workReady.notify_one();
    }
    return S_OK;
}

HRESULT SimWorkQueues::putWaitingWorkItem(std::shared_ptr<Event> event, std::int32_t,
                                          std::shared_ptr<AsyncCallback> callback, std::uint64_t& key)
{
    if (!event || !callback)
        return E_POINTER;
    if (&event->clock() != &m_clock)
        return E_INVALIDARG; // an event of another clock would never wake the watcher
    if (HRESULT hr = m_faults.take(SimOp::PutWaitingWorkItem); FAILED(hr))
        return hr;
    {
        std::lock_guard lock(m_linkMutex);
        std::erase_if(m_linked, [](const std::weak_ptr<Event>& w) { return w.expired(); });
        const bool known = std::any_of(m_linked.begin(), m_linked.end(),
                                       [&event](const std::weak_ptr<Event>& w) { return w.lock() == event; });
        if (!known) {
            event->linkWatcher(&m_watchChannel);
            m_linked.push_back(event);
        }
    }
    {
        std::lock_guard lock(m_mutex);
        if (m_stopping || !findQueueLocked(callback->queueId()))
            return E_INVALIDARG;
        key = m_nextKey++;
        m_armed.push_back({key, event, std::move(callback), m_clock.nowNs()});
    }
    // A set from now on wakes the watcher itself; one before the item was
    // armed is seen here (the watcher's last look came before the arming),
    // and only then is the watcher woken to look again. The item is armed
    // from the end of its last run: a set that came first came while the
    // program was still busy.
    noteWaitEntry();
    if (const std::int64_t setNs = event->setSinceNs(); setNs != Clock::kNoDeadline) {
        const std::int64_t lateNs = m_clock.nowNs() - setNs;
        noteLate(lateNs, lateNs, m_clock.nsPerRealNs());
        m_clock.notify(m_watchChannel, [] {});
    }
    return S_OK;
}

HRESULT SimWorkQueues::cancelWorkItem(std::uint64_t key)
{
    if (key == 0)
        return MF_E_NOT_FOUND;
    std::shared_ptr<AsyncCallback> dropped; // released after the lock
    std::lock_guard lock(m_mutex);
    auto armed = std::find_if(m_armed.begin(), m_armed.end(), [key](const Armed& a) { return a.key == key; });
    if (armed != m_armed.end()) {
        dropped = std::move(armed->callback);
        m_armed.erase(armed);
        return S_OK;
    }
    for (auto& [id, queue] : m_queues) {
        auto it = std::find_if(queue->pending.begin(), queue->pending.end(),
                               [key](const Item& item) { return item.key == key; });
        if (it != queue->pending.end()) {
            dropped = std::move(it->callback);
            queue->pending.erase(it);
            return S_OK;
        }
    }
    return MF_E_NOT_FOUND;
}

bool SimWorkQueues::dispatchSignalledLocked()
{
    bool stopping = false;
    std::array<Queue*, 8> woken{}; // queues given an item, notified after the lock (beyond 8: under it)
    size_t wokenCount = 0;
    {
        std::lock_guard lock(m_mutex);
        stopping = m_stopping;
        for (auto it = m_armed.begin(); !stopping && it != m_armed.end();) {
            Queue* queue = findQueueLocked(it->callback->queueId());
            std::int64_t setNs = 0;
            if (queue && it->event->trySignalled(&setNs)) {
                // Due from its set: a dispatcher woken late is the machine's lateness too.
                queue->pending.push_back({std::move(it->callback), it->key, std::max(setNs, it->armedNs), m_clock.nowNs()});
                if (wokenCount < woken.size())
                    woken[wokenCount++] = queue;
                else
                    queue->workReady.notify_one();
                it = m_armed.erase(it);
            } else {
                ++it;
            }
        }
    }
    // Notified with m_mutex released: a woken queue thread does not run
    // straight into the lock this thread still holds.
    for (size_t i = 0; i < wokenCount; ++i)
        woken[i]->workReady.notify_one();
    return stopping;
}

void SimWorkQueues::queueThread(std::uint32_t queueId)
{
    std::int64_t enteredNs = m_clock.nowNs();
    noteWaitEntry();
    std::unique_lock lock(m_mutex);
    Queue* queue = findQueueLocked(queueId);
    for (;;) {
        queue->workReady.wait(lock, [&] { return m_stopping || (!queue->held && !queue->pending.empty()); });
        if (m_stopping)
            return;
        Item item = std::move(queue->pending.front());
        queue->pending.pop_front();
        ++m_running;
        lock.unlock();
        // Queued before this thread came back for it: it was still running
        // the last item; else the machine (the dispatcher, or the wake-up of
        // this thread) was late.
        if (item.queuedNs < enteredNs)
            noteLate(enteredNs - item.queuedNs, enteredNs - item.queuedNs, m_clock.nsPerRealNs());
        else
            noteIfLate(m_clock.nowNs() - item.dueNs);
        item.callback->invoke();
        item.callback.reset();
        enteredNs = m_clock.nowNs();
        noteWaitEntry();
        lock.lock();
        --m_running;
        m_idle.notify_all();
        // The next item of this queue may wait behind the one just run.
        if (!queue->pending.empty())
            queue->workReady.notify_one();
    }
}

void SimWorkQueues::holdQueue(std::uint32_t queueId, bool hold)
{
    {
        std::lock_guard lock(m_mutex);
        if (Queue* queue = findQueueLocked(queueId)) {
            queue->held = hold;
            queue->workReady.notify_all();
        }
    }
    m_idle.notify_all();
}

void SimWorkQueues::drain()
{
    std::unique_lock lock(m_mutex);
    m_idle.wait(lock, [&] {
        if (m_running > 0)
            return false;
        return std::all_of(m_queues.begin(), m_queues.end(), [](const auto& q) { return q.second->held || q.second->pending.empty(); });
    });
}

} // namespace os
