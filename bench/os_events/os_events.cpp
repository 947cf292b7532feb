// Audio threads each waiting on their own event, all set at 100 Hz by one
// thread: prints the wake-ups per set and the process's CPU per second for
// 1, 16 and 32 waiters.
#include "platform/os/Clock.h"

#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

namespace {

double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

void run(int waiters, double seconds)
{
    os::RealClock clock;
    std::vector<std::unique_ptr<os::Event>> events;
    for (int i = 0; i < waiters; ++i)
        events.push_back(std::make_unique<os::Event>(clock));
    std::atomic<bool> stop{false};
    std::atomic<std::uint64_t> wakeUps{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < waiters; ++i) {
        threads.emplace_back([&, i] {
            const std::uint64_t before = os::Clock::wakeUpsOfThisThread();
            while (!stop.load())
                events[i]->wait(200); // the audio threads' bounded wait
            wakeUps.fetch_add(os::Clock::wakeUpsOfThisThread() - before);
        });
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    const double cpuStart = cpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    auto next = start;
    std::uint64_t sets = 0;
    while (std::chrono::steady_clock::now() - start < std::chrono::duration<double>(seconds)) {
        next += std::chrono::milliseconds(10);
        for (auto& event : events) {
            event->set();
            ++sets;
        }
        std::this_thread::sleep_until(next);
    }
    const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = cpuSeconds() - cpuStart;
    stop = true;
    for (auto& event : events)
        event->set();
    for (auto& t : threads)
        t.join();
    std::printf("%2d waiters at 100 Hz: %.2f wake-ups per set, %.3f CPU seconds per second\n", waiters,
                double(wakeUps.load()) / double(sets + waiters), cpu / elapsed);
}

} // namespace

int main()
{
    for (int waiters : {1, 16, 32})
        run(waiters, 2.0);
    return 0;
}
