// The waits between attempts to open a lost link again: the first after 0.5 s, each next one
// twice as long, at most 8 s; an open that succeeds starts again at 0.5 s. A receiver that
// reboots is back within a second or two; one that is gone for long is not hammered.
#pragma once

#include <algorithm>
#include <chrono>

namespace tessaly {

class ReconnectBackoff {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr std::chrono::milliseconds kFirst{500};
    static constexpr std::chrono::milliseconds kLongest{8000};

    // The link went away or an attempt failed at `now`: returns the delay until the next attempt.
    std::chrono::milliseconds failed(Clock::time_point now) {
        const std::chrono::milliseconds wait = delay_;
        retryAt_ = now + wait;
        delay_ = std::min(delay_ * 2, kLongest);
        return wait;
    }
    void succeeded() { delay_ = kFirst; }
    bool due(Clock::time_point now) const { return now >= retryAt_; }
    Clock::time_point retryAt() const { return retryAt_; }

private:
    std::chrono::milliseconds delay_ = kFirst;
    Clock::time_point retryAt_{};
};

}  // namespace tessaly
