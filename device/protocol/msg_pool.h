// The protocol's only memory: one fixed arena carved into blocks that are
// kept in address order, each followed by its free gap.
#pragma once

#include <cstdint>

constexpr uint32_t kMsgPoolBytes = 300000;
constexpr int kMsgPoolBlocks = 210;

void msg_pool_init();
uint8_t *msg_pool_alloc(uint32_t size);
uint8_t *msg_pool_calloc(uint32_t count, uint32_t size);
// 1 when a block was released; 0 for null or a pointer the pool did not hand
// out (reported as error 13 and otherwise ignored).
int msg_pool_free(void *pointer);

uint32_t msg_pool_bytes_in_use();
uint32_t msg_pool_peak_bytes();
int msg_pool_blocks_in_use();
const uint8_t *msg_pool_arena();
