// The physical microphone base: its flash, its application firmware (a
// MicBaseEmulator) and its FlashBoot boot loader, on an EmulatedHidBus. The
// unit decides what enumerates: at power-on and at every reboot the
// application when the flash holds a valid image of the model, else the boot
// loader (product 0x0820); a restart command or an unconfirmed finish sends
// it to the boot loader instead. The flash survives reboots and power cycles.
//
// The application also answers the boot-loader link's cm_vsrc (the boot
// loader's version) and cm_rest?isok (reboot into the boot loader after the
// restart delay), and its "SNDC" requests (an SndcResponder; known by their
// magic while no protocol frame is half-received). After any such request it
// holds back its beacons and notifications for kQuietMs, so the host's short
// read window finds only the reply.
//
// Time comes from step(nowMs) (an EmulatorRunner drives it, sleeping until
// nextStepMs()). Every public call is thread-safe.
#pragma once

#include "device/emulator/boot_loader_emulator.h"
#include "device/emulator/firmware_image.h"
#include "device/emulator/mic_base_emulator.h"
#include "device/emulator/sndc_responder.h"
#include "device/emulator/timed_device.h"
#include "device/hid/EmulatedHidBus.h"

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace veloran::emu {

struct UnitFaults {
    bool shortVersionReply = false;  // cm_vsrc answered with 8 body bytes, no version
    bool ignoreRestart = false;      // cm_rest?isok taken, but the unit never reboots
    // The application's beacon crosses each cm_ command: sent just before the
    // command reaches the unit, it lands behind whatever the host drained.
    bool beaconCrossesCommand = false;
    BootLoaderFaults bootLoader;
};

struct UnitOptions {
    uint32_t restartDelayMs = 600;  // cm_rest?isok until the boot loader enumerates
    uint32_t rebootDelayMs = 50;    // cm_fnsh?isok until the next firmware enumerates
    std::array<uint8_t, 3> bootLoaderVersion{0x01, 0x02, 0x0A};
};

class MicBaseUnit final : public TimedDevice {
public:
    enum class Mode { Off, Application, BootLoader };
    static constexpr uint32_t kQuietMs = 100;

    // Paths are pathPrefix + "/if<n>" for the application and
    // pathPrefix + "-boot/if0" for the boot loader. The unit starts off.
    MicBaseUnit(EmulatedHidBus& bus, ModelConfig application, std::string pathPrefix,
                size_t flashCapacity = FirmwareFlash::kDefaultCapacity);
    ~MicBaseUnit();
    MicBaseUnit(const MicBaseUnit&) = delete;
    MicBaseUnit& operator=(const MicBaseUnit&) = delete;

    void setOptions(const UnitOptions& options);
    void setFaults(const UnitFaults& faults);

    // The factory's programming (the unit should be off).
    void programFlash(const std::vector<uint8_t>& image);
    std::vector<uint8_t> readFlash(uint32_t address, size_t length) const;

    // Power.
    void plug();
    void unplug();
    void step(uint64_t nowMs) override;
    // A reboot, a quiet window to open or to end with reports held, or
    // whatever the running application has due.
    uint64_t nextStepMs() override;
    void setStepDueHook(StepDueHook hook) override;
    void setTimeSource(std::function<uint64_t()> nowMs) override;

    Mode mode() const;
    // Version of the valid application image in the flash.
    std::optional<std::pair<uint8_t, uint8_t>> applicationVersion() const;
    // The running application firmware, or null.
    std::shared_ptr<MicBaseEmulator> application() const;
    std::string applicationPath() const { return m_prefix + "/if0"; }
    std::string bootLoaderPath() const { return m_prefix + "-boot/if0"; }

    // Texts of every cm_ command the unit took, application and boot loader.
    std::vector<std::string> commandLog() const;
    // Runs f on the application's SNDC responder under the unit's lock
    // (values, faults, request log).
    void withSndcResponder(const std::function<void(SndcResponder&)>& f);
    std::optional<uint32_t> announcedCrc() const;
    std::optional<uint16_t> lastCheckedCrc() const;

private:
    // Timed from the first step after the command, so a late step cannot
    // shorten it.
    struct Reboot {
        uint32_t delayMs = 0;
        bool toBootLoader = false;
        std::optional<uint64_t> dueMs;
    };

    // All below need m_mutex.
    void powerOnLocked(bool toBootLoader);
    void powerOffLocked();
    void onApplicationReport(const uint8_t* report, size_t length);
    void onBootLoaderReport(const uint8_t* report, size_t length);
    bool applicationCommand(const uint8_t* report, size_t length);
    void logCommand(const std::array<uint8_t, 60>& body);
    // The quiet window opens at the first step after a command.
    void holdBack();

    // Reports of the application firmware pass here (quiet window).
    void gate(const std::vector<uint8_t>& report);
    void flushGate(uint64_t nowMs);

    // A new application gets the unit's time and wakes its driver.
    void attachApplication();
    void detachApplication();
    // The driver's clock, or the last step's time without one.
    uint64_t currentMs();
    // Under the lock that guards what made the step due at dueMs.
    void stepDueBy(uint64_t dueMs);
    void runStepDueHook();

    EmulatedHidBus& m_bus;
    const ModelConfig m_config;
    const std::string m_prefix;
    std::atomic<uint64_t> m_nowMs{0};  // time of the last step
    // What the driver was last told by nextStepMs(), which sets it holding
    // m_mutex and m_gateMutex: a change made under either lock is in that
    // answer or sees it. 0 from the start of a step until the driver asks
    // again.
    std::atomic<uint64_t> m_stepPromisedMs{0};

    // Taken last, before the driver's clock only.
    std::mutex m_hookMutex;
    StepDueHook m_stepDueHook;                // guarded by m_hookMutex
    std::function<uint64_t()> m_timeSource;  // guarded by m_hookMutex

    mutable std::mutex m_mutex;  // guards everything down to m_gateMutex
    FirmwareFlash m_flash;
    BootLoaderEmulator m_bootLoader;
    SndcResponder m_sndc;
    UnitOptions m_options;
    UnitFaults m_faults;
    Mode m_mode = Mode::Off;
    bool m_bootRequested = false;  // survives a reboot, not a power cycle
    std::optional<Reboot> m_reboot;
    std::shared_ptr<MicBaseEmulator> m_application;
    std::pair<uint8_t, uint8_t> m_applicationVersion{0, 0};
    std::vector<std::string> m_commands;

    // Taken after m_mutex when both are needed, never before it.
    std::mutex m_gateMutex;
    bool m_quietArmed = false;                  // guarded by m_gateMutex
    uint64_t m_quietUntilMs = 0;                // guarded by m_gateMutex
    std::vector<std::vector<uint8_t>> m_held;   // guarded by m_gateMutex
};

}  // namespace veloran::emu
