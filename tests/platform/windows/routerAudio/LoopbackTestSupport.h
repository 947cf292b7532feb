#pragma once
// A simulated world on a manual clock with the capture's collaborators: its
// own mixer and store, the mixer's log lines, and waits on real time for
// what the world's threads do.

#include "Eventually.h"
#include "platform/os/sim/SimAudioWorld.h"
#include "platform/os/sim/SimWorkQueues.h"
#include "platform/windows/routerAudio/LoopbackCapture.h"
#include "platform/windows/routerAudio/Mixer.h"
#include "platform/windows/routerAudio/MixerLog.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace looptest {

// Polls a condition for up to five seconds (or the given milliseconds) of real time.
template <class Condition>
bool eventually(Condition condition, int realMs = 5000)
{
    return testwait::until(condition, realMs);
}

class LogLines {
public:
    LogLines()
    {
        setMixerLogSink([this](const std::string &line) {
            std::lock_guard lock(m_mutex);
            m_lines.push_back(line);
        });
    }
    ~LogLines() { setMixerLogSink({}); }
    std::vector<std::string> lines() const
    {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }
    bool has(const std::string &line) const
    {
        for (const auto &l : lines())
            if (l == line)
                return true;
        return false;
    }
    size_t count() const
    {
        std::lock_guard lock(m_mutex);
        return m_lines.size();
    }
    // The lines of a test that failed, to see what led there.
    void printIfFailed() const
    {
        if (::testing::Test::HasFailure())
            for (const auto &l : lines())
                std::printf("log: %s\n", l.c_str());
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

inline AudioRouteConfig routedRecord(uint32_t id)
{
    AudioRouteConfig r;
    r.processID = id;
    r.active = 1;
    r.input1 = {1, 1.0f, 0};
    r.input2 = {1, 1.0f, 0};
    return r;
}

// A loopback mix format record with the given extension bytes after it.
inline std::vector<uint8_t> formatRecord(const WAVEFORMATEX &base, const std::vector<uint8_t> &extension)
{
    std::vector<uint8_t> bytes(sizeof(WAVEFORMATEX) + extension.size());
    WAVEFORMATEX f = base;
    f.cbSize = static_cast<uint16_t>(extension.size());
    std::memcpy(bytes.data(), &f, sizeof f);
    std::copy(extension.begin(), extension.end(), bytes.begin() + sizeof f);
    return bytes;
}

} // namespace looptest
