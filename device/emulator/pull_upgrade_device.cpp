#include "device/emulator/pull_upgrade_device.h"

#include "device/emulator/emu_codec.h"
#include "device/emulator/firmware_image.h"

#include <algorithm>

namespace veloran::emu {

namespace pull {

uint16_t crc16(const uint8_t* bytes, size_t count)
{
    // CRC-16/CCITT-FALSE, bit by bit.
    uint16_t crc = 0xFFFF;
    for (size_t i = 0; i < count; ++i) {
        crc ^= uint16_t(bytes[i] << 8);
        for (int b = 0; b < 8; ++b)
            crc = uint16_t((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
    }
    return crc;
}

std::vector<uint8_t> encodeFrame(uint8_t command, const std::vector<uint8_t>& data)
{
    std::vector<uint8_t> f = {0xAA, 0x55, 0, 0, command};
    putU16(f, uint16_t(data.size()));
    f.insert(f.end(), data.begin(), data.end());
    const uint16_t crc = crc16(f.data() + 4, f.size() - 4);
    f[2] = uint8_t(crc);
    f[3] = uint8_t(crc >> 8);
    return f;
}

}  // namespace pull

namespace {

struct Parsed {
    uint8_t command = 0;
    std::vector<uint8_t> data;
    bool ok = false;  // head, length and CRC all check out
};

Parsed parse(const std::vector<uint8_t>& payload)
{
    Parsed p;
    if (payload.size() < 7)
        return p;
    p.command = payload[4];
    const size_t n = getU16(payload.data() + 5);
    const size_t have = std::min(n, payload.size() - 7);
    p.data.assign(payload.begin() + 7, payload.begin() + 7 + std::ptrdiff_t(have));
    p.ok = payload[0] == 0xAA && payload[1] == 0x55 && payload.size() == 7 + n
           && getU16(payload.data() + 2) == pull::crc16(payload.data() + 4, payload.size() - 4);
    return p;
}

}  // namespace

PullUpgradeDevice::PullUpgradeDevice(PullConfig config, uint16_t productId, uint8_t major, uint8_t minor)
    : m_config(config), m_productId(productId), m_major(major), m_minor(minor)
{
}

uint32_t PullUpgradeDevice::blockLength() const
{
    if (m_bodyBytes == 0)
        return m_config.blockBytes;
    return std::min<uint32_t>(m_config.blockBytes, m_bodyBytes - m_address);
}

void PullUpgradeDevice::ask(Output& out, bool asReply, uint64_t nowMs)
{
    Message m;
    if (m_fault.block == m_block && !m_faultSpent) {
        switch (m_fault.kind) {
        case PullFault::Kind::Unplug:
            m_faultSpent = true;
            out.powerLost = true;
            powerCycle();
            return;
        case PullFault::Kind::Stall:
            m_faultSpent = true;
            m_state = State::Stalled;
            return;
        case PullFault::Kind::DropRequest:
            m.fault = FrameFault::Kind::Drop;
            m_faultSpent = true;
            break;
        case PullFault::Kind::DuplicateRequest:
            m.fault = FrameFault::Kind::Duplicate;
            m_faultSpent = true;
            break;
        case PullFault::Kind::CorruptRequest:
            m.fault = FrameFault::Kind::CorruptChecksum;
            m_faultSpent = true;
            break;
        default:
            break;
        }
    }
    const uint32_t progress =
        m_bodyBytes == 0 ? 0 : std::min<uint32_t>(99, uint32_t(uint64_t(m_address) * 100 / m_bodyBytes));
    std::vector<uint8_t> data;
    putU32(data, m_address);
    putU16(data, uint16_t(blockLength()));
    data.push_back(uint8_t(progress));
    m.payload = pull::encodeFrame(pull::kBlock, data);
    m.asReply = asReply;
    out.messages.push_back(std::move(m));
    m_askedAtMs = nowMs;
}

void PullUpgradeDevice::finish(Output& out, uint8_t result, uint64_t nowMs)
{
    if (m_fault.kind == PullFault::Kind::ForceResult)
        result = m_fault.result;
    std::optional<FrameFault::Kind> fault;
    if (m_fault.kind == PullFault::Kind::DropResult)
        fault = FrameFault::Kind::Drop;
    out.messages.push_back({pull::encodeFrame(pull::kResult, {result}), true, fault});
    if (result == pull::kResultOk && m_staged.size() >= kImageDescriptorBytes) {
        // Committed now; the new version shows once the device is back.
        m_flash = m_staged;
        m_major = m_staged[6];
        m_minor = m_staged[7];
        m_state = State::Rebooting;
        m_rebootAtMs = nowMs + m_config.rebootAfterMs;
    } else {
        m_state = State::Idle;
    }
    m_staged.clear();
}

uint8_t PullUpgradeDevice::checkStaged() const
{
    const auto d = readImageDescriptor(m_staged.data(), m_staged.size());
    if (!d || d->length != m_staged.size() || d->productId != m_productId)
        return pull::kResultChecksum;
    if (d->major < m_major || (d->major == m_major && d->minor < m_minor))
        return pull::kResultOlderVersion;
    return pull::kResultOk;
}

void PullUpgradeDevice::onBlock(Output& out, const std::vector<uint8_t>& data, bool frameOk, uint64_t nowMs)
{
    if (data.size() < 6)
        return;
    const uint32_t address = getU32(data.data());
    const uint16_t length = getU16(data.data() + 4);
    if (m_block > 0 && address == m_previousAddress) {
        // The block before again: the host missed the request that followed it.
        ask(out, true, nowMs);
        return;
    }
    if (address != m_address)
        return;  // stale
    bool damaged = !frameOk || length != blockLength() || data.size() != 6 + size_t(length);
    if (m_fault.block == m_block) {
        if (m_fault.kind == PullFault::Kind::DamageBlockAlways)
            damaged = true;
        if (m_fault.kind == PullFault::Kind::DamageBlockOnce && !m_faultSpent) {
            m_faultSpent = true;
            damaged = true;
        }
    }
    if (damaged) {
        if (++m_tries >= m_config.maxTries)
            finish(out, pull::kResultChecksum, nowMs);
        else
            ask(out, true, nowMs);
        return;
    }
    const uint8_t* bytes = data.data() + 6;
    if (m_block == 0) {
        // The descriptor is checked whole once the body is staged.
        const uint32_t body = length >= kImageDescriptorBytes ? readLe(bytes + 8, 4) : 0;
        if (body < kImageDescriptorBytes || body > pull::kMaxBodyBytes) {
            finish(out, pull::kResultChecksum, nowMs);
            return;
        }
        m_bodyBytes = body;
        m_staged.assign(body, 0xFF);
    }
    const size_t n = std::min<size_t>(length, m_bodyBytes - address);
    std::copy(bytes, bytes + n, m_staged.begin() + std::ptrdiff_t(address));
    ++m_blocksWritten;
    m_previousAddress = address;
    m_address += uint32_t(n);
    ++m_block;
    m_tries = 0;
    if (m_address >= m_bodyBytes)
        finish(out, checkStaged(), nowMs);
    else
        ask(out, true, nowMs);
}

PullUpgradeDevice::Output PullUpgradeDevice::onFrame(const std::vector<uint8_t>& payload, uint64_t nowMs)
{
    Output out;
    if (m_state == State::Stalled)
        return out;
    const Parsed p = parse(payload);
    if (m_state == State::Rebooting) {
        // The last block again: the host missed the result.
        if (p.command == pull::kBlock && p.data.size() >= 6 && getU32(p.data.data()) == m_previousAddress)
            out.messages.push_back({pull::encodeFrame(pull::kResult, {pull::kResultOk}), true, std::nullopt});
        return out;
    }
    if (p.command == pull::kStart && p.ok) {
        // A start restarts: whatever was staged is dropped.
        m_staged.clear();
        m_state = State::Idle;
        const uint8_t answer = m_fault.kind == PullFault::Kind::RefuseStart ? m_fault.result : m_config.startResult;
        out.messages.push_back({pull::encodeFrame(pull::kStart, {answer}), true, std::nullopt});
        if (answer != 0)
            return out;
        m_state = State::Pulling;
        m_bodyBytes = 0;
        m_address = 0;
        m_block = 0;
        m_previousAddress = 0;
        m_tries = 0;
        ask(out, false, nowMs);
        return out;
    }
    if (p.command == pull::kBlock && m_state == State::Pulling)
        onBlock(out, p.data, p.ok, nowMs);
    return out;
}

PullUpgradeDevice::Output PullUpgradeDevice::step(uint64_t nowMs)
{
    Output out;
    if (m_state == State::Pulling && nowMs - m_askedAtMs >= m_config.askAgainAfterMs) {
        if (++m_tries >= m_config.maxTries) {
            m_state = State::Idle;  // the host is gone: give up, the old firmware runs on
            m_staged.clear();
        } else {
            ask(out, false, nowMs);
        }
    } else if (m_state == State::Rebooting && nowMs >= m_rebootAtMs) {
        m_state = State::Idle;
        out.reboot = true;
    }
    return out;
}

std::optional<uint64_t> PullUpgradeDevice::nextStepMs() const
{
    if (m_state == State::Pulling)
        return m_askedAtMs + m_config.askAgainAfterMs;
    if (m_state == State::Rebooting)
        return m_rebootAtMs;
    return std::nullopt;
}

void PullUpgradeDevice::powerCycle()
{
    m_state = State::Idle;
    m_staged.clear();
}

}  // namespace veloran::emu
