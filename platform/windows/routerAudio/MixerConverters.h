#pragma once
// Making a libsamplerate converter takes milliseconds: far too long for the
// pushing audio thread. The mixer's converter thread makes them on request
// and hands each over through the source's ConverterHandoff; the pushing
// thread takes it at a later block, never waiting (try_lock only).

#include <samplerate.h>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

class ConverterFactory;

// One per source (its bus-1 buffer), shared with the converter thread's
// pending work so that a source dropped meanwhile leaves nothing behind.
struct ConverterHandoff {
    ~ConverterHandoff();

    std::mutex mutex;            // the pushing thread only ever try_locks it
    SRC_STATE *made = nullptr;   // guarded by mutex: made, not yet taken
    uint32_t madeRate = 0;       // guarded by mutex
    bool failed = false;         // guarded by mutex: the latest creation failed
    uint32_t requestedRate = 0;  // the pushing thread's own: rate asked for, 0 when none
};

class ConverterMaker {
public:
    explicit ConverterMaker(std::shared_ptr<ConverterFactory> factory);
    ~ConverterMaker();
    ConverterMaker(const ConverterMaker &) = delete;
    ConverterMaker &operator=(const ConverterMaker &) = delete;

    // Asks for a converter for rate, handed over through handoff.
    void request(std::shared_ptr<ConverterHandoff> handoff, uint32_t rate);
    // Deletes a converter the pushing thread no longer needs.
    void retire(SRC_STATE *state);
    // Returns once nothing is pending.
    void waitIdle();

private:
    struct Job {
        std::shared_ptr<ConverterHandoff> handoff; // null: a retirement
        uint32_t rate = 0;
        SRC_STATE *retired = nullptr;
    };

    void run();

    const std::shared_ptr<ConverterFactory> m_factory;
    std::mutex m_mutex;              // guards the state below
    std::condition_variable m_changed;
    std::deque<Job> m_jobs;
    bool m_busy = false;
    bool m_stop = false;
    std::thread m_thread;
};
