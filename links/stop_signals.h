// SIGINT and SIGTERM as a request to stop in order: the one way every program here (the window,
// the bridge, the simulator and the sink) learns of them. The signals are blocked in the calling
// thread (and so in every thread it starts later) and taken by a thread of their own with
// sigwait, which then calls `stop` on that thread: no signal handler and no global state.
// Construct it first in main, before any other thread starts; a signal that comes before the
// watcher is waiting stays pending for it.
#pragma once

#include <functional>
#include <thread>

namespace tessaly {

class StopSignals {
public:
    explicit StopSignals(std::function<void()> stop);
    ~StopSignals();  // ends the watcher thread and joins it
    StopSignals(const StopSignals&) = delete;
    StopSignals& operator=(const StopSignals&) = delete;

private:
    std::thread watcher_;
};

}  // namespace tessaly
