#include "device/protocol/msg_node.h"

#include "device/protocol/msg_core.h"
#include "device/protocol/msg_internal.h"
#include "device/protocol/msg_runtime.h"

#include <algorithm>
#include <climits>
#include <cstring>

namespace {

constexpr uint16_t kLinkMaxPayload = kMsgMaxPayload;
constexpr uint8_t kLinkByte4 = 0x01;
constexpr uint8_t kLinkByte5 = 0x0A;
constexpr uint8_t kLinkPeriodCode = 0x24; // 4 << (4 * 2) = 1024 ms
constexpr int32_t kLifeWithoutPeriodMs = 3000;
constexpr int kCollisionDraws = 4;

struct RingEntry {
    uint32_t port;
    msg_record record; // owns its payload
};

struct QueueEntry {
    uint32_t port;
    uint32_t pauseMs;
    msg_record record; // owns its payload copy
};

RingEntry s_ring[kMsgRingEntries];
int s_ringCount = 0;
int s_ringRead = 0;
int s_ringWrite = 0;
bool s_ringBusy = false; // re-entry guard; single-threaded

QueueEntry s_queue[kMsgQueueEntries];
int s_queueCount = 0;
int s_queueRead = 0;
int s_queueWrite = 0;
uint32_t s_lastTransmitMs = 0;
uint32_t s_transmitPauseMs = 0;

msg_node s_nodes[kMsgNodeEntries];
uint32_t s_lastExpiryMs = 0;
uint32_t s_lastBeaconMs = 0;
uint32_t s_linkPeriodMs = kMsgLinkPeriodMs;
uint16_t s_linkSequence = 0; // survives msg_init
uint32_t s_shortLinks = 0;

msg_node *findNode(uint32_t address)
{
    for (uint16_t i = s_nodes[0].next; i != 0; i = s_nodes[i].next) {
        if (s_nodes[i].address == address)
            return &s_nodes[i];
    }
    return nullptr;
}

uint16_t listTail()
{
    uint16_t i = 0;
    while (s_nodes[i].next != 0)
        i = s_nodes[i].next;
    return i;
}

void unlink(uint16_t index)
{
    for (uint16_t i = 0; i < kMsgNodeEntries; i = s_nodes[i].next) {
        if (s_nodes[i].next == index) {
            s_nodes[i].next = s_nodes[index].next;
            break;
        }
        if (s_nodes[i].next == 0)
            break;
    }
    s_nodes[index] = {};
}

int32_t lifetimeMs(const uint8_t *link)
{
    if (link[4] == 0 || link[5] == 0)
        return kLifeWithoutPeriodMs;
    const uint8_t code = link[12];
    const uint64_t periodMs = uint64_t(code & 0x0F) << (4 * ((code >> 4) & 0x07));
    return int32_t(std::min<uint64_t>(3 * periodMs, INT32_MAX));
}

void sendLink(int port, uint8_t type, uint32_t destination)
{
    uint8_t payload[kMsgLinkPayloadBytes] = {};
    msg_put_u16(payload + 1, kLinkMaxPayload);
    payload[4] = kLinkByte4;
    payload[5] = kLinkByte5;
    msg_put_u32(payload + 6, msg_clock_ms());
    payload[12] = kLinkPeriodCode;
    msg_record r{};
    r.start = kMsgStartByte;
    r.type = type;
    r.length = kMsgLinkPayloadBytes;
    r.sequence = ++s_linkSequence;
    r.source = msg_self_address();
    r.destination = destination;
    r.id = kMsgLinkMessageId;
    r.payload = payload;
    if (port < 0)
        msg_send_on_port(0, 0, &r);
    else
        msg_encode_frame(port, &r);
}

bool nodeByteFree(uint32_t candidate)
{
    if (candidate == 0 || candidate > 255 || candidate == msg_node_byte())
        return false;
    for (uint16_t i = s_nodes[0].next; i != 0; i = s_nodes[i].next) {
        if (msg_address_node(s_nodes[i].address) == candidate)
            return false;
    }
    return true;
}

// Another node claims our address and has been up longer: take a new byte.
void yieldNodeByte()
{
    uint32_t r = msg_rand();
    uint32_t chosen = 0;
    for (int draw = 0; draw < kCollisionDraws && chosen == 0; ++draw) {
        if (nodeByteFree(r % 256))
            chosen = r % 256;
        else
            r = (msg_rand() % 256) * (msg_clock_ms() % 256);
    }
    for (uint32_t b = 1; b <= 255 && chosen == 0; ++b) {
        if (nodeByteFree(b))
            chosen = b;
    }
    if (chosen == 0)
        return; // cannot happen with 52 nodes at most
    msg_set_node_byte(uint8_t(chosen));
    sendLink(-1, kMsgTypeNotification, 0);
}

void updateNode(uint32_t address, uint32_t port, const uint8_t *link)
{
    if (address == msg_self_address())
        return;
    if (msg_node *n = findNode(address)) {
        if (n->port != port) {
            n->pendingPort = port;
            return;
        }
        n->lifeMs = std::max(n->lifeMs, lifetimeMs(link));
        n->linkByte0 = link[0];
        n->maxPayload = msg_get_u16(link + 1);
        n->rate = msg_get_u16(link + 10);
        n->uptimeMs = msg_get_u32(link + 6);
        n->hops = link[3];
        n->pendingPort = 0;
        return;
    }
    const uint16_t tail = listTail();
    uint16_t index = 0;
    for (int k = 1; k <= kMsgNodeEntries && index == 0; ++k) {
        const uint16_t probe = uint16_t((tail + k) % kMsgNodeEntries);
        if (probe != 0 && !s_nodes[probe].inUse)
            index = probe;
    }
    if (index == 0) {
        msg_report_error(kMsgErrNodeTableFull, 0);
        return;
    }
    msg_node &n = s_nodes[index];
    n = {};
    n.inUse = 1;
    n.lifeMs = lifetimeMs(link);
    n.port = port;
    n.address = address;
    n.linkByte0 = link[0];
    n.maxPayload = msg_get_u16(link + 1);
    n.rate = msg_get_u16(link + 10);
    n.uptimeMs = msg_get_u32(link + 6);
    n.linkByte4 = link[4];
    n.linkByte5 = link[5];
    n.hops = link[3];
    s_nodes[tail].next = index;
    sendLink(int(port), kMsgTypeNotification, address);
    msg_call_login(0, 0, address);
    msg_node_logged_in(address);
}

// Returns false when the message must go no further.
bool handleLink(uint32_t port, msg_record &r)
{
    if (r.length < kMsgLinkPayloadBytes) {
        ++s_shortLinks;
        return false;
    }
    uint8_t *link = r.payload;
    const uint32_t self = msg_self_address();
    if (r.type == kMsgTypeRequest && r.destination == self)
        sendLink(int(port), kMsgTypeReply, r.source);
    if (r.source == self) {
        if (msg_get_u32(link + 6) > msg_clock_ms())
            yieldNodeByte();
        return true;
    }
    updateNode(r.source, port, link);
    if (msg_get_u16(link + 1) > kMsgMaxPayload)
        msg_put_u16(link + 1, kMsgMaxPayload);
    ++link[3];
    const msg_node *n = findNode(r.source);
    if (n && n->port != port && port != 0) {
        msg_put_u32(link + 6, msg_get_u32(link + 6) + 10 * s_linkPeriodMs);
        msg_encode_frame(int(port), &r);
    }
    return true;
}

void resetReassembly(msg_node &n)
{
    n.reassemblyLength = 0;
    n.reassemblyActive = false;
    n.reassemblyDropping = false;
}

void receiveForProgram(uint32_t port, msg_record &r)
{
    msg_node *n = findNode(r.source);
    if (!n)
        return;
    if (r.type == kMsgTypeFragment) {
        if (!n->reassemblyActive) {
            n->reassemblyActive = true;
            n->firstSequence = uint16_t(r.sequence - 1);
            n->sequenceSum = uint16_t(r.sequence - 1);
        }
        n->sequenceSum = uint16_t(n->sequenceSum + r.sequence);
        n->reassemblyId = r.id;
        if (n->reassemblyDropping)
            return;
        if (n->reassemblyLength + r.length > kMsgMaxPayload) {
            msg_report_error(kMsgErrReassemblyTooLong, r.id);
            n->reassemblyDropping = true;
            n->reassemblyLength = 0;
            return;
        }
        if (r.length > 0)
            std::memcpy(n->reassembly + n->reassemblyLength, r.payload, r.length);
        n->reassemblyLength = uint16_t(n->reassemblyLength + r.length);
        return;
    }
    if (!n->reassemblyActive) {
        msg_dispatch(int(port), &r);
        return;
    }
    const bool belongs = r.sequence == n->sequenceSum && r.id == n->reassemblyId;
    const bool dropping = n->reassemblyDropping;
    const uint16_t buffered = n->reassemblyLength;
    resetReassembly(*n);
    if (!belongs || dropping)
        return;
    if (buffered + r.length > kMsgMaxPayload) {
        msg_report_error(kMsgErrReassemblyTooLong, r.id);
        return;
    }
    if (r.length > 0)
        std::memcpy(n->reassembly + buffered, r.payload, r.length);
    msg_record joined = r;
    joined.length = uint16_t(buffered + r.length);
    joined.sequence = n->firstSequence;
    joined.payload = joined.length > 0 ? n->reassembly : nullptr;
    msg_dispatch(int(port), &joined);
}

void route(uint32_t port, msg_record &r)
{
    const uint32_t self = msg_self_address();
    if (r.destination == self) {
        receiveForProgram(port, r);
    } else if (msg_address_is_broadcast(r.destination)) {
        if (r.source == self || !findNode(r.source))
            return;
        msg_send_on_port(1, uint8_t(port), &r);
        msg_dispatch(int(port), &r);
    } else if (const msg_node *n = findNode(r.destination)) {
        if (n->port != port)
            msg_encode_frame(int(n->port), &r);
    }
}

int ringWriter(int port, msg_record *record)
{
    if (s_ringCount >= kMsgRingEntries || s_ringBusy) {
        msg_report_error(kMsgErrReceiveRingFull, record->id);
        msg_free_payload(record);
        return 0;
    }
    s_ringBusy = true;
    s_ring[s_ringWrite] = {uint32_t(port), *record};
    record->payload = nullptr;
    record->length = 0;
    s_ringWrite = (s_ringWrite + 1) % kMsgRingEntries;
    ++s_ringCount;
    s_ringBusy = false;
    return 0;
}

void transmitStep()
{
    const uint32_t now = msg_clock_ms();
    if (now - s_lastTransmitMs < s_transmitPauseMs)
        return;
    s_lastTransmitMs = now;
    s_transmitPauseMs = 0;
    if (s_queueCount == 0)
        return;
    QueueEntry e = s_queue[s_queueRead];
    s_queue[s_queueRead] = {};
    s_queueRead = (s_queueRead + 1) % kMsgQueueEntries;
    --s_queueCount;
    s_transmitPauseMs = e.pauseMs;
    msg_encode_frame(int(e.port), &e.record);
    msg_free_payload(&e.record);
}

void expiryStep()
{
    const uint32_t now = msg_clock_ms();
    if (now - s_lastExpiryMs <= kMsgExpiryStepMs)
        return;
    s_lastExpiryMs = now;
    uint16_t i = s_nodes[0].next;
    while (i != 0) {
        msg_node &n = s_nodes[i];
        const uint16_t next = n.next;
        if (n.lifeMs > 0) {
            n.lifeMs -= int32_t(kMsgExpiryStepMs);
        } else if (n.pendingPort != 0) {
            n.port = n.pendingPort;
            n.pendingPort = 0;
            n.lifeMs = 0;
        } else {
            const uint32_t address = n.address;
            unlink(i);
            msg_call_login(0, 1, address);
        }
        i = next;
    }
}

void beaconStep()
{
    const uint32_t now = msg_clock_ms();
    if (now - s_lastBeaconMs <= s_linkPeriodMs)
        return;
    s_lastBeaconMs = now;
    sendLink(-1, kMsgTypeNotification, 0);
}

// Keeps the entries of a ring or queue for which keep() holds, in order.
template <typename Entry, typename Keep>
void compact(Entry *entries, int capacity, int &count, int &read, int &write, Keep keep)
{
    int kept = 0;
    for (int k = 0; k < count; ++k) {
        Entry &e = entries[(read + k) % capacity];
        if (keep(e)) {
            entries[(read + kept) % capacity] = e;
            ++kept;
        } else {
            msg_free_payload(&e.record);
        }
    }
    for (int k = kept; k < count; ++k)
        entries[(read + k) % capacity] = {};
    count = kept;
    write = (read + kept) % capacity;
}

} // namespace

