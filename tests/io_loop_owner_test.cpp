// The owner thread that is the links' loop itself: tasks run on the loop's thread, and after the
// shutdown none does, with a task the loop was running waited for.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <stdexcept>
#include <thread>

#include "links/loop/io_loop_owner.h"

namespace tessaly {
namespace {

using namespace std::chrono_literals;

TEST(IoLoopOwner, TasksFromOtherThreadsRunOnTheLoopAndAnErrorReachesTheCaller) {
    IoLoop loop;
    IoLoopOwner owner(loop);
    bool onLoop = false;
    EXPECT_TRUE(owner.runAndWait([&] { onLoop = loop.onLoopThread(); }));
    EXPECT_TRUE(onLoop);
    EXPECT_THROW(owner.runAndWait([] { throw std::runtime_error("failed"); }), std::runtime_error);
    std::promise<bool> posted;
    owner.post([&] { posted.set_value(loop.onLoopThread()); });
    EXPECT_TRUE(posted.get_future().get());
    owner.shutdown();
}

TEST(IoLoopOwner, ShutdownWaitsForTheTaskBesideAndRunsNothingAfter) {
    IoLoop loop;
    IoLoopOwner owner(loop);
    std::promise<void> started;
    std::atomic<bool> finished{false}, ranLater{false};
    loop.post([&] {
        owner.runBeside([&] {
            started.set_value();
            std::this_thread::sleep_for(100ms);
            finished = true;
        });
    });
    started.get_future().wait();
    owner.shutdown();
    EXPECT_TRUE(finished) << "the shutdown returned while a block was being handed on";
    EXPECT_FALSE(owner.runAndWait([&] { ranLater = true; }));
    owner.post([&] { ranLater = true; });
    std::promise<bool> beside;
    loop.post([&] { beside.set_value(owner.runBeside([&] { ranLater = true; })); });
    EXPECT_FALSE(beside.get_future().get());
    EXPECT_FALSE(ranLater);
}

}  // namespace
}  // namespace tessaly
