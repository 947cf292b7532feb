// The link state machine under any replies: whatever the device sends (or
// not) at every step, and whether the link is open, the state stays one of
// the 23 and moves only along the machine's table.
#include "device/bootloader/bootloader_log.h"
#include "device/bootloader/sndc_link.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

using namespace bootloader;

namespace {

// Where each state may go on a step of an open link, written out apart from
// the machine: its own state, or the next one.
constexpr uint32_t kNext[kLinkStateCount] = {
    stateClosed,        stateAttached,      stateLinking,        stateReadDSVersion, stateReadDevVersion,
    stateLinked,        stateReadID,        stateKeepLinked,     stateStartGetPara,  stateReadAdcParam,
    stateReadDacParam,  stateReadI2sParam,  stateGetSpkEqNums,   stateReadSpkEqParam, stateGetMicEqNums,
    stateReadMicEqParam, stateReadAlgParam, stateEndGetParam,    stateFinishedOK,    stateFinishedOK,
    stateFinishedFail,  stateIdle,          stateBusy,
};

class FuzzIo : public SndcIo
{
public:
    FuzzIo(const uint8_t *data, size_t size)
        : m_data(data)
        , m_size(size)
    {
    }

    bool open = true;
    bool exhausted() const { return m_at >= m_size; }
    uint8_t next() { return m_at < m_size ? m_data[m_at++] : 0; }

    bool isOpen() const override { return open; }
    int sendSndcFrame(const uint8_t *, uint16_t length) override { return (next() & 0x0F) == 0 ? -1 : length + 8; }
    int readSndcReport(uint8_t *body, uint16_t *length) override
    {
        *length = 0;
        const uint8_t kind = next();
        if (kind < 0x20)
            return kind < 0x08 ? -1 : 0;
        const size_t n = std::min<size_t>(next(), 254);
        const size_t available = std::min(n, m_size - std::min(m_at, m_size));
        std::memset(body, 0, 256);
        std::memcpy(body, m_data + m_at, available);
        m_at += available;
        // Often a reply-shaped body: the magic and a length of the data given.
        if ((kind & 0x40) && available >= 10) {
            std::memcpy(body, kSndcMagic, sizeof kSndcMagic);
            const size_t data = (kind & 0x80) ? available - 11 : body[8];
            body[8] = uint8_t(data);
            body[9] = uint8_t(data >> 8);
        }
        *length = uint16_t(available);
        return int(available) + 2;
    }

private:
    const uint8_t *m_data;
    size_t m_size;
    size_t m_at = 0;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    static const bool quiet = [] {
        setPrintSink([](const std::string &) {});
        return true;
    }();
    (void)quiet;

    FuzzIo io(data, size);
    SndcLink link(io);
    link.setLinkState(stateOpened);
    for (int steps = 0; steps < 200 && !io.exhausted(); ++steps) {
        const uint8_t control = io.next();
        io.open = (control & 0x07) != 0;
        if ((control & 0xF8) == 0xF8)
            link.setLinkState(io.next() % kLinkStateCount);
        const uint32_t before = link.linkState();
        link.step();
        const uint32_t after = link.linkState();
        if (after >= kLinkStateCount)
            std::abort();
        if (!io.open && after != stateFinishedFail)
            std::abort();
        if (io.open && after != before && after != kNext[before])
            std::abort();
        if (io.open && (before == stateIdle || before == stateBusy) && link.stateChanged())
            std::abort();
    }
    link.printEqParams();
    return 0;
}
