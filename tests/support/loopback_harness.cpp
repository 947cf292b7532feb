#include "tests/support/loopback_harness.h"

#include "device/hid/HidReportTransport.h"
#include "device/protocol/msg_handlers.h"
#include "device/protocol/msg_protocol.h"
#include "device/pullupgrade/pull_upgrade_codec.h"

#include <cassert>

namespace veloran::emu {

namespace {

LoopbackEvents::Answer answer(const msg_reply_info* info, const uint8_t* data, uint32_t nowMs)
{
    LoopbackEvents::Answer a;
    a.address = info->address;
    a.status = info->status;
    a.hasData = data != nullptr;
    if (data != nullptr)
        a.data.assign(data, data + info->length);
    a.atMs = nowMs;
    return a;
}

}  // namespace

LoopbackHarness* LoopbackHarness::s_current = nullptr;

LoopbackHarness::LoopbackHarness(MicBaseEmulator& emulator) : m_emulator(emulator)
{
    assert(s_current == nullptr);
    s_current = this;
    msg_reset_for_tests();
    msg_set_error_callback(&LoopbackHarness::onError);
    msg_set_login_callback(&LoopbackHarness::onLogin);
    installHandlerCallbacks();
    for (uint16_t id : {kMsgAutoGainLevel, kMsgKnobHotkey})
        msg_register_handler(id, &LoopbackHarness::onPrivate, nullptr);
    msg_register_handler(kMsgPullUpgrade, &LoopbackHarness::onPullUpgrade, nullptr);
    m_port = msg_add_port(&LoopbackHarness::sendFrame);
    m_emulator.setReportSink([this](const std::vector<uint8_t>& report) { m_input.push_back(report); });
    m_emulator.step(msg_clock_ms());
}

LoopbackHarness::~LoopbackHarness()
{
    m_emulator.setReportSink({});
    msg_set_error_callback(nullptr);
    msg_set_login_callback(nullptr);
    msg_set_name_callback(nullptr);
    msg_set_version_callback(nullptr);
    msg_set_attr_callback(nullptr);
    // Leave no frame of this run half-parsed or queued for the next harness.
    msg_reset_for_tests();
    s_current = nullptr;
}

void LoopbackHarness::installHandlerCallbacks()
{
    msg_set_name_callback([](const msg_reply_info* info, const uint8_t* data) {
        s_current->m_events.names.push_back(answer(info, data, msg_clock_ms()));
    });
    msg_set_serial_callback([](const msg_reply_info* info, const uint8_t* data) {
        s_current->m_events.serials.push_back(answer(info, data, msg_clock_ms()));
    });
    msg_set_version_callback([](const msg_reply_info* info, const uint8_t* data) {
        s_current->m_events.versions.push_back(answer(info, data, msg_clock_ms()));
    });
    msg_set_attr_callback([](const msg_reply_info* info, uint8_t attribute, const uint8_t* value) {
        LoopbackEvents::Attribute a;
        a.kind = info->kind;
        a.messageId = info->id;
        a.status = info->status;
        a.attribute = attribute;
        a.hasData = value != nullptr;
        if (value != nullptr)
            a.value.assign(value, value + info->length);
        a.atMs = msg_clock_ms();
        s_current->m_events.attributes.push_back(std::move(a));
    });
}

int LoopbackHarness::sendFrame(int, int length, const uint8_t* frame)
{
    if (s_current == nullptr || length <= 0 || frame == nullptr)
        return -1;
    const auto layout = hidReportLayoutFor(s_current->m_emulator.config().productId);
    for (auto& report : frameToReports(layout, {frame, size_t(length)})) {
        if (s_current->m_paced)
            s_current->m_output.push_back(std::move(report));
        else
            s_current->m_emulator.onOutputReport(report.data(), report.size());
    }
    return 1;
}

void LoopbackHarness::onLogin(int from, int kind, uint32_t address)
{
    LoopbackHarness* self = s_current;
    self->m_events.logins.push_back({from, kind, address, msg_clock_ms()});
    if (msg_answer_login(from, address))
        self->m_peer = address;
}

void LoopbackHarness::onError(int code, int messageId)
{
    if (s_current != nullptr)
        s_current->m_events.errors.push_back({code, messageId});
}

int LoopbackHarness::onPrivate(int, msg_record* record)
{
    LoopbackEvents::Private p;
    p.messageId = record->id;
    p.type = record->type;
    if (record->length > 0 && record->payload != nullptr)
        p.payload.assign(record->payload, record->payload + record->length);
    p.atMs = msg_clock_ms();
    s_current->m_events.privates.push_back(std::move(p));
    return 0;
}

int LoopbackHarness::onPullUpgrade(int, msg_record* record)
{
    const pullupgrade::FrameOrigin origin{record->source, record->type, record->sequence};
    s_current->applyPull(s_current->m_pullServer.handle(origin, record->payload, record->length));
    return 0;
}

void LoopbackHarness::applyPull(const pullupgrade::ServerOutput& out)
{
    if (out.send) {
        const auto frame = pullupgrade::encodeUpgradeFrame(out.command, out.data.data(), out.data.size());
        if (frame) {
            msg_record r{};
            r.type = kMsgTypeRequest;
            r.length = uint16_t(frame->size());
            r.destination = m_peer;
            r.id = kMsgPullUpgrade;
            r.payload = const_cast<uint8_t*>(frame->data());
            msg_send(kMsgSendTrack, &r);
        }
    }
    if (out.hasProgress)
        m_events.upgradeProgress.push_back({out.progress, out.message, out.final, msg_clock_ms()});
}

void LoopbackHarness::startPullUpgrade(std::vector<uint8_t> file)
{
    applyPull(m_pullServer.start(std::move(file)));
}

void LoopbackHarness::tick()
{
    const auto layout = hidReportLayoutFor(m_emulator.config().productId);
    for (size_t n = m_paced ? 1 : m_input.size(); n > 0 && !m_input.empty(); --n) {
        const std::vector<uint8_t> report = std::move(m_input.front());
        m_input.pop_front();
        const auto bytes = reportToFrameBytes(layout, report);
        if (!bytes.empty())
            msg_parse_bytes(m_port, int(bytes.size()), bytes.data());
    }
    msg_tick();
    if (!m_output.empty()) {
        const std::vector<uint8_t> report = std::move(m_output.front());
        m_output.pop_front();
        m_emulator.onOutputReport(report.data(), report.size());
    }
    msg_advance_clock(1);
    m_emulator.step(msg_clock_ms());
}

void LoopbackHarness::run(uint32_t ticks)
{
    for (uint32_t i = 0; i < ticks; ++i)
        tick();
}

bool LoopbackHarness::runUntil(const std::function<bool()>& done, uint32_t maxTicks)
{
    for (uint32_t i = 0; i < maxTicks; ++i) {
        if (done())
            return true;
        tick();
    }
    return done();
}

uint32_t LoopbackHarness::nowMs() const { return msg_clock_ms(); }

void LoopbackHarness::attributeSet(uint8_t id, const std::vector<uint8_t>& value)
{
    msg_attr_set(m_peer, id, uint8_t(value.size()), value.data());
}

void LoopbackHarness::attributeGet(uint8_t id) { msg_attr_get(m_peer, id); }

void LoopbackHarness::attributeGetAll() { msg_attr_get_list(m_peer, 0, nullptr); }

void LoopbackHarness::sendPrivate(uint16_t messageId, const std::vector<uint8_t>& payload)
{
    msg_record r{};
    r.type = kMsgTypeNotification;
    r.length = uint16_t(payload.size());
    r.destination = m_peer;
    r.id = messageId;
    r.payload = const_cast<uint8_t*>(payload.empty() ? nullptr : payload.data());
    msg_send(1, &r);
}

}  // namespace veloran::emu
