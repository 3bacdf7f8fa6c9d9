#include "cli/stop_request.h"

#include <cerrno>

namespace tessaly {
namespace {

// The one piece of global state: a signal handler can reach nothing else.
volatile sig_atomic_t stopSignalled = 0;

void onStopSignal(int) { stopSignalled = 1; }

}  // namespace

StopRequest::StopRequest() {
    stopSignalled = 0;
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    // A client that goes away must not kill the server while it writes.
    signal(SIGPIPE, SIG_IGN);

    sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    sigprocmask(SIG_BLOCK, &stopSignals, &oldMask_);
    waitMask_ = oldMask_;
    sigdelset(&waitMask_, SIGINT);
    sigdelset(&waitMask_, SIGTERM);
}

StopRequest::~StopRequest() { sigprocmask(SIG_SETMASK, &oldMask_, nullptr); }

bool StopRequest::requested() const { return stopSignalled != 0; }

int StopRequest::waitForEvents(pollfd* fds, nfds_t count,
                               std::chrono::milliseconds timeout) const {
    if (timeout.count() < 0) timeout = std::chrono::milliseconds(0);
    timespec wait{};
    wait.tv_sec = static_cast<time_t>(timeout.count() / 1000);
    wait.tv_nsec = static_cast<long>(timeout.count() % 1000) * 1000000L;
    const int result = ppoll(fds, count, &wait, &waitMask_);
    return result < 0 && errno == EINTR ? 0 : result;
}

}  // namespace tessaly
