#pragma once
// A spare output path: renders the listen bus, the mix bus and the monitor
// mix each to an endpoint of its own in shared event mode. Nothing in the
// program configures or starts it; the livestream forwarder and the
// microphone router's monitor are the paths in use.
//
// Units for buses 1 and 2 want a virtual endpoint, the unit for bus 3 a
// physical one. Start and Stop are serialised by one lock; each started unit
// has a render thread ("vd-busfwd-<bus>") that owns its stream until Stop
// joins it.

#include "platform/os/AudioClient.h"
#include "platform/os/AudioEndpoints.h"
#include "platform/os/OsPlatform.h"
#include "platform/os/WaveFormat.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class Mixer;

class BusForwarder {
public:
    static constexpr uint32_t kStreamFlags = 0x88040000; // event callback, PCM auto-convert, default-quality rate conversion
    // A render event asks for what the device played since the last one,
    // at times two blocks at once: the pulls keep kPullMarginFrames so that
    // a source's push landing just after one is not a hole.
    static constexpr int64_t kBufferDuration100ns = 1500000;
    static constexpr uint32_t kMixRate = 48000;

    struct Unit {
        std::thread thread;
        std::atomic<bool> rendering{false};
        std::shared_ptr<os::AudioClient> audioClient;
        std::shared_ptr<os::RenderClient> renderClient;
        std::shared_ptr<os::Event> event;
        std::wstring deviceKey; // guarded by the lifecycle lock
        uint32_t bus = 0;
        WAVEFORMATEX format{};
        uint32_t bufferFrames = 0;

        // One wake-up of the render thread: wait for the event, then fill
        // what the endpoint's buffer lacks from the unit's bus.
        void renderOnce(Mixer &mixer);
    };

    static BusForwarder &instance();

    BusForwarder(std::shared_ptr<os::OsPlatform> platform, Mixer &mixer);
    ~BusForwarder();
    BusForwarder(const BusForwarder &) = delete;
    BusForwarder &operator=(const BusForwarder &) = delete;

    void SetListenDevice(const std::wstring &key);
    void SetMixDevice(const std::wstring &key);
    void SetSoloDevice(const std::wstring &key);
    bool Start();
    void Stop();
    bool IsRunning() const { return running.load(); }

    // Physical: not named like a virtual cable, not a software or
    // root-enumerated device, and a topology with at least one connector.
    static bool isPhysicalDevice(os::AudioEndpoint *endpoint);
    // The first active endpoint (playback, then capture) of the wanted kind
    // whose lowered id equals the lowered key or whose lowered friendly name
    // contains it; a capture match must accept an audio client.
    std::shared_ptr<os::AudioEndpoint> findDevice(const std::wstring &key, bool wantVirtual);

    // Units by bus id 1..3 (tests).
    Unit &unit(uint32_t bus) { return m_units[bus - 1]; }

private:
    bool initializeUnit(Unit &unit);
    void renderThread(Unit &unit);
    void listDevices(bool wantVirtual);
    void log(const std::string &line) const;

    const std::shared_ptr<os::OsPlatform> m_platform;
    Mixer &m_mixer;
    std::mutex m_lifecycle; // Start, Stop, the setters
    std::atomic<bool> running{false};
    std::array<Unit, 3> m_units;
};
