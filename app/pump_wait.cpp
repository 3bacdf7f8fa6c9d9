#include "app/pump_wait.h"

#include <chrono>

namespace tessaly {

std::uint32_t SystemMillisecondClock::nowMs() const {
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

PumpWaitDeadline::PumpWaitDeadline(std::uint32_t startMs, std::int32_t durationMs)
    : deadline_(static_cast<std::int32_t>(startMs + static_cast<std::uint32_t>(durationMs))),
      waitingForSignWrap_(deadline_ < 0) {}

bool PumpWaitDeadline::reached(std::uint32_t nowMs) {
    const auto now = static_cast<std::int32_t>(nowMs);
    if (waitingForSignWrap_) {
        if (now > 0) return false;
        waitingForSignWrap_ = false;
    }
    return now >= deadline_;
}

std::uint32_t PumpWaitDeadline::remainingMs(std::uint32_t nowMs) const {
    return static_cast<std::uint32_t>(deadline_) - nowMs;
}

void messagePumpWait(std::int32_t durationMs, const MillisecondClock& clock, EventWaiter& events) {
    PumpWaitDeadline deadline(clock.nowMs(), durationMs);
    for (std::uint32_t now = clock.nowMs(); !deadline.reached(now); now = clock.nowMs()) {
        events.processEventsFor(deadline.remainingMs(now));
    }
}

}  // namespace tessaly
