#include "device/protocol/msg_handlers.h"

#include "device/protocol/msg_core.h"
#include "device/protocol/msg_internal.h"
#include "device/protocol/msg_node.h"
#include "device/protocol/msg_runtime.h"

#include <algorithm>
#include <cstring>
#include <iterator>

namespace {

constexpr uint8_t kHostName[] = "QX-PC"; // sent with its NUL
constexpr uint8_t kHostNameBytes = sizeof kHostName;
constexpr int kNameAnswerBytes = 22;
constexpr int kVersionAnswerBytes = 18;
constexpr uint8_t kSubscribe = 0x00;
constexpr uint8_t kUnsubscribe = 0xFF;

msg_info_fn s_nameCallback = nullptr;
msg_info_fn s_versionCallback = nullptr;
msg_info_fn s_serialCallback = nullptr;
msg_attr_fn s_attrCallback = nullptr;
uint8_t s_nameBuffer[kMsgNameBufferBytes];
uint8_t s_versionBuffer[kMsgVersionBufferBytes];
uint32_t s_subscribers[kMsgAttrSubscribers]; // 0 = free

void notifyInfo(msg_info_fn callback, msg_reply_info info, const uint8_t *data)
{
    if (!data)
        info.length = 0;
    if (callback)
        callback(&info, info.length ? data : nullptr);
}

void notifyAttr(msg_reply_info info, uint8_t attribute, const uint8_t *value)
{
    if (!value)
        info.length = 0;
    if (s_attrCallback)
        s_attrCallback(&info, attribute, info.length ? value : nullptr);
}

msg_reply_info failure(uint32_t address, uint16_t id) { return {0, address, id, 0, 1}; }

void reply(const msg_record *request, const uint8_t *payload, uint16_t length)
{
    msg_send_answer(request, payload, length);
}

void request(uint32_t address, uint16_t id, const uint8_t *payload, uint16_t length)
{
    msg_send_bytes(kMsgTypeRequest, kMsgSendTrack, address, id, payload, length);
}

int onNodeName(int, msg_record *r)
{
    if (r->type == kMsgTypeRequest) {
        uint8_t answer[kNameAnswerBytes] = {0x00, kHostNameBytes};
        std::memcpy(answer + 2, kHostName, kHostNameBytes);
        reply(r, answer, sizeof answer);
    } else if (r->type == kMsgTypeReply) {
        const uint8_t *p = r->payload;
        if (r->length < 2 || p[0] != 0) {
            const uint8_t status = r->length > 0 && p[0] != 0 ? p[0] : 1;
            notifyInfo(s_nameCallback, {0, r->source, kMsgIdNodeName, 0, status}, nullptr);
            return 0;
        }
        const uint16_t copied = std::min<uint16_t>({p[1], uint16_t(r->length - 2), uint16_t(kMsgNameBufferBytes)});
        std::memcpy(s_nameBuffer, p + 2, copied);
        notifyInfo(s_nameCallback, {0, r->source, kMsgIdNodeName, copied, 0}, s_nameBuffer);
    }
    return 0;
}

int onVersion(int, msg_record *r)
{
    if (r->type == kMsgTypeRequest) {
        uint8_t answer[kVersionAnswerBytes] = {};
        msg_put_u32(answer + 1, kMsgProgramNetwork);
        msg_put_u32(answer + 5, kMsgProgramGroup);
        reply(r, answer, sizeof answer);
    } else if (r->type == kMsgTypeReply) {
        if (r->length == 0 || r->payload[0] != 0) {
            notifyInfo(s_versionCallback, {0, r->source, kMsgIdVersion, 0, uint8_t(r->length ? r->payload[0] : 1)}, nullptr);
            return 0;
        }
        const uint16_t copied = std::min<uint16_t>(r->length, kMsgVersionBufferBytes);
        std::memcpy(s_versionBuffer, r->payload, copied);
        notifyInfo(s_versionCallback, {0, r->source, kMsgIdVersion, copied, 0}, s_versionBuffer);
    }
    return 0;
}

int onSerial(int, msg_record *r)
{
    if (r->type == kMsgTypeRequest) {
        // The program keeps no serial number: reads and writes both fail.
        const uint8_t answer = 0x01;
        reply(r, &answer, 1);
    } else if (r->type == kMsgTypeReply) {
        if (r->length == 0) {
            notifyInfo(s_serialCallback, failure(r->source, kMsgIdSerial), nullptr);
            return 0;
        }
        notifyInfo(s_serialCallback, {0, r->source, kMsgIdSerial, uint16_t(r->length - 1), r->payload[0]}, r->payload + 1);
    }
    return 0;
}

void subscribe(uint32_t address, uint8_t command)
{
    uint32_t *found = std::find(std::begin(s_subscribers), std::end(s_subscribers), address);
    if (command == kUnsubscribe) {
        if (found != std::end(s_subscribers))
            *found = 0;
    } else if (command == kSubscribe && found == std::end(s_subscribers)) {
        uint32_t *slot = std::find(std::begin(s_subscribers), std::end(s_subscribers), 0u);
        if (slot != std::end(s_subscribers))
            *slot = address;
    }
}

// A device asks the program: it keeps no attributes, so reads find nothing
// and writes are accepted.
void answerAttrRequest(msg_record *r)
{
    const uint8_t *p = r->payload;
    const uint16_t n = r->length;
    const uint8_t fail = 0x01;
    switch (r->id) {
    case kMsgIdAttrSet: {
        if (n < 1)
            return reply(r, &fail, 1);
        const uint8_t answer[] = {0x00, p[0]};
        return reply(r, answer, sizeof answer);
    }
    case kMsgIdAttrGet: {
        if (n < 1)
            return reply(r, &fail, 1);
        const uint8_t answer[] = {0x01, p[0], 0x00};
        return reply(r, answer, sizeof answer);
    }
    case kMsgIdAttrSetList: {
        const uint8_t ok = 0x00;
        return reply(r, &ok, 1);
    }
    case kMsgIdAttrGetList:
        return reply(r, &fail, 1);
    default: { // notifications subscription
        if (n < 1)
            return reply(r, &fail, 1);
        subscribe(r->source, p[0]);
        const uint8_t ok = 0x00;
        return reply(r, &ok, 1);
    }
    }
}

void attrReply(msg_record *r)
{
    const uint8_t *p = r->payload;
    const uint16_t n = r->length;
    const uint32_t from = r->source;
    const uint16_t id = r->id;
    if (n == 0)
        return notifyAttr(failure(from, id), 0, nullptr);
    const uint8_t status = p[0];
    switch (id) {
    case kMsgIdAttrSet:
        if (n < 2)
            return notifyAttr(failure(from, id), 0, nullptr);
        return notifyAttr({0, from, id, 0, uint8_t(status != 0)}, p[1], nullptr);
    case kMsgIdAttrGet:
        if (status != 0)
            return notifyAttr(failure(from, id), n >= 2 ? p[1] : 0, nullptr);
        if (n < 3 || p[2] > n - 3)
            return notifyAttr(failure(from, id), n >= 2 ? p[1] : 0, nullptr);
        return notifyAttr({0, from, id, p[2], 0}, p[1], p + 3);
    case kMsgIdAttrSetList:
        if (status == 0)
            return notifyAttr({0, from, id, 0, 0}, 0, nullptr);
        for (uint16_t i = 1; i < n; ++i)
            notifyAttr({0, from, id, 0, 1}, p[i], nullptr);
        return;
    case kMsgIdAttrGetList:
        if (status != 0)
            return notifyAttr(failure(from, id), 0, nullptr);
        // Triples [attribute][length][value]; a truncated one ends the list.
        for (uint16_t at = 1; at + 2 <= n && p[at + 1] <= n - at - 2; at = uint16_t(at + 2 + p[at + 1]))
            notifyAttr({0, from, id, p[at + 1], 0}, p[at], p + at + 2);
        return;
    default:
        return notifyAttr({0, from, id, 0, uint8_t(status != 0)}, 0, nullptr);
    }
}

int onAttribute(int, msg_record *r)
{
    if (r->type == kMsgTypeRequest) {
        answerAttrRequest(r);
    } else if (r->type == kMsgTypeReply) {
        attrReply(r);
    } else if (r->type == kMsgTypeNotification && r->id == kMsgIdAttrNotify) {
        // A device reports a change of its own; malformed ones are dropped.
        const uint8_t *p = r->payload;
        if (r->length >= 2 && p[1] <= r->length - 2)
            notifyAttr({2, r->source, kMsgIdAttrNotify, p[1], 0}, p[0], p + 2);
    }
    return 0;
}

int onAttributeTimeout(int, msg_record *r)
{
    notifyAttr(failure(r->destination, r->id), 0, nullptr);
    return 0;
}

int onNameTimeout(int, msg_record *r)
{
    notifyInfo(s_nameCallback, failure(r->destination, kMsgIdNodeName), nullptr);
    return 0;
}

int onVersionTimeout(int, msg_record *r)
{
    notifyInfo(s_versionCallback, failure(r->destination, kMsgIdVersion), nullptr);
    return 0;
}

int onSerialTimeout(int, msg_record *r)
{
    notifyInfo(s_serialCallback, failure(r->destination, kMsgIdSerial), nullptr);
    return 0;
}

int onLogin(int, msg_record *r)
{
    if (r->type != kMsgTypeRequest)
        return 0; // a reply to our own greeting changes nothing
    if (r->length < 4) {
        const uint8_t fail = 0x01;
        reply(r, &fail, 1);
        return 0;
    }
    msg_call_login(1, 0, msg_get_u32(r->payload));
    const uint8_t ok = 0x00;
    reply(r, &ok, 1);
    return 0;
}

int onLogout(int, msg_record *r)
{
    if (r->type != kMsgTypeRequest || r->length < 4)
        return 0;
    const uint32_t address = msg_get_u32(r->payload);
    msg_remove_node(address);
    msg_call_login(1, 1, address);
    return 0;
}

} // namespace

