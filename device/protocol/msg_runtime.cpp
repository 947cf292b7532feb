#include "device/protocol/msg_runtime.h"

#include "device/protocol/msg_core.h"
#include "device/protocol/msg_frame.h"
#include "device/protocol/msg_node.h"
#include "device/protocol/msg_internal.h"
#include "device/protocol/msg_pool.h"

namespace {

uint32_t s_clockMs = 0;
uint8_t s_nodeByte = 1;
uint32_t s_randState = 1;
msg_error_fn s_errorCallback = nullptr;
msg_login_fn s_loginCallback = nullptr;

uint32_t buildSeed()
{
    // Build date ("Aug 26 2025") and time ("hh:mm:ss"), each with its NUL.
    static const char kDate[] = __DATE__;
    static const char kTime[] = __TIME__;
    uint32_t h = 0;
    for (char c : kDate)
        h = h * 131u + uint32_t(int32_t(static_cast<signed char>(c)));
    for (char c : kTime)
        h = h * 131u + uint32_t(int32_t(static_cast<signed char>(c)));
    return h;
}

} // namespace

void msg_init()
{
    s_errorCallback = nullptr;
    s_loginCallback = nullptr;
    const uint32_t seed = buildSeed();
    msg_pool_init();
    msg_init_ports();
    msg_init_node_layer();
    msg_init_dispatch();
    msg_register_login_module();
    msg_register_name_module();
    msg_register_selfdesc_module();
    msg_register_version_module();
    msg_register_transfer_module();
    msg_register_serial_module();
    msg_register_value_modules();
    msg_register_attr_module();
    // A private generator: the process-wide rand() is left to its owners.
    s_randState = seed;
}

void msg_tick()
{
    msg_poll_receive();
    msg_retransmit_pending();
    msg_selfdesc_tick();
}

void msg_advance_clock(uint16_t milliseconds) { s_clockMs += milliseconds; }
uint32_t msg_clock_ms() { return s_clockMs; }

uint8_t msg_node_byte() { return s_nodeByte; }
uint32_t msg_self_address() { return msg_make_address(s_nodeByte, kMsgProgramNetwork, kMsgProgramGroup); }
void msg_set_node_byte(uint8_t node) { s_nodeByte = node; }

uint32_t msg_rand()
{
    s_randState = s_randState * 1103515245u + 12345u;
    return (s_randState >> 16) & 0x7FFF;
}

void msg_set_error_callback(msg_error_fn callback) { s_errorCallback = callback; }
void msg_set_login_callback(msg_login_fn callback) { s_loginCallback = callback; }

void msg_report_error(int code, int messageId)
{
    if (s_errorCallback)
        s_errorCallback(code, messageId);
}

void msg_call_login(int from, int kind, uint32_t address)
{
    if (s_loginCallback)
        s_loginCallback(from, kind, address);
}

void msg_reset_for_tests()
{
    s_clockMs = 0;
    s_nodeByte = 1;
    msg_reset_sequence();
    msg_reset_link_sequence();
    msg_pool_reset_peak();
    msg_reset_handler_callbacks();
    msg_init();
}
