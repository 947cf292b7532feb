#pragma once

#include <atomic>

namespace hidapi_standin {

// What the stand-in saw; "open" paths start with "standin/", others fail.
struct Record
{
    std::atomic<int> init{0};
    std::atomic<int> exit{0};
    std::atomic<int> exitWhileOpen{0}; // hid_exit with a device still open
    std::atomic<int> open{0};
    std::atomic<int> close{0};
    std::atomic<int> openDevices{0};
    std::atomic<int> overlaps{0}; // two calls on one device at the same time
};

Record &record();
void reset();

} // namespace hidapi_standin
