#include "device/protocol/msg_pool.h"

#include "device/protocol/msg_frame.h"
#include "device/protocol/msg_internal.h"
#include "device/protocol/msg_runtime.h"

#include <cstring>

namespace {

constexpr uint16_t kNone = kMsgPoolBlocks;
constexpr int kMaxWalkSteps = kMsgPoolBlocks - 1;

struct PoolBlock {
    uint8_t inUse;
    uint16_t prev;
    uint16_t next;
    uint32_t offset;
    uint32_t size;
    uint32_t freeAfter; // gap up to the next block (or the arena's end)
};

uint8_t s_arena[kMsgPoolBytes];
PoolBlock s_blocks[kMsgPoolBlocks];
uint16_t s_first = kNone;
uint16_t s_last = kNone;
uint32_t s_bytesInUse = 0;
uint32_t s_peakBytes = 0;
uint32_t s_freeBeforeFirst = kMsgPoolBytes;
int s_blocksInUse = 0;
bool s_busy = false; // re-entry guard only; the pool lives on the core's thread

uint16_t takeDescriptor()
{
    for (uint16_t i = 0; i < kMsgPoolBlocks; ++i) {
        if (!s_blocks[i].inUse)
            return i;
    }
    return kNone;
}

// Finds the block that starts exactly at offset, newest first.
uint16_t findBlock(uint32_t offset)
{
    for (uint16_t i = s_last; i != kNone; i = s_blocks[i].prev) {
        if (s_blocks[i].offset == offset)
            return i;
        if (s_blocks[i].offset < offset)
            break;
    }
    return kNone;
}

uint8_t *place(uint32_t size)
{
    if (size > kMsgPoolBytes - s_bytesInUse) {
        msg_report_error(kMsgErrPoolExhausted, 0);
        return nullptr;
    }
    const uint16_t d = takeDescriptor();
    if (d == kNone) {
        msg_report_error(kMsgErrPoolNoDescriptor, 0);
        return nullptr;
    }
    PoolBlock &b = s_blocks[d];
    if (size <= s_freeBeforeFirst) {
        b = {1, kNone, s_first, 0, size, s_freeBeforeFirst - size};
        if (s_first != kNone)
            s_blocks[s_first].prev = d;
        else
            s_last = d;
        s_first = d;
        s_freeBeforeFirst = 0;
    } else if (s_last != kNone && size <= s_blocks[s_last].freeAfter) {
        PoolBlock &last = s_blocks[s_last];
        b = {1, s_last, kNone, last.offset + last.size, size, last.freeAfter - size};
        last.freeAfter = 0;
        last.next = d;
        s_last = d;
    } else {
        uint16_t at = s_blocks[s_last].prev;
        int steps = 0;
        while (at != kNone && steps < kMaxWalkSteps && s_blocks[at].freeAfter < size) {
            at = s_blocks[at].prev;
            ++steps;
        }
        if (at == kNone || s_blocks[at].freeAfter < size) {
            // Enough bytes are free in total, only scattered in smaller gaps.
            msg_report_error(kMsgErrPoolNoGap, 0);
            return nullptr;
        }
        PoolBlock &before = s_blocks[at];
        b = {1, at, before.next, before.offset + before.size, size, before.freeAfter - size};
        s_blocks[before.next].prev = d;
        before.next = d;
        before.freeAfter = 0;
    }
    s_bytesInUse += size;
    if (s_bytesInUse > s_peakBytes)
        s_peakBytes = s_bytesInUse;
    ++s_blocksInUse;
    return s_arena + b.offset;
}

} // namespace

void msg_pool_init()
{
    std::memset(s_blocks, 0, sizeof s_blocks);
    s_first = s_last = kNone;
    s_bytesInUse = 0;
    s_freeBeforeFirst = kMsgPoolBytes;
    s_blocksInUse = 0;
    s_busy = false;
}

void msg_pool_reset_peak() { s_peakBytes = 0; }

uint8_t *msg_pool_alloc(uint32_t size)
{
    if (size == 0 || s_busy)
        return nullptr;
    s_busy = true;
    uint8_t *p = place(size);
    s_busy = false;
    return p;
}

uint8_t *msg_pool_calloc(uint32_t count, uint32_t size)
{
    if (count != 0 && size > UINT32_MAX / count) {
        msg_report_error(kMsgErrPoolExhausted, 0);
        return nullptr;
    }
    uint8_t *p = msg_pool_alloc(count * size);
    if (p)
        std::memset(p, 0, size_t(count) * size);
    return p;
}

int msg_pool_free(void *pointer)
{
    if (!pointer || s_busy)
        return 0;
    const auto *p = static_cast<const uint8_t *>(pointer);
    // Compare as integers: the pointer may belong to any other object.
    const uintptr_t at = reinterpret_cast<uintptr_t>(p);
    const uintptr_t base = reinterpret_cast<uintptr_t>(s_arena);
    const uint16_t d = (at >= base && at < base + kMsgPoolBytes) ? findBlock(uint32_t(at - base)) : kNone;
    if (d == kNone) {
        // Foreign or already freed: the live blocks stay as they are.
        msg_report_error(kMsgErrPoolBadFree, 0);
        return 0;
    }
    s_busy = true;
    PoolBlock &b = s_blocks[d];
    const uint32_t released = b.size + b.freeAfter;
    if (b.prev != kNone) {
        s_blocks[b.prev].freeAfter += released;
        s_blocks[b.prev].next = b.next;
    } else {
        s_freeBeforeFirst += released;
        s_first = b.next;
    }
    if (b.next != kNone)
        s_blocks[b.next].prev = b.prev;
    else
        s_last = b.prev;
    s_bytesInUse -= b.size;
    --s_blocksInUse;
    b = {};
    s_busy = false;
    return 1;
}

uint32_t msg_pool_bytes_in_use() { return s_bytesInUse; }
uint32_t msg_pool_peak_bytes() { return s_peakBytes; }
int msg_pool_blocks_in_use() { return s_blocksInUse; }
const uint8_t *msg_pool_arena() { return s_arena; }
