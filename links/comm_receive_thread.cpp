// The receive thread: waits on the device and the stop event, and turns what it sees into
// notices on the owner thread. Each notice is sent synchronously, so the next wait starts only
// after the owner thread has handled it (OnReceive included) and notices never pile up.
#include <poll.h>

#include <thread>

#include "links/comm_threads.h"
#include "links/comm_x.h"

namespace tessaly {
namespace {

// While bytes that a handler left unread sit in the input queue the device stays readable, so
// the thread cannot block on it; it looks again after this long for bytes beyond them. Handlers
// normally read everything, and an idle port blocks.
constexpr int kLeftoverRecheckMs = 5;

class ReceiveWatch {
public:
    explicit ReceiveWatch(std::shared_ptr<CommSession> session) : session_(std::move(session)) {
        if (const auto counters = session_->device->lineCounters()) breaks_ = counters->brk;
    }

    void run() {
        CommSession& s = *session_;
        while (!s.stopping()) {
            const bool unreadLeft = s.device->inputQueueLength().value_or(0) > 0;
            const short deviceEvents = unreadLeft ? 0 : POLLIN;
            pollfd fds[2] = {{s.receiveStop.fd(), POLLIN, 0}, {s.device->fd(), deviceEvents, 0}};
            const nfds_t count = deviceLost_ ? 1 : 2;
            ::poll(fds, count, unreadLeft && !deviceLost_ ? kLeftoverRecheckMs : -1);
            if (s.stopping()) break;
            if (!notifyLineEvents() || !notifyReceived()) break;
            if (!deviceLost_ && (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL))) {
                // Unplugged (or the far end of a pty closed): say so once, then wait only for
                // the close instead of waking on the hang-up again and again.
                deviceLost_ = true;
                if (!s.sendNotice(CommNotice::Error, kCommErrDeviceLost)) break;
            }
        }
    }

private:
    // False when the owner thread has shut down.
    bool notifyLineEvents() {
        CommSession& s = *session_;
        if (const std::int32_t bits = s.takeLineErrorBits()) {
            if (!s.sendNotice(CommNotice::Error, bits)) return false;
        }
        const auto counters = s.device->lineCounters();
        if (counters && counters->brk > breaks_) {
            breaks_ = counters->brk;
            if (!s.sendNotice(CommNotice::Break, 0)) return false;
        }
        return true;
    }

    // Announces bytes that arrived since the last notice, again and again while more come in
    // during the handler; bytes a handler leaves unread are not announced on their own.
    bool notifyReceived() {
        CommSession& s = *session_;
        for (;;) {
            const std::int64_t arrived = s.bytesArrived();
            if (arrived <= announced_) return true;
            announced_ = arrived;
            if (!s.sendNotice(CommNotice::Receive, 0)) return false;
        }
    }

    std::shared_ptr<CommSession> session_;
    std::int64_t announced_ = 0;  // bytes arrived up to the last receive notice
    std::int64_t breaks_ = 0;
    bool deviceLost_ = false;
};

}  // namespace

void TCommReceiveThread::start(std::shared_ptr<CommSession> session) {
    std::thread([watch = ReceiveWatch(std::move(session))]() mutable { watch.run(); }).detach();
}

}  // namespace tessaly
