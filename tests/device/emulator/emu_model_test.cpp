#include "device/emulator/attribute_store.h"
#include "device/emulator/emu_model.h"

#include <gtest/gtest.h>

using namespace veloran::emu;

TEST(EmuModel, IdsAndUsagePages)
{
    EXPECT_EQ(defaultConfig(Model::T40).productId, 0x000D);
    EXPECT_EQ(defaultConfig(Model::U20).productId, 0x000E);
    EXPECT_EQ(defaultConfig(Model::R7).productId, 0x9829);
    EXPECT_EQ(defaultConfig(Model::T40).usagePage, 0x8C);
    EXPECT_EQ(defaultConfig(Model::R7).usagePage, 0x0C);
    for (Model m : {Model::T40, Model::U20, Model::R7}) {
        const auto c = defaultConfig(m);
        EXPECT_EQ(c.vendorId, 0x3A71);
        EXPECT_NE(c.address.network, 0);
        EXPECT_NE(c.address.group, 0);
        EXPECT_NE(c.address.node, 0);
        EXPECT_LE(c.beaconPeriodMs, 1024u);
        EXPECT_GE(c.versionAnswer.size(), 11u);
        EXPECT_EQ(c.versionAnswer[0], 0);
    }
}

TEST(EmuModel, OutputReportsPerLayout)
{
    const uint8_t t40[] = {0x00, 0x55, 0x10, 0x01};
    EXPECT_EQ(frameBytesFromOutputReport(Model::T40, t40, sizeof t40), (std::vector<uint8_t>{0x55, 0x10, 0x01}));
    const uint8_t wrongId[] = {0x01, 0x55};
    EXPECT_TRUE(frameBytesFromOutputReport(Model::U20, wrongId, sizeof wrongId).empty());
    std::vector<uint8_t> tooLong(66, 0);
    EXPECT_TRUE(frameBytesFromOutputReport(Model::T40, tooLong.data(), tooLong.size()).empty());

    // R7: [1][length][chunk], the length bounded by 58 and by the report.
    const uint8_t r7[] = {0x01, 0x02, 0xAA, 0xBB, 0xCC};
    EXPECT_EQ(frameBytesFromOutputReport(Model::R7, r7, sizeof r7), (std::vector<uint8_t>{0xAA, 0xBB}));
    const uint8_t r7Lies[] = {0x01, 0x09, 0xAA};
    EXPECT_TRUE(frameBytesFromOutputReport(Model::R7, r7Lies, sizeof r7Lies).empty());
    std::vector<uint8_t> r7Big(64, 0);
    r7Big[0] = 0x01;
    r7Big[1] = 59;
    EXPECT_TRUE(frameBytesFromOutputReport(Model::R7, r7Big.data(), r7Big.size()).empty());
    EXPECT_TRUE(frameBytesFromOutputReport(Model::R7, nullptr, 0).empty());
}

TEST(EmuModel, InputReportsPerLayout)
{
    const std::vector<uint8_t> chunk = {0x55, 0x11, 0x02};
    auto t40 = makeInputReport(Model::T40, chunk.data(), chunk.size(), true);
    ASSERT_EQ(t40.size(), 64u);
    EXPECT_EQ(std::vector<uint8_t>(t40.begin(), t40.begin() + 3), chunk);
    EXPECT_EQ(makeInputReport(Model::T40, chunk.data(), chunk.size(), false), chunk);

    // R7 input: a 4-byte head the host drops, then up to 60 frame bytes.
    auto r7 = makeInputReport(Model::R7, chunk.data(), chunk.size(), true);
    ASSERT_EQ(r7.size(), 64u);
    EXPECT_EQ(r7[0], 0x01);
    EXPECT_EQ(r7[1], 3);
    EXPECT_EQ(std::vector<uint8_t>(r7.begin() + 4, r7.begin() + 7), chunk);
    std::vector<uint8_t> big(100, 0x42);
    EXPECT_EQ(makeInputReport(Model::R7, big.data(), big.size(), false).size(), 64u);
}

TEST(EmuAttributes, DefaultsAndRules)
{
    AttributeStore t40(defaultConfig(Model::T40).attributes);
    AttributeStore r7(defaultConfig(Model::R7).attributes);
    AttributeStore u20(defaultConfig(Model::U20).attributes);
    EXPECT_FALSE(t40.has(20));
    EXPECT_EQ(*t40.get(5), std::vector<uint8_t>{15});
    EXPECT_EQ(*t40.get(6), std::vector<uint8_t>{3});
    EXPECT_EQ(*r7.get(6), std::vector<uint8_t>{22});
    EXPECT_EQ(t40.get(10)->size(), 30u * 4);
    EXPECT_EQ(u20.get(10)->size(), 12u * 4);
    EXPECT_EQ(u20.get(13)->size(), 6u * 4);

    const uint8_t gain19 = 19, gain18 = 18, zero = 0;
    EXPECT_EQ(t40.set(5, &gain19, 1), AttributeStore::Result::OutOfRange);
    EXPECT_EQ(t40.set(5, &gain18, 1), AttributeStore::Result::Ok);
    EXPECT_EQ(r7.set(5, &zero, 1), AttributeStore::Result::OutOfRange);
    EXPECT_EQ(t40.set(20, &zero, 1), AttributeStore::Result::Unknown);
    EXPECT_EQ(t40.set(9, &zero, 1), AttributeStore::Result::ReadOnly);
    const uint8_t pair[] = {1, 1};
    EXPECT_EQ(t40.set(1, pair, 2), AttributeStore::Result::BadLength);
    const uint8_t colour5[] = {1, 2, 3, 4, 5};
    EXPECT_EQ(t40.set(16, colour5, 5), AttributeStore::Result::BadLength);
    EXPECT_EQ(t40.set(16, colour5, 4), AttributeStore::Result::Ok);

    EXPECT_EQ(t40.setFromDevice(9, {2, 0}), AttributeStore::Result::Ok);
    t40.resetToDefaults();
    EXPECT_EQ(*t40.get(5), std::vector<uint8_t>{15});
    EXPECT_EQ(*t40.get(9), (std::vector<uint8_t>{1, 5}));
}
