#include "links/serial/comm_receive_watch.h"

#include <poll.h>

#include <asio/post.hpp>

#include <chrono>

#include "links/serial/comm_x.h"

namespace tessaly {
namespace {

// While bytes that a handler left unread sit in the input queue, a wait for readability would
// end at once; the watch looks again after this long for bytes beyond them. Handlers normally
// read everything, and an idle port waits without a timer.
constexpr std::chrono::milliseconds kLeftoverRecheck{5};

// Unplugged (or the far end of a pty closed): the descriptor says so without being asked for
// any event, and at once.
bool hungUp(int fd) {
    pollfd p{fd, 0, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
}

}  // namespace

CommReceiveWatch::CommReceiveWatch(std::shared_ptr<CommSession> session)
    : session_(std::move(session)),
      readable_(session_->io, session_->waitDescriptor()),
      recheck_(session_->io),
      handled_(session_->io) {
    if (const auto counters = session_->device->lineCounters()) breaks_ = counters->brk;
}

std::shared_ptr<CommReceiveWatch> CommReceiveWatch::start(const std::shared_ptr<CommSession>& session) {
    auto watch = std::make_shared<CommReceiveWatch>(session);
    asio::post(session->io, [watch] { watch->wait(); });
    return watch;
}

void CommReceiveWatch::stop() {
    readable_.cancel();
    recheck_.cancel();
    handled_.cancel();
}

void CommReceiveWatch::wait() {
    CommSession& s = *session_;
    if (s.stopping() || deviceLost_) return;
    auto self = shared_from_this();
    if (s.device->inputQueueLength().value_or(0) > 0) {
        // Bytes that came just after the last look at the arrivals are told at once.
        if (s.bytesArrived() > announced_) return woke(false);
        recheck_.expires_after(kLeftoverRecheck);
        recheck_.async_wait([self](const asio::error_code&) { self->woke(false); });
        return;
    }
    readable_.async_wait(asio::posix::stream_descriptor::wait_read, [self](const asio::error_code& error) {
        self->woke(error && error != asio::error::operation_aborted);
    });
    // The loop hears of arrivals, not of readiness: bytes that came between the look above and
    // the wait rang for nobody, so the wait ends at once for them.
    if (s.device->inputQueueLength().value_or(0) > 0) readable_.cancel();
}

void CommReceiveWatch::woke(bool failed) {
    if (session_->stopping()) return;
    hungUp_ = failed || hungUp(session_->device->fd());
    step_ = Step::LineErrors;
    advance();
}

void CommReceiveWatch::advance() {
    CommSession& s = *session_;
    if (s.stopping()) return;
    switch (step_) {
    case Step::LineErrors:
        step_ = Step::Break;
        if (const std::int32_t bits = s.takeLineErrorBits()) return notify(CommNotice::Error, bits);
        [[fallthrough]];
    case Step::Break:
        step_ = Step::Received;
        if (const auto counters = s.device->lineCounters(); counters && counters->brk > breaks_) {
            breaks_ = counters->brk;
            return notify(CommNotice::Break, 0);
        }
        [[fallthrough]];
    case Step::Received:
        // Bytes that arrived since the last notice, again and again while more come in during
        // the handler; bytes a handler leaves unread are not announced on their own.
        if (const std::int64_t arrived = s.bytesArrived(); arrived > announced_) {
            announced_ = arrived;
            return notify(CommNotice::Receive, 0);
        }
        step_ = Step::Lost;
        [[fallthrough]];
    case Step::Lost:
        step_ = Step::Wait;
        if (hungUp_) {
            // Said once; waking on the hang-up again and again would only spin.
            deviceLost_ = true;
            return notify(CommNotice::Error, kCommErrDeviceLost);
        }
        [[fallthrough]];
    case Step::Wait:
        wait();
    }
}

void CommReceiveWatch::notify(CommNotice notice, std::int32_t bits) {
    handled_.expires_at(asio::steady_timer::time_point::max());
    handled_.async_wait([self = shared_from_this()](const asio::error_code&) { self->advance(); });
    session_->sendNotice(notice, bits, [watch = weak_from_this()] {
        if (const auto self = watch.lock()) self->handled_.cancel();
    });
}

}  // namespace tessaly
