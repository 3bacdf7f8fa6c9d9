// The bridge loop's own part: its idle wait ends on time or on a wake (the contract both owners
// share is tested over both).
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

}  // namespace
}  // namespace tessaly
