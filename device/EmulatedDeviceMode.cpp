#include "device/EmulatedDeviceMode.h"

#include "device/emulator/emulator_runner.h"
#include "device/emulator/hid_attachment.h"
#include "device/emulator/mic_base_emulator.h"
#include "device/hid/EmulatedHidBus.h"
#include "platform/os/Clock.h"

#include <QDebug>

#include <optional>

namespace {

std::optional<veloran::emu::Model> modelFromName(const QString &name)
{
    const QString n = name.trimmed().toLower();
    if (n == QLatin1String("t40"))
        return veloran::emu::Model::T40;
    if (n == QLatin1String("u20"))
        return veloran::emu::Model::U20;
    if (n == QLatin1String("r7"))
        return veloran::emu::Model::R7;
    return std::nullopt;
}

// Lives until the process ends: the program leaves through _exit, and HID
// handles may stay open on the bus until then.
struct EmulatedWorld
{
    explicit EmulatedWorld(veloran::emu::Model model)
        : emulator(veloran::emu::defaultConfig(model))
        , attachment(bus, emulator, std::string("emu/") + veloran::emu::modelName(model))
        , runner(emulator, clock)
    {
    }
    EmulatedHidBus bus;
    veloran::emu::MicBaseEmulator emulator;
    veloran::emu::HidAttachment attachment;
    os::RealClock clock;
    veloran::emu::EmulatorRunner runner;
};

EmulatedWorld *s_world = nullptr; // set once, on the GUI thread at start-up

} // namespace

bool installEmulatedDevice(const QString &modelName)
{
    if (s_world)
        return true;
    const auto model = modelFromName(modelName);
    if (!model) {
        qWarning().noquote() << "VELORAN_EMULATE: unknown model" << modelName << "(t40, u20 or r7); using real HID devices";
        return false;
    }
    s_world = new EmulatedWorld(*model);
    s_world->attachment.plug();
    setHidBackend(&s_world->bus);
    s_world->runner.start();
    qInfo().noquote() << "VELORAN_EMULATE: emulated" << veloran::emu::modelName(*model)
                      << "plugged in on the emulated HID bus";
    return true;
}

bool installEmulatedDeviceFromEnvironment()
{
    const QString value = qEnvironmentVariable("VELORAN_EMULATE");
    if (value.isEmpty())
        return false;
    return installEmulatedDevice(value);
}

veloran::emu::MicBaseEmulator *emulatedDeviceForTests()
{
    return s_world ? &s_world->emulator : nullptr;
}

veloran::emu::HidAttachment *emulatedAttachmentForTests()
{
    return s_world ? &s_world->attachment : nullptr;
}
