// Puts a MicBaseEmulator on an EmulatedHidBus: one virtual interface per
// HID interface of the model, the first of which carries the protocol.
#pragma once

#include "device/emulator/mic_base_emulator.h"
#include "device/hid/EmulatedHidBus.h"

#include <string>
#include <vector>

namespace veloran::emu {

// What the bus enumerates for interface index of a model's device.
EmulatedHidDevice interfaceDescriptor(const ModelConfig& config, const std::string& path, int index);

class HidAttachment {
public:
    // Paths are pathPrefix + "/if" + interface number.
    HidAttachment(EmulatedHidBus& bus, MicBaseEmulator& emulator, std::string pathPrefix);
    ~HidAttachment();
    HidAttachment(const HidAttachment&) = delete;
    HidAttachment& operator=(const HidAttachment&) = delete;

    // Plugs every interface (a power cycle of the emulator when it had been
    // unplugged). False when a path was already taken.
    bool plug();
    void unplug();
    const std::vector<std::string>& paths() const { return m_paths; }
    const std::string& protocolPath() const { return m_paths.front(); }

private:
    bool plugInterfaces();

    EmulatedHidBus& m_bus;
    MicBaseEmulator& m_emulator;
    std::vector<std::string> m_paths;
};

}  // namespace veloran::emu
