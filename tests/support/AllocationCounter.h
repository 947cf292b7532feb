#pragma once
// Counts heap allocations (operator new and the C functions malloc, calloc
// and realloc, so that C libraries count too) made while a counter lives:
// on the thread that made it, and on every thread inside a
// RealtimeThreadScope. One counter at a time; linking this library replaces
// the process's allocation functions (or, under a sanitizer, installs its
// hooks), so keep it in test binaries of its own.

#include <cstdint>

class AllocationCounter {
public:
    AllocationCounter();
    ~AllocationCounter();
    AllocationCounter(const AllocationCounter&) = delete;
    AllocationCounter& operator=(const AllocationCounter&) = delete;

    std::uint64_t count() const;

    // Allocations of the calling thread are not counted while one lives:
    // for simulated parts that stand outside the process on a real system.
    class Paused {
    public:
        Paused();
        ~Paused();
        Paused(const Paused&) = delete;
        Paused& operator=(const Paused&) = delete;
    };
};

// Allocations made while body runs, counted as above.
template <class Body>
std::uint64_t allocationsDuring(Body &&body)
{
    AllocationCounter counter;
    body();
    return counter.count();
}
