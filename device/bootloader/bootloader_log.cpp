#include "device/bootloader/bootloader_log.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace bootloader {

namespace {

std::mutex s_mutex;
PrintSink s_sink; // guarded by s_mutex

} // namespace

void setPrintSink(PrintSink sink)
{
    std::lock_guard lock(s_mutex);
    s_sink = std::move(sink);
}

void print(const char *format, ...)
{
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int needed = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    std::string text;
    if (needed > 0) {
        text.resize(size_t(needed) + 1);
        std::vsnprintf(text.data(), text.size(), format, args);
        text.resize(size_t(needed));
    }
    va_end(args);
    std::lock_guard lock(s_mutex);
    if (s_sink) {
        s_sink(text);
        return;
    }
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

} // namespace bootloader
