#include "device/emulator/attribute_store.h"

namespace veloran::emu {

AttributeStore::AttributeStore(std::vector<AttributeDef> table)
{
    for (auto& def : table)
        m_defs[def.id] = std::move(def);
    resetToDefaults();
}

const std::vector<uint8_t>* AttributeStore::get(uint8_t id) const
{
    auto it = m_values.find(id);
    return it == m_values.end() ? nullptr : &it->second;
}

AttributeStore::Result AttributeStore::check(const AttributeDef& def, const uint8_t* bytes,
                                             size_t length) const
{
    if (length < def.minLength || length > def.maxLength || (length > 0 && bytes == nullptr))
        return Result::BadLength;
    if (def.lengthStep > 1 && length % def.lengthStep != 0)
        return Result::BadLength;
    if (length == 1 && (bytes[0] < def.minValue || bytes[0] > def.maxValue))
        return Result::OutOfRange;
    return Result::Ok;
}

AttributeStore::Result AttributeStore::set(uint8_t id, const uint8_t* bytes, size_t length)
{
    auto it = m_defs.find(id);
    if (it == m_defs.end())
        return Result::Unknown;
    if (!it->second.writable)
        return Result::ReadOnly;
    const Result r = check(it->second, bytes, length);
    if (r == Result::Ok)
        m_values[id].assign(bytes, bytes + length);
    return r;
}

const AttributeDef* AttributeStore::definition(uint8_t id) const
{
    auto it = m_defs.find(id);
    return it == m_defs.end() ? nullptr : &it->second;
}

AttributeStore::Result AttributeStore::setFromDevice(uint8_t id, const std::vector<uint8_t>& value)
{
    auto it = m_defs.find(id);
    if (it == m_defs.end())
        return Result::Unknown;
    const AttributeDef& def = it->second;
    if (value.size() < def.minLength || value.size() > def.maxLength)
        return Result::BadLength;
    m_values[id] = value;
    return Result::Ok;
}

void AttributeStore::resetToDefaults()
{
    m_values.clear();
    for (const auto& [id, def] : m_defs)
        m_values[id] = def.defaultValue;
}

std::vector<uint8_t> AttributeStore::ids() const
{
    std::vector<uint8_t> v;
    for (const auto& [id, def] : m_defs)
        v.push_back(id);
    return v;
}

}  // namespace veloran::emu
