#pragma once
// What the sample-rate worker of SystemBridge shares with its bridge. It
// lives as long as either of them: the worker holds it, never the bridge.

#include "bridge/SystemBridge.h"

#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

struct SampleRateRequests
{
    // The latest request: device and rate are set together under
    // requestMutex and read together before each write, so a write never
    // pairs one request's rate with another's device.
    std::mutex requestMutex;
    QString deviceName;                     // guarded by requestMutex
    std::atomic<double> targetSampleRate{0}; // written under requestMutex

    std::atomic<std::int32_t> sampleRateTaskRunning{0}; // 1 while a worker runs
    // Held around each write; the bridge takes it to detach, so a detached
    // bridge is never used by a write in progress.
    std::mutex sampleRateMutex;
    SystemBridge *bridge = nullptr;         // guarded by sampleRateMutex; null once detached
    // Set before the bridge waits for sampleRateMutex, so that a worker
    // that takes the mutex first starts no further write.
    std::atomic<bool> detaching{false};
    std::function<void()> runEnding;        // the test hook of the options
};

std::shared_ptr<SampleRateRequests> makeSampleRateRequests(SystemBridge *bridge, const SystemBridge::Options &options);

