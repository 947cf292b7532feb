#pragma once
// The bridge's cached list of active audio endpoints: its state, and the
// pure rules that build and compare the list. The worker and GetDeviceList
// are SystemBridge members (DeviceListCache.cpp).

#include "bridge/CachedListWorker.h"

#include <QString>
#include <QVariantList>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>

// A quick change burst (a device that brings several endpoints) costs one
// rebuild per window.
inline constexpr std::int64_t kDeviceListDebounceMs = 150;

enum class DeviceCacheWorkerState { NotStarted, Building, Waiting, Debouncing, Stopped };

// The debounce waits on the platform's clock.
struct DeviceListCache : CachedListWorker {
    std::mutex wakeMutex;                // never held together with cacheMutex
    std::condition_variable wake;        // with wakeMutex
    bool dirty = false;                  // guarded by wakeMutex

    // What the worker does now (for tests that drive it on a manual clock).
    std::atomic<DeviceCacheWorkerState> state{DeviceCacheWorkerState::NotStarted};
};

// The virtual driver's own capture endpoints, which the list leaves out.
bool isVirtualDriverEndpointName(const QString &name);
// Names and directions in order: what makes two lists differ for the
// interface (formats do not).
QString deviceListSignature(const QVariantList &list);
// Keeps the entries of one direction (1 capture, 2 render); any other type
// keeps all. Entries keep their indexes.
QVariantList filterDeviceList(const QVariantList &list, int type);
