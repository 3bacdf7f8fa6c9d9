// One contract for both owner threads, the window's and the loop of programs without a window:
// tasks from workers run on the owner in order, a task that throws releases its caller with the
// error, and after shutdown every call returns at once, the same way on both.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QObject>
#include <QTimer>

#include <atomic>
#include <functional>
#include <future>
#include <memory>
#include <stdexcept>
#include <thread>
#include <utility>
#include <vector>

#include "app/qt_owner_thread.h"
#include "links/owner_loop.h"

namespace tessaly {
namespace {

using namespace std::chrono_literals;

// Each owner with the way its thread takes tasks: the window's event loop, the bridge's loop.
struct WindowOwner {
    QObject receiver;
    std::shared_ptr<QtOwnerThread> owner = QtOwnerThread::create(&receiver);
    OwnerThread& get() { return *owner; }
    void pump() { QCoreApplication::processEvents(QEventLoop::AllEvents, 5); }
    // What else the window does: its timers, its input.
    void otherWork(std::function<void()> work) { QTimer::singleShot(0, &receiver, std::move(work)); }
};

struct LoopOwner {
    std::shared_ptr<OwnerLoop> owner = std::make_shared<OwnerLoop>();
    OwnerThread& get() { return *owner; }
    // What else the bridge's loop does between its waits: supervision, the status line.
    void pump() {
        owner->processEventsFor(5);
        if (work) std::exchange(work, nullptr)();
    }
    void otherWork(std::function<void()> w) { work = std::move(w); }
    std::function<void()> work;
};

template <typename T>
class OwnerThreadContract : public ::testing::Test {
protected:
    // Keeps the owner thread taking tasks until `result` is ready.
    template <typename R>
    R pumpUntil(std::future<R>& result) {
        const auto deadline = std::chrono::steady_clock::now() + 10s;
        while (result.wait_for(0s) != std::future_status::ready && std::chrono::steady_clock::now() < deadline) {
            owner_.pump();
        }
        return result.get();
    }
    T owner_;
};

using Owners = ::testing::Types<WindowOwner, LoopOwner>;
TYPED_TEST_SUITE(OwnerThreadContract, Owners);

// The monitor's take posts its own continuation while a relay runs at full speed.
TYPED_TEST(OwnerThreadContract, ATaskThatPostsItsNextLetsTheOwnersOtherWorkIn) {
    OwnerThread& owner = this->owner_.get();
    int runs = 0, runsBeforeOtherWork = -1;
    std::function<void()> next = [&] {
        if (++runs < 100000) owner.post(next);
    };
    owner.post(next);
    this->owner_.otherWork([&] { runsBeforeOtherWork = runs; });
    for (int i = 0; i < 1000 && runsBeforeOtherWork < 0; ++i) this->owner_.pump();
    EXPECT_GE(runsBeforeOtherWork, 0);
    EXPECT_LT(runsBeforeOtherWork, 1000) << "the other work waited for the whole chain";
    owner.shutdown();
}

TYPED_TEST(OwnerThreadContract, WorkersTasksRunOnTheOwnerInTheOrderTheyCame) {
    OwnerThread& owner = this->owner_.get();
    const auto ownerId = std::this_thread::get_id();
    std::vector<int> order;
    std::atomic<bool> elsewhere{false};
    auto worker = std::async(std::launch::async, [&] {
        bool allRan = true;
        for (int i = 0; i < 500; ++i) {
            if (i % 5 == 0) {
                owner.post([&, i] { order.push_back(i); });
                continue;
            }
            allRan &= owner.runAndWait([&, i] {
                if (std::this_thread::get_id() != ownerId) elsewhere = true;
                order.push_back(i);
            });
        }
        return allRan;
    });
    EXPECT_TRUE(this->pumpUntil(worker));
    this->owner_.pump();
    EXPECT_FALSE(elsewhere);
    ASSERT_EQ(order.size(), 500u);
    for (int i = 0; i < 500; ++i) ASSERT_EQ(order[i], i);
    owner.shutdown();
}

TYPED_TEST(OwnerThreadContract, ATaskThatThrowsReleasesItsCallerWithTheError) {
    OwnerThread& owner = this->owner_.get();
    auto worker = std::async(std::launch::async, [&] {
        std::string error;
        try {
            owner.runAndWait([] { throw std::runtime_error("routing failed"); });
        } catch (const std::runtime_error& e) {
            error = e.what();
        }
        // The owner takes the next task as before.
        return error == "routing failed" && owner.runAndWait([] {});
    });
    EXPECT_TRUE(this->pumpUntil(worker));
    owner.shutdown();
}

TYPED_TEST(OwnerThreadContract, ShutdownReleasesWaitingCallersAndRunsNothingMore) {
    OwnerThread& owner = this->owner_.get();
    std::atomic<bool> ran{false};
    // The owner takes no task: the callers wait until the shutdown releases them.
    auto waiting = std::async(std::launch::async, [&] { return owner.runAndWait([&] { ran = true; }); });
    auto alsoWaiting = std::async(std::launch::async, [&] { return owner.runAndWait([&] { ran = true; }); });
    EXPECT_EQ(waiting.wait_for(50ms), std::future_status::timeout);
    owner.shutdown();
    EXPECT_FALSE(waiting.get());
    EXPECT_FALSE(alsoWaiting.get());
    // After shutdown, from a worker and from the owner thread itself alike.
    auto late = std::async(std::launch::async, [&] { return owner.runAndWait([&] { ran = true; }); });
    EXPECT_FALSE(late.get());
    EXPECT_FALSE(owner.runAndWait([&] { ran = true; }));
    owner.post([&] { ran = true; });
    this->owner_.pump();
    EXPECT_FALSE(ran);
}

TYPED_TEST(OwnerThreadContract, AStartedTaskIsWaitedForEvenAcrossShutdown) {
    OwnerThread& owner = this->owner_.get();
    std::promise<void> started;
    std::atomic<bool> finished{false};
    auto worker = std::async(std::launch::async, [&] {
        return owner.runAndWait([&] {
            started.set_value();
            owner.shutdown();  // the window closing while a block is being routed
            finished = true;
        });
    });
    EXPECT_TRUE(this->pumpUntil(worker));
    EXPECT_TRUE(finished);
}

}  // namespace
}  // namespace tessaly
