#include "app/qt_owner_thread.h"

#include <QMetaObject>

#include <algorithm>
#include <chrono>

namespace tessaly {

std::shared_ptr<QtOwnerThread> QtOwnerThread::create(QObject* receiver) {
    return std::shared_ptr<QtOwnerThread>(new QtOwnerThread(receiver));
}

QtOwnerThread::QtOwnerThread(QObject* receiver)
    : receiver_(receiver), ownerId_(std::this_thread::get_id()) {}

void QtOwnerThread::wakeOwner() {
    // While the owner drains the queue it takes the new task without a trip through the event
    // loop. Only ever before shutdown, which the window enters before it goes away: the receiver
    // still exists here. A queued call left behind is dropped with the receiver.
    changed_.notify_all();
    if (draining_ > 0 || wakePending_) return;
    wakePending_ = true;
    QMetaObject::invokeMethod(
        receiver_.data(), [self = shared_from_this()] { self->runQueued(); }, Qt::QueuedConnection);
}

bool QtOwnerThread::runAndWait(std::function<void()> task) {
    if (std::this_thread::get_id() == ownerId_) {
        {
            std::lock_guard lock(mutex_);
            if (shutDown_) return false;
        }
        task();
        return true;
    }
    Waiter waiter;
    std::unique_lock lock(mutex_);
    if (shutDown_) return false;
    queue_.push_back({std::move(task), &waiter});
    wakeOwner();
    // Routing a block takes microseconds: a short spin before sleeping spares a trip through
    // the scheduler for each block of a busy link.
    for (int spin = 0; spin < 200 && !waiter.done; ++spin) {
        lock.unlock();
        std::this_thread::yield();
        lock.lock();
    }
    changed_.wait(lock, [&] { return waiter.done || (shutDown_ && !waiter.started); });
    if (waiter.done) return true;
    // Shut down before it ran: take it back so that it never runs.
    std::erase_if(queue_, [&](const Task& t) { return t.waiter == &waiter; });
    return false;
}

void QtOwnerThread::post(std::function<void()> task) {
    std::lock_guard lock(mutex_);
    if (shutDown_) return;
    queue_.push_back({std::move(task), nullptr});
    wakeOwner();
}

void QtOwnerThread::shutdown() {
    std::lock_guard lock(mutex_);
    shutDown_ = true;
    std::erase_if(queue_, [](const Task& t) { return t.waiter == nullptr; });
    changed_.notify_all();
}

void QtOwnerThread::runQueued() {
    // A reader hands its next block over right after the last one was routed: a moment's wait
    // for it saves both threads a trip through the event loop per block.
    constexpr auto kNextTaskGrace = std::chrono::microseconds(100);
    std::unique_lock lock(mutex_);
    wakePending_ = false;
    ++draining_;
    // Also when a task throws: the next post must wake the owner again, and what is still
    // queued gets its own trip.
    struct Draining {
        QtOwnerThread& owner;
        ~Draining() {
            --owner.draining_;
            if (owner.draining_ == 0 && !owner.queue_.empty() && !owner.shutDown_) owner.wakeOwner();
        }
    } draining{*this};
    for (;;) {
        if (queue_.empty() &&
            !changed_.wait_for(lock, kNextTaskGrace, [&] { return !queue_.empty() || shutDown_; })) {
            break;
        }
        if (shutDown_) break;
        Task task = std::move(queue_.front());
        queue_.pop_front();
        if (task.waiter) task.waiter->started = true;
        lock.unlock();
        // The worker is released even when the task throws; the error goes on to the
        // application's general error handler.
        struct Release {
            QtOwnerThread& owner;
            std::unique_lock<std::mutex>& lock;
            Waiter* waiter;
            ~Release() {
                lock.lock();
                if (waiter) {
                    waiter->done = true;
                    owner.changed_.notify_all();
                }
            }
        } release{*this, lock, task.waiter};
        task.run();
    }
}

}  // namespace tessaly
