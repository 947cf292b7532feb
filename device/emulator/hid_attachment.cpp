#include "device/emulator/hid_attachment.h"

#include <algorithm>

namespace veloran::emu {

namespace {

std::wstring wide(const std::string& s) { return {s.begin(), s.end()}; }

}  // namespace

EmulatedHidDevice interfaceDescriptor(const ModelConfig& c, const std::string& path, int index)
{
    EmulatedHidDevice d;
    d.path = path;
    d.vendorId = c.vendorId;
    d.productId = c.productId;
    d.usagePage = c.usagePage;
    d.usage = 1;
    d.interfaceNumber = index;
    d.manufacturer = L"Veloran";
    d.product = wide(c.name);
    d.serialNumber = wide(c.serial);
    return d;
}

HidAttachment::HidAttachment(EmulatedHidBus& bus, MicBaseEmulator& emulator, std::string pathPrefix)
    : m_bus(bus), m_emulator(emulator)
{
    const int count = std::max(1, emulator.config().interfaceCount);
    for (int i = 0; i < count; ++i)
        m_paths.push_back(pathPrefix + "/if" + std::to_string(i));
    // The bus copies each report, so the sink may hand over its argument.
    m_emulator.setReportSink([this](const std::vector<uint8_t>& report) { m_bus.pushInput(protocolPath(), report); });
    // An unplug that the emulator decides on (mid-frame fault) pulls every interface.
    m_emulator.setUnplugHook([this] {
        for (const auto& path : m_paths)
            m_bus.unplug(path);
    });
    // The emulator has already powered itself on (firmware reboot).
    m_emulator.setPlugHook([this] { plugInterfaces(); });
}

HidAttachment::~HidAttachment()
{
    unplug();
    m_emulator.setReportSink({});
    m_emulator.setUnplugHook({});
    m_emulator.setPlugHook({});
}

bool HidAttachment::plug()
{
    if (!m_emulator.plugged())
        m_emulator.replug();
    return plugInterfaces();
}

bool HidAttachment::plugInterfaces()
{
    const ModelConfig& c = m_emulator.config();
    bool ok = true;
    for (size_t i = 0; i < m_paths.size(); ++i) {
        const EmulatedHidDevice d = interfaceDescriptor(c, m_paths[i], int(i));
        EmulatedHidFirmware fw;
        if (i == 0)
            fw.onOutputReport = [this](const uint8_t* data, size_t length) { m_emulator.onOutputReport(data, length); };
        ok = m_bus.plug(d, std::move(fw)) && ok;
    }
    return ok;
}

void HidAttachment::unplug()
{
    m_emulator.unplug();
    for (const auto& path : m_paths)
        m_bus.unplug(path);
}

}  // namespace veloran::emu
