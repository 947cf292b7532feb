// Faults the emulated device can be told to commit.
#pragma once

#include <cstddef>
#include <cstdint>

namespace veloran::emu {

// A fault on single frames, chosen by message id and type.
struct FrameFault {
    enum class Kind {
        CorruptChecksum,  // outgoing: the checksum byte is off by one
        Drop,             // outgoing: the frame never leaves (the request was handled)
        Delay,            // outgoing: the frame leaves delayMs later
        Duplicate,        // outgoing: the frame leaves twice
        Unanswered,       // incoming request: logged but neither handled nor answered
    };
    static constexpr int kAny = -1;
    static constexpr int kAlways = -1;

    Kind kind = Kind::Drop;
    int messageId = kAny;
    int type = kAny;     // frame type 0..3
    int count = 1;       // frames it applies to; kAlways until cleared
    uint32_t delayMs = 0;
};

// Faults on the byte stream and its reports; all off by default.
struct StreamFaults {
    bool splitReports = false;          // frames cut at random points over several reports
    bool packFrames = false;            // consecutive frames share reports (two frames in one)
    bool garbageBetweenFrames = false;  // 1..8 random bytes (never 0x55) before each frame
    size_t shortLinkPayloadBytes = 0;   // link messages cut to this many payload bytes; 0 = whole
};

}  // namespace veloran::emu
