#include "links/owner_loop.h"

#include <chrono>

namespace tessaly {

bool OwnerLoop::runAndWait(std::function<void()> task) {
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

void OwnerLoop::post(std::function<void()> task) {
    std::lock_guard lock(mutex_);
    if (shutDown_) return;
    queue_.push_back({std::move(task), nullptr});
    changed_.notify_all();
}

void OwnerLoop::shutdown() {
    std::lock_guard lock(mutex_);
    shutDown_ = true;
    // Waiting callers are released with false; their tasks never run.
    queue_.clear();
    changed_.notify_all();
}

void OwnerLoop::wake() {
    std::lock_guard lock(mutex_);
    woken_ = true;
    changed_.notify_all();
}

void OwnerLoop::processPending() {
    std::unique_lock lock(mutex_);
    runQueued(lock);
}

void OwnerLoop::processEventsFor(std::uint32_t maxMs) {
    std::unique_lock lock(mutex_);
    if (runQueued(lock) > 0) return;
    changed_.wait_for(lock, std::chrono::milliseconds(maxMs),
                      [&] { return shutDown_ || woken_ || !queue_.empty(); });
    woken_ = false;
    runQueued(lock);
}

int OwnerLoop::runQueued(std::unique_lock<std::mutex>& lock) {
    int count = 0;
    while (!queue_.empty() && !shutDown_) {
        Task task = std::move(queue_.front());
        queue_.pop_front();
        if (task.waiter) task.waiter->started = true;
        lock.unlock();
        task.run();
        lock.lock();
        ++count;
        if (task.waiter) {
            task.waiter->done = true;
            changed_.notify_all();
        }
    }
    return count;
}

}  // namespace tessaly
