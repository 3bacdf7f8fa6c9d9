#include "links/serial/comm_session.h"

#include <fcntl.h>

#include <asio/post.hpp>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "links/serial/comm_receive_watch.h"
#include "links/serial/comm_transmitter.h"
#include "links/serial/comm_x.h"

namespace tessaly {

CommSession::CommSession(std::shared_ptr<SerialDevice> device_, std::shared_ptr<OwnerThread> owner_,
                         std::shared_ptr<CommNoticeTarget> target_, asio::io_context& io_)
    : device(std::move(device_)), owner(std::move(owner_)), target(std::move(target_)), io(io_) {
    // Errors from before the open are not this session's to report.
    errorBase_ = device->lineCounters().value_or(SerialLineCounters{});
}

void CommSession::sendNotice(CommNotice notice, std::int32_t bits, std::function<void()> handled) {
    // The task keeps the session (not the loop's objects) until it has run or been dropped.
    owner->post([session = shared_from_this(), notice, bits, handled = std::move(handled)] {
        TCustomCommX* const component = session->target->component;
        // Asked again after the handler, which may have closed the port or destroyed the
        // component; while it holds this port it holds the loop, so the post is safe.
        const auto goOn = [&] {
            TCustomCommX* const now = session->target->component;
            if (handled && now && now->holdsPort(*session)) asio::post(session->io, handled);
        };
        try {
            if (component) component->handleNotice(*session, notice, bits);
        } catch (...) {
            // The error is the owner's, as any handler's; the watch goes on all the same.
            goOn();
            throw;
        }
        goOn();
    });
}

std::int32_t CommSession::takeLineErrorBits() {
    const auto now = device->lineCounters();
    if (!now) return 0;
    std::lock_guard lock(errorMutex_);
    std::int32_t bits = 0;
    if (now->overrun > errorBase_.overrun) bits |= kCommErrOverrun;
    if (now->parity > errorBase_.parity) bits |= kCommErrParity;
    if (now->frame > errorBase_.frame) bits |= kCommErrFrame;
    errorBase_.overrun = now->overrun;
    errorBase_.parity = now->parity;
    errorBase_.frame = now->frame;
    return bits;
}

std::int64_t CommSession::bytesArrived() {
    // Taken first, waiting second: a read in between makes the sum too small, never too large,
    // so no arrival is ever counted as announced before it was.
    const std::int64_t taken = bytesTaken_.load();
    return taken + device->inputQueueLength().value_or(0);
}

void CommSession::queueChunk(std::vector<std::uint8_t> chunk) {
    {
        std::lock_guard lock(counterMutex_);
        transBufLen_ += static_cast<std::int32_t>(chunk.size());
        ++transCnt_;
    }
    {
        std::lock_guard lock(queueMutex_);
        queue_.push_back(std::move(chunk));
    }
    // Posted after the push: a transmitter that found the queue empty is idle by the time this
    // runs, and one that is busy takes the chunk with its batch.
    asio::post(io, [transmitter = transmitter] {
        if (const auto t = transmitter.lock()) t->chunkQueued();
    });
}

std::int32_t CommSession::transBufLen() {
    std::lock_guard lock(counterMutex_);
    return transBufLen_;
}

std::int32_t CommSession::transCnt() {
    std::lock_guard lock(counterMutex_);
    return transCnt_;
}

void CommSession::waitForChunkSlot(std::int32_t bound, std::chrono::milliseconds limit) {
    std::unique_lock lock(counterMutex_);
    chunkFinished_.wait_for(lock, limit, [&] { return transCnt_ < bound; });
}

void CommSession::endTransmitWait() {
    asio::post(io, [transmitter = transmitter] {
        if (const auto t = transmitter.lock()) t->endWait();
    });
}

bool CommSession::nextChunk(std::vector<std::uint8_t>& chunk) {
    std::lock_guard lock(queueMutex_);
    if (queue_.empty()) return false;
    chunk = std::move(queue_.front());
    queue_.pop_front();
    return true;
}

void CommSession::finishChunk(std::size_t length) {
    {
        std::lock_guard lock(counterMutex_);
        transBufLen_ = std::max<std::int32_t>(0, transBufLen_ - static_cast<std::int32_t>(length));
        if (transCnt_ > 0) --transCnt_;
    }
    chunkFinished_.notify_all();
}

int CommSession::waitDescriptor() const {
    const int copy = ::fcntl(device->fd(), F_DUPFD_CLOEXEC, 0);
    if (copy < 0) throw std::system_error(errno, std::generic_category(), "dup");
    return copy;
}

void CommSession::stop() {
    stopping_ = true;
    asio::post(io, [watch = receiveWatch, transmitter = transmitter] {
        if (const auto w = watch.lock()) w->stop();
        if (const auto t = transmitter.lock()) t->stop();
    });
}

}  // namespace tessaly
