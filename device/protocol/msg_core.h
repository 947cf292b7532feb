// Message core: stamping and sequencing of outgoing messages, the table of
// tracked requests with retransmission and time-outs, and dispatch of
// received messages to the handler registered for their id.
#pragma once

#include "device/protocol/msg_frame.h"

#include <cstdint>

constexpr int kMsgPendingEntries = 200;
constexpr int kMsgHandlerEntries = 256;
constexpr uint32_t kMsgRetransmitAfterMs = 1000; // more than this without a reply
constexpr int kMsgRetransmissions = 3;

// Flags of msg_send.
enum : uint8_t {
    kMsgSendTrack = 1, // requests (type 0) only
    kMsgSendKeepSequence = 2, // a reply keeps the caller's sequence number
    kMsgSendCancelPending = 4, // drop a pending request of the same id and destination first
};

// Results of msg_send.
enum : int {
    kMsgSendOk = 0,
    kMsgSendUntracked = 1, // sent, but no pending entry could hold it
    kMsgSendCancelled = 2, // a pending request was cancelled; nothing sent
};

// Handlers get requests, replies and notifications of their id alike; the
// record and its payload belong to the caller. Time-out handlers get port 0
// and a record without payload.
using msg_handler_fn = int (*)(int port, msg_record *record);

void msg_init_dispatch();
int msg_register_handler(uint16_t messageId, msg_handler_fn response, msg_handler_fn timeout);
// The record is borrowed: what must be kept is copied.
int msg_send(uint8_t flags, const msg_record *record);
int msg_send_reply(const msg_record *received, uint8_t status);
void msg_retransmit_pending();
void msg_dispatch(int port, msg_record *record);

int msg_pending_count();
