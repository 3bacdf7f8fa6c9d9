// The seam through which workers (the links' I/O loop: the TCP links, the serial component's
// transmitter and receive watch) reach the thread that owns the window. All program logic runs on
// that thread; a worker only ever hands it a function.
//
// The window provides the implementation (a blocking queued call into its event loop); tests and
// tools without a window use a plain thread that runs the functions it is given. The object must
// outlive every worker that holds it, which is why workers keep it through a std::shared_ptr.
#pragma once

#include <exception>
#include <functional>

namespace tessaly {

class OwnerThread {
public:
    virtual ~OwnerThread() = default;

    // Runs `task` on the owner thread and returns once it has run: true; an exception the task
    // threw is rethrown here. Called on the owner thread itself, runs it at once. After
    // shutdown() returns false at once without running it, on every thread, and a caller whose
    // task has not started yet is released with false (the task never runs).
    virtual bool runAndWait(std::function<void()> task) = 0;

    // Queues `task` to run on the owner thread and returns at once; after shutdown() the task is
    // dropped. For a worker that must not wait on the owner thread.
    virtual void post(std::function<void()> task) = 0;

    // For a worker that acts on the owner's objects on its own thread (a reader that forwards the
    // block it read): runs `task` here and now, unless shut down (false, not run). shutdown()
    // waits for every such task that has started, so the objects outlive it. The task must not
    // wait for the owner thread other than through runAndWait, which shutdown releases.
    virtual bool runBeside(const std::function<void()>& task) = 0;

    // Entered once, when the window goes away: no task runs any more and no caller waits.
    virtual void shutdown() = 0;
};

// For a worker thread: runs `task` on the owner and waits, as runAndWait does. An error the task
// threw is handed back to the owner thread, where the program's error handling sees it, and the
// worker carries on with its next block. False after shutdown.
inline bool handOver(OwnerThread& owner, std::function<void()> task) {
    try {
        return owner.runAndWait(std::move(task));
    } catch (...) {
        owner.post([error = std::current_exception()] { std::rethrow_exception(error); });
        return true;
    }
}

}  // namespace tessaly
