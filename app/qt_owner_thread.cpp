#include "app/qt_owner_thread.h"

#include <QMetaObject>

#include <algorithm>

namespace tessaly {

std::shared_ptr<QtOwnerThread> QtOwnerThread::create(QObject* receiver) {
    return std::shared_ptr<QtOwnerThread>(new QtOwnerThread(receiver));
}

QtOwnerThread::QtOwnerThread(QObject* receiver)
    : receiver_(receiver), ownerId_(std::this_thread::get_id()) {}

void QtOwnerThread::wakeOwner() {
    // Only ever before shutdown, which the window enters before it goes away: the receiver
    // still exists here. A queued call left behind is dropped with the receiver.
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
    std::unique_lock lock(mutex_);
    while (!queue_.empty() && !shutDown_) {
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
