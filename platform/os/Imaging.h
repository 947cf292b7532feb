#pragma once
// Drawing and saving program icons: what the icon cache needs of the
// system's imaging library.

#include "platform/os/ProcessInfo.h"

#include <cstdint>
#include <filesystem>
#include <vector>

namespace os {

// Resamples to the given size with bilinear filtering on premultiplied
// colour, so transparent edges do not darken. An invalid source or a zero
// size gives an invalid (empty) picture.
IconImage scaleImage(const IconImage& source, std::uint32_t width, std::uint32_t height);

// A PNG file (8-bit RGBA, uncompressed deflate blocks) of a valid picture;
// false for an invalid one.
bool encodePng(const IconImage& image, std::vector<std::uint8_t>& png);

// Writes the PNG through a temporary file renamed into place, so a reader
// never sees half a file. False when the picture is invalid or the file
// cannot be written.
bool savePng(const IconImage& image, const std::filesystem::path& path);

} // namespace os
