// The queue between worker threads and the owner thread, under both owners: the window's (its
// event loop runs the tasks) and the loop of programs without a window. One queue, so both keep
// the same contract:
// - runAndWait returns true once the task has run; an exception the task threw is rethrown to
//   the waiting caller (who is released either way);
// - on the owner thread itself runAndWait runs the task at once;
// - after shutdown every call returns at once, on every thread: runAndWait false without
//   running, post dropped; callers already waiting for a task that has not started are released
//   with false. A task that has started is waited for: it may use the caller's stack.
// - runBeside runs a task on the calling worker thread; shutdown waits until every one that
//   started has returned, and none starts after it.
//
// The owner thread is the one that constructs the queue. `wakeOwner`, when given, is called with
// the queue's lock held when a task arrives and the owner is neither draining nor already woken.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <functional>
#include <mutex>
#include <thread>

namespace tessaly {

class OwnerTaskQueue {
public:
    explicit OwnerTaskQueue(std::function<void()> wakeOwner = {});

    bool runAndWait(std::function<void()> task);
    void post(std::function<void()> task);
    bool runBeside(const std::function<void()>& task);
    void shutdown();
    bool isShutDown();
    bool onOwnerThread() const { return std::this_thread::get_id() == ownerId_; }

    // Owner thread: runs the tasks queued when it was called. What they post meanwhile (the
    // monitor's next take) waits for the next drain, so that the owner's other events (a window's
    // timers and input) come in between. A posted task that throws leaves through here (the
    // queue stays sound); returns the number of tasks run.
    int drain();
    // Owner thread: sleeps until a task arrives, wake() is called or shutdown, at most `maxMs`.
    void waitForTask(std::uint32_t maxMs);
    // Any thread: ends a waitForTask early.
    void wake();

private:
    struct Waiter {
        bool started = false;
        bool done = false;
        std::exception_ptr error;
    };
    struct Task {
        std::function<void()> run;
        Waiter* waiter = nullptr;  // null for posted tasks
    };
    void queued();  // under mutex_

    const std::thread::id ownerId_;
    const std::function<void()> wakeOwner_;
    std::mutex mutex_;  // guards everything below and every Waiter
    std::condition_variable changed_;
    std::deque<Task> queue_;
    bool shutDown_ = false;
    bool woken_ = false;
    int draining_ = 0;          // drain() is running (nested drains count)
    int beside_ = 0;            // runBeside tasks running now
    bool wakePending_ = false;  // wakeOwner_ was called and its drain has not started
};

}  // namespace tessaly
