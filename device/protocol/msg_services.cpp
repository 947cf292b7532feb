// The general modules that every node answers: block transfer of files
// (ids 8, 9, 11, 12, 15) and the small value modules (18, 21, 22, 24, 26).
// The program installs no file operations or value providers, so each
// answer is the one for "nothing here".
#include "device/protocol/msg_core.h"
#include "device/protocol/msg_internal.h"
#include "device/protocol/msg_runtime.h"

#include <cstdio>
#include <initializer_list>

namespace {

enum : uint16_t {
    kIdTransferControl = 8,
    kIdTransferOpen = 9,
    kIdTransferRead = 11,
    kIdTransferEnd = 12,
    kIdTransferData = 15,
    kIdValue18 = 18,
    kIdEntries = 21,
    kIdValue22 = 22,
    kIdValue24 = 24,
    kIdTime = 26,
};

enum : uint8_t {
    kTransferCannotOpen = 0x10,
    kTransferNotOpen = 0x12,
};

constexpr int kOpenAnswerBytes = 11;
constexpr int kTimeBytes = 10;
constexpr uint8_t kTransferControlAck = 2;

// Running check of the data of the open transfer; none is ever opened.
uint32_t s_transferCheck = 0;

int onTransfer(int, msg_record *r)
{
    if (r->type != kMsgTypeRequest)
        return 0;
    const uint8_t *p = r->payload;
    switch (r->id) {
    case kIdTransferOpen: {
        const uint8_t answer[kOpenAnswerBytes] = {kTransferCannotOpen};
        msg_send_answer(r, answer, sizeof answer);
        break;
    }
    case kIdTransferRead: {
        uint8_t answer[5] = {kTransferNotOpen};
        for (int i = 0; i < 4 && i < r->length; ++i)
            answer[1 + i] = p[i];
        msg_send_answer(r, answer, sizeof answer);
        break;
    }
    case kIdTransferControl:
        if (r->length > 0 && p[0] == kTransferControlAck)
            msg_send_reply(r, 0);
        break;
    case kIdTransferEnd: {
        uint8_t answer[5] = {1};
        if (r->length >= 4 && msg_get_u32(p) == s_transferCheck) {
            std::printf("\r\n check  %x  %x \r\n", unsigned(msg_get_u32(p)), unsigned(s_transferCheck));
            answer[0] = 0;
        }
        msg_put_u32(answer + 1, s_transferCheck);
        msg_send_answer(r, answer, sizeof answer);
        break;
    }
    default:
        break;
    }
    return 0;
}

int onValue(int, msg_record *r)
{
    if (r->type != kMsgTypeRequest)
        return 0;
    switch (r->id) {
    case kIdEntries: {
        const uint8_t answer[] = {0x00, 0x00}; // no entries
        msg_send_answer(r, answer, sizeof answer);
        break;
    }
    case kIdValue22: {
        const uint8_t ok = 0x00;
        msg_send_answer(r, &ok, 1);
        break;
    }
    case kIdValue24: {
        const uint8_t none = 0x01;
        msg_send_answer(r, &none, 1);
        break;
    }
    case kIdTime: {
        // No time source: status 0 and nine zero bytes.
        const uint8_t time[kTimeBytes] = {};
        msg_send_answer(r, time, sizeof time);
        if (r->length > 0 && r->payload[0] == 1 && r->source != msg_self_address())
            msg_send_bytes(kMsgTypeRequest, kMsgSendTrack, r->source, kIdTime, time, sizeof time);
        break;
    }
    default:
        break;
    }
    return 0;
}

} // namespace

void msg_register_transfer_module()
{
    s_transferCheck = 0;
    for (uint16_t id : {kIdTransferControl, kIdTransferOpen, kIdTransferRead, kIdTransferEnd, kIdTransferData})
        msg_register_handler(id, onTransfer, nullptr);
}

void msg_register_value_modules()
{
    msg_register_handler(kIdValue18, nullptr, nullptr);
    for (uint16_t id : {kIdEntries, kIdValue22, kIdValue24, kIdTime})
        msg_register_handler(id, onValue, nullptr);
}