void msg_register_login_module()
{
    msg_register_handler(kMsgIdLogout, onLogout, nullptr);
    msg_register_handler(kMsgIdLogin, onLogin, nullptr);
}

void msg_register_name_module()
{
    std::memset(s_nameBuffer, 0, sizeof s_nameBuffer);
    msg_register_handler(kMsgIdNodeName, onNodeName, onNameTimeout);
}

void msg_register_version_module()
{
    std::memset(s_versionBuffer, 0, sizeof s_versionBuffer);
    msg_register_handler(kMsgIdVersion, onVersion, onVersionTimeout);
}

void msg_register_serial_module() { msg_register_handler(kMsgIdSerial, onSerial, onSerialTimeout); }

void msg_register_attr_module()
{
    std::fill(std::begin(s_subscribers), std::end(s_subscribers), 0u);
    for (uint16_t id = kMsgIdAttrSet; id <= kMsgIdAttrNotify; ++id)
        msg_register_handler(id, onAttribute, onAttributeTimeout);
}

void msg_reset_handler_callbacks()
{
    s_nameCallback = s_versionCallback = s_serialCallback = nullptr;
    s_attrCallback = nullptr;
}

void msg_node_logged_in(uint32_t address)
{
    uint8_t self[4];
    msg_put_u32(self, msg_self_address());
    request(address, kMsgIdLogin, self, sizeof self);
}

