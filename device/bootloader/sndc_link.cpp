#include "device/bootloader/sndc_link.h"

#include "device/bootloader/bootloader_log.h"

#include <algorithm>
#include <cstring>

namespace bootloader {

const char *const kLinkStateNames[kLinkStateCount] = {
    "stateClosed",        "stateAttached",      "stateOpened",         "stateLinking",      "stateReadDSVersion",
    "stateReadDevVersion", "stateLinked",       "stateReadID",         "stateKeepLinked",   "stateStartGetPara",
    "stateReadAdcParam",  "stateReadDacParam",  "stateReadI2sParam",   "stateGetSpkEqNums", "stateReadSpkEqParam",
    "stateGetMicEqNums",  "stateReadMicEqParam", "stateReadAlgParam",  "stateEndGetParam",  "stateFinishedOK",
    "stateFinishedFail",  "stateIdle",          "stateBusy",
};

const char *const kLinkDisplayNames[kDisplayNameCount] = {
    "Closed       ", "Opened       ", "Handshake    ", "Linking      ", "Readversion  ", "Linked       ",
    "Read ID      ", "ReadSpkInfo  ", "Handshaked   ", "Idle         ", "Busy         ", "",
};

const char *linkStateName(uint32_t state) { return state < kLinkStateCount ? kLinkStateNames[state] : "?"; }

SndcLink::SndcLink(SndcIo &io)
    : m_io(io)
{
    for (const SndcCommand &c : sndcCommandTable()) {
        std::vector<uint8_t> t(sndcTemplateBytes(c), 0);
        t[0] = c.group;
        t[2] = c.command;
        t[3] = 0;
        t[4] = c.dataLength;
        m_templates.push_back(std::move(t));
    }
}

void SndcLink::setLinkState(uint32_t state)
{
    m_state = state;
    m_changed = 1;
}

void SndcLink::storeReply(const uint8_t *body, int count)
{
    std::memcpy(m_reply, body, sizeof m_reply);
    m_replyCount = count;
}

bool SndcLink::send(uint8_t group, uint8_t channel, uint8_t command, size_t dataBytes)
{
    const std::vector<uint8_t> payload = sndcPayload(group, channel, command, nullptr, dataBytes);
    return m_io.sendSndcFrame(payload.data(), uint16_t(payload.size())) >= 0;
}

int SndcLink::linkRequest(uint8_t group, uint8_t command, size_t dataBytes, bool keepReply)
{
    if (!send(group, 0, command, dataBytes))
        return -1;
    uint8_t body[256] = {};
    uint16_t length = 0;
    const int result = m_io.readSndcReport(body, &length);
    if (keepReply)
        storeReply(body, length);
    return result;
}

bool SndcLink::readReply(SndcReplyState &reply)
{
    uint8_t body[256];
    for (int reports = 0; !reply.complete && reports < kMaxReportsPerReply; ++reports) {
        uint16_t length = 0;
        if (m_io.readSndcReport(body, &length) <= 2)
            break;
        reply.ready += reassembleSndcReply(body, std::min<int>(length, int(sizeof body)), reply);
    }
    return reply.complete;
}

void SndcLink::logChecksum(const SndcReplyState &reply) const
{
    const uint8_t computed = sndcChecksum(reply.buffer.data(), size_t(reply.total) - 1);
    print("checkSum=%02X %02X\n", computed, reply.buffer[size_t(reply.total) - 1]);
}

bool SndcLink::readBlock(uint8_t command, void *block, size_t size, const void *fallback,
                         void (SndcLink::*dump)() const)
{
    send(0x10, 0, command);
    SndcReplyState reply;
    // What a short reply leaves out keeps the default.
    std::memcpy(block, fallback, size);
    if (readReply(reply)) {
        logChecksum(reply);
        copyReplyData(reply, block, size);
        return true;
    }
    (this->*dump)();
    return true;
}

bool SndcLink::readAdcParams()
{
    const AdcBlock fallback = defaultAdcBlock();
    return readBlock(0x81, &m_adc, sizeof m_adc, &fallback, &SndcLink::printAdcParams);
}

bool SndcLink::readDacParams()
{
    const DacBlock fallback = defaultDacBlock();
    return readBlock(0x82, &m_dac, sizeof m_dac, &fallback, &SndcLink::printDacParams);
}

bool SndcLink::readI2sParams()
{
    const I2sBlock fallback = defaultI2sBlock();
    return readBlock(0x83, &m_i2s, sizeof m_i2s, &fallback, &SndcLink::printI2sParams);
}

bool SndcLink::readAlgParams()
{
    const AlgBlock fallback = defaultAlgBlock();
    return readBlock(0x88, &m_alg, sizeof m_alg, &fallback, &SndcLink::printAlgParams);
}

bool SndcLink::readEqCount(uint8_t command, const char *label, uint8_t &count,
                           std::optional<std::vector<EqRecord>> &records)
{
    send(0x10, 0, command);
    uint8_t body[256] = {};
    uint16_t length = 0;
    m_io.readSndcReport(body, &length);
    print("readlen=%d\n", length);
    // The count is data byte 0 (body byte 10): the body must reach it.
    const bool counted = length > kSndcReplyDataOffset && std::memcmp(body, kSndcMagic, sizeof kSndcMagic) == 0;
    count = counted ? body[kSndcReplyDataOffset] : 1;
    print("%s%d\n", label, count);
    records.emplace(count, EqRecord{});
    return true;
}

bool SndcLink::readSpkEqCount() { return readEqCount(0x84, "spkEqNum", m_spkEqCount, m_spkEq); }

bool SndcLink::readMicEqCount()
{
    setLinkState(stateGetMicEqNums);
    return readEqCount(0x86, "micEqNum=", m_micEqCount, m_micEq);
}

bool SndcLink::readEqRecords(uint8_t command, uint8_t count, std::optional<std::vector<EqRecord>> &records)
{
    if (count == 0 || !records || records->size() < count)
        return false;
    bool defaulted = false;
    for (uint8_t i = 0; i < count; ++i) {
        send(0x10, i, command);
        SndcReplyState reply;
        EqRecord record = defaultEqRecord();
        if (readReply(reply)) {
            logChecksum(reply);
            // A record of 164 bytes keeps the default's right bands.
            copyReplyData(reply, &record, sizeof record);
        } else {
            defaulted = true;
        }
        (*records)[i] = record;
    }
    if (defaulted)
        printEqParams();
    return true;
}

bool SndcLink::readSpkEqParams() { return readEqRecords(0x85, m_spkEqCount, m_spkEq); }

bool SndcLink::readMicEqParams() { return readEqRecords(0x87, m_micEqCount, m_micEq); }

void SndcLink::step()
{
    const uint32_t state = m_state;
    print("%s\n", linkStateName(state));
    if (!m_io.isOpen()) {
        print("  open device first\n");
        setLinkState(stateFinishedFail);
        return;
    }
    // The walk through the link: a state either sends one request and moves
    // on, or reads what the device holds and moves on once the read took.
    struct RequestStep {
        uint32_t state;
        uint8_t group, command;
        size_t dataBytes;
        bool keepReply;
        uint32_t next;
    };
    static constexpr RequestStep kRequests[] = {
        {stateLinking, 0x00, 0x81, 0, false, stateReadDSVersion},
        {stateReadDSVersion, 0x00, 0x82, 3, false, stateReadDevVersion},
        {stateReadDevVersion, 0x00, 0x83, 0, false, stateLinked},
        {stateLinked, 0x00, 0x84, 0, false, stateReadID},
        {stateReadID, 0x00, 0x85, 0, true, stateKeepLinked},
        {stateKeepLinked, 0x00, 0x86, 0, false, stateStartGetPara},
        {stateStartGetPara, 0x10, 0x80, 0, false, stateReadAdcParam},
        {stateEndGetParam, 0x10, 0x89, 0, false, stateFinishedOK},
    };
    struct ReadStep {
        uint32_t state;
        bool (SndcLink::*read)();
        // Set when the read took; null: nothing to mark.
        bool SndcLink::*valid;
        // With no EQ at all there is nothing to repeat the read for; null:
        // only a read that took moves on.
        uint8_t SndcLink::*count;
        uint32_t next;
    };
    static constexpr ReadStep kReads[] = {
        {stateReadAdcParam, &SndcLink::readAdcParams, &SndcLink::m_adcValid, nullptr, stateReadDacParam},
        {stateReadDacParam, &SndcLink::readDacParams, &SndcLink::m_dacValid, nullptr, stateReadI2sParam},
        {stateReadI2sParam, &SndcLink::readI2sParams, &SndcLink::m_i2sValid, nullptr, stateGetSpkEqNums},
        {stateGetSpkEqNums, &SndcLink::readSpkEqCount, nullptr, nullptr, stateReadSpkEqParam},
        {stateReadSpkEqParam, &SndcLink::readSpkEqParams, nullptr, &SndcLink::m_spkEqCount, stateGetMicEqNums},
        {stateGetMicEqNums, &SndcLink::readMicEqCount, nullptr, nullptr, stateReadMicEqParam},
        {stateReadMicEqParam, &SndcLink::readMicEqParams, nullptr, &SndcLink::m_micEqCount, stateReadAlgParam},
        {stateReadAlgParam, &SndcLink::readAlgParams, &SndcLink::m_algValid, nullptr, stateEndGetParam},
    };

    if (state == stateOpened) {
        setLinkState(stateLinking);
        return;
    }
    for (const RequestStep &r : kRequests) {
        if (r.state == state) {
            linkRequest(r.group, r.command, r.dataBytes, r.keepReply);
            setLinkState(r.next);
            return;
        }
    }
    for (const ReadStep &r : kReads) {
        if (r.state == state) {
            const bool took = (this->*r.read)();
            if (took && r.valid)
                this->*r.valid = true;
            if (took || (r.count && this->*r.count == 0))
                setLinkState(r.next);
            return;
        }
    }
    if (state == stateIdle || state == stateBusy)
        m_changed = 0;
}

int SndcLink::commandOperation(size_t row, uint8_t channel, uint32_t value, const uint8_t *record,
                               size_t recordBytes)
{
    if (row >= m_templates.size())
        return -1;
    const SndcCommand &c = sndcCommandTable()[row];
    std::vector<uint8_t> &t = m_templates[row];
    auto putWord = [&t](uint32_t v) {
        for (int i = 0; i < 4; ++i)
            t[5 + size_t(i)] = uint8_t(v >> (8 * i));
    };
    switch (c.shape) {
    case SndcShape::ChannelByte:
    case SndcShape::Byte:
        if (value > 0xFF)
            return -1;
        t[1] = c.shape == SndcShape::ChannelByte ? channel : 0;
        t[5] = uint8_t(value);
        break;
    case SndcShape::ChannelWord:
    case SndcShape::Word:
        t[1] = c.shape == SndcShape::ChannelWord ? channel : 0;
        putWord(value);
        break;
    case SndcShape::ChannelRecord24:
    case SndcShape::ChannelRecord13:
        if (record == nullptr || recordBytes != c.dataLength)
            return -1;
        t[1] = channel;
        std::memcpy(t.data() + 5, record, recordBytes);
        break;
    case SndcShape::Channel:
        t[1] = channel;
        break;
    case SndcShape::Fixed:
        break;
    }
    if (m_io.sendSndcFrame(t.data(), uint16_t(t.size())) < 0)
        return -1;
    uint8_t body[256];
    uint16_t length = 0;
    return m_io.readSndcReport(body, &length);
}

// --- dumps ----------------------------------------------------------------------

void SndcLink::printAdcParams() const
{
    print("adcCfg:\n");
    for (int i = 0; i < 2; ++i) {
        const AdcGlobal &g = m_adc.global[i];
        print("  global[%d]: aias=%u wordLen=%u mixadc1=%u mixadc2=%u sr=%u\n", i, g.aias, g.wordLen, g.mixadc1,
              g.mixadc2, unsigned(g.sr));
    }
    for (int i = 0; i < 6; ++i) {
        const AdcChannel &c = m_adc.channel[i];
        print("  channel[%d]: en=%u gim=%u gid=%u aiadc=%u\n", i, c.en, c.gim, c.gid, c.aiadc);
    }
    for (int i = 0; i < 3; ++i) {
        const AdcPair &p = m_adc.pair[i];
        print("  pair[%d]: mute=%u hpf=%u mixrec=%u wnf=%u agcEn=%u stereo=%u ngEn=%u snrOptEn=%u target=%u "
              "holdTime=%u atkTime=%u dcyTime=%u ngThr=%u minGain=%u maxGain=%u rev=%u\n",
              i, p.mute, p.hpf, p.mixrec, p.wnf, p.agcEn, p.stereo, p.ngEn, p.snrOptEn, p.target, p.holdTime,
              p.atkTime, p.dcyTime, p.ngThr, p.minGain, p.maxGain, p.rev);
    }
}

void SndcLink::printDacParams() const
{
    print("dacCfg:\n");
    print("  aias=%u mix=%u drcEn=%u wordLen=%u sr=%u\n", m_dac.aias, m_dac.mix, m_dac.drcEn, m_dac.wordLen,
          unsigned(m_dac.sr));
    for (int i = 0; i < 2; ++i) {
        const DacChannel &c = m_dac.channel[i];
        print("  channel[%d]: en=%u mute=%u god=%u gom=%u gomix=%u gimix=%u mixdac=%u aidac=%u drcThr=%u "
              "drcComp=%u rev=%u %u\n",
              i, c.en, c.mute, c.god, c.gom, c.gomix, c.gimix, c.mixdac, c.aidac, c.drcThr, c.drcComp, c.rev[0],
              c.rev[1]);
    }
}

void SndcLink::printI2sParams() const
{
    print("i2sCfg:\n");
    for (int i = 0; i < 3; ++i) {
        const I2sConfig &c = m_i2s.config[i];
        print("  i2s[%d]: en=%u txEn=%u rxEn=%u isMaster=%u mute=%u format=%u dataW=%u frameLen=%u sr=%u\n", i,
              c.en, c.txEn, c.rxEn, c.isMaster, c.mute, c.format, c.dataW, c.frameLen, unsigned(c.sr));
    }
}

void SndcLink::printAlgParams() const
{
    const AlgBlock &a = m_alg;
    print("algCfg:\n");
    print("  volCtrlEn=%u agcEn=%u drcEn=%u aecEn=%u derevrbEn=%u ncEn=%u bfEn=%u doaEn=%u spkEqEn=%u micEqEn=%u "
          "referenEn=%u DenoiseEn=%u\n",
          a.volCtrlEn, a.agcEn, a.drcEn, a.aecEn, a.derevrbEn, a.ncEn, a.bfEn, a.doaEn, a.spkEqEn, a.micEqEn,
          a.referenEn, a.DenoiseEn);
    print("  vol=%u %u %u %u %u %u %u %u\n", a.vol[0], a.vol[1], a.vol[2], a.vol[3], a.vol[4], a.vol[5], a.vol[6],
          a.vol[7]);
    print("  agc: sr=%u target=%f minGain=%f maxGain=%f holdTime=%f atkTime=%f rlsTime=%f thr=%f\n",
          unsigned(a.agc.sr), double(a.agc.target), double(a.agc.minGain), double(a.agc.maxGain),
          double(a.agc.holdTime), double(a.agc.atkTime), double(a.agc.rlsTime), double(a.agc.thr));
    print("  drc: sr=%u ratio=%f atkTime=%f rlsTime=%f kneeWid=%f thr=%f\n", unsigned(a.drc.sr), double(a.drc.ratio),
          double(a.drc.atkTime), double(a.drc.rlsTime), double(a.drc.kneeWid), double(a.drc.thr));
    print("  aec: depth=%f converg=%f\n", double(a.aec.depth), double(a.aec.converg));
    print("  derevrb: rat=%u rev=%u %u %u str=%f\n", a.derevrb.rat, a.derevrb.rev[0], a.derevrb.rev[1],
          a.derevrb.rev[2], double(a.derevrb.str));
    print("  ncDepth=%f dnDepth=%f dnVolum=%f\n", double(a.ncDepth), double(a.dnDepth), double(a.dnVolum));
}

namespace {

void printBand(const char *side, int index, const EqBand &b)
{
    print("%s%d: bandEn=%u eqType=%u rev=%u %u qbw=%f fc=%f gain=%f\n", side, index, b.bandEn, b.eqType, b.rev[0],
          b.rev[1], double(b.qbw), double(b.fc), double(b.gain));
}

void printEqArray(const char *heading, uint8_t count, const std::optional<std::vector<EqRecord>> &records)
{
    if (!records) {
        print("EQ para NULL!\n");
        return;
    }
    print("%s%d\n", heading, count);
    for (size_t r = 0; r < records->size(); ++r) {
        const EqRecord &e = (*records)[r];
        print("  eq[%zu]: eqNum=%u stereo=%u bypass=%u gain=%u\n", r, e.eqNum, e.stereo, e.bypass, e.gain);
        for (int i = 0; i < 10; ++i) {
            printBand("    L band", i, e.left[i]);
            printBand("    R band", i, e.right[i]);
        }
    }
}

} // namespace

void SndcLink::printEqParams() const
{
    printEqArray("Spk EqNum:", m_spkEqCount, m_spkEq);
    printEqArray("Mic EqNum:", m_micEqCount, m_micEq);
}

} // namespace bootloader
