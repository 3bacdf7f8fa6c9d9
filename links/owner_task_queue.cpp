#include "links/owner_task_queue.h"

#include <algorithm>
#include <utility>

namespace tessaly {

OwnerTaskQueue::OwnerTaskQueue(std::function<void()> wakeOwner)
    : ownerId_(std::this_thread::get_id()), wakeOwner_(std::move(wakeOwner)) {}

void OwnerTaskQueue::queued() {
    changed_.notify_all();
    if (!wakeOwner_ || draining_ > 0 || wakePending_) return;
    wakePending_ = true;
    wakeOwner_();
}

bool OwnerTaskQueue::runAndWait(std::function<void()> task) {
    if (onOwnerThread()) {
        if (isShutDown()) return false;
        task();
        return true;
    }
    Waiter waiter;
    std::unique_lock lock(mutex_);
    if (shutDown_) return false;
    queue_.push_back({std::move(task), &waiter});
    queued();
    changed_.wait(lock, [&] { return waiter.done || (shutDown_ && !waiter.started); });
    if (!waiter.done) {
        // Shut down before it ran: taken back, so that it never runs.
        std::erase_if(queue_, [&](const Task& t) { return t.waiter == &waiter; });
        return false;
    }
    if (waiter.error) std::rethrow_exception(waiter.error);
    return true;
}

void OwnerTaskQueue::post(std::function<void()> task) {
    std::lock_guard lock(mutex_);
    if (shutDown_) return;
    queue_.push_back({std::move(task), nullptr});
    queued();
}

bool OwnerTaskQueue::runBeside(const std::function<void()>& task) {
    {
        std::lock_guard lock(mutex_);
        if (shutDown_) return false;
        ++beside_;
    }
    struct Leave {
        OwnerTaskQueue& queue;
        ~Leave() {
            std::lock_guard lock(queue.mutex_);
            if (--queue.beside_ == 0) queue.changed_.notify_all();
        }
    } leave{*this};
    task();
    return true;
}

void OwnerTaskQueue::shutdown() {
    std::unique_lock lock(mutex_);
    shutDown_ = true;
    queue_.clear();
    changed_.notify_all();
    // Released waiters first (above): a task beside may be waiting for the owner right now.
    changed_.wait(lock, [&] { return beside_ == 0; });
}

bool OwnerTaskQueue::isShutDown() {
    std::lock_guard lock(mutex_);
    return shutDown_;
}

void OwnerTaskQueue::wake() {
    std::lock_guard lock(mutex_);
    woken_ = true;
    changed_.notify_all();
}

void OwnerTaskQueue::waitForTask(std::uint32_t maxMs) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, std::chrono::milliseconds(maxMs),
                      [&] { return shutDown_ || woken_ || !queue_.empty(); });
    woken_ = false;
}

int OwnerTaskQueue::drain() {
    std::unique_lock lock(mutex_);
    wakePending_ = false;
    ++draining_;
    // Also when a posted task throws: the next task must wake the owner again, and what is still
    // queued gets a drain of its own.
    struct Draining {
        OwnerTaskQueue& queue;
        ~Draining() {
            --queue.draining_;
            if (queue.draining_ == 0 && !queue.queue_.empty() && !queue.shutDown_) queue.queued();
        }
    } draining{*this};
    int count = 0;
    for (std::size_t left = queue_.size(); left > 0 && !queue_.empty() && !shutDown_; --left) {
        Task task = std::move(queue_.front());
        queue_.pop_front();
        ++count;
        if (!task.waiter) {
            lock.unlock();
            struct Relock {
                std::unique_lock<std::mutex>& lock;
                ~Relock() { lock.lock(); }
            } relock{lock};
            task.run();
            continue;
        }
        task.waiter->started = true;
        lock.unlock();
        std::exception_ptr error;
        try {
            task.run();
        } catch (...) {
            error = std::current_exception();
        }
        lock.lock();
        task.waiter->error = error;
        task.waiter->done = true;
        changed_.notify_all();
    }
    return count;
}

}  // namespace tessaly
