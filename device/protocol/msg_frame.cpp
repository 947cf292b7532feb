#include "device/protocol/msg_frame.h"

#include "device/protocol/msg_internal.h"
#include "device/protocol/msg_pool.h"
#include "device/protocol/msg_runtime.h"

#include <cstring>

namespace {

enum : uint8_t {
    kStateIdle = 0,
    kStateKind = 1,
    kStateLastHeaderByte = 15,
    kStatePayload = 16,
    kStateChecksum = 17,
};

struct PortSlot {
    uint8_t inUse;
    msg_send_fn send;
    uint8_t state;
    uint8_t checksum;
    uint16_t payloadIndex;
    uint8_t header[kMsgHeaderBytes];
    msg_record record; // under assembly; owns its payload until delivered
};

PortSlot msg_port_table[kMsgPortCount];
msg_receive_hook_fn s_receiveHook = nullptr;
msg_record s_staging; // handed to the receive hook, which takes the payload

void beginFrame(PortSlot &slot, uint8_t b)
{
    slot.header[0] = b;
    slot.checksum = b;
    slot.state = kStateKind;
}

void dropPartial(PortSlot &slot)
{
    msg_free_payload(&slot.record);
    slot.record = {};
    slot.state = kStateIdle;
    slot.checksum = 0;
    slot.payloadIndex = 0;
}

void decodeHeader(PortSlot &slot)
{
    const uint8_t *h = slot.header;
    msg_record &r = slot.record;
    r.start = h[0];
    r.type = h[1];
    r.length = msg_get_u16(h + 2);
    r.sequence = msg_get_u16(h + 4);
    r.source = msg_get_u32(h + 6);
    r.destination = msg_get_u32(h + 10);
    r.id = msg_get_u16(h + 14);
    r.payload = nullptr;
}

void deliver(int port, PortSlot &slot, uint8_t checksum)
{
    s_staging = slot.record;
    s_staging.type &= 0x0F;
    s_staging.checksum = checksum;
    slot.record = {};
    if (s_receiveHook)
        s_receiveHook(port, &s_staging);
    else
        msg_free_payload(&s_staging);
}

} // namespace

void msg_init_ports()
{
    for (PortSlot &slot : msg_port_table) {
        // The pool is reinitialised alongside, so payloads are not freed here.
        slot = {};
    }
    s_receiveHook = nullptr;
    s_staging = {};
}

int msg_add_port(msg_send_fn send)
{
    for (int port = 1; port < kMsgPortCount; ++port) {
        if (!msg_port_table[port].inUse) {
            msg_port_table[port] = {};
            msg_port_table[port].inUse = 1;
            msg_port_table[port].send = send;
            return port;
        }
    }
    msg_report_error(kMsgErrPortTableFull, 0);
    return 0;
}

void msg_set_receive_hook(msg_receive_hook_fn hook) { s_receiveHook = hook; }

bool msg_port_in_use(int port) { return port >= 0 && port < kMsgPortCount && msg_port_table[port].inUse; }

void msg_reset_port(int port)
{
    if (msg_port_in_use(port))
        dropPartial(msg_port_table[port]);
}

