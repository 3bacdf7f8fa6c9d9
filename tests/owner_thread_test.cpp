// The test owner thread itself: the serial tests rely on it behaving like the window's thread.
#include <gtest/gtest.h>

#include <atomic>
#include <future>

#include "testing/test_owner_thread.h"

namespace tessaly::testing {
namespace {

TEST(TestOwnerThread, RunsTasksOnItsThreadInOrder) {
    TestOwnerThread owner;
    std::vector<int> order;
    owner.post([&] { order.push_back(1); });
    EXPECT_TRUE(owner.runAndWait([&] {
        EXPECT_TRUE(owner.onOwnerThread());
        order.push_back(2);
    }));
    EXPECT_EQ(order, (std::vector{1, 2}));
}

TEST(TestOwnerThread, WaitingCallerIsReleasedAtShutdownAndItsTaskNeverRuns) {
    TestOwnerThread owner;
    std::promise<void> blockerStarted;
    std::promise<void> unblock;
    owner.post([&] {
        blockerStarted.set_value();
        unblock.get_future().wait();
    });
    blockerStarted.get_future().wait();
    std::atomic<bool> ran{false};
    auto waiting = std::async(std::launch::async, [&] { return owner.runAndWait([&] { ran = true; }); });
    EXPECT_EQ(waiting.wait_for(std::chrono::milliseconds(50)), std::future_status::timeout);
    owner.shutdown();
    EXPECT_FALSE(waiting.get());
    unblock.set_value();
    EXPECT_FALSE(owner.runAndWait([&] { ran = true; }));
    EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace tessaly::testing
