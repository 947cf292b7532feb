#pragma once
// What the system tells about running programs: image paths and icons.

#include <cstdint>
#include <string>
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

// One translation block of a program file's version information: the
// block's language and code page and two of its texts (empty when the block
// lacks them).
struct VersionStrings {
    std::uint16_t language = 0;
    std::uint16_t codePage = 0;
    std::wstring productName;
    std::wstring fileDescription;
};

} // namespace os
