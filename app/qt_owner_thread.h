// The window's side of the OwnerThread seam: workers (the links' I/O loop with the serial
// component's work and the TCP links) hand functions to the window's event loop and wait until they have run.
// Shutting down, as the window closes, releases every waiting worker at once and runs nothing
// more, so no worker can reach a window that is going away.
#pragma once

#include <QObject>
#include <QPointer>

#include <memory>

#include "links/owner_task_queue.h"
#include "links/owner_thread.h"

namespace tessaly {

class QtOwnerThread final : public OwnerThread, public std::enable_shared_from_this<QtOwnerThread> {
public:
    // `receiver` lives on the window's thread (the window itself); tasks run in its event loop.
    static std::shared_ptr<QtOwnerThread> create(QObject* receiver);

    bool runAndWait(std::function<void()> task) override { return queue_.runAndWait(std::move(task)); }
    void post(std::function<void()> task) override { queue_.post(std::move(task)); }
    bool runBeside(const std::function<void()>& task) override { return queue_.runBeside(task); }
    void shutdown() override { queue_.shutdown(); }

private:
    explicit QtOwnerThread(QObject* receiver);
    // A queued call into the event loop that drains the queue.
    void wakeOwner();

    QPointer<QObject> receiver_;
    OwnerTaskQueue queue_;
};

}  // namespace tessaly
