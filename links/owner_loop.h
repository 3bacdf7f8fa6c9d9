// The owner thread of a program without a window (the headless bridge; the tests): the thread
// that runs the loop runs every task the link threads hand over, in order, as the window's event
// loop does. Between tasks it sleeps on a condition variable, so an idle loop costs no CPU.
//
// The thread that constructs the loop is its owner thread. runAndWait and post may be called
// from any thread; processEventsFor only on the owner thread. After shutdown no task runs and
// every waiter is released, so no link thread can reach the bridge once it is going away.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "links/owner_thread.h"

namespace tessaly {

class OwnerLoop final : public OwnerThread {
public:
    OwnerLoop() : ownerId_(std::this_thread::get_id()) {}

    bool runAndWait(std::function<void()> task) override;
    void post(std::function<void()> task) override;
    void shutdown() override;

    // Runs the tasks queued so far; when there were none, waits up to `maxMs` for one (or a
    // wake) and runs what came. Owner thread only.
    void processEventsFor(std::uint32_t maxMs);
    // Runs the tasks queued so far without waiting. Owner thread only.
    void processPending();
    // Ends a wait of processEventsFor early; any thread.
    void wake();

    bool onOwnerThread() const { return std::this_thread::get_id() == ownerId_; }
    bool isShutDown() {
        std::lock_guard lock(mutex_);
        return shutDown_;
    }

private:
    struct Waiter {
        bool started = false;
        bool done = false;
    };
    struct Task {
        std::function<void()> run;
        Waiter* waiter = nullptr;  // null for posted tasks
    };
    // Returns the number of tasks run.
    int runQueued(std::unique_lock<std::mutex>& lock);

    const std::thread::id ownerId_;
    std::mutex mutex_;  // guards queue_, shutDown_, woken_ and the waiters
    std::condition_variable changed_;
    std::deque<Task> queue_;
    bool shutDown_ = false;
    bool woken_ = false;
};

}  // namespace tessaly
