#pragma once

#include <QString>

#include <memory>

namespace os {
class SimAudioWorld;
}

namespace veloran::emu {
class HidAttachment;
class MicBaseEmulator;
class MicBaseUnit;
} // namespace veloran::emu

// Demonstration and end-to-end mode: VELORAN_EMULATE=t40, u20 or r7 puts an
// emulated microphone base of that model on an in-memory HID bus, runs it on
// its own thread in real time and makes that bus the process-wide HID
// backend. This is the emulator's only way into the program.
//
// Must run before the first HID device is opened and before anything takes
// the process-wide platform (the program's start-up calls it first).
// Returns true when the mode is on (a second call changes nothing); an empty
// variable leaves real hidapi in place, an unknown value is logged and
// ignored.
bool installEmulatedDeviceFromEnvironment();
bool installEmulatedDevice(const QString &modelName);

// End-to-end tests reach the installed device through these: the emulator
// (attribute values, messages taken in) and its attachment to the bus (plug,
// unplug). Null while the mode is off. The R7 is a whole unit (flash,
// application, boot loader): it has no attachment, and its emulator is the
// application running at that moment.
veloran::emu::MicBaseEmulator *emulatedDeviceForTests();
veloran::emu::HidAttachment *emulatedAttachmentForTests();
veloran::emu::MicBaseUnit *emulatedUnitForTests();

// Plugs or unplugs the emulated device: its HID interfaces and its audio
// endpoints together (the R7: the whole unit's power). Nothing while the mode
// is off.
void setEmulatedDevicePlugged(bool plugged);
// The simulated audio world the mode installed; null while it is off.
std::shared_ptr<os::SimAudioWorld> emulatedAudioWorld();
