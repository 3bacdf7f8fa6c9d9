// The bridge's timers: what its loop runs when, and when the loop must wake for them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "cli/loop_timer.h"

namespace tessaly {
namespace {

using namespace std::chrono_literals;

TEST(LoopTimer, RunsEachTaskOnceAtItsTimeInTimeOrder) {
    LoopTimer::Clock::time_point now{};
    LoopTimer timer([&] { return now; });
    std::vector<std::string> ran;
    timer.runAfter(1000, [&] { ran.push_back("second"); });
    timer.runAfter(0, [&] { ran.push_back("now"); });
    timer.runAfter(1000, [&] {
        ran.push_back("second, given later");
        timer.runAfter(0, [&] { ran.push_back("added at the second"); });
    });
    EXPECT_EQ(timer.nextDue(), now) << "the loop does not sleep past a task due now";
    timer.runDue(now);
    EXPECT_EQ(ran, (std::vector<std::string>{"now"}));
    EXPECT_EQ(timer.nextDue(), now + 1000ms);
    timer.runDue(now + 999ms);
    EXPECT_EQ(ran.size(), 1u) << "nothing early";
    now += 1000ms;
    timer.runDue(now);
    EXPECT_EQ(ran, (std::vector<std::string>{"now", "second", "second, given later", "added at the second"}));
    EXPECT_EQ(timer.nextDue(), std::nullopt) << "nothing left to wake for";
}

}  // namespace
}  // namespace tessaly
