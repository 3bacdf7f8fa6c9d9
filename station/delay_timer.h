// The timer seam of the timed command runs: runs a task once after a number of milliseconds, on
// the owner's thread, from its event loop. The window hands this to its own timers, the bridge
// to its loop, and tests to a clock they advance by hand.
#pragma once

#include <cstdint>
#include <functional>

namespace tessaly {

class DelayTimer {
public:
    virtual ~DelayTimer() = default;
    // Runs `task` once `ms` have passed; never from within this call, even for 0.
    virtual void runAfter(std::int32_t ms, std::function<void()> task) = 0;
};

}  // namespace tessaly
