#pragma once
// Configuration of the microphone router and of the PortAudio routing
// engine, handed over by the system bridge and copied by value. Qt-free so
// both engines and their tests can use it without the bridge.

#include <cstdint>
#include <string>
#include <vector>

// One configured input. index is the mixer source id its blocks are pushed
// under; negative means the PortAudio engine reads it but pushes nothing.
struct InputDeviceEntry {
    std::string name;                // UTF-8, the device name searched for
    uint32_t requestedChannels = 0;  // 0: chosen automatically
    int32_t index = -1;
};

struct AudioRouterConfig {
    double sampleRate = 48000.0;
    uint32_t framesPerBuffer = 256;
    std::string outputDevice = "NUVEX Output"; // UTF-8
    std::vector<InputDeviceEntry> inputDevices;
};
