#include "device/emulator/attribute_store.h"

namespace veloran::emu {

AttributeStore::AttributeStore(std::vector<AttributeSpec> table)
{
    for (auto& spec : table)
        m_specs[spec.id] = std::move(spec);
    resetToDefaults();
}

const std::vector<uint8_t>* AttributeStore::get(uint8_t id) const
{
    auto it = m_values.find(id);
    return it == m_values.end() ? nullptr : &it->second;
}

AttributeStore::Result AttributeStore::check(const AttributeSpec& spec, const uint8_t* bytes,
                                             size_t length) const
{
    if (length < spec.minLength || length > spec.maxLength || (length > 0 && bytes == nullptr))
        return Result::BadLength;
    if (spec.lengthStep > 1 && length % spec.lengthStep != 0)
        return Result::BadLength;
    if (length == 1 && (bytes[0] < spec.minValue || bytes[0] > spec.maxValue))
        return Result::OutOfRange;
    return Result::Ok;
}

AttributeStore::Result AttributeStore::set(uint8_t id, const uint8_t* bytes, size_t length)
{
    auto it = m_specs.find(id);
    if (it == m_specs.end())
        return Result::Unknown;
    if (!it->second.writable)
        return Result::ReadOnly;
    const Result r = check(it->second, bytes, length);
    if (r == Result::Ok)
        m_values[id].assign(bytes, bytes + length);
    return r;
}

AttributeStore::Result AttributeStore::setFromDevice(uint8_t id, const std::vector<uint8_t>& value)
{
    auto it = m_specs.find(id);
    if (it == m_specs.end())
        return Result::Unknown;
    const AttributeSpec& spec = it->second;
    if (value.size() < spec.minLength || value.size() > spec.maxLength)
        return Result::BadLength;
    m_values[id] = value;
    return Result::Ok;
}

void AttributeStore::resetToDefaults()
{
    m_values.clear();
    for (const auto& [id, spec] : m_specs)
        m_values[id] = spec.defaultValue;
}

std::vector<uint8_t> AttributeStore::ids() const
{
    std::vector<uint8_t> v;
    for (const auto& [id, spec] : m_specs)
        v.push_back(id);
    return v;
}

}  // namespace veloran::emu