int msg_parse_bytes(int port, int count, const uint8_t *bytes)
{
    if (port < 0 || port >= kMsgPortCount)
        return kMsgParseBadPort;
    PortSlot &slot = msg_port_table[port];
    if (!slot.inUse)
        return kMsgParsePortUnused;
    if (count <= 0 || !bytes)
        return 0;

    int result = 0;
    for (int i = 0; i < count; ++i) {
        const uint8_t b = bytes[i];
        switch (slot.state) {
        case kStateIdle:
            if (b == kMsgStartByte)
                beginFrame(slot, b);
            break;
        case kStateKind:
            if ((b >> 4) != 0x1) {
                // Resynchronise within the same call, so what is delivered
                // does not depend on how the stream was cut into calls.
                result = kMsgParseBadKind;
                slot.state = kStateIdle;
                if (b == kMsgStartByte)
                    beginFrame(slot, b);
                break;
            }
            slot.header[1] = b;
            slot.checksum = uint8_t(slot.checksum + b);
            slot.state = 2;
            break;
        case kStateLastHeaderByte:
            slot.header[kStateLastHeaderByte] = b;
            slot.checksum = uint8_t(slot.checksum + b);
            slot.payloadIndex = 0;
            decodeHeader(slot);
            if (slot.record.length > kMsgMaxPayload) {
                msg_report_error(kMsgErrPayloadTooLong, slot.record.id);
                dropPartial(slot);
            } else if (slot.record.length == 0) {
                slot.state = kStateChecksum;
            } else if (!(slot.record.payload = msg_pool_alloc(slot.record.length))) {
                msg_report_error(kMsgErrPoolNoGap, slot.record.id);
                dropPartial(slot);
            } else {
                slot.state = kStatePayload;
            }
            break;
        case kStatePayload:
            slot.record.payload[slot.payloadIndex++] = b;
            slot.checksum = uint8_t(slot.checksum + b);
            if (slot.payloadIndex >= slot.record.length)
                slot.state = kStateChecksum;
            break;
        case kStateChecksum:
            if (b != slot.checksum) {
                msg_report_error(kMsgErrChecksum, slot.record.id);
                dropPartial(slot);
                result = kMsgParseBadChecksum;
            } else {
                deliver(port, slot, b);
                slot.state = kStateIdle;
                result = 0;
            }
            break;
        default:
            if (slot.state > kStateChecksum) {
                dropPartial(slot);
                break;
            }
            slot.header[slot.state] = b;
            slot.checksum = uint8_t(slot.checksum + b);
            ++slot.state;
            break;
        }
    }
    return result;
}

int msg_encode_frame(int port, const msg_record *record)
{
    if (port < 0 || port >= kMsgPortCount)
        return kMsgEncodeBadPort;
    if (!msg_port_table[port].inUse)
        return kMsgEncodePortUnused;
    if (record->length > kMsgMaxPayload) {
        msg_report_error(kMsgErrEncodeTooLong, 0);
        return kMsgEncodeTooLong;
    }
    if (record->length > 0 && !record->payload)
        return kMsgEncodeNoPayload;
    const int frameLength = record->length + kMsgFrameOverhead;
    uint8_t *frame = msg_pool_alloc(uint32_t(frameLength));
    if (!frame) {
        msg_report_error(kMsgErrPoolNoGap, record->id);
        return kMsgEncodeNoMemory;
    }
    frame[0] = kMsgStartByte;
    frame[1] = uint8_t((record->type & 0x0F) | 0x10);
    msg_put_u16(frame + 2, record->length);
    msg_put_u16(frame + 4, record->sequence);
    msg_put_u32(frame + 6, record->source);
    msg_put_u32(frame + 10, record->destination);
    msg_put_u16(frame + 14, record->id);
    if (record->length > 0)
        std::memcpy(frame + kMsgHeaderBytes, record->payload, record->length);
    uint8_t sum = 0;
    for (int i = 0; i < frameLength - 1; ++i)
        sum = uint8_t(sum + frame[i]);
    frame[frameLength - 1] = sum;
    if (msg_port_table[port].send)
        msg_port_table[port].send(port, frameLength, frame);
    msg_pool_free(frame);
    return 0;
}

void msg_send_on_port(uint8_t mode, uint8_t port, const msg_record *record)
{
    if (mode == 0) {
        for (int p = 0; p < kMsgPortCount; ++p) {
            if (msg_port_table[p].inUse)
                msg_encode_frame(p, record);
        }
    } else if (mode == 1) {
        if (port != 0) {
            msg_encode_frame(0, record);
            return;
        }
        for (int p = 1; p < kMsgPortCount; ++p) {
            if (msg_port_table[p].inUse)
                msg_encode_frame(p, record);
        }
    }
}

int msg_copy_record(msg_record *destination, const msg_record *source)
{
    *destination = *source;
    destination->payload = nullptr;
    if (source->length == 0 || !source->payload)
        return 0;
    uint8_t *copy = msg_pool_alloc(source->length);
    if (!copy)
        return -1;
    std::memcpy(copy, source->payload, source->length);
    destination->payload = copy;
    return 0;
}

int msg_alloc_payload(msg_record *record, const uint8_t *bytes)
{
    record->payload = nullptr;
    if (record->length == 0)
        return 0;
    if (!bytes)
        return 1;
    record->payload = msg_pool_alloc(record->length);
    if (!record->payload)
        return 1;
    std::memcpy(record->payload, bytes, record->length);
    return 0;
}

void msg_free_payload(msg_record *record)
{
    if (record->payload)
        msg_pool_free(record->payload);
    record->payload = nullptr;
    record->length = 0;
}