void msg_init_node_layer()
{
    // The pool is reinitialised alongside, so payloads are not freed here.
    for (RingEntry &e : s_ring)
        e = {};
    for (QueueEntry &e : s_queue)
        e = {};
    for (msg_node &n : s_nodes)
        n = {};
    s_nodes[0].inUse = 1;
    s_ringCount = s_ringRead = s_ringWrite = 0;
    s_ringBusy = false;
    s_queueCount = s_queueRead = s_queueWrite = 0;
    const uint32_t now = msg_clock_ms();
    s_lastTransmitMs = s_lastExpiryMs = s_lastBeaconMs = now;
    s_transmitPauseMs = 0;
    s_linkPeriodMs = kMsgLinkPeriodMs;
    s_shortLinks = 0;
    msg_set_receive_hook(ringWriter);
}

void msg_reset_link_sequence() { s_linkSequence = 0; }

void msg_transmit(const msg_record *record)
{
    if (record->length > 0 && !record->payload)
        return;
    if (msg_address_is_broadcast(record->destination)) {
        msg_send_on_port(0, 0, record);
        return;
    }
    const msg_node *n = findNode(record->destination);
    if (!n || n->maxPayload == 0)
        return;
    const uint16_t chunk = std::min<uint16_t>(n->maxPayload, kMsgMaxPayload);
    const int pieces = record->length > chunk ? (record->length + chunk - 1) / chunk : 1;
    if (kMsgQueueEntries - s_queueCount < pieces) {
        msg_report_error(kMsgErrTransmitDropped, record->id);
        return;
    }
    const uint32_t pauseMs = n->rate ? 1000u / n->rate : 0;
    const int firstWrite = s_queueWrite;
    uint16_t offset = 0;
    uint16_t sequence = record->sequence;
    uint16_t sum = record->sequence;
    for (int piece = 0; piece < pieces; ++piece) {
        msg_record r = *record;
        if (piece < pieces - 1) {
            sequence = uint16_t(sequence + 1);
            sum = uint16_t(sum + sequence);
            r.type = kMsgTypeFragment;
            r.sequence = sequence;
            r.length = chunk;
        } else {
            r.sequence = pieces > 1 ? sum : record->sequence;
            r.length = uint16_t(record->length - offset);
        }
        if (msg_alloc_payload(&r, record->payload ? record->payload + offset : nullptr) != 0) {
            // All or nothing: take back the pieces already queued.
            for (int k = 0; k < piece; ++k) {
                QueueEntry &e = s_queue[(firstWrite + k) % kMsgQueueEntries];
                msg_free_payload(&e.record);
                e = {};
            }
            s_queueWrite = firstWrite;
            s_queueCount -= piece;
            msg_report_error(kMsgErrTransmitDropped, record->id);
            return;
        }
        s_queue[s_queueWrite] = {n->port, pauseMs, r};
        s_queueWrite = (s_queueWrite + 1) % kMsgQueueEntries;
        ++s_queueCount;
        offset = uint16_t(offset + r.length);
    }
}

