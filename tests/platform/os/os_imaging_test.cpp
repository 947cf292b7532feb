#include "platform/os/Imaging.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <fstream>
#include <iterator>

namespace os {
namespace {

std::uint32_t bigEndian(const std::uint8_t* p)
{
    return (std::uint32_t{p[0]} << 24) | (std::uint32_t{p[1]} << 16) | (std::uint32_t{p[2]} << 8) | p[3];
}

struct Chunk {
    std::string type;
    std::vector<std::uint8_t> data;
};

// Splits a PNG into chunks, checking every CRC.
std::vector<Chunk> readChunks(const std::vector<std::uint8_t>& png)
{
    std::vector<Chunk> chunks;
    static const std::uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    EXPECT_GE(png.size(), 8u);
    EXPECT_EQ(std::memcmp(png.data(), kSignature, 8), 0);
    std::size_t pos = 8;
    while (pos + 12 <= png.size()) {
        const std::uint32_t length = bigEndian(&png[pos]);
        EXPECT_LE(pos + 12 + length, png.size());
        const std::uint8_t* typeAndData = &png[pos + 4];
        EXPECT_EQ(crc32(0, typeAndData, 4 + length), bigEndian(typeAndData + 4 + length));
        chunks.push_back({std::string(reinterpret_cast<const char*>(typeAndData), 4),
                          std::vector<std::uint8_t>(typeAndData + 4, typeAndData + 4 + length)});
        pos += 12 + length;
    }
    EXPECT_EQ(pos, png.size());
    return chunks;
}

IconImage checker(std::uint32_t size)
{
    IconImage image{size, size, std::vector<std::uint32_t>(static_cast<std::size_t>(size) * size)};
    for (std::uint32_t y = 0; y < size; ++y)
        for (std::uint32_t x = 0; x < size; ++x)
            image.pixels[y * size + x] = ((x + y) % 2) ? 0xFF2040C0u : 0x80FFFFFFu;
    return image;
}

TEST(OsImaging, PngHoldsThePixelsAsRgbaScanlines)
{
    // 200 x 200 needs more than one stored block.
    const IconImage image = checker(200);
    std::vector<std::uint8_t> png;
    ASSERT_TRUE(encodePng(image, png));
    const auto chunks = readChunks(png);
    ASSERT_EQ(chunks.size(), 3u);
    EXPECT_EQ(chunks[0].type, "IHDR");
    EXPECT_EQ(bigEndian(&chunks[0].data[0]), 200u);
    EXPECT_EQ(bigEndian(&chunks[0].data[4]), 200u);
    EXPECT_EQ(chunks[0].data[8], 8);
    EXPECT_EQ(chunks[0].data[9], 6);
    EXPECT_EQ(chunks[1].type, "IDAT");
    EXPECT_EQ(chunks[2].type, "IEND");

    std::vector<std::uint8_t> raw(200 * (1 + 4 * 200));
    uLongf rawSize = raw.size();
    ASSERT_EQ(uncompress(raw.data(), &rawSize, chunks[1].data.data(), chunks[1].data.size()), Z_OK);
    ASSERT_EQ(rawSize, raw.size());
    const std::uint8_t* row1 = &raw[1 * (1 + 4 * 200)];
    EXPECT_EQ(row1[0], 0); // no filter
    // Pixel (0, 1) is 0xFF2040C0: R 0x20, G 0x40, B 0xC0, A 0xFF.
    EXPECT_EQ(row1[1], 0x20);
    EXPECT_EQ(row1[2], 0x40);
    EXPECT_EQ(row1[3], 0xC0);
    EXPECT_EQ(row1[4], 0xFF);
}

TEST(OsImaging, InvalidPicturesAreRefused)
{
    std::vector<std::uint8_t> png;
    EXPECT_FALSE(encodePng(IconImage{}, png));
    EXPECT_FALSE(encodePng(IconImage{2, 2, {1, 2, 3}}, png));
    EXPECT_FALSE(scaleImage(IconImage{2, 2, {1, 2, 3}}, 128, 128).valid());
    EXPECT_FALSE(scaleImage(checker(4), 0, 128).valid());
}

TEST(OsImaging, ScalingKeepsFlatColourAndTransparentEdgesClean)
{
    IconImage flat{16, 16, std::vector<std::uint32_t>(256, 0xFF336699u)};
    const IconImage big = scaleImage(flat, 128, 128);
    ASSERT_TRUE(big.valid());
    EXPECT_EQ(big.width, 128u);
    for (std::uint32_t p : big.pixels)
        ASSERT_EQ(p, 0xFF336699u);

    // Half transparent black, half opaque red: the blend stays red, never
    // darkened by the invisible black.
    IconImage edge{2, 1, {0x00000000u, 0xFFFF0000u}};
    const IconImage wide = scaleImage(edge, 8, 1);
    for (std::uint32_t p : wide.pixels) {
        if ((p >> 24) != 0) {
            EXPECT_EQ(p & 0x00FFFFFFu, 0x00FF0000u);
        }
    }
}

TEST(OsImaging, SaveWritesTheWholeFile)
{
    const auto path = std::filesystem::temp_directory_path() / "os_imaging_test_icon.png";
    std::filesystem::remove(path);
    ASSERT_TRUE(savePng(checker(32), path));
    std::ifstream file(path, std::ios::binary);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    std::vector<std::uint8_t> expected;
    ASSERT_TRUE(encodePng(checker(32), expected));
    EXPECT_EQ(bytes, expected);
    std::filesystem::remove(path);
    EXPECT_FALSE(savePng(checker(4), std::filesystem::path("/nonexistent-dir/x/y.png")));
}

} // namespace
} // namespace os
