// Formatted lines of the boot-loader link: standard output, or a sink that a
// test installs. Safe from any thread.
#pragma once

#include <functional>
#include <string>

namespace bootloader {

using PrintSink = std::function<void(const std::string &text)>;
// An empty sink restores standard output.
void setPrintSink(PrintSink sink);
void print(const char *format, ...) __attribute__((format(printf, 1, 2)));

} // namespace bootloader
