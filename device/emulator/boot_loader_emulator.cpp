#include "device/emulator/boot_loader_emulator.h"

#include <algorithm>
#include <cstring>

namespace veloran::emu {

namespace {

constexpr size_t kPacketBytes = 56;

bool sumsToZero(const uint8_t* bytes, size_t count)
{
    unsigned sum = 0;
    for (size_t i = 0; i < count; ++i)
        sum += bytes[i];
    return (sum & 0xFF) == 0;
}

// CRC-16/XMODEM, bit by bit.
uint16_t xmodemCrc(const std::vector<uint8_t>& bytes)
{
    uint16_t crc = 0;
    for (uint8_t b : bytes) {
        crc ^= uint16_t(b << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 0x8000) ? uint16_t((crc << 1) ^ 0x1021) : uint16_t(crc << 1);
    }
    return crc;
}

}  // namespace

std::vector<uint8_t> makeBootReply(const std::string& text, const std::vector<uint8_t>& parameters)
{
    std::vector<uint8_t> r(kUpgradeReportBytes, 0);
    const size_t body = std::min<size_t>(1 + text.size() + parameters.size(), kUpgradeReportBytes - 2);
    r[0] = 0x01;
    r[1] = uint8_t(body);
    std::vector<uint8_t> b{0x00};
    b.insert(b.end(), text.begin(), text.end());
    b.insert(b.end(), parameters.begin(), parameters.end());
    std::copy_n(b.begin(), body, r.begin() + 2);
    return r;
}

std::optional<std::array<uint8_t, 60>> commandReportBody(const uint8_t* report, size_t length)
{
    if (report == nullptr || length != kUpgradeReportBytes || report[0] != 0x01 || report[1] != 62 || report[2] != 0)
        return std::nullopt;
    if (!sumsToZero(report + 2, kUpgradeReportBytes - 2))
        return std::nullopt;
    std::array<uint8_t, 60> body{};
    std::memcpy(body.data(), report + 3, body.size());
    return body;
}

bool bodyIs(const std::array<uint8_t, 60>& body, const std::string& text)
{
    // The text ends where the body has its terminator or its parameters.
    return text.size() <= body.size() && std::memcmp(body.data(), text.data(), text.size()) == 0;
}

BootLoaderEmulator::BootLoaderEmulator(FirmwareFlash& flash, uint16_t applicationProductId,
                                       std::array<uint8_t, 3> version)
    : m_flash(flash), m_productId(applicationProductId), m_version(version)
{
}

void BootLoaderEmulator::reset()
{
    m_announcedCrc.reset();
    m_codeAddress = m_codeLength = 0;
    m_packets.clear();
    m_confirmed = false;
}

BootLoaderEmulator::Action BootLoaderEmulator::onOutputReport(const uint8_t* report, size_t length,
                                                              const ReplySink& reply)
{
    if (report == nullptr || length != kUpgradeReportBytes || report[0] != 0x01)
        return Action::None;
    if (report[1] == 'c' && report[2] == 'm')
        return onDataPacket(report, length, reply);
    if (const auto body = commandReportBody(report, length))
        return onCommand(*body, reply);
    return Action::None;
}

BootLoaderEmulator::Action BootLoaderEmulator::onCommand(const std::array<uint8_t, 60>& body, const ReplySink& reply)
{
    if (bodyIs(body, "cm_vsrc")) {
        reply(makeBootReply("cm_vsrc", {m_version[0], m_version[1], m_version[2]}));
        return Action::None;
    }
    if (bodyIs(body, "cm_vcrc")) {
        // 01 01 01 AA BB CC, then the CRC as u32.
        m_announcedCrc = readLe(body.data() + 13, 4);
        const auto answer = makeBootReply(m_faults.wrongVcrcEcho ? "cm_vcrd" : "cm_vcrc");
        reply(answer);
        if (m_faults.duplicateVcrcReply)
            reply(answer);
        return Action::None;
    }
    if (bodyIs(body, "cm_code")) {
        const uint32_t address = readLe(body.data() + 7, 3);
        const uint32_t length = readLe(body.data() + 10, 3);
        if (!m_flash.erase(address, length))
            return Action::None;
        m_codeAddress = address;
        m_codeLength = length;
        m_packets.assign((length + kPacketBytes - 1) / kPacketBytes, false);
        m_confirmed = false;
        reply(makeBootReply("cm_code"));
        return m_faults.powerLossAtPacket == 1 ? Action::PowerLoss : Action::None;
    }
    if (bodyIs(body, "cm_upgd?isok")) {
        if (upgradeChecksOut(readLe(body.data() + 12, 3))) {
            m_confirmed = true;
            reply(makeBootReply(m_faults.plainConfirmReply ? "ok" : "cm_upgd!ok"));
        }
        return Action::None;
    }
    if (bodyIs(body, "cm_fnsh?isok"))
        return m_confirmed ? Action::BootApplication : Action::BootLoaderAgain;
    return Action::None;
}

BootLoaderEmulator::Action BootLoaderEmulator::onDataPacket(const uint8_t* report, size_t length, const ReplySink&)
{
    const int number = int(readLe(report + 3, 2));
    if (m_faults.dropPacket != 0 && number == m_faults.dropPacket)
        return Action::None;
    std::vector<uint8_t> bytes(report, report + length);
    if (m_faults.corruptPacket != 0 && number == m_faults.corruptPacket)
        bytes[20] ^= 0x40;
    const uint32_t count = readLe(bytes.data() + 5, 2);
    if (!sumsToZero(bytes.data() + 2, kUpgradeReportBytes - 2) || m_codeLength == 0 || number < 1 ||
        count != m_packets.size() || size_t(number) > m_packets.size()) {
        ++m_packetsRefused;
        return Action::None;
    }
    const uint32_t offset = uint32_t(number - 1) * kPacketBytes;
    const size_t n = std::min<size_t>(kPacketBytes, m_codeLength - offset);
    if (!m_flash.write(m_codeAddress + offset, bytes.data() + 7, n)) {
        ++m_packetsRefused;
        return Action::None;
    }
    m_packets[size_t(number - 1)] = true;
    ++m_packetsTaken;
    if (m_faults.powerLossAtPacket > 1 && number == m_faults.powerLossAtPacket - 1)
        return Action::PowerLoss;
    return Action::None;
}

bool BootLoaderEmulator::upgradeChecksOut(uint32_t length)
{
    if (m_codeLength == 0 || length != m_codeLength || !m_announcedCrc)
        return false;
    if (!std::all_of(m_packets.begin(), m_packets.end(), [](bool taken) { return taken; }))
        return false;
    const std::vector<uint8_t> image = m_flash.read(m_codeAddress, m_codeLength);
    m_checkedCrc = xmodemCrc(image);
    if (*m_checkedCrc != *m_announcedCrc)
        return false;
    const auto descriptor = readImageDescriptor(image.data(), image.size());
    return descriptor && descriptor->productId == m_productId && descriptor->length == m_codeLength &&
           m_codeAddress == FirmwareFlash::kApplicationAddress;
}

}  // namespace veloran::emu
