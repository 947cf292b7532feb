// The device's FlashBoot boot loader (product 0x0820) behind its one HID
// interface: it answers the cm_ command reports, erases and programs the
// application area of the flash from numbered data packets, and confirms an
// upgrade only when the length, every packet, the CRC announced with cm_vcrc
// and the image's descriptor all check out; otherwise it stays silent. It
// never reports unasked: every reply is made while the command is taken.
//
// Written from the report layouts alone, with its own checksum and CRC code.
// Not thread-safe: the unit that owns it serialises every call.
#pragma once

#include "device/emulator/firmware_image.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace veloran::emu {

inline constexpr uint16_t kBootLoaderProductId = 0x0820;
inline constexpr size_t kUpgradeReportBytes = 64;

struct BootLoaderFaults {
    bool wrongVcrcEcho = false;       // cm_vcrc answered with another text
    bool duplicateVcrcReply = false;  // cm_vcrc answered twice
    bool plainConfirmReply = false;   // cm_upgd?isok answered with a text that is no command's
    int dropPacket = 0;               // number of a data packet that never arrives (0: none)
    int corruptPacket = 0;            // number of a data packet with a byte flipped on the way
    // The unit loses power once the packet before this number is taken, so
    // this one finds no device (1: as the erase is answered). 0: never.
    int powerLossAtPacket = 0;
};

// Replies of the device: [0x01][length][0x00][text][parameters], 64 bytes.
std::vector<uint8_t> makeBootReply(const std::string& text, const std::vector<uint8_t>& parameters = {});
// A command report (mode 1): 64 bytes, id 1, length byte 62, byte 2 zero and
// bytes 2..63 summing to 0 modulo 256. The 60-byte body, or none.
std::optional<std::array<uint8_t, 60>> commandReportBody(const uint8_t* report, size_t length);
// True when the body starts with the command text.
bool bodyIs(const std::array<uint8_t, 60>& body, const std::string& text);

class BootLoaderEmulator {
public:
    enum class Action { None, BootApplication, BootLoaderAgain, PowerLoss };
    using ReplySink = std::function<void(const std::vector<uint8_t>& report)>;

    BootLoaderEmulator(FirmwareFlash& flash, uint16_t applicationProductId, std::array<uint8_t, 3> version);

    void setFaults(const BootLoaderFaults& faults) { m_faults = faults; }
    void setVersion(std::array<uint8_t, 3> version) { m_version = version; }
    // A reboot forgets the session (announced CRC, erase, packets).
    void reset();
    // One output report of the host; replies go to the sink before it
    // returns. The result tells the unit what the device does next.
    Action onOutputReport(const uint8_t* report, size_t length, const ReplySink& reply);

    std::optional<uint32_t> announcedCrc() const { return m_announcedCrc; }
    std::optional<uint16_t> lastCheckedCrc() const { return m_checkedCrc; }
    bool confirmed() const { return m_confirmed; }
    size_t packetsTaken() const { return m_packetsTaken; }
    size_t packetsRefused() const { return m_packetsRefused; }

private:
    Action onCommand(const std::array<uint8_t, 60>& body, const ReplySink& reply);
    Action onDataPacket(const uint8_t* report, size_t length, const ReplySink& reply);
    bool upgradeChecksOut(uint32_t length);

    FirmwareFlash& m_flash;
    const uint16_t m_productId;
    std::array<uint8_t, 3> m_version;
    BootLoaderFaults m_faults;

    std::optional<uint32_t> m_announcedCrc;
    std::optional<uint16_t> m_checkedCrc;
    uint32_t m_codeAddress = 0;
    uint32_t m_codeLength = 0;  // 0: nothing erased in this session
    std::vector<bool> m_packets;
    bool m_confirmed = false;
    size_t m_packetsTaken = 0;
    size_t m_packetsRefused = 0;
};

}  // namespace veloran::emu
