#include "platform/windows/routerAudio/AudioRouteConfig.h"

AudioRouteConfigStore &AudioRouteConfigStore::instance()
{
    static AudioRouteConfigStore store;
    return store;
}

AudioRouteConfig AudioRouteConfigStore::get(uint32_t id) const
{
    std::lock_guard lock(m_mutex);
    const auto it = m_records.find(id);
    return it != m_records.end() ? it->second : AudioRouteConfig{};
}

void AudioRouteConfigStore::set(uint32_t id, const AudioRouteConfig &record)
{
    std::lock_guard lock(m_mutex);
    m_records[id] = record;
    m_generation.fetch_add(1, std::memory_order_release);
}

AudioRouteConfig AudioRouteConfigStore::getBusMaster(uint32_t bus) const
{
    const uint32_t id = masterIdFor(bus);
    {
        std::lock_guard lock(m_mutex);
        const auto it = m_records.find(id);
        if (it != m_records.end())
            return it->second;
    }
    AudioRouteConfig master;
    master.active = 1;
    if (id == kListenBusMasterId)
        master.input1.enabled = 1;
    else
        master.input2.enabled = 1;
    return master;
}

void AudioRouteConfigStore::setBusMaster(uint32_t bus, const AudioRouteConfig &record)
{
    set(masterIdFor(bus), record);
}

void AudioRouteConfigStore::clear()
{
    std::lock_guard lock(m_mutex);
    m_records.clear();
    m_generation.fetch_add(1, std::memory_order_release);
}

std::vector<uint32_t> AudioRouteConfigStore::sourceIds() const
{
    std::lock_guard lock(m_mutex);
    std::vector<uint32_t> ids;
    ids.reserve(m_records.size());
    for (const auto &entry : m_records)
        ids.push_back(entry.first);
    return ids;
}
