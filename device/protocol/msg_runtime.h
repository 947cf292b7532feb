// Core runtime of the device message protocol: initialisation, the tick,
// the millisecond clock, the program's node byte and the error channel.
#pragma once

#include <cstdint>

constexpr uint8_t kMsgProgramNetwork = 1;
constexpr uint16_t kMsgProgramGroup = 28;

using msg_error_fn = void (*)(int code, int messageId);
// from: 0 seen by the core itself, 1 stated by a login message;
// kind: 0 logged in, 1 logged out.
using msg_login_fn = void (*)(int from, int kind, uint32_t address);

// Once, before any port is added. Clears the error and login callbacks.
void msg_init();
// One tick of receive, transmit, retransmission and periodic work.
void msg_tick();
// The core's only notion of time; nothing in the core reads a real clock.
void msg_advance_clock(uint16_t milliseconds);
uint32_t msg_clock_ms();

uint8_t msg_node_byte();
uint32_t msg_self_address();

void msg_set_error_callback(msg_error_fn callback);
void msg_set_login_callback(msg_login_fn callback);
void msg_report_error(int code, int messageId);

// Tests and fuzzers only: back to the state of a fresh process (clock 0,
// node byte 1, sequence counters 0, no callbacks), then msg_init.
void msg_reset_for_tests();
