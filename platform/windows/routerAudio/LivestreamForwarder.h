#pragma once
// Carries the mixer's mix bus to the virtual audio driver: every 10 ms one
// block of 480 frames of float stereo is pulled, converted to the sample
// format the driver reports and written through the driver client when the
// driver has room for it.

#include "driverclient/NUVEXAudio.h"
#include "platform/os/Clock.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class Mixer;

class LivestreamForwarder {
public:
    static constexpr uint32_t kBlockFrames = 480;
    static constexpr uint32_t kBlockSamples = kBlockFrames * 2;
    static constexpr uint32_t kInputRate = 48000;
    static constexpr int64_t kPeriodMs = 10;
    static constexpr int32_t kFormatRefreshLoops = 100;
    static constexpr int32_t kStatsEveryLoops = 300;
    static constexpr uint32_t kMixBus = 2;
    // A driver format asking for more than this per block is not taken: the
    // block is allocated from its numbers, which come from outside.
    static constexpr uint32_t kMaxDriverRate = 768000;
    static constexpr size_t kMaxOutputBlockBytes = size_t{1} << 20;

    using LogSink = std::function<void(const std::string&)>;

    struct Stats {
        int32_t loop = 0;
        int32_t writeOk = 0;
        int32_t bufferFull = 0;
        int32_t streamInactive = 0;
        int32_t errors = 0;
        int32_t leads = 0; // silent blocks written ahead into an empty driver buffer
    };

    enum class Conversion {
        Written,        // the block holds the converted audio
        Silence,        // no sample type of ours fits: the block is silence
        BlockAlignSmall // the frame cannot hold the channels: nothing to send
    };

    // The forwarding loop without its pacing: the thread runs step() once a
    // period, tests call it directly. The statistics line is formatted in
    // place by step() and written to the log by writeStats(), which may
    // block and allocate: the forwarder calls it on a thread of its own.
    class ForwardLoop {
    public:
        ForwardLoop(Mixer& mixer, const LogSink& log);
        // Before a step: how long the thread may wait, at most, for a source
        // the last pull fed from that has not pushed its next block yet (its
        // pushes land just after the loop's): half a block, as far as the
        // lead the driver still holds leaves a quarter of one for a late
        // wake-up; 0 for none. The thread waits only until the push lands,
        // so the lead is spent only meanwhile and the loop keeps its time.
        int64_t dueWaitNs(VadAudioHandle driver, uint32_t bus);
        void step(VadAudioHandle driver, uint32_t bus);
        // Writes a statistics line step() left, if any; true when it did.
        bool writeStats();
        // Waits until a line is left or stopStatsWriter() is called; false
        // once stopped.
        bool waitForStats();
        // After the last step(): waits while a line is still being written.
        void stopStatsWriter();

        const Stats& stats() const { return m_stats; }
        bool haveFormat() const { return m_haveFormat; }
        const WAVEFORMATEXTENSIBLE& currentFormat() const { return m_currentFormat; }

    private:
        void refreshFormat(VadAudioHandle driver);
        void writeLead(VadAudioHandle driver, uint32_t bytes);
        void logStats();

        Mixer& m_mixer;
        const LogSink& m_log;
        std::vector<float> m_input;     // kBlockSamples, interleaved stereo
        std::vector<uint8_t> m_output;  // frames x block align of the driver's format
        std::vector<uint8_t> m_lead;    // the silent block written ahead, sized like m_output
        std::array<char, 160> m_statsText{}; // written by step() while m_statsState is kStatsFree
        // kStatsFree, kStatsReady (the text is the writer's) or kStatsStopped.
        std::atomic<int> m_statsState{0};
        uint32_t m_emptyFreeBytes = 0;  // the most free space seen: the driver's buffer when empty
        WAVEFORMATEXTENSIBLE m_currentFormat{};
        bool m_haveFormat = false;
        int32_t m_formatLoop = 0;       // loop of the last successful format read
        Stats m_stats;
    };

    static LivestreamForwarder& instance();

    // log: where the console lines go (default: standard output).
    LivestreamForwarder(Mixer& mixer, os::Clock& clock, LogSink log = {});
    ~LivestreamForwarder();
    LivestreamForwarder(const LivestreamForwarder&) = delete;
    LivestreamForwarder& operator=(const LivestreamForwarder&) = delete;

    bool Start();
    void Stop();
    bool IsRunning() const;
    void SetSourceBus(uint32_t bus);

    // The record sent to the driver at start: 48000 Hz, 2 channels, 32-bit
    // integer PCM, channel mask 3.
    static WAVEFORMATEXTENSIBLE streamFormat();

    // Converts one block of kBlockFrames frames of float stereo at 48 kHz
    // into out, sized to the format's frames x block align. A format must
    // have passed usableFormat().
    static Conversion convertBlock(const float* in, const WAVEFORMATEXTENSIBLE& format, std::vector<uint8_t>& out);
    static bool usableFormat(const WAVEFORMATEXTENSIBLE& format);
    static uint32_t outputFrames(uint32_t sampleRate);

private:
    bool openDriver();
    void forwardThread(VadAudioHandle driver);
    void pace(int64_t& nextNs);
    void statsThread();

    Mixer& m_mixer;
    os::Clock& m_clock;
    const LogSink m_log;

    std::mutex m_lifecycleMutex;     // serialises Start and Stop
    std::thread m_thread;            // guarded by m_lifecycleMutex
    std::thread m_statsWriter;       // guarded by m_lifecycleMutex: writes the loop's statistics lines
    std::unique_ptr<ForwardLoop> m_loop; // guarded by m_lifecycleMutex; used by both threads while they run
    std::atomic<bool> m_running{false};
    VadAudioHandle m_driver = nullptr; // guarded by m_lifecycleMutex; the thread gets its own copy
    std::atomic<uint32_t> m_sourceBus{kMixBus}; // read by the thread on every loop (relaxed)
};
