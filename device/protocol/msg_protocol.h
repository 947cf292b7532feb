// The device message protocol core: plain functions over fixed, file-static
// tables, all memory from one fixed arena, single-threaded (the thread that
// ticks it). Wiring a transport:
//
//   msg_init();                                  // once, before any port
//   msg_set_error_callback(onError);             // (code, message id)
//   int port = msg_add_port(sendFrame);          // sendFrame(port, length, bytes):
//                                                //   write or copy the frame before
//                                                //   returning; the buffer is freed after
//   msg_parse_bytes(port, count, bytes);         // every block read from the device
//   msg_reset_port(port);                        // on device open and close
//   msg_set_login_callback(...); msg_set_name_callback(...) and the version,
//   serial and attribute callbacks             // answers about devices
//   every 1 ms: msg_tick(); msg_advance_clock(1);
//   on device close: msg_forget_port_nodes(port); msg_reset_port(port);
//
// The clock advances only through msg_advance_clock, so tests drive time by
// calling it; nothing in the core sleeps or reads a real clock.
#pragma once

#include "device/protocol/msg_core.h"
#include "device/protocol/msg_frame.h"
#include "device/protocol/msg_handlers.h"
#include "device/protocol/msg_node.h"
#include "device/protocol/msg_pool.h"
#include "device/protocol/msg_runtime.h"
