#pragma once
// Routing records of the mixer's sources and the process-wide table that
// holds them. Source ids share one namespace with the mixer's rings and the
// level reports: 0 the device microphone, 1 to 9 extra inputs, 10 and up
// process ids, and the two bus-master ids below.

#include <atomic>
#include <cstdint>
#include <map>
#include <mutex>
#include <vector>

#include "platform/os/RealtimeGuard.h"

inline constexpr uint32_t kListenBusMasterId = 0xFFFFFFFF; // bus 1, listenBus
inline constexpr uint32_t kMixBusMasterId = 0xFFFFFFFE;    // bus 2, mixBus

// One source on one bus.
struct BusRouting {
    uint8_t enabled = 0; // 0: the source writes nothing into this bus
    float volume = 1.0f; // linear gain, not checked or clamped
    uint8_t muted = 0;   // the source still writes into the bus, as silence
};

// A default-constructed record is the "absent" record: never mixed.
struct AudioRouteConfig {
    uint32_t processID = 0;
    uint8_t active = 0;
    BusRouting input1; // listenBus
    BusRouting input2; // mixBus
    uint8_t solo = 0;
};

class AudioRouteConfigStore {
public:
    static AudioRouteConfigStore &instance();

    AudioRouteConfigStore() = default;
    AudioRouteConfigStore(const AudioRouteConfigStore &) = delete;
    AudioRouteConfigStore &operator=(const AudioRouteConfigStore &) = delete;

    // A copy of the record under id, or the absent record (processID 0).
    AudioRouteConfig get(uint32_t id) const;
    // Keyed by id, not by the record's processID.
    void set(uint32_t id, const AudioRouteConfig &record);
    // Bus 1 is the listen master; any other bus number the mix master. Without
    // a stored record: unity gain on the asked bus, not soloed.
    AudioRouteConfig getBusMaster(uint32_t bus) const;
    void setBusMaster(uint32_t bus, const AudioRouteConfig &record);
    // Erases every record; virtualOutputIsDefault keeps its value.
    void clear();
    // Ascending; the master ids sort last.
    std::vector<uint32_t> sourceIds() const;

    // Moves on every set and clear (after the change), so a reader that
    // cached records with the generation it saw knows when to read again.
    uint64_t generation() const { return m_generation.load(std::memory_order_acquire); }

    static uint32_t masterIdFor(uint32_t bus) { return bus == 1 ? kListenBusMasterId : kMixBusMasterId; }

    // While false the mixer drops every pushed block. Relaxed: nothing else is
    // published through it.
    std::atomic<bool> virtualOutputIsDefault{true};

private:
    // Never held while taking another lock; the mixer may call in while
    // holding its own mutex (order: mixer, then store).
    mutable os::AudioMutex m_mutex;
    std::map<uint32_t, AudioRouteConfig> m_records; // guarded by m_mutex
    std::atomic<uint64_t> m_generation{1};          // written under m_mutex
};
