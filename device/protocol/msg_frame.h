// Device message frames: the in-memory record, the transport ports, the
// frame encoder and the per-port byte-stream parser.
//
// Frame on the wire (little-endian):
//   0x55 | 0x1T | u16 length | u16 sequence | src[4] | dst[4] | u16 id |
//   payload[length <= 500] | u8 additive checksum of all bytes before it
#pragma once

#include <cstddef>
#include <cstdint>

constexpr uint8_t kMsgStartByte = 0x55;
constexpr uint16_t kMsgMaxPayload = 500;
constexpr int kMsgHeaderBytes = 16;
constexpr int kMsgFrameOverhead = 17; // header + checksum
constexpr int kMsgPortCount = 3;

enum : uint8_t {
    kMsgTypeRequest = 0,
    kMsgTypeReply = 1,
    kMsgTypeNotification = 2,
    kMsgTypeFragment = 3,
};

// Codes reported through the error callback (code, message id).
enum : int {
    kMsgErrPayloadTooLong = 1,
    kMsgErrEncodeTooLong = 2,
    kMsgErrChecksum = 3,
    kMsgErrPortTableFull = 7,
    kMsgErrReceiveRingFull = 8,
    kMsgErrNodeTableFull = 9,
    kMsgErrPoolExhausted = 10,
    kMsgErrPoolNoDescriptor = 11,
    kMsgErrPoolNoGap = 12, // also: a frame or payload allocation failed
    kMsgErrPoolBadFree = 13,
    kMsgErrTransmitDropped = 15, // a message (all of its pieces) could not be queued
    kMsgErrReassemblyTooLong = 16, // a fragmented message longer than the reassembly buffer
};

// Results of msg_parse_bytes.
enum : int {
    kMsgParseBadPort = 26,
    kMsgParsePortUnused = 27,
    kMsgParseBadKind = 45,
    kMsgParseBadChecksum = 117,
};

// Results of msg_encode_frame.
enum : int {
    kMsgEncodeBadPort = 230,
    kMsgEncodePortUnused = 231,
    kMsgEncodeTooLong = 235,
    kMsgEncodeNoPayload = 237,
    kMsgEncodeNoMemory = 241,
};

// Node address as a u32: node number in bits 0-7, network 8-15, group 16-31;
// on the wire the same four bytes, little-endian.
constexpr uint32_t msg_make_address(uint8_t node, uint8_t network, uint16_t group)
{
    return uint32_t(node) | (uint32_t(network) << 8) | (uint32_t(group) << 16);
}
constexpr uint8_t msg_address_node(uint32_t address) { return uint8_t(address); }
constexpr uint8_t msg_address_network(uint32_t address) { return uint8_t(address >> 8); }
constexpr uint16_t msg_address_group(uint32_t address) { return uint16_t(address >> 16); }
constexpr bool msg_address_is_broadcast(uint32_t address) { return (address >> 8) == 0; }

#pragma pack(push, 1)
struct msg_record {
    uint8_t start;
    uint8_t type;
    uint16_t length;
    uint16_t sequence;
    uint32_t source;
    uint32_t destination;
    uint16_t id;
    uint8_t *payload; // pool memory owned by the record, null when length is 0
    uint8_t checksum;
};
#pragma pack(pop)
static_assert(sizeof(msg_record) == 17 + sizeof(void *));

// Called with each encoded frame; the bytes are only valid during the call.
using msg_send_fn = int (*)(int port, int length, const uint8_t *frame);
// Called with every good frame; takes ownership of record->payload.
using msg_receive_hook_fn = int (*)(int port, msg_record *record);

void msg_init_ports();
int msg_add_port(msg_send_fn send);
void msg_set_receive_hook(msg_receive_hook_fn hook);
int msg_parse_bytes(int port, int count, const uint8_t *bytes);
// Drops the port's half-received frame; call when its device opens or closes
// so that a partial frame of one session never joins the next.
void msg_reset_port(int port);
int msg_encode_frame(int port, const msg_record *record);
void msg_send_on_port(uint8_t mode, uint8_t port, const msg_record *record);
bool msg_port_in_use(int port);

int msg_copy_record(msg_record *destination, const msg_record *source);
int msg_alloc_payload(msg_record *record, const uint8_t *bytes);
void msg_free_payload(msg_record *record);
