#pragma once
// What the PortAudio engine's tests share: a line recorder and an engine on
// the fake PortAudio, a manual clock and a mixer of its own.

#include "FakePaApi.h"
#include "platform/os/Clock.h"
#include "platform/windows/routerAudio/AudioRouterServiceImpl.h"
#include "platform/windows/routerAudio/Mixer.h"

#include <algorithm>
#include <chrono>
#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace patest {

class LineRecorder {
public:
    PaLogSink sink()
    {
        return [this](PaLogChannel channel, std::string_view line) {
            std::lock_guard lock(m_mutex);
            m_lines.emplace_back(std::string(channel == PaLogChannel::StandardOutput ? "stdout: " : "") +
                                 std::string(line));
        };
    }
    std::vector<std::string> lines() const
    {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }
    int count(const std::string &text) const
    {
        std::lock_guard lock(m_mutex);
        return static_cast<int>(std::count_if(m_lines.begin(), m_lines.end(), [&](const std::string &l) {
            return l.find(text) != std::string::npos;
        }));
    }
    bool has(const std::string &text) const { return count(text) > 0; }
    void clear()
    {
        std::lock_guard lock(m_mutex);
        m_lines.clear();
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

inline FakeDevice inputDevice(std::string name, PaHostApiTypeId host = paALSA, int channels = 2)
{
    FakeDevice d;
    d.name = std::move(name);
    d.host = host;
    d.maxIn = channels;
    return d;
}

inline FakeDevice outputDevice(std::string name, PaHostApiTypeId host = paALSA, int channels = 2,
                               double rate = 48000.0)
{
    FakeDevice d;
    d.name = std::move(name);
    d.host = host;
    d.maxIn = 0;
    d.maxOut = channels;
    d.defaultRate = rate;
    d.sharedRates = {rate};
    return d;
}

// Everything an engine under test runs on; the routing store lets every
// source id below 10 through to both buses.
struct Rig {
    explicit Rig(std::vector<FakeDevice> devices = {}, PaHostApiTypeId host = paALSA)
        : pa(std::move(devices)), clock(1'000'000'000'000), mixer(store), hostApi(host)
    {
        for (uint32_t id = 0; id < 10; ++id) {
            AudioRouteConfig record;
            record.processID = id;
            record.active = 1;
            record.input1.enabled = 1;
            record.input2.enabled = 1;
            store.set(id, record);
        }
    }
    // On the rig's manual clock unless another is given.
    AudioRouterService::Environment environment(os::Clock *otherClock = nullptr)
    {
        AudioRouterService::Environment env;
        env.pa = &pa;
        env.clock = otherClock ? otherClock : &clock;
        env.hostApi = hostApi;
        env.log = lines.sink();
        env.mixer = &mixer;
        return env;
    }
    uint32_t pushes(uint32_t source) { return mixer.bufferFor(source, 1)->pushCount.load(); }
    uint32_t written(uint32_t source) { return mixer.bufferFor(source, 1)->writeIndex.load(); }

    FakePaApi pa;
    os::ManualClock clock;
    AudioRouteConfigStore store;
    Mixer mixer;
    LineRecorder lines;
    PaHostApiTypeId hostApi;
};

// Lets a manual clock run whenever a thread waits on it, a millisecond at a
// time with a breath between steps for the waiter to notice, so code that
// pauses proceeds quickly while its clock counts (about) every pause.
class ClockPump {
public:
    explicit ClockPump(os::ManualClock &clock)
        : m_thread([this, &clock] {
              while (!m_stop.load()) {
                  if (clock.waitingThreads() > 0) {
                      clock.advanceMs(1);
                      std::this_thread::sleep_for(std::chrono::microseconds(100));
                  } else {
                      std::this_thread::yield();
                  }
              }
          })
    {
    }
    ~ClockPump()
    {
        m_stop.store(true);
        m_thread.join();
    }

private:
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace patest
