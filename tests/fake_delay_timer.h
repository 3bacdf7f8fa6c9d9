// A timer the test advances by hand. Tasks run in the order of their times (equal times in the
// order given) as the test's clock passes them; while one runs, the clock reads its time, so a
// task it adds is timed from there, as the window's timers would time it.
#pragma once

#include <cstdint>
#include <functional>
#include <map>

#include "station/delay_timer.h"

namespace tessaly::test {

class FakeDelayTimer final : public DelayTimer {
public:
    void runAfter(std::int32_t ms, std::function<void()> task) override { tasks_.emplace(now + ms, std::move(task)); }
    void advance(std::int64_t ms) {
        const std::int64_t until = now + ms;
        while (!tasks_.empty() && tasks_.begin()->first <= until) {
            auto due = tasks_.extract(tasks_.begin());
            now = due.key();
            due.mapped()();
        }
        now = until;
    }

    std::int64_t now = 0;

private:
    std::multimap<std::int64_t, std::function<void()>> tasks_;
};

}  // namespace tessaly::test
