// The bridge's timers: tasks due at a time on the steady clock, run by the bridge's own loop,
// which wakes for the first of them as it wakes for a link's next attempt.
#pragma once

#include <chrono>
#include <functional>
#include <map>
#include <optional>

#include "station/delay_timer.h"

namespace tessaly {

class LoopTimer final : public DelayTimer {
public:
    using Clock = std::chrono::steady_clock;
    using Now = std::function<Clock::time_point()>;

    explicit LoopTimer(Now now = Clock::now) : now_(std::move(now)) {}

    void runAfter(std::int32_t ms, std::function<void()> task) override;
    // When the first task is due; none: nothing waits.
    std::optional<Clock::time_point> nextDue() const;
    // Runs every task due by `now`, in the order of their times (equal times in the order given);
    // one a task adds meanwhile for no later than `now` runs too.
    void runDue(Clock::time_point now);

private:
    Now now_;
    std::multimap<Clock::time_point, std::function<void()>> tasks_;
};

}  // namespace tessaly
