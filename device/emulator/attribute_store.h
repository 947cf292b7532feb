// The device's attribute values, checked against the model's table.
#pragma once

#include "device/emulator/emu_model.h"

#include <cstdint>
#include <map>
#include <vector>

namespace veloran::emu {

class AttributeStore {
public:
    enum class Result { Ok, Unknown, ReadOnly, BadLength, OutOfRange };

    AttributeStore() = default;
    explicit AttributeStore(std::vector<AttributeDef> table);

    bool has(uint8_t id) const { return m_defs.count(id) != 0; }
    // Null for an unknown id.
    const std::vector<uint8_t>* get(uint8_t id) const;
    // Null for an unknown id.
    const AttributeDef* definition(uint8_t id) const;
    // A write from the host: the table's rules apply.
    Result set(uint8_t id, const uint8_t* bytes, size_t length);
    // A change the device makes itself (knob, button): only the id and the
    // length rules apply, read-only attributes included.
    Result setFromDevice(uint8_t id, const std::vector<uint8_t>& value);
    void resetToDefaults();
    // Ids in ascending order.
    std::vector<uint8_t> ids() const;

private:
    Result check(const AttributeDef& def, const uint8_t* bytes, size_t length) const;

    std::map<uint8_t, AttributeDef> m_defs;
    std::map<uint8_t, std::vector<uint8_t>> m_values;
};

}  // namespace veloran::emu
