#include "tests/test_owner_thread.h"

namespace tessaly::testing {

TestOwnerThread::TestOwnerThread() : thread_([this] { loop(); }) {}

TestOwnerThread::~TestOwnerThread() {
    shutdown();
    thread_.join();
}

bool TestOwnerThread::runAndWait(std::function<void()> task) {
    if (onOwnerThread()) {
        task();
        return true;
    }
    Waiter waiter;
    std::unique_lock lock(mutex_);
    if (shutDown_) return false;
    queue_.push_back({std::move(task), &waiter});
    changed_.notify_all();
    // A task that has started is waited for: it may use the caller's stack.
    changed_.wait(lock, [&] { return waiter.done || (shutDown_ && !waiter.started); });
    return waiter.done;
}

void TestOwnerThread::post(std::function<void()> task) {
    std::lock_guard lock(mutex_);
    if (shutDown_) return;
    queue_.push_back({std::move(task), nullptr});
    changed_.notify_all();
}

void TestOwnerThread::shutdown() {
    std::lock_guard lock(mutex_);
    shutDown_ = true;
    // Waiting callers are released with false; their tasks are never run.
    queue_.clear();
    changed_.notify_all();
}

void TestOwnerThread::processEvents() {
    std::unique_lock lock(mutex_);
    runQueued(lock);
}

void TestOwnerThread::runQueued(std::unique_lock<std::mutex>& lock) {
    while (!queue_.empty() && !shutDown_) {
        Task task = std::move(queue_.front());
        queue_.pop_front();
        if (task.waiter) task.waiter->started = true;
        lock.unlock();
        task.run();
        lock.lock();
        if (task.waiter) {
            task.waiter->done = true;
            changed_.notify_all();
        }
    }
}

void TestOwnerThread::loop() {
    std::unique_lock lock(mutex_);
    while (!shutDown_) {
        changed_.wait(lock, [&] { return shutDown_ || !queue_.empty(); });
        runQueued(lock);
    }
}

}  // namespace tessaly::testing
