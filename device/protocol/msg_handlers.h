// Message modules through which the program learns who a device is and
// exchanges its settings: node name (1), login and logout (13, 14),
// version (16), serial number (23) and attributes (30 to 34).
//
// Callbacks get a reply record and a data pointer that is valid for the
// call only; the data covers exactly info->length bytes, and is null when
// there are none (failure, time-out, or an empty value).
#pragma once

#include <cstdint>

#pragma pack(push, 1)
struct msg_reply_info {
    uint8_t kind; // 0 reply, time-out or local answer; 2 attribute notification
    uint32_t address; // the replying node, or the asked one on a time-out
    uint16_t id;
    uint16_t length;
    uint8_t status; // 0 success; 1 time-out or failure (ids 1, 16: the reply's first byte)
};
#pragma pack(pop)
static_assert(sizeof(msg_reply_info) == 10);

constexpr int kMsgNameBufferBytes = 24;
constexpr int kMsgVersionBufferBytes = 32;
constexpr int kMsgAttrSubscribers = 5;
constexpr int kMsgAttrMaxValueBytes = 200;
constexpr uint16_t kMsgIdNodeName = 1;
constexpr uint16_t kMsgIdLogout = 13;
constexpr uint16_t kMsgIdLogin = 14;
constexpr uint16_t kMsgIdVersion = 16;
constexpr uint16_t kMsgIdSerial = 23;
constexpr uint16_t kMsgIdAttrSet = 30;
constexpr uint16_t kMsgIdAttrGet = 31;
constexpr uint16_t kMsgIdAttrSetList = 32;
constexpr uint16_t kMsgIdAttrGetList = 33;
constexpr uint16_t kMsgIdAttrNotify = 34;

using msg_info_fn = void (*)(const msg_reply_info *info, const uint8_t *data);
using msg_attr_fn = void (*)(const msg_reply_info *info, uint8_t attribute, const uint8_t *value);

void msg_set_name_callback(msg_info_fn callback);
void msg_set_version_callback(msg_info_fn callback);
void msg_set_serial_callback(msg_info_fn callback); // null keeps the old one
void msg_set_attr_callback(msg_attr_fn callback);

// Tracked requests (type 0) to a node; answers arrive through the callbacks.
void msg_request_node_name(uint32_t address);
void msg_request_version(uint32_t address);
void msg_request_serial(uint32_t address);
void msg_attr_set(uint32_t address, uint8_t attribute, uint8_t length, const uint8_t *bytes);
void msg_attr_get(uint32_t address, uint8_t attribute);
// The low bytes of the 16-bit ids are sent; count 0 asks for every attribute.
void msg_attr_get_list(uint32_t address, uint8_t count, const uint16_t *attributes);
void msg_attr_login_request(uint32_t address);

// The program's answer to a login report. A login the core saw itself (from
// 0) makes the address the peer's and, for a node number other than 0, asks
// for name, serial number and version and subscribes to notifications; a
// login that a message only states is left alone. True when the address is
// the new peer.
bool msg_answer_login(int from, uint32_t address);

int msg_attr_subscriber_count();

// Watch notifications (id 7) skipped because the transmit queue was more
// than half full; cleared by msg_init.
uint32_t msg_watch_skipped_count();
