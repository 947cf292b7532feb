#include "device/EmulatedDeviceMode.h"

#include "device/emulator/emulator_runner.h"
#include "device/emulator/hid_attachment.h"
#include "device/emulator/mic_base_emulator.h"
#include "device/emulator/mic_base_unit.h"
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

// Version of the firmware the emulated R7 ships with.
constexpr uint8_t kR7Major = 2;
constexpr uint8_t kR7Minor = 12;
constexpr size_t kR7ImageBytes = 64 * 1024;

// Lives until the process ends: the program leaves through _exit, and HID
// handles may stay open on the bus until then.
struct EmulatedWorld
{
    virtual ~EmulatedWorld() = default;
    virtual void start() = 0;
    virtual veloran::emu::MicBaseEmulator *emulator() = 0;
    virtual veloran::emu::HidAttachment *attachment() { return nullptr; }
    virtual veloran::emu::MicBaseUnit *unit() { return nullptr; }
    EmulatedHidBus bus;
    os::RealClock clock;
};

// The T40 and U20 are their application firmware alone.
struct EmulatedBase final : EmulatedWorld
{
    explicit EmulatedBase(veloran::emu::Model model)
        : device(veloran::emu::defaultConfig(model))
        , plugs(bus, device, std::string("emu/") + veloran::emu::modelName(model))
        , runner(device, clock)
    {
    }
    void start() override
    {
        plugs.plug();
        runner.start();
    }
    veloran::emu::MicBaseEmulator *emulator() override { return &device; }
    veloran::emu::HidAttachment *attachment() override { return &plugs; }
    veloran::emu::MicBaseEmulator device;
    veloran::emu::HidAttachment plugs;
    veloran::emu::EmulatorRunner runner;
};

// The R7 is a whole unit: flash, application and FlashBoot boot loader.
struct EmulatedUnit final : EmulatedWorld
{
    EmulatedUnit()
        : device(bus, veloran::emu::defaultConfig(veloran::emu::Model::R7), "emu/R7")
        , runner([this](uint64_t nowMs) { device.step(nowMs); }, clock)
    {
        device.programFlash(veloran::emu::makeFirmwareImage(veloran::emu::Model::R7, kR7Major, kR7Minor, kR7ImageBytes));
    }
    void start() override
    {
        device.plug();
        runner.start();
    }
    // The application running now (a new one after an upgrade).
    veloran::emu::MicBaseEmulator *emulator() override { return device.application().get(); }
    veloran::emu::MicBaseUnit *unit() override { return &device; }
    veloran::emu::MicBaseUnit device;
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
    if (*model == veloran::emu::Model::R7)
        s_world = new EmulatedUnit;
    else
        s_world = new EmulatedBase(*model);
    setHidBackend(&s_world->bus);
    s_world->start();
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
    return s_world ? s_world->emulator() : nullptr;
}

veloran::emu::HidAttachment *emulatedAttachmentForTests()
{
    return s_world ? s_world->attachment() : nullptr;
}

veloran::emu::MicBaseUnit *emulatedUnitForTests()
{
    return s_world ? s_world->unit() : nullptr;
}
