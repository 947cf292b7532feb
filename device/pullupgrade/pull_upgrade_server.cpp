#include "device/pullupgrade/pull_upgrade_server.h"

#include "device/pullupgrade/pull_upgrade_codec.h"

#include <algorithm>

namespace veloran::pullupgrade {

namespace {

// A misbehaving device may send long payloads; the log keeps their start.
constexpr size_t kLogHexBytes = 64;

std::string hex(const uint8_t *bytes, size_t count)
{
    static const char digits[] = "0123456789abcdef";
    std::string s;
    const size_t shown = std::min(count, kLogHexBytes);
    s.reserve(shown * 2 + 3);
    for (size_t i = 0; i < shown; ++i) {
        s += digits[bytes[i] >> 4];
        s += digits[bytes[i] & 0x0F];
    }
    if (shown < count)
        s += "...";
    return s;
}

uint32_t u32le(const uint8_t *p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}

const char *startResultText(uint8_t result)
{
    switch (result) {
    case 0: return "可以升级";
    case 1: return "不可以升级电量低";
    case 2: return "不可以升级设备忙";
    case 3: return "对码中不可以升级";
    default: return nullptr;
    }
}

const char *finalResultText(uint8_t result)
{
    switch (result) {
    case 0: return "升级成功";
    case 1: return "升级失败,版本低";
    case 2: return "升级失败,校验失败";
    default: return "升级失败";
    }
}

} // namespace

void PullUpgradeServer::report(ServerOutput &out, int progress, const char *message, bool final)
{
    m_progress = std::max(m_progress, progress);
    out.hasProgress = true;
    out.progress = m_progress;
    out.message = message;
    out.final = final;
    if (final) {
        m_finished = true;
        m_waiting = false;
    }
}

ServerOutput PullUpgradeServer::start(std::vector<uint8_t> image, std::string versionBefore)
{
    ServerOutput out;
    m_image.clear();
    m_versionBefore = std::move(versionBefore);
    m_progress = 0;
    m_recentCount = 0;
    m_recentNext = 0;
    m_finished = false;
    m_blockAsked = false;
    m_lastBlockServed = false;
    m_waiting = false;
    if (image.size() <= kImageHeadBytes || image.size() > kMaxImageBytes) {
        out.logs.push_back("固件文件大小异常: " + std::to_string(image.size()) + " Bytes");
        report(out, 0, "升级失败", true);
        return out;
    }
    m_image = std::move(image);
    out.send = true;
    out.command = kCommandStart;
    out.data = {0x00};
    return out;
}

ServerOutput PullUpgradeServer::handle(const FrameOrigin &origin, const uint8_t *payload, size_t count)
{
    ServerOutput out;
    if (!payload)
        count = 0;
    const UpgradeFrameView frame = parseUpgradeFrame(payload, count);
    out.logs.push_back("升级进度 0x8006 : " + hex(payload, count) + "  :::  " + std::to_string(frame.declaredLength)
                       + " :: " + hex(frame.data, frame.dataBytes));

    // A frame that arrives twice (a duplicated or late copy) would have its
    // block served twice, and every later one with it.
    const auto recent = m_recent.begin() + std::ptrdiff_t(m_recentCount);
    if (std::find(m_recent.begin(), recent, origin) != recent) {
        out.logs.push_back("升级消息重复，已丢弃 seq:" + std::to_string(origin.sequence));
        return out;
    }
    m_recent[m_recentNext] = origin;
    m_recentNext = (m_recentNext + 1) % kRecentFrames;
    m_recentCount = std::min(m_recentCount + 1, kRecentFrames);

    if (m_finished) {
        out.logs.push_back("升级已结束，忽略升级消息");
        return out;
    }

    switch (frame.command) {
    case kCommandStart:
        // A copy that comes after the transfer began (delayed, or the answer
        // to a retransmitted start) would set the bar back or end a run the
        // device is still pulling.
        if (m_blockAsked) {
            out.logs.push_back("升级已开始，忽略开始应答");
            break;
        }
        if (frame.declaredLength == 1 && frame.dataBytes == 1) {
            if (const char *text = startResultText(frame.data[0]))
                report(out, 0, text, frame.data[0] != 0);
        }
        break;
    case kCommandBlock:
        handleBlockRequest(out, frame.data, frame.dataBytes);
        break;
    case kCommandResult: {
        const int result = frame.dataBytes > 0 ? int(int8_t(frame.data[0])) : 0;
        out.logs.push_back("升级进度 0x82 结果:" + std::to_string(result));
        // A result byte that never arrived is no result: reading it as 0
        // would report success.
        if (frame.declaredLength == 1 && frame.dataBytes == 1)
            report(out, 100, finalResultText(frame.data[0]), true);
        break;
    }
    default:
        break;
    }
    return out;
}

void PullUpgradeServer::handleBlockRequest(ServerOutput &out, const uint8_t *data, size_t count)
{
    constexpr size_t kRequestBytes = 7;
    if (count < kRequestBytes) {
        out.logs.push_back("数据长度不足，无法解析");
        return;
    }
    m_blockAsked = true;
    const uint32_t address = u32le(data);
    const uint16_t length = uint16_t(data[4] | (data[5] << 8));
    const uint8_t progress = data[6];
    out.logs.push_back("data_address 0x81 : " + std::to_string(address) + " 升级进度 len : "
                       + std::to_string(progress));

    // Only whole blocks of the body are served: a block reaching into the
    // file's last 32 bytes would be shorter than its length field says.
    const uint64_t body = m_image.size() > kImageHeadBytes ? m_image.size() - kImageHeadBytes : 0;
    if (body == 0 || uint64_t(address) + length > body || length > kMaxBlockBytes) {
        report(out, 100, "升级失败", true);
        return;
    }
    out.send = true;
    out.command = kCommandBlock;
    out.data.reserve(6 + length);
    out.data.assign(data, data + 6);
    const auto first = m_image.begin() + std::ptrdiff_t(kImageHeadBytes + address);
    out.data.insert(out.data.end(), first, first + length);
    if (uint64_t(address) + length == body)
        m_lastBlockServed = true;

    // The outcome alone says 100; a request asked again must not set the
    // bar back.
    report(out, std::min<int>(progress, 99), "", false);
    out.message = "升级进度:" + std::to_string(m_progress);
}

ServerOutput PullUpgradeServer::deviceGone()
{
    ServerOutput out;
    if (m_finished || !m_lastBlockServed || m_waiting)
        return out;
    if (m_versionBefore.empty()) {
        out.logs.push_back("升级结果未收到，升级前版本未知，无法判定");
        return out;
    }
    m_waiting = true;
    out.logs.push_back("升级结果未收到，设备已断开，等待设备重连后按版本判定");
    return out;
}

ServerOutput PullUpgradeServer::deviceBack(const std::string &version)
{
    ServerOutput out;
    if (!m_waiting || version.empty())
        return out;
    out.logs.push_back("设备重连，版本: " + version + " 升级前版本: " + m_versionBefore);
    report(out, 100, version != m_versionBefore ? "升级成功" : "升级失败", true);
    return out;
}

ServerOutput PullUpgradeServer::stopWaiting()
{
    ServerOutput out;
    if (!m_waiting)
        return out;
    // The interface has already shown its own outcome: no second one.
    m_waiting = false;
    m_finished = true;
    out.logs.push_back("等待设备重连超时，升级结果未知");
    return out;
}

} // namespace veloran::pullupgrade
