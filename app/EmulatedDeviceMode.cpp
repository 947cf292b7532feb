#include "app/EmulatedDeviceMode.h"

#include "device/emulator/emulator_runner.h"
#include "device/emulator/hid_attachment.h"
#include "device/emulator/mic_base_emulator.h"
#include "device/emulator/mic_base_unit.h"
#include "device/hid/EmulatedHidBus.h"
#include "driverclient/sim/SimVirtualDriver.h"
#include "driverclient/sim/SimVirtualDriverEndpoints.h"
#include "platform/os/Clock.h"
#include "platform/os/sim/SimAudioWorld.h"
#include "platform/os/sim/SimModelAudio.h"

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
        , runner(device, clock)
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

// The audio side of the emulated model: its microphone and headphones, the
// computer's speakers and the virtual driver with its two endpoints, in a
// simulated audio world installed as the process's platform. Lives until the
// process ends, like the device.
struct SimulatedAudio
{
    explicit SimulatedAudio(const QString &model)
        : world(std::make_shared<os::SimAudioWorld>(clock))
        , driver(*clock)
    {
        const os::SimModelEndpoints endpoints = os::addModelEndpoints(*world, model.toUpper().toStdWString());
        microphone = endpoints.microphone;
        headphones = endpoints.headphones;
        driver.install();
        driverEndpoints = std::make_unique<SimVirtualDriverEndpoints>(*world, driver);
        os::installPlatform(world);
    }

    // Friendly names of every endpoint, in order of appearance.
    std::vector<std::wstring> endpointNames() const
    {
        std::vector<std::wstring> names;
        std::shared_ptr<os::EndpointEnumerator> enumerator;
        if (FAILED(world->createEndpointEnumerator(enumerator)))
            return names;
        for (os::DataFlow flow : {os::DataFlow::Capture, os::DataFlow::Render}) {
            std::vector<std::shared_ptr<os::AudioEndpoint>> endpoints;
            if (FAILED(enumerator->enumEndpoints(flow, DEVICE_STATE_ACTIVE, endpoints)))
                continue;
            for (const auto &endpoint : endpoints) {
                std::wstring name;
                if (SUCCEEDED(endpoint->getFriendlyName(name)))
                    names.push_back(name);
            }
        }
        return names;
    }

    std::shared_ptr<os::RealClock> clock = std::make_shared<os::RealClock>();
    std::shared_ptr<os::SimAudioWorld> world;
    SimVirtualDriver driver;
    std::unique_ptr<SimVirtualDriverEndpoints> driverEndpoints;
    std::wstring microphone;
    std::wstring headphones;
};

SimulatedAudio *s_audio = nullptr; // set once, with s_world

// What the driver client answers, so that a run shows whether audio
// features have a driver to talk to.
void logVirtualDriverAnswer()
{
    VadAudioHandle handle = nullptr;
    const int open = VadAudio_Open(&handle);
    if (open != VAD_AUDIO_OK) {
        qInfo().noquote() << "Audio: VadAudio_Open" << open
                          << (open == VAD_AUDIO_ERROR_DEVICE_NOT_FOUND ? "(driver not installed)" : "");
        return;
    }
    VadAudioStatus status{};
    const int result = VadAudio_GetStatus(handle, &status);
    qInfo().noquote() << "Audio: VadAudio_Open 0, VadAudio_GetStatus" << result;
    VadAudio_Close(handle);
}

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
    s_audio = new SimulatedAudio(QString::fromLatin1(veloran::emu::modelName(*model)));
    for (const std::wstring &name : s_audio->endpointNames())
        qInfo().noquote() << "VELORAN_EMULATE: simulated audio endpoint" << QString::fromStdWString(name);
    logVirtualDriverAnswer();
    return true;
}

bool installEmulatedDeviceFromEnvironment()
{
    const QString value = qEnvironmentVariable("VELORAN_EMULATE");
    if (value.isEmpty()) {
        logVirtualDriverAnswer();
        return false;
    }
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

void setEmulatedDevicePlugged(bool plugged)
{
    if (!s_world)
        return;
    // The model's endpoints come and go with it, as a USB device's would.
    if (s_audio) {
        for (const std::wstring &id : {s_audio->microphone, s_audio->headphones}) {
            if (plugged)
                s_audio->world->plugEndpoint(id);
            else
                s_audio->world->unplugEndpoint(id);
        }
    }
    if (veloran::emu::HidAttachment *attachment = s_world->attachment()) {
        if (plugged)
            attachment->plug();
        else
            attachment->unplug();
    } else if (veloran::emu::MicBaseUnit *unit = s_world->unit()) {
        if (plugged)
            unit->plug();
        else
            unit->unplug();
    }
}

std::shared_ptr<os::SimAudioWorld> emulatedAudioWorld()
{
    return s_audio ? s_audio->world : nullptr;
}

veloran::emu::MicBaseUnit *emulatedUnitForTests()
{
    return s_world ? s_world->unit() : nullptr;
}
