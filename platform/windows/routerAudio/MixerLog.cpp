#include "platform/windows/routerAudio/MixerLog.h"

#include <iostream>

void mixerLogLine(const std::string &line)
{
    // Narrow text on purpose: mixing wide and narrow output on one stream
    // silently drops one of them, and every mixer line is plain ASCII.
    std::cout << (line + '\n') << std::flush;
}
