// SIGINT and SIGTERM as a stop request for the command-line servers. The signals are blocked
// except while the server waits in waitForEvents, so a request can never slip in between the
// check and the wait: the wait returns at once and the loop ends.
#pragma once

#include <poll.h>
#include <signal.h>

#include <chrono>

namespace tessaly {

class StopRequest {
public:
    // Installs the handlers and blocks both signals; the destructor restores the old mask.
    StopRequest();
    ~StopRequest();
    StopRequest(const StopRequest&) = delete;
    StopRequest& operator=(const StopRequest&) = delete;

    bool requested() const;
    // poll() on `fds` until an event, the timeout or a stop request. Returns poll's count, or 0
    // when interrupted.
    int waitForEvents(pollfd* fds, nfds_t count, std::chrono::milliseconds timeout) const;

private:
    sigset_t oldMask_;
    sigset_t waitMask_;
};

}  // namespace tessaly
