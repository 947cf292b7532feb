#pragma once
// The bridge's cached list of active audio endpoints: its state, and the
// pure rules that build and compare the list. The worker and GetDeviceList
// are SystemBridge members (DeviceListCache.cpp).

#include <QString>
#include <QVariantList>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>

namespace os {
class OsPlatform;
}

// A quick change burst (a device that brings several endpoints) costs one
// rebuild per window.
inline constexpr std::int64_t kDeviceListDebounceMs = 150;

enum class DeviceCacheWorkerState { NotStarted, Building, Waiting, Debouncing, Stopped };

struct DeviceListCache {
    mutable std::mutex cacheMutex;
    QVariantList cachedList;            // guarded by cacheMutex
    std::atomic<bool> cacheValid{false}; // set with release after the first store, read with acquire

    std::thread worker;                  // started and joined on the bridge's thread
    std::atomic<bool> running{false};
    // Whose clock the debounce waits on; set before the worker starts and
    // not changed while it runs.
    std::shared_ptr<os::OsPlatform> platform;

    std::mutex wakeMutex;                // never held together with cacheMutex
    std::condition_variable wake;        // with wakeMutex
    bool dirty = false;                  // guarded by wakeMutex

    // What the worker does now and how many lists it stored (for tests that
    // drive it on a manual clock).
    std::atomic<DeviceCacheWorkerState> state{DeviceCacheWorkerState::NotStarted};
    std::atomic<int> passes{0};
};

// The virtual driver's own capture endpoints, which the list leaves out.
bool isVirtualDriverEndpointName(const QString &name);
// Names and directions in order: what makes two lists differ for the
// interface (formats do not).
QString deviceListSignature(const QVariantList &list);
// Keeps the entries of one direction (1 capture, 2 render); any other type
// keeps all. Entries keep their indexes.
QVariantList filterDeviceList(const QVariantList &list, int type);
