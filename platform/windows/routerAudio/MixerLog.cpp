#include "platform/windows/routerAudio/MixerLog.h"

#include <iostream>
#include <mutex>

namespace {
std::mutex g_sinkMutex;
MixerLogSink g_sink; // guarded by g_sinkMutex
} // namespace

void mixerLogLine(const std::string &line)
{
    {
        std::lock_guard lock(g_sinkMutex);
        if (g_sink) {
            g_sink(line);
            return;
        }
    }
    // Narrow text on purpose: mixing wide and narrow output on one stream
    // silently drops one of them, and every mixer line is plain ASCII.
    std::cout << (line + '\n') << std::flush;
}

void setMixerLogSink(MixerLogSink sink)
{
    std::lock_guard lock(g_sinkMutex);
    g_sink = std::move(sink);
}
