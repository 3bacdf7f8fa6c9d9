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
    ~StopRequest();
    StopRequest(const StopRequest&) = delete;
    StopRequest& operator=(const StopRequest&) = delete;

    bool requested() const { return requested_; }
    // poll() on `fds` until an event, the timeout or a stop request. Returns the number of `fds`
    // with events, or 0 when a stop was requested.
    int waitForEvents(pollfd* fds, nfds_t count, std::chrono::milliseconds timeout) const;

private:
    std::atomic<bool> requested_{false};
    int wakeFd_ = -1;
    StopSignals signals_;  // last: its watcher uses the members above
};

}  // namespace tessaly
