// The T40 and U20 firmware's side of the pull upgrade, with the emulator's
// own codec for the "AA55" upgrade frames (it shares no code with the
// program's). The host starts it with 0x80; the device then asks for the
// image body block by block (0x81), stages what it receives, checks the
// staged body and reports the result (0x82); after a success it reboots into
// the new firmware. Whatever interrupts a run leaves the old firmware.
//
// Not thread-safe: MicBaseEmulator drives it under its state lock and turns
// its outputs into frames, faults and power events.
#pragma once

#include "device/emulator/fault_menu.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace veloran::emu {

inline constexpr uint16_t kMsgPullUpgrade = 0x8006;

namespace pull {

inline constexpr uint8_t kStart = 0x80;
inline constexpr uint8_t kBlock = 0x81;
inline constexpr uint8_t kResult = 0x82;

// A block reply: frame head, address and length, the block.
inline constexpr size_t kBlockReplyOverheadBytes = 7 + 6;

inline constexpr uint8_t kResultOk = 0;
inline constexpr uint8_t kResultOlderVersion = 1;
inline constexpr uint8_t kResultChecksum = 2;

// The body pulled is a firmware image (firmware_image.h); the device
// learns its length from the descriptor in block 0.
inline constexpr size_t kMaxBodyBytes = 1024 * 1024;

uint16_t crc16(const uint8_t* bytes, size_t count);
std::vector<uint8_t> encodeFrame(uint8_t command, const std::vector<uint8_t>& data);

}  // namespace pull

struct PullConfig {
    uint8_t startResult = 0;         // answer to 0x80
    uint16_t blockBytes = 1024;      // block length the device asks for
    uint32_t askAgainAfterMs = 1500; // no block for this long: the request goes again
    int maxTries = 4;                // per block; then the device gives up
    uint32_t rebootAfterMs = 50;     // after the result has left
    uint32_t bootMs = 400;           // off the bus while rebooting
};

struct PullFault {
    enum class Kind {
        None,
        Unplug,        // power lost when request k is due
        Stall,         // the device hangs when request k is due
        DropRequest,   // request k never leaves (first time)
        DuplicateRequest,
        CorruptRequest,     // request k leaves with a bad frame checksum
        DamageBlockOnce,    // block k arrives damaged once
        DamageBlockAlways,  // block k never arrives whole
        ForceResult,        // the final result is `result`, whatever the check says
        RefuseStart,        // every start is answered with `result` (1: battery low)
        DropResult,         // the final result never leaves; the device goes on as if it had
    };
    Kind kind = Kind::None;
    size_t block = 0;
    uint8_t result = 0;
};

class PullUpgradeDevice {
public:
    struct Message {
        std::vector<uint8_t> payload;  // an upgrade frame
        bool asReply = false;          // reply to the frame just received, else a notification
        std::optional<FrameFault::Kind> fault;
    };
    struct Output {
        std::vector<Message> messages;
        bool powerLost = false;  // off the bus now; the old firmware stays
        bool reboot = false;     // off the bus now, back with the new firmware after bootMs
    };

    PullUpgradeDevice(PullConfig config, uint16_t productId, uint8_t major, uint8_t minor);

    Output onFrame(const std::vector<uint8_t>& payload, uint64_t nowMs);
    Output step(uint64_t nowMs);
    // When step() next has something to do, if ever.
    std::optional<uint64_t> nextStepMs() const;
    // Power cycle: a run in progress is lost.
    void powerCycle();
    // A new fault is armed afresh, even after an earlier one has fired.
    void setFault(const PullFault& fault)
    {
        m_fault = fault;
        m_faultSpent = false;
    }

    uint8_t major() const { return m_major; }
    uint8_t minor() const { return m_minor; }
    const std::vector<uint8_t>& flash() const { return m_flash; }
    // Blocks written to the staging area (rewrites count again).
    size_t blocksWritten() const { return m_blocksWritten; }

private:
    enum class State { Idle, Pulling, Stalled, Rebooting };

    void ask(Output& out, bool asReply, uint64_t nowMs);
    void finish(Output& out, uint8_t result, uint64_t nowMs);
    void onBlock(Output& out, const std::vector<uint8_t>& data, bool frameOk, uint64_t nowMs);
    uint8_t checkStaged() const;
    uint32_t blockLength() const;

    const PullConfig m_config;
    const uint16_t m_productId;
    PullFault m_fault;
    bool m_faultSpent = false;  // once-only faults have fired

    uint8_t m_major;
    uint8_t m_minor;
    std::vector<uint8_t> m_flash;  // the running firmware's body

    State m_state = State::Idle;
    std::vector<uint8_t> m_staged;
    uint32_t m_bodyBytes = 0;  // known from the descriptor in block 0
    uint32_t m_address = 0;    // of the block asked for
    uint32_t m_previousAddress = 0;
    size_t m_block = 0;
    int m_tries = 0;
    uint64_t m_askedAtMs = 0;
    uint64_t m_rebootAtMs = 0;
    size_t m_blocksWritten = 0;
};

}  // namespace veloran::emu
