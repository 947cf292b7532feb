#include "device/emulator/mic_base_unit.h"

#include "device/emulator/hid_attachment.h"

#include <algorithm>
#include <cstring>

namespace veloran::emu {

namespace {

// Command texts the unit knows, longest first where one begins another.
const char* const kCommandTexts[] = {"cm_rest?isok", "cm_romt?isok", "cm_upgd?isok", "cm_fnsh?isok",
                                     "cm_dasd?isok", "cm_upgd!ok",   "cm_vcrc",      "cm_vsrc",
                                     "cm_read",      "cm_boot",      "cm_code",      "cm_cnst",
                                     "cm_cnfg"};

}  // namespace

MicBaseUnit::MicBaseUnit(EmulatedHidBus& bus, ModelConfig application, std::string pathPrefix, size_t flashCapacity)
    : m_bus(bus),
      m_config(std::move(application)),
      m_prefix(std::move(pathPrefix)),
      m_flash(flashCapacity),
      m_bootLoader(m_flash, m_config.productId, UnitOptions{}.bootLoaderVersion)
{
}

MicBaseUnit::~MicBaseUnit()
{
    std::lock_guard lock(m_mutex);
    powerOffLocked();
    if (m_application)
        detachApplication();
}

void MicBaseUnit::setOptions(const UnitOptions& options)
{
    std::lock_guard lock(m_mutex);
    m_options = options;
    m_bootLoader.setVersion(options.bootLoaderVersion);
}

void MicBaseUnit::setFaults(const UnitFaults& faults)
{
    std::lock_guard lock(m_mutex);
    m_faults = faults;
    m_bootLoader.setFaults(faults.bootLoader);
}

void MicBaseUnit::programFlash(const std::vector<uint8_t>& image)
{
    std::lock_guard lock(m_mutex);
    m_flash.program(image);
}

std::vector<uint8_t> MicBaseUnit::readFlash(uint32_t address, size_t length) const
{
    std::lock_guard lock(m_mutex);
    return m_flash.read(address, length);
}

void MicBaseUnit::plug()
{
    std::lock_guard lock(m_mutex);
    if (m_mode != Mode::Off)
        return;
    m_bootRequested = false;
    powerOnLocked(false);
    stepDueBy(0);
}

void MicBaseUnit::unplug()
{
    std::lock_guard lock(m_mutex);
    powerOffLocked();
}

void MicBaseUnit::powerOffLocked()
{
    if (m_mode == Mode::Application) {
        m_application->unplug();
        for (int i = 0; i < std::max(1, m_config.interfaceCount); ++i)
            m_bus.unplug(m_prefix + "/if" + std::to_string(i));
    } else if (m_mode == Mode::BootLoader) {
        m_bus.unplug(bootLoaderPath());
    }
    m_mode = Mode::Off;
    m_reboot.reset();
    std::lock_guard gate(m_gateMutex);
    m_held.clear();
    m_quietArmed = false;
    m_quietUntilMs = 0;
}

void MicBaseUnit::powerOnLocked(bool toBootLoader)
{
    const auto image = m_flash.application(m_config.productId);
    if (toBootLoader || !image) {
        m_bootLoader.reset();
        EmulatedHidDevice d;
        d.path = bootLoaderPath();
        d.vendorId = m_config.vendorId;
        d.productId = kBootLoaderProductId;
        d.usagePage = 0xFF00;
        d.usage = 1;
        d.manufacturer = L"Veloran";
        d.product = L"FlashBoot";
        EmulatedHidFirmware fw;
        fw.onOutputReport = [this](const uint8_t* data, size_t length) { onBootLoaderReport(data, length); };
        m_bus.plug(d, std::move(fw));
        m_mode = Mode::BootLoader;
        return;
    }
    const std::pair<uint8_t, uint8_t> version{image->major, image->minor};
    if (!m_application || version != m_applicationVersion) {
        // New firmware: a new application with the image's version.
        if (m_application)
            detachApplication();
        ModelConfig config = m_config;
        config.versionAnswer = makeVersionAnswer(version.first, version.second);
        m_application = std::make_shared<MicBaseEmulator>(config);
        attachApplication();
        m_applicationVersion = version;
    } else if (!m_application->plugged()) {
        m_application->replug();
    }
    for (int i = 0; i < std::max(1, m_config.interfaceCount); ++i) {
        EmulatedHidDevice d = interfaceDescriptor(m_config, m_prefix + "/if" + std::to_string(i), i);
        d.releaseNumber = uint16_t(version.first << 8 | version.second);
        EmulatedHidFirmware fw;
        if (i == 0)
            fw.onOutputReport = [this](const uint8_t* data, size_t length) { onApplicationReport(data, length); };
        m_bus.plug(d, std::move(fw));
    }
    m_mode = Mode::Application;
}

void MicBaseUnit::attachApplication()
{
    m_application->setReportSink([this](const std::vector<uint8_t>& report) { gate(report); });
    m_application->setUnplugHook([this] {
        for (int i = 0; i < std::max(1, m_config.interfaceCount); ++i)
            m_bus.unplug(m_prefix + "/if" + std::to_string(i));
    });
    m_application->setStepDueHook([this] { runStepDueHook(); });
    m_application->setTimeSource([this] { return currentMs(); });
}

void MicBaseUnit::detachApplication()
{
    m_application->setReportSink({});
    m_application->setUnplugHook({});
    m_application->setStepDueHook({});
    m_application->setTimeSource({});
}

void MicBaseUnit::setStepDueHook(StepDueHook hook)
{
    std::lock_guard lock(m_hookMutex);
    m_stepDueHook = std::move(hook);
}

void MicBaseUnit::setTimeSource(std::function<uint64_t()> nowMs)
{
    std::lock_guard lock(m_hookMutex);
    m_timeSource = std::move(nowMs);
}

uint64_t MicBaseUnit::currentMs()
{
    std::lock_guard lock(m_hookMutex);
    return m_timeSource ? std::max(m_nowMs.load(), m_timeSource()) : m_nowMs.load();
}

void MicBaseUnit::runStepDueHook()
{
    std::lock_guard lock(m_hookMutex);
    if (m_stepDueHook)
        m_stepDueHook();
}

void MicBaseUnit::stepDueBy(uint64_t dueMs)
{
    if (dueMs >= m_stepPromisedMs.load())
        return;
    m_stepPromisedMs = 0;  // one wake-up is enough until the driver asks again
    runStepDueHook();
}

uint64_t MicBaseUnit::nextStepMs()
{
    std::lock_guard lock(m_mutex);
    uint64_t due = kNoStepDue;
    if (m_reboot)
        due = m_reboot->dueMs.value_or(0);  // unset: timed by the next step
    if (m_mode == Mode::Application)
        due = std::min(due, m_application->nextStepMs());
    std::lock_guard gate(m_gateMutex);
    if (m_quietArmed)
        due = 0;
    else if (!m_held.empty())
        due = std::min(due, m_quietUntilMs);
    m_stepPromisedMs = due;
    return due;
}

void MicBaseUnit::step(uint64_t nowMs)
{
    m_stepPromisedMs = 0;
    m_nowMs = nowMs;
    std::shared_ptr<MicBaseEmulator> application;
    {
        std::lock_guard lock(m_mutex);
        if (m_reboot && !m_reboot->dueMs)
            m_reboot->dueMs = nowMs + m_reboot->delayMs;
        if (m_reboot && nowMs >= *m_reboot->dueMs) {
            const bool toBootLoader = m_reboot->toBootLoader;
            powerOffLocked();
            m_bootRequested = toBootLoader;
            powerOnLocked(toBootLoader);
        }
        if (m_mode == Mode::Application)
            application = m_application;
    }
    {
        std::lock_guard gate(m_gateMutex);
        if (m_quietArmed) {
            m_quietArmed = false;
            m_quietUntilMs = nowMs + kQuietMs;
        }
    }
    if (application)
        application->step(nowMs);
    flushGate(nowMs);
}

MicBaseUnit::Mode MicBaseUnit::mode() const
{
    std::lock_guard lock(m_mutex);
    return m_mode;
}

std::optional<std::pair<uint8_t, uint8_t>> MicBaseUnit::applicationVersion() const
{
    std::lock_guard lock(m_mutex);
    const auto image = m_flash.application(m_config.productId);
    if (!image)
        return std::nullopt;
    return std::make_pair(image->major, image->minor);
}

std::shared_ptr<MicBaseEmulator> MicBaseUnit::application() const
{
    std::lock_guard lock(m_mutex);
    return m_mode == Mode::Application ? m_application : nullptr;
}

std::vector<std::string> MicBaseUnit::commandLog() const
{
    std::lock_guard lock(m_mutex);
    return m_commands;
}

std::optional<uint32_t> MicBaseUnit::announcedCrc() const
{
    std::lock_guard lock(m_mutex);
    return m_bootLoader.announcedCrc();
}

std::optional<uint16_t> MicBaseUnit::lastCheckedCrc() const
{
    std::lock_guard lock(m_mutex);
    return m_bootLoader.lastCheckedCrc();
}

void MicBaseUnit::logCommand(const std::array<uint8_t, 60>& body)
{
    for (const char* text : kCommandTexts) {
        if (bodyIs(body, text)) {
            m_commands.emplace_back(text);
            return;
        }
    }
    m_commands.emplace_back("?");
}

void MicBaseUnit::holdBack()
{
    std::lock_guard gate(m_gateMutex);
    m_quietArmed = true;
    stepDueBy(0);
}

bool MicBaseUnit::applicationCommand(const uint8_t* report, size_t length)
{
    const auto body = commandReportBody(report, length);
    if (!body)
        return false;
    logCommand(*body);
    if (m_faults.beaconCrossesCommand)
        m_application->sendBeacon();
    holdBack();
    if (bodyIs(*body, "cm_vsrc")) {
        const auto& v = m_options.bootLoaderVersion;
        m_bus.pushInput(applicationPath(), m_faults.shortVersionReply ? makeBootReply("cm_vsrc")
                                                                      : makeBootReply("cm_vsrc", {v[0], v[1], v[2]}));
    } else if (bodyIs(*body, "cm_rest?isok") && !m_faults.ignoreRestart) {
        m_reboot = Reboot{m_options.restartDelayMs, true, std::nullopt};
        stepDueBy(0);
    }
    return true;
}

void MicBaseUnit::onApplicationReport(const uint8_t* report, size_t length)
{
    std::shared_ptr<MicBaseEmulator> application;
    {
        std::lock_guard lock(m_mutex);
        if (m_mode != Mode::Application || applicationCommand(report, length))
            return;
        if (SndcResponder::isRequest(report, length) && !m_application->midFrame()) {
            holdBack();
            m_sndc.onOutputReport(report, length, [this](const std::vector<uint8_t>& reply) {
                m_bus.pushInput(applicationPath(), reply);
            });
            return;
        }
        application = m_application;
    }
    application->onOutputReport(report, length);
}

void MicBaseUnit::withSndcResponder(const std::function<void(SndcResponder&)>& f)
{
    std::lock_guard lock(m_mutex);
    f(m_sndc);
}

void MicBaseUnit::onBootLoaderReport(const uint8_t* report, size_t length)
{
    std::lock_guard lock(m_mutex);
    if (m_mode != Mode::BootLoader)
        return;
    if (const auto body = commandReportBody(report, length))
        logCommand(*body);
    const auto action = m_bootLoader.onOutputReport(
        report, length, [this](const std::vector<uint8_t>& reply) { m_bus.pushInput(bootLoaderPath(), reply); });
    switch (action) {
    case BootLoaderEmulator::Action::None:
        break;
    case BootLoaderEmulator::Action::PowerLoss:
        powerOffLocked();
        break;
    case BootLoaderEmulator::Action::BootApplication:
        m_reboot = Reboot{m_options.rebootDelayMs, false, std::nullopt};
        stepDueBy(0);
        break;
    case BootLoaderEmulator::Action::BootLoaderAgain:
        m_reboot = Reboot{m_options.rebootDelayMs, true, std::nullopt};
        stepDueBy(0);
        break;
    }
}

void MicBaseUnit::gate(const std::vector<uint8_t>& report)
{
    std::lock_guard gate(m_gateMutex);
    if (m_quietArmed || currentMs() < m_quietUntilMs) {
        // Bounded as the host's own input queue would be.
        if (m_held.size() >= EmulatedHidBus::kInputQueueLimit)
            m_held.erase(m_held.begin());
        m_held.push_back(report);
        stepDueBy(m_quietArmed ? 0 : m_quietUntilMs);
        return;
    }
    for (const auto& held : m_held)
        m_bus.pushInput(applicationPath(), held);
    m_held.clear();
    m_bus.pushInput(applicationPath(), report);
}

void MicBaseUnit::flushGate(uint64_t nowMs)
{
    std::lock_guard gate(m_gateMutex);
    if (m_quietArmed || nowMs < m_quietUntilMs)
        return;
    for (const auto& held : m_held)
        m_bus.pushInput(applicationPath(), held);
    m_held.clear();
}

}  // namespace veloran::emu
