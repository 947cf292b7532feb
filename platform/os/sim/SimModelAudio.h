#pragma once
// The audio side of an emulated microphone base on a simulated computer:
// the base's microphone and headphones and the computer's own speakers.
// The demonstration program and the audio road stand on this one world.

#include "platform/os/sim/SimAudioWorld.h"

#include <string>

namespace os {

struct SimModelEndpoints {
    std::wstring microphone;
    std::wstring headphones;
    std::wstring speakers;
};

// Adds the three endpoints in the order a computer lists them: the base's
// microphone ("Microphone (Veloran T40)" for model "T40", a 250 Hz tone at
// 0.2), its headphones, then "Speakers (High Definition Audio Device)".
// The headphones are therefore the first render endpoint, and so the
// default unless the world already has one.
SimModelEndpoints addModelEndpoints(SimAudioWorld& world, const std::wstring& model);

} // namespace os
