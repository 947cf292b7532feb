#pragma once
// Waits for the tests that drive the bridge's two list workers on a manual
// clock: for a pass, a debounce or a stop before moving time.

#include "Eventually.h"
#include "bridge/SystemBridge.h"

#include <QCoreApplication>
#include <gtest/gtest.h>

#include <chrono>
#include <thread>

// Real time: how long a worker may take to reach a state.
template <class Condition>
::testing::AssertionResult eventually(Condition &&condition, const char *what)
{
    if (testwait::until(condition, 10000))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "never happened: " << what;
}

// Runs what the workers queued to the GUI thread.
inline void deliverQueued()
{
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
}
