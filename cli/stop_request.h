// The stop request of the command-line servers (simulator, sink): SIGINT and SIGTERM come
// through StopSignals, like everywhere else, and wake the server's poll loop through an eventfd,
// so a request can never slip in between the check and the wait.
#pragma once

#include <poll.h>

#include <atomic>
#include <chrono>

#include "links/stop_signals.h"

namespace tessaly {

class StopRequest {
public:
    // Construct it before the server starts any thread. Also ignores SIGPIPE: a client that goes
    // away must not kill the server while it writes.
    StopRequest();
    StopRequest(const StopRequest&) = delete;
    StopRequest& operator=(const StopRequest&) = delete;

    bool requested() const { return requested_; }
    // poll() on `fds` until an event, the timeout or a stop request. Returns the number of `fds`
    // with events, or 0 when a stop was requested.
    int waitForEvents(pollfd* fds, nfds_t count, std::chrono::milliseconds timeout) const;

private:
    // Closed only after the watcher thread has ended: a signal at the very end must not write
    // to a descriptor number that something else may have by then.
    struct WakeFd {
        int fd;
        ~WakeFd();
    };
    std::atomic<bool> requested_{false};
    WakeFd wake_;
    StopSignals signals_;  // last: its watcher uses the members above, and is joined first
};

}  // namespace tessaly
