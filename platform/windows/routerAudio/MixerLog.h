#pragma once
// The audio engine's console lines: one flushed line each on standard output, so
// that lines of concurrent threads never interleave. Tests (and the program)
// can send them elsewhere.

#include <functional>
#include <string>

using MixerLogSink = std::function<void(const std::string &line)>;

void mixerLogLine(const std::string &line);
// Replaces where the lines go; an empty sink restores standard output.
void setMixerLogSink(MixerLogSink sink);
