#include "platform/os/Imaging.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <fstream>
#include <functional>
#include <string>
#include <system_error>
#include <thread>

namespace os {

namespace {

constexpr std::uint32_t kMaxDimension = 4096; // far beyond any icon
constexpr std::size_t kStoredBlockMax = 65535;

std::array<std::uint32_t, 256> makeCrcTable()
{
    std::array<std::uint32_t, 256> table{};
    for (std::uint32_t n = 0; n < 256; ++n) {
        std::uint32_t c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    return table;
}

std::uint32_t crc32(const std::uint8_t* data, std::size_t size)
{
    static const auto table = makeCrcTable();
    std::uint32_t c = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i)
        c = table[(c ^ data[i]) & 0xFF] ^ (c >> 8);
    return c ^ 0xFFFFFFFFu;
}

std::uint32_t adler32(const std::vector<std::uint8_t>& data)
{
    std::uint32_t a = 1;
    std::uint32_t b = 0;
    for (std::uint8_t byte : data) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    return (b << 16) | a;
}

void putBigEndian(std::vector<std::uint8_t>& out, std::uint32_t v)
{
    out.push_back(static_cast<std::uint8_t>(v >> 24));
    out.push_back(static_cast<std::uint8_t>(v >> 16));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
    out.push_back(static_cast<std::uint8_t>(v));
}

void putChunk(std::vector<std::uint8_t>& out, const char type[4], const std::vector<std::uint8_t>& data)
{
    putBigEndian(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    putBigEndian(out, crc32(out.data() + start, out.size() - start));
}

bool isValid(const IconImage& image)
{
    return image.valid() && image.width <= kMaxDimension && image.height <= kMaxDimension;
}

} // namespace

IconImage scaleImage(const IconImage& source, std::uint32_t width, std::uint32_t height)
{
    IconImage out;
    if (!isValid(source) || width == 0 || height == 0 || width > kMaxDimension || height > kMaxDimension)
        return out;
    out.width = width;
    out.height = height;
    out.pixels.resize(static_cast<std::size_t>(width) * height);

    // Premultiplied channels of one source pixel: a, r*a, g*a, b*a in 0..1.
    auto fetch = [&](std::uint32_t x, std::uint32_t y, std::array<double, 4>& px) {
        const std::uint32_t p = source.pixels[static_cast<std::size_t>(y) * source.width + x];
        const double a = ((p >> 24) & 0xFF) / 255.0;
        px = {a, ((p >> 16) & 0xFF) / 255.0 * a, ((p >> 8) & 0xFF) / 255.0 * a, (p & 0xFF) / 255.0 * a};
    };
    const double sx = static_cast<double>(source.width) / width;
    const double sy = static_cast<double>(source.height) / height;
    for (std::uint32_t y = 0; y < height; ++y) {
        const double fy = std::clamp((y + 0.5) * sy - 0.5, 0.0, source.height - 1.0);
        const auto y0 = static_cast<std::uint32_t>(fy);
        const std::uint32_t y1 = std::min(y0 + 1, source.height - 1);
        const double ty = fy - y0;
        for (std::uint32_t x = 0; x < width; ++x) {
            const double fx = std::clamp((x + 0.5) * sx - 0.5, 0.0, source.width - 1.0);
            const auto x0 = static_cast<std::uint32_t>(fx);
            const std::uint32_t x1 = std::min(x0 + 1, source.width - 1);
            const double tx = fx - x0;
            std::array<double, 4> p00, p10, p01, p11, v;
            fetch(x0, y0, p00);
            fetch(x1, y0, p10);
            fetch(x0, y1, p01);
            fetch(x1, y1, p11);
            for (int c = 0; c < 4; ++c)
                v[c] = (p00[c] * (1 - tx) + p10[c] * tx) * (1 - ty) + (p01[c] * (1 - tx) + p11[c] * tx) * ty;
            const double a = v[0];
            auto channel = [&](double premultiplied) {
                const double straight = a > 0 ? premultiplied / a : 0.0;
                return static_cast<std::uint32_t>(std::lround(std::clamp(straight, 0.0, 1.0) * 255.0));
            };
            const auto alpha = static_cast<std::uint32_t>(std::lround(std::clamp(a, 0.0, 1.0) * 255.0));
            out.pixels[static_cast<std::size_t>(y) * width + x] =
                (alpha << 24) | (channel(v[1]) << 16) | (channel(v[2]) << 8) | channel(v[3]);
        }
    }
    return out;
}

bool encodePng(const IconImage& image, std::vector<std::uint8_t>& png)
{
    if (!isValid(image))
        return false;
    // Raw scanlines: filter byte 0, then R, G, B, A per pixel.
    std::vector<std::uint8_t> raw;
    raw.reserve(static_cast<std::size_t>(image.height) * (1 + 4 * image.width));
    for (std::uint32_t y = 0; y < image.height; ++y) {
        raw.push_back(0);
        for (std::uint32_t x = 0; x < image.width; ++x) {
            const std::uint32_t p = image.pixels[static_cast<std::size_t>(y) * image.width + x];
            raw.push_back(static_cast<std::uint8_t>(p >> 16));
            raw.push_back(static_cast<std::uint8_t>(p >> 8));
            raw.push_back(static_cast<std::uint8_t>(p));
            raw.push_back(static_cast<std::uint8_t>(p >> 24));
        }
    }
    // zlib stream of stored blocks.
    std::vector<std::uint8_t> zlib{0x78, 0x01};
    for (std::size_t offset = 0; offset < raw.size();) {
        const std::size_t size = std::min(kStoredBlockMax, raw.size() - offset);
        const bool last = offset + size == raw.size();
        zlib.push_back(last ? 1 : 0);
        zlib.push_back(static_cast<std::uint8_t>(size));
        zlib.push_back(static_cast<std::uint8_t>(size >> 8));
        zlib.push_back(static_cast<std::uint8_t>(~size));
        zlib.push_back(static_cast<std::uint8_t>(~size >> 8));
        zlib.insert(zlib.end(), raw.begin() + static_cast<std::ptrdiff_t>(offset),
                    raw.begin() + static_cast<std::ptrdiff_t>(offset + size));
        offset += size;
    }
    putBigEndian(zlib, adler32(raw));

    std::vector<std::uint8_t> header;
    putBigEndian(header, image.width);
    putBigEndian(header, image.height);
    header.insert(header.end(), {8, 6, 0, 0, 0}); // 8-bit RGBA, no interlace

    png.assign({0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'});
    putChunk(png, "IHDR", header);
    putChunk(png, "IDAT", zlib);
    putChunk(png, "IEND", {});
    return true;
}

bool savePng(const IconImage& image, const std::filesystem::path& path)
{
    std::vector<std::uint8_t> png;
    if (!encodePng(image, png))
        return false;
    // Two writers of one icon each use their own temporary file.
    std::filesystem::path temporary = path;
    temporary += "." + std::to_string(std::hash<std::thread::id>{}(std::this_thread::get_id())) + ".part";
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        if (!file)
            return false;
        file.write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
        if (!file)
            return false;
    }
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    if (error) {
        std::filesystem::remove(temporary, error);
        return false;
    }
    return true;
}

} // namespace os
