// Node layer: known nodes and their link messages (id 0), the receive ring,
// the paced transmit queue, fragmentation and reassembly, and routing
// between ports.
#pragma once

#include "device/protocol/msg_frame.h"

#include <cstdint>

constexpr int kMsgRingEntries = 200;
constexpr int kMsgQueueEntries = 200;
constexpr int kMsgNodeEntries = 53; // entry 0 heads the list
constexpr int kMsgLinkPayloadBytes = 13;
constexpr uint32_t kMsgLinkPeriodMs = 1024;
constexpr uint32_t kMsgExpiryStepMs = 50;
constexpr uint16_t kMsgLinkMessageId = 0;

struct msg_node {
    uint8_t inUse;
    int32_t lifeMs;
    uint32_t port;
    uint32_t pendingPort; // port it was last heard on, when not its own (0 = none)
    uint32_t address;
    uint8_t linkByte0;
    uint16_t maxPayload;
    uint16_t rate; // messages per second, 0 = unpaced
    uint8_t reassembly[kMsgMaxPayload];
    uint16_t reassemblyLength;
    uint16_t reassemblyId;
    uint16_t firstSequence;
    uint16_t sequenceSum;
    bool reassemblyActive;
    bool reassemblyDropping; // over-long: the rest of the message is discarded
    uint32_t uptimeMs;
    uint8_t linkByte4;
    uint8_t linkByte5;
    uint8_t hops;
    uint16_t next;
};

void msg_init_node_layer();
// The transmit path of msg_send: broadcasts leave at once, everything else
// is cut to the peer's size and queued, paced by the peer's rate.
void msg_transmit(const msg_record *record);
const msg_node *msg_find_node(uint32_t address);
void msg_poll_receive();
// A logout: removes the node and reports it to the login callback.
bool msg_remove_node(uint32_t address);
// The device behind the port is gone: its nodes, their pending requests and
// the port's queued traffic are dropped without a login report, so the next
// session logs in afresh. Call with msg_reset_port.
void msg_forget_port_nodes(int port);

int msg_node_count();
int msg_receive_ring_count();
int msg_transmit_queue_count();
uint32_t msg_short_link_count();
