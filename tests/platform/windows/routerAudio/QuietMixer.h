#pragma once
// The mixer announces itself on standard output when it is made; tests keep
// that out of their own output, and may read it.

#include "platform/windows/routerAudio/Mixer.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>

inline std::unique_ptr<Mixer> quietMixer(AudioRouteConfigStore &store, std::string *announcement = nullptr)
{
    ::testing::internal::CaptureStdout();
    auto mixer = std::make_unique<Mixer>(store);
    std::string said = ::testing::internal::GetCapturedStdout();
    if (announcement)
        *announcement = std::move(said);
    return mixer;
}
