// What an EmulatorRunner drives: an emulated device that knows when it next
// has something to do, so the runner's thread can sleep until then.
#pragma once

#include <cstdint>
#include <functional>

namespace veloran::emu {

class TimedDevice {
public:
    using StepDueHook = std::function<void()>;
    static constexpr uint64_t kNoStepDue = UINT64_MAX;

    virtual ~TimedDevice() = default;

    virtual void step(uint64_t nowMs) = 0;
    // The clock time by which step() next has something to do, or
    // kNoStepDue; between steps nothing changes but through the calls that
    // run the step-due hook.
    virtual uint64_t nextStepMs() = 0;
    // Runs when a call (input from the host, a replug) makes a step due
    // earlier than the last nextStepMs() answer; a driver sleeping until then
    // must step sooner. Must not call back into the device.
    virtual void setStepDueHook(StepDueHook hook) = 0;
    // The driver's clock in ms, read when the host's input or a device-side
    // event arrives between steps, so that what it starts is timed from then
    // rather than from the last step. Unset: the last step's time.
    virtual void setTimeSource(std::function<uint64_t()> nowMs) = 0;
};

}  // namespace veloran::emu
