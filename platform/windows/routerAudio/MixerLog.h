#pragma once
// The mixer's console lines: one flushed line each on standard output, so
// that lines of concurrent threads never interleave.

#include <string>

void mixerLogLine(const std::string &line);
