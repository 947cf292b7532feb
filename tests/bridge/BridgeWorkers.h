#pragma once
// Waits for the tests that drive the bridge's two list workers on a manual
// clock: for a pass, a debounce or a stop before moving time.

#include "bridge/SystemBridge.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

// Real time: how long a worker may take to reach a state.
template <class Condition>
::testing::AssertionResult eventually(Condition &&condition, const char *what)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < end) {
        if (condition())
            return ::testing::AssertionSuccess();
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return ::testing::AssertionFailure() << "never happened: " << what;
}

// Runs what the workers queued to the GUI thread.
inline void deliverQueued()
{
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}
