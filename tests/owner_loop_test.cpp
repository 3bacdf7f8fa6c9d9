// The bridge loop as owner thread: handed-over tasks run on the loop's thread in order, waits end
// on time or on a wake, and shutdown releases every waiter.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <thread>
#include <vector>

#include "links/owner_loop.h"

namespace tessaly {
namespace {

using Clock = std::chrono::steady_clock;

TEST(OwnerLoop, TasksRunOnTheLoopThreadInOrder) {
    OwnerLoop loop;
    std::vector<int> order;
    std::atomic<bool> onLoop{true};
    std::thread worker([&] {
        for (int i = 0; i < 50; ++i) {
            if (i % 2) {
                loop.post([&, i] { order.push_back(i); });
            } else {
                EXPECT_TRUE(loop.runAndWait([&, i] {
                    order.push_back(i);
                    if (!loop.onOwnerThread()) onLoop = false;
                }));
            }
        }
        loop.wake();
    });
    while (order.size() < 50) loop.processEventsFor(100);
    worker.join();
    EXPECT_TRUE(onLoop);
    for (int i = 0; i < 50; ++i) EXPECT_EQ(order[i], i);
}

TEST(OwnerLoop, IdleWaitSleepsUntilItsTimeOrAWake) {
    OwnerLoop loop;
    auto start = Clock::now();
    loop.processEventsFor(150);
    EXPECT_GE(Clock::now() - start, std::chrono::milliseconds(140));

    std::thread waker([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        loop.wake();
    });
    start = Clock::now();
    loop.processEventsFor(5000);
    EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(2000));
    waker.join();
}

TEST(OwnerLoop, ShutdownReleasesAWaiterWhoseTaskNeverRuns) {
    OwnerLoop loop;
    std::atomic<bool> ran{false};
    auto waiter = std::async(std::launch::async, [&] { return loop.runAndWait([&] { ran = true; }); });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    loop.shutdown();
    EXPECT_FALSE(waiter.get());
    loop.processEventsFor(10);
    EXPECT_FALSE(ran);
    std::thread late([&] { EXPECT_FALSE(loop.runAndWait([&] { ran = true; })); });
    late.join();
    EXPECT_FALSE(ran);
}

}  // namespace
}  // namespace tessaly
