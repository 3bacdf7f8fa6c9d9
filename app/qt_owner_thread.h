// The window's side of the OwnerThread seam: worker threads (the serial component's threads,
// the TCP readers) hand functions to the window's event loop and wait until they have run.
// Shutting down, as the window closes, releases every waiting worker at once and runs nothing
// more, so no worker can reach a window that is going away.
#pragma once

#include <QObject>
#include <QPointer>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>

#include "links/owner_thread.h"

namespace tessaly {

class QtOwnerThread final : public OwnerThread, public std::enable_shared_from_this<QtOwnerThread> {
public:
    // `receiver` lives on the window's thread (the window itself); tasks run in its event loop.
    static std::shared_ptr<QtOwnerThread> create(QObject* receiver);

    bool runAndWait(std::function<void()> task) override;
    void post(std::function<void()> task) override;
    void shutdown() override;

private:
    explicit QtOwnerThread(QObject* receiver);
    struct Waiter {
        bool started = false;
        bool done = false;
    };
    struct Task {
        std::function<void()> run;
        Waiter* waiter = nullptr;  // null for posted tasks
    };
    // Under mutex_: asks the event loop to run what is queued.
    void wakeOwner();
    void runQueued();

    QPointer<QObject> receiver_;
    std::thread::id ownerId_;
    std::mutex mutex_;  // guards queue_, shutDown_ and every Waiter
    std::condition_variable changed_;
    std::deque<Task> queue_;
    bool shutDown_ = false;
    int draining_ = 0;          // runQueued is running (nested runs count)
    bool wakePending_ = false;  // a queued call to runQueued is on its way
};

}  // namespace tessaly
