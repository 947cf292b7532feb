// Functions shared between the protocol's own modules; not for callers.
#pragma once

#include "device/protocol/msg_frame.h"

#include <cstdint>

void msg_pool_reset_peak();
void msg_set_node_byte(uint8_t node);
void msg_call_login(int from, int kind, uint32_t address);
uint32_t msg_rand(); // the protocol's private generator, seeded by msg_init

inline uint16_t msg_get_u16(const uint8_t *p) { return uint16_t(p[0] | (p[1] << 8)); }
inline uint32_t msg_get_u32(const uint8_t *p)
{
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
inline void msg_put_u16(uint8_t *p, uint16_t v)
{
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}
inline void msg_put_u32(uint8_t *p, uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

void msg_reset_sequence();
void msg_drop_pending_to(uint32_t address);
void msg_reset_link_sequence();
// A new node was registered and reported; the login module greets it.
void msg_node_logged_in(uint32_t address);

// Sends payload bytes that the caller keeps (msg_send copies them).
void msg_send_bytes(uint8_t type, uint8_t flags, uint32_t destination, uint16_t id, const uint8_t *payload,
                    uint16_t length);
// Answers a received request: type 1, to its source, with its id and sequence.
void msg_send_answer(const msg_record *request, const uint8_t *payload, uint16_t length);

// Module registration and periodic work, in msg_init's order.
void msg_register_login_module();
void msg_register_name_module();
void msg_register_version_module();
void msg_register_serial_module();
void msg_register_attr_module();
void msg_register_selfdesc_module();
void msg_register_transfer_module();
void msg_register_value_modules();
void msg_reset_handler_callbacks();
void msg_selfdesc_tick();
