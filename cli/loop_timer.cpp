#include "cli/loop_timer.h"

#include <algorithm>

namespace tessaly {

void LoopTimer::runAfter(std::int32_t ms, std::function<void()> task) {
    tasks_.emplace(now_() + std::chrono::milliseconds(std::max(ms, 0)), std::move(task));
}

std::optional<LoopTimer::Clock::time_point> LoopTimer::nextDue() const {
    if (tasks_.empty()) return std::nullopt;
    return tasks_.begin()->first;
}

void LoopTimer::runDue(Clock::time_point now) {
    while (!tasks_.empty() && tasks_.begin()->first <= now) {
        auto task = std::move(tasks_.begin()->second);
        tasks_.erase(tasks_.begin());
        task();
    }
}

}  // namespace tessaly
