// The SNDC side of the boot-loader link over any transport: the link state
// machine, the parameter-block and EQ reads with their shared results, the
// dumps and the command family's operations. No Qt and no HID of its own:
// hidProtocol gives it the link, tests and fuzzers a fake one. One thread at
// a time; only the state and its changed flag may be read from others.
#pragma once

#include "device/bootloader/sndc_codec.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

namespace bootloader {

enum LinkState : uint32_t {
    stateClosed,
    stateAttached,
    stateOpened,
    stateLinking,
    stateReadDSVersion,
    stateReadDevVersion,
    stateLinked,
    stateReadID,
    stateKeepLinked,
    stateStartGetPara,
    stateReadAdcParam,
    stateReadDacParam,
    stateReadI2sParam,
    stateGetSpkEqNums,
    stateReadSpkEqParam,
    stateGetMicEqNums,
    stateReadMicEqParam,
    stateReadAlgParam,
    stateEndGetParam,
    stateFinishedOK,
    stateFinishedFail,
    stateIdle,
    stateBusy,
};
inline constexpr uint32_t kLinkStateCount = 23;
extern const char *const kLinkStateNames[kLinkStateCount];
inline constexpr size_t kDisplayNameCount = 12;
extern const char *const kLinkDisplayNames[kDisplayNameCount];
// "?" outside the table.
const char *linkStateName(uint32_t state);

// What the machine needs of the link under it.
class SndcIo
{
public:
    virtual ~SndcIo() = default;
    virtual bool isOpen() const = 0;
    virtual int sendSndcFrame(const uint8_t *payload, uint16_t length) = 0;
    // body: 256 bytes. The read result; length is the body length.
    virtual int readSndcReport(uint8_t *body, uint16_t *length) = 0;
};

class SndcLink
{
public:
    // A reply is given up after this many reports without completing, so a
    // device that never stops sending cannot hold the link.
    static constexpr int kMaxReportsPerReply = 2048;

    explicit SndcLink(SndcIo &io);

    uint32_t linkState() const { return m_state; }
    void setLinkState(uint32_t state);
    // Back to stateClosed without touching the changed flag.
    void resetLinkState() { m_state = stateClosed; }
    bool stateChanged() const { return m_changed != 0; }

    // One step of the machine.
    void step();

    int linkRequest(uint8_t group, uint8_t command, size_t dataBytes = 0, bool keepReply = false);
    bool readAdcParams();
    bool readDacParams();
    bool readI2sParams();
    bool readAlgParams();
    bool readSpkEqCount();
    bool readMicEqCount();
    bool readSpkEqParams();
    bool readMicEqParams();

    void printAdcParams() const;
    void printDacParams() const;
    void printI2sParams() const;
    void printEqParams() const;
    void printAlgParams() const;

    // Operation row of the command table with its arguments: channel and a
    // value (u8 for shapes 1 and 2, u32 for 3 and 4), or a record of exactly
    // 24 or 13 bytes. Returns the read result, or -1 when the arguments do
    // not fit the shape or the frame could not be sent.
    int commandOperation(size_t row, uint8_t channel = 0, uint32_t value = 0, const uint8_t *record = nullptr,
                         size_t recordBytes = 0);
    const std::vector<uint8_t> &commandTemplate(size_t row) const { return m_templates.at(row); }

    // Shared results.
    const AdcBlock &adc() const { return m_adc; }
    const DacBlock &dac() const { return m_dac; }
    const I2sBlock &i2s() const { return m_i2s; }
    const AlgBlock &alg() const { return m_alg; }
    bool adcValid() const { return m_adcValid; }
    bool dacValid() const { return m_dacValid; }
    bool i2sValid() const { return m_i2sValid; }
    bool algValid() const { return m_algValid; }
    uint8_t spkEqCount() const { return m_spkEqCount; }
    uint8_t micEqCount() const { return m_micEqCount; }
    // Null until a count has been read.
    const std::vector<EqRecord> *spkEq() const { return m_spkEq ? &*m_spkEq : nullptr; }
    const std::vector<EqRecord> *micEq() const { return m_micEq ? &*m_micEq : nullptr; }

    // The last reply kept by a command (256 bytes) and its length.
    const uint8_t *lastReply() const { return m_reply; }
    int lastReplyCount() const { return m_replyCount; }
    void storeReply(const uint8_t *body, int count);

private:
    bool send(uint8_t group, uint8_t channel, uint8_t command, size_t dataBytes = 0);
    bool readReply(SndcReplyState &reply);
    void logChecksum(const SndcReplyState &reply) const;
    bool readBlock(uint8_t command, void *block, size_t size, const void *fallback, void (SndcLink::*dump)() const);
    bool readEqCount(uint8_t command, const char *label, uint8_t &count, std::optional<std::vector<EqRecord>> &records);
    bool readEqRecords(uint8_t command, uint8_t count, std::optional<std::vector<EqRecord>> &records);

    SndcIo &m_io;
    std::atomic<uint32_t> m_state{stateClosed};
    std::atomic<uint8_t> m_changed{0};

    uint8_t m_reply[256] = {};
    int m_replyCount = 0;
    bool m_adcValid = false, m_dacValid = false, m_i2sValid = false, m_algValid = false;
    uint8_t m_spkEqCount = 0, m_micEqCount = 0;
    AdcBlock m_adc{};
    DacBlock m_dac{};
    I2sBlock m_i2s{};
    AlgBlock m_alg{};
    std::optional<std::vector<EqRecord>> m_spkEq, m_micEq;
    std::vector<std::vector<uint8_t>> m_templates; // one per operation row
};

} // namespace bootloader