const msg_node *msg_find_node(uint32_t address) { return findNode(address); }

void msg_poll_receive()
{
    if (s_ringCount > 0) {
        RingEntry e = s_ring[s_ringRead];
        s_ring[s_ringRead] = {};
        s_ringRead = (s_ringRead + 1) % kMsgRingEntries;
        --s_ringCount;
        if (e.record.id != kMsgLinkMessageId || handleLink(e.port, e.record))
            route(e.port, e.record);
        msg_free_payload(&e.record);
    }
    transmitStep();
    expiryStep();
    beaconStep();
}

bool msg_remove_node(uint32_t address)
{
    msg_node *n = findNode(address);
    if (!n)
        return false;
    unlink(uint16_t(n - s_nodes));
    msg_call_login(0, 1, address);
    return true;
}

void msg_forget_port_nodes(int port)
{
    const uint32_t p = uint32_t(port);
    uint16_t i = s_nodes[0].next;
    while (i != 0) {
        msg_node &n = s_nodes[i];
        const uint16_t next = n.next;
        if (n.port == p) {
            msg_drop_pending_to(n.address);
            unlink(i);
        } else if (n.pendingPort == p) {
            n.pendingPort = 0;
        }
        i = next;
    }
    compact(s_ring, kMsgRingEntries, s_ringCount, s_ringRead, s_ringWrite, [p](const RingEntry &e) { return e.port != p; });
    compact(s_queue, kMsgQueueEntries, s_queueCount, s_queueRead, s_queueWrite, [p](const QueueEntry &e) { return e.port != p; });
}

int msg_node_count()
{
    int count = 0;
    for (uint16_t i = s_nodes[0].next; i != 0; i = s_nodes[i].next)
        ++count;
    return count;
}

int msg_receive_ring_count() { return s_ringCount; }
int msg_transmit_queue_count() { return s_queueCount; }
uint32_t msg_short_link_count() { return s_shortLinks; }
