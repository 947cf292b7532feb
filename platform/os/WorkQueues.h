#pragma once
// Work queues: callbacks run on queue threads, immediately or when an event
// is set.
//
// Contract:
// - A callback names its queue (kMultithreadedQueue unless it says
//   otherwise); putWorkItem() runs it on the queue given.
// - putWaitingWorkItem() runs the callback once, on its own queue, after the
//   event is set; the key it returns identifies the armed item.
// - cancelWorkItem() with the key of an item that has not started running
//   guarantees that it never runs; MF_E_NOT_FOUND when it already ran or the
//   key is unknown.
// - The queue holds a reference to each callback until it has run or been
//   cancelled. An owner that hands out a member callback through the
//   aliasing shared_ptr constructor is thus kept alive by its queued items.
// - Items of one shared queue run one at a time, in order.

#include "platform/os/Clock.h"
#include "platform/os/HResult.h"

#include <cstdint>
#include <memory>
#include <string>

namespace os {

inline constexpr std::uint32_t kMultithreadedQueue = 5;

class AsyncCallback {
public:
    virtual ~AsyncCallback() = default;
    virtual std::uint32_t queueId() const { return kMultithreadedQueue; }
    virtual void invoke() = 0;
};

class WorkQueues {
public:
    virtual ~WorkQueues() = default;
    // Start of the platform's work-queue service; no matching shutdown.
    virtual HRESULT startup() = 0;
    // The shared queue of a scheduling class ("Capture"); each lock is
    // balanced by unlockWorkQueue().
    virtual HRESULT lockSharedWorkQueue(const std::wstring& className, std::int32_t basePriority,
                                        std::uint32_t& queueId) = 0;
    virtual HRESULT unlockWorkQueue(std::uint32_t queueId) = 0;
    virtual HRESULT putWorkItem(std::uint32_t queueId, std::int32_t priority, std::shared_ptr<AsyncCallback> callback) = 0;
    virtual HRESULT putWaitingWorkItem(std::shared_ptr<Event> event, std::int32_t priority,
                                       std::shared_ptr<AsyncCallback> callback, std::uint64_t& key) = 0;
    virtual HRESULT cancelWorkItem(std::uint64_t key) = 0;
};

} // namespace os
