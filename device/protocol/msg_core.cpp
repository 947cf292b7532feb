#include "device/protocol/msg_core.h"

#include "device/protocol/msg_internal.h"
#include "device/protocol/msg_node.h"
#include "device/protocol/msg_runtime.h"

namespace {

struct PendingEntry {
    uint8_t inUse;
    uint32_t sendTimeMs;
    int32_t triesLeft;
    msg_record record; // deep copy, owns its payload
};

struct HandlerEntry {
    uint8_t inUse;
    uint16_t id;
    msg_handler_fn response;
    msg_handler_fn timeout;
};

PendingEntry msg_pending_table[kMsgPendingEntries];
HandlerEntry msg_handler_table[kMsgHandlerEntries];
uint16_t s_sequence = 0; // survives msg_init, like the clock
bool s_inDispatch = false;
uint16_t s_dispatchSequence = 0;

const HandlerEntry *findHandler(uint16_t id)
{
    for (const HandlerEntry &h : msg_handler_table) {
        if (h.inUse && h.id == id)
            return &h;
    }
    return nullptr;
}

void release(PendingEntry &e)
{
    msg_free_payload(&e.record);
    e.inUse = 0;
    e.sendTimeMs = 0;
    e.triesLeft = 0;
}

// Frees the entry and tells its handler the request timed out. True when a
// handler was told: it may have sent again, so the caller stops its walk.
bool expire(PendingEntry &e)
{
    release(e);
    const HandlerEntry *h = findHandler(e.record.id);
    if (!h)
        return false;
    msg_record header = e.record; // the handler may reuse the entry
    if (h->timeout)
        h->timeout(0, &header);
    return true;
}

} // namespace

void msg_init_dispatch()
{
    // The pool is reinitialised alongside, so copies are not freed here.
    for (PendingEntry &e : msg_pending_table)
        e = {};
    for (HandlerEntry &h : msg_handler_table)
        h = {};
    s_inDispatch = false;
}

void msg_reset_sequence() { s_sequence = 0; }

int msg_register_handler(uint16_t messageId, msg_handler_fn response, msg_handler_fn timeout)
{
    for (HandlerEntry &h : msg_handler_table) {
        if (!h.inUse) {
            h = {1, messageId, response, timeout};
            return 0;
        }
    }
    return 1;
}

int msg_send(uint8_t flags, const msg_record *source)
{
    msg_record r = *source;
    r.source = msg_self_address();
    if (r.type != kMsgTypeReply) {
        r.sequence = ++s_sequence;
    } else if (!(flags & kMsgSendKeepSequence) && s_inDispatch) {
        r.sequence = s_dispatchSequence;
    }

    if (!(flags & kMsgSendTrack) || r.type != kMsgTypeRequest) {
        msg_transmit(&r);
        return kMsgSendOk;
    }

    if (flags & kMsgSendCancelPending) {
        for (PendingEntry &e : msg_pending_table) {
            if (!e.inUse || e.record.id != r.id || e.record.destination != r.destination)
                continue;
            if (expire(e))
                return kMsgSendCancelled;
        }
    }

    for (PendingEntry &e : msg_pending_table) {
        if (e.inUse)
            continue;
        if (msg_copy_record(&e.record, &r) != 0) {
            e.record = {};
            msg_transmit(&r);
            return kMsgSendUntracked;
        }
        e.inUse = 1;
        e.triesLeft = kMsgRetransmissions;
        e.sendTimeMs = msg_clock_ms();
        msg_transmit(&r);
        return kMsgSendOk;
    }
    msg_transmit(&r);
    return kMsgSendUntracked;
}

int msg_send_reply(const msg_record *received, uint8_t status)
{
    msg_send_answer(received, &status, 1);
    return 0;
}

void msg_retransmit_pending()
{
    const uint32_t now = msg_clock_ms();
    for (PendingEntry &e : msg_pending_table) {
        if (!e.inUse || now - e.sendTimeMs <= kMsgRetransmitAfterMs)
            continue;
        e.sendTimeMs = now;
        if (e.triesLeft > 0) {
            --e.triesLeft;
            msg_transmit(&e.record);
            continue;
        }
        if (expire(e))
            return; // the rest wait for the next tick
    }
}

void msg_dispatch(int port, msg_record *record)
{
    if (record->length > 0 && !record->payload)
        return;
    const bool outerDispatch = s_inDispatch;
    const uint16_t outerSequence = s_dispatchSequence;
    s_inDispatch = true;
    s_dispatchSequence = record->sequence;
    if (record->type == kMsgTypeReply) {
        for (PendingEntry &e : msg_pending_table) {
            if (e.inUse && e.record.id == record->id && e.record.sequence == record->sequence
                && e.record.destination == record->source)
                release(e);
        }
    }
    if (const HandlerEntry *h = findHandler(record->id)) {
        if (h->response)
            h->response(port, record);
    }
    s_inDispatch = outerDispatch;
    s_dispatchSequence = outerSequence;
}

void msg_drop_pending_to(uint32_t address)
{
    for (PendingEntry &e : msg_pending_table) {
        if (e.inUse && e.record.destination == address)
            release(e);
    }
}

int msg_pending_count()
{
    int n = 0;
    for (const PendingEntry &e : msg_pending_table)
        n += e.inUse;
    return n;
}

void msg_send_bytes(uint8_t type, uint8_t flags, uint32_t destination, uint16_t id, const uint8_t *payload,
                    uint16_t length)
{
    msg_record r{};
    r.type = type;
    r.destination = destination;
    r.id = id;
    r.length = length;
    r.payload = const_cast<uint8_t *>(payload); // borrowed: msg_send copies what it keeps
    msg_send(flags, &r);
}

void msg_send_answer(const msg_record *request, const uint8_t *payload, uint16_t length)
{
    msg_record r{};
    r.type = kMsgTypeReply;
    r.destination = request->source;
    r.id = request->id;
    r.sequence = request->sequence;
    r.length = length;
    r.payload = const_cast<uint8_t *>(payload);
    msg_send(kMsgSendKeepSequence, &r);
}
