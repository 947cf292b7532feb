#include "msg_test_support.h"

#include <algorithm>
#include <map>
#include <random>

using namespace msgtest;

namespace {

class PoolTest : public CoreFixture {};

struct Live {
    uint32_t size;
    uint8_t fill;
};

void expectIntact(const std::map<uint8_t *, Live> &live)
{
    for (const auto &[p, block] : live) {
        for (uint32_t i = 0; i < block.size; ++i) {
            if (p[i] != block.fill) {
                ADD_FAILURE() << "block at offset " << (p - msg_pool_arena()) << " changed at " << i;
                return;
            }
        }
    }
}

} // namespace

TEST_F(PoolTest, FreedGapIsReusedInPlace)
{
    uint8_t *a = msg_pool_alloc(100);
    uint8_t *b = msg_pool_alloc(50);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(b, a + 100);
    EXPECT_EQ(msg_pool_free(a), 1);
    EXPECT_EQ(msg_pool_bytes_in_use(), 50u);
    uint8_t *c = msg_pool_alloc(80);
    EXPECT_EQ(c, a) << "fits in the gap before the second block";
    uint8_t *d = msg_pool_alloc(30);
    EXPECT_EQ(d, b + 50) << "the 20 bytes left before b are too small";
    msg_pool_free(b);
    msg_pool_free(c);
    msg_pool_free(d);
}

TEST_F(PoolTest, BadFreesAreReportedAndIgnored)
{
    uint8_t *a = msg_pool_alloc(64);
    std::fill(a, a + 64, 0x3C);
    uint8_t foreign[8];
    EXPECT_EQ(msg_pool_free(foreign), 0);
    EXPECT_EQ(msg_pool_free(a + 1), 0) << "not the start of a block";
    EXPECT_EQ(msg_pool_free(nullptr), 0);
    EXPECT_EQ(errors(), (std::vector<std::pair<int, int>>{{kMsgErrPoolBadFree, 0}, {kMsgErrPoolBadFree, 0}}));
    EXPECT_EQ(msg_pool_bytes_in_use(), 64u);
    EXPECT_EQ(std::count(a, a + 64, 0x3C), 64);
    EXPECT_EQ(msg_pool_free(a), 1);
    EXPECT_EQ(msg_pool_free(a), 0) << "double free";
    EXPECT_EQ(errors().size(), 3u);
}

TEST_F(PoolTest, ExhaustionLeavesLiveBlocksAlone)
{
    uint8_t *a = msg_pool_alloc(kMsgPoolBytes - 100);
    ASSERT_NE(a, nullptr);
    a[0] = 0x11;
    EXPECT_EQ(msg_pool_alloc(101), nullptr);
    EXPECT_EQ(errors().back().first, kMsgErrPoolExhausted);
    EXPECT_EQ(msg_pool_alloc(0), nullptr);
    uint8_t *b = msg_pool_alloc(100);
    EXPECT_EQ(b, a + kMsgPoolBytes - 100);
    EXPECT_EQ(a[0], 0x11);
    EXPECT_EQ(msg_pool_peak_bytes(), kMsgPoolBytes);
    msg_pool_free(a);
    msg_pool_free(b);
}

TEST_F(PoolTest, ScatteredGapsFailWithoutClearing)
{
    // 100 blocks of 3000 bytes fill the arena; freeing every other one leaves
    // 150,000 bytes free in gaps of 3000.
    std::vector<uint8_t *> blocks;
    for (int i = 0; i < 100; ++i)
        blocks.push_back(msg_pool_alloc(3000));
    for (int i = 0; i < 100; i += 2)
        msg_pool_free(blocks[i]);
    errors().clear();
    EXPECT_EQ(msg_pool_alloc(3001), nullptr);
    EXPECT_EQ(errors(), (std::vector<std::pair<int, int>>{{kMsgErrPoolNoGap, 0}}));
    EXPECT_EQ(msg_pool_bytes_in_use(), 150000u);
    EXPECT_NE(msg_pool_alloc(3000), nullptr) << "a fitting gap is still found";
    msg_pool_init();
}

TEST_F(PoolTest, DescriptorsRunOut)
{
    std::vector<uint8_t *> blocks;
    for (int i = 0; i < kMsgPoolBlocks; ++i)
        blocks.push_back(msg_pool_alloc(1));
    EXPECT_EQ(msg_pool_blocks_in_use(), kMsgPoolBlocks);
    EXPECT_EQ(msg_pool_alloc(1), nullptr);
    EXPECT_EQ(errors().back().first, kMsgErrPoolNoDescriptor);
    for (uint8_t *p : blocks)
        EXPECT_EQ(msg_pool_free(p), 1);
}

TEST_F(PoolTest, CallocZeroesAndChecksOverflow)
{
    uint8_t *a = msg_pool_alloc(40);
    std::fill(a, a + 40, 0xEE);
    msg_pool_free(a);
    uint8_t *z = msg_pool_calloc(10, 4);
    ASSERT_EQ(z, a);
    EXPECT_EQ(std::count(z, z + 40, 0), 40);
    EXPECT_EQ(msg_pool_calloc(0x10000, 0x10001), nullptr);
    EXPECT_EQ(errors().back().first, kMsgErrPoolExhausted);
    EXPECT_EQ(msg_pool_calloc(0, 10), nullptr);
    msg_pool_free(z);
}

// A long random script against a model of the live blocks.
TEST_F(PoolTest, RandomScriptMatchesModel)
{
    std::mt19937 rng(4242);
    std::map<uint8_t *, Live> live;
    uint32_t modelInUse = 0;
    uint8_t nextFill = 1;
    const uint8_t *arena = msg_pool_arena();
    for (int step = 0; step < 20000; ++step) {
        const uint32_t roll = rng() % 100;
        if (roll < 55 || live.empty()) {
            const uint32_t size = (rng() % 10 == 0) ? 1 + rng() % 20000 : 1 + rng() % 600;
            uint8_t *p = msg_pool_alloc(size);
            if (!p) {
                EXPECT_FALSE(errors().empty());
                continue;
            }
            ASSERT_GE(p, arena);
            ASSERT_LE(p + size, arena + kMsgPoolBytes);
            auto after = live.lower_bound(p);
            if (after != live.end()) {
                ASSERT_LE(p + size, after->first) << "overlaps the next block";
            }
            if (after != live.begin()) {
                auto before = std::prev(after);
                ASSERT_LE(before->first + before->second.size, p) << "overlaps the previous block";
            }
            std::fill(p, p + size, nextFill);
            live[p] = {size, nextFill};
            nextFill = uint8_t(nextFill % 250 + 1);
            modelInUse += size;
        } else if (roll < 95) {
            auto it = live.begin();
            std::advance(it, rng() % live.size());
            ASSERT_EQ(msg_pool_free(it->first), 1);
            modelInUse -= it->second.size;
            live.erase(it);
        } else {
            // A bad free: inside a live block, or of something already freed.
            auto it = live.begin();
            std::advance(it, rng() % live.size());
            uint8_t *bad = it->second.size > 1 ? it->first + 1 : const_cast<uint8_t *>(arena) + kMsgPoolBytes - 1;
            if (live.count(bad) == 0) {
                EXPECT_EQ(msg_pool_free(bad), 0);
            }
        }
        ASSERT_EQ(msg_pool_bytes_in_use(), modelInUse);
        ASSERT_EQ(msg_pool_blocks_in_use(), int(live.size()));
        if (step % 500 == 0)
            expectIntact(live);
    }
    expectIntact(live);
    for (const auto &[p, block] : live)
        EXPECT_EQ(msg_pool_free(p), 1);
}
