// The owner thread of a program without a window (the headless bridge; the tests): the thread
// that runs the loop runs every task the link threads hand over, in order, as the window's event
// loop does. Between tasks it sleeps on a condition variable, so an idle loop costs no CPU.
//
// The thread that constructs the loop is its owner thread. runAndWait and post may be called
// from any thread; processEventsFor only on the owner thread. After shutdown no task runs and
// every waiter is released, so no link thread can reach the bridge once it is going away.
#pragma once

#include <cstdint>
#include <functional>

#include "links/owner_task_queue.h"
#include "links/owner_thread.h"

namespace tessaly {

class OwnerLoop final : public OwnerThread {
public:
    bool runAndWait(std::function<void()> task) override { return queue_.runAndWait(std::move(task)); }
    void post(std::function<void()> task) override { queue_.post(std::move(task)); }
    bool runBeside(const std::function<void()>& task) override { return queue_.runBeside(task); }
    void shutdown() override { queue_.shutdown(); }

    // Runs the tasks queued so far; when there were none, waits up to `maxMs` for one (or a
    // wake) and runs what came. Owner thread only.
    void processEventsFor(std::uint32_t maxMs);
    // Runs the tasks queued so far without waiting. Owner thread only.
    void processPending() { queue_.drain(); }
    // Ends a wait of processEventsFor early; any thread.
    void wake() { queue_.wake(); }

    bool onOwnerThread() const { return queue_.onOwnerThread(); }
    bool isShutDown() { return queue_.isShutDown(); }

private:
    OwnerTaskQueue queue_;
};

}  // namespace tessaly