void msg_set_name_callback(msg_info_fn callback) { s_nameCallback = callback; }
void msg_set_version_callback(msg_info_fn callback) { s_versionCallback = callback; }
void msg_set_serial_callback(msg_info_fn callback)
{
    if (callback)
        s_serialCallback = callback;
}
void msg_set_attr_callback(msg_attr_fn callback) { s_attrCallback = callback; }

void msg_request_node_name(uint32_t address)
{
    if (address == msg_self_address()) {
        notifyInfo(s_nameCallback, {0, address, kMsgIdNodeName, kHostNameBytes, 0}, kHostName);
        return;
    }
    request(address, kMsgIdNodeName, nullptr, 0);
}

void msg_request_version(uint32_t address) { request(address, kMsgIdVersion, nullptr, 0); }

void msg_request_serial(uint32_t address)
{
    if (address == msg_self_address())
        return;
    const uint8_t read = 0x00;
    request(address, kMsgIdSerial, &read, 1);
}

void msg_attr_set(uint32_t address, uint8_t attribute, uint8_t length, const uint8_t *bytes)
{
    if (length > kMsgAttrMaxValueBytes || (length > 0 && !bytes))
        return;
    uint8_t payload[2 + kMsgAttrMaxValueBytes] = {attribute, length};
    if (length > 0)
        std::memcpy(payload + 2, bytes, length);
    request(address, kMsgIdAttrSet, payload, uint16_t(2 + length));
}

void msg_attr_get(uint32_t address, uint8_t attribute) { request(address, kMsgIdAttrGet, &attribute, 1); }

void msg_attr_get_list(uint32_t address, uint8_t count, const uint16_t *attributes)
{
    if (count > 0 && !attributes)
        return;
    uint8_t payload[1 + 255] = {count};
    for (int i = 0; i < count; ++i)
        payload[1 + i] = uint8_t(attributes[i]);
    request(address, kMsgIdAttrGetList, payload, uint16_t(1 + count));
}

void msg_attr_login_request(uint32_t address)
{
    const uint8_t subscribe = kSubscribe;
    request(address, kMsgIdAttrNotify, &subscribe, 1);
}

bool msg_answer_login(int from, uint32_t address)
{
    if (from != 0)
        return false;
    if (msg_address_node(address) != 0) {
        msg_request_node_name(address);
        msg_request_serial(address);
        msg_request_version(address);
        msg_attr_login_request(address);
    }
    return true;
}

int msg_attr_subscriber_count()
{
    return int(std::count_if(std::begin(s_subscribers), std::end(s_subscribers), [](uint32_t a) { return a != 0; }));
}
