#pragma once
// What the system tells about running programs: image paths and icons.

#include <cstdint>
#include <vector>

namespace os {

// A 32-bit ARGB picture, rows top to bottom, 0xAARRGGBB per pixel.
struct IconImage {
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    std::vector<std::uint32_t> pixels;

    bool valid() const
    {
        return width > 0 && height > 0 && pixels.size() == static_cast<std::size_t>(width) * height;
    }
};

} // namespace os
