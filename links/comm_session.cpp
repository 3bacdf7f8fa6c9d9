#include "links/comm_session.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <system_error>

#include "links/comm_x.h"

namespace tessaly {

WakeEvent::WakeEvent() : fd_(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
    if (fd_ < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

WakeEvent::~WakeEvent() { ::close(fd_); }

void WakeEvent::signal() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const ssize_t n = ::write(fd_, &one, sizeof one);
}

void WakeEvent::drain() {
    std::uint64_t count = 0;
    [[maybe_unused]] const ssize_t n = ::read(fd_, &count, sizeof count);
}

CommSession::CommSession(std::shared_ptr<SerialDevice> device_, std::shared_ptr<OwnerThread> owner_,
                         std::shared_ptr<CommNoticeTarget> target_)
    : device(std::move(device_)), owner(std::move(owner_)), target(std::move(target_)) {
    // Errors from before the open are not this session's to report.
    errorBase_ = device->lineCounters().value_or(SerialLineCounters{});
}

namespace {

std::function<void()> noticeTask(std::shared_ptr<CommNoticeTarget> target,
                                 std::shared_ptr<CommSession> session, CommNotice notice,
                                 std::int32_t bits) {
    return [target = std::move(target), session = std::move(session), notice, bits] {
        if (target->component) target->component->handleNotice(*session, notice, bits);
    };
}

}  // namespace

bool CommSession::sendNotice(CommNotice notice, std::int32_t bits) {
    // The task keeps the session alive until it has run.
    return handOver(*owner, noticeTask(target, shared_from_this(), notice, bits));
}

void CommSession::postNotice(CommNotice notice, std::int32_t bits) {
    owner->post(noticeTask(target, shared_from_this(), notice, bits));
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
    queueChanged_.notify_one();
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

bool CommSession::nextChunk(std::vector<std::uint8_t>& chunk, bool wait) {
    std::unique_lock lock(queueMutex_);
    if (wait) queueChanged_.wait(lock, [&] { return stopping_.load() || !queue_.empty(); });
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

void CommSession::stop() {
    {
        std::lock_guard lock(queueMutex_);
        stopping_ = true;
    }
    queueChanged_.notify_all();
    receiveStop.signal();
    writeAbort.signal();
}

}  // namespace tessaly
