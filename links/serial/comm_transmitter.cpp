#include "links/serial/comm_transmitter.h"

#include <poll.h>

#include <asio/post.hpp>

#include "links/serial/comm_x.h"

namespace tessaly {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// An RS-485 transceiver needs RTS at its sending level a little before the first bit and until
// the last character has left the UART: one character time (HalfWaitTim) either side, and a
// settling time before the batch.
constexpr milliseconds kHalfDuplexLead{50};

bool isHalfDuplex(std::uint8_t flow) {
    return flow == static_cast<std::uint8_t>(TCommFlowCtrls::cfcHalfHigh) ||
           flow == static_cast<std::uint8_t>(TCommFlowCtrls::cfcHalfLow);
}

bool sendsHigh(std::uint8_t flow) { return flow == static_cast<std::uint8_t>(TCommFlowCtrls::cfcHalfHigh); }

bool discarding(const CommSession& s) { return s.msgClearFlg.load() || s.stopping(); }

bool roomNow(int fd) {
    pollfd p{fd, POLLOUT, 0};
    return ::poll(&p, 1, 0) > 0 && p.revents != 0;
}

}  // namespace

CommTransmitter::CommTransmitter(std::shared_ptr<CommSession> session)
    : session_(std::move(session)),
      writable_(session_->io, session_->waitDescriptor()),
      wake_(session_->io),
      pause_(session_->io),
      deadline_(session_->io) {}

std::shared_ptr<CommTransmitter> CommTransmitter::start(const std::shared_ptr<CommSession>& session) {
    auto transmitter = std::make_shared<CommTransmitter>(session);
    asio::post(session->io, [transmitter] { transmitter->nextBatch(); });
    return transmitter;
}

void CommTransmitter::chunkQueued() {
    if (idle_) wake_.cancel();
}

void CommTransmitter::endWait() {
    if (waiting_) writable_.cancel();
}

void CommTransmitter::stop() {
    wake_.cancel();
    pause_.cancel();
    deadline_.cancel();
    writable_.cancel();
}

void CommTransmitter::after(milliseconds pause, void (CommTransmitter::*then)()) {
    pause_.expires_after(pause);
    pause_.async_wait([self = shared_from_this(), then](const asio::error_code&) {
        if (self->session_->stopping()) return self->finishLeft();
        (self.get()->*then)();
    });
}

void CommTransmitter::idle() {
    idle_ = true;
    wake_.expires_at(asio::steady_timer::time_point::max());
    wake_.async_wait([self = shared_from_this()](const asio::error_code&) {
        self->idle_ = false;
        if (self->session_->stopping()) return self->finishLeft();
        self->nextBatch();
    });
}

void CommTransmitter::nextBatch() {
    if (session_->stopping()) return finishLeft();
    if (!session_->nextChunk(chunk_)) return idle();
    holding_ = true;
    batchStarted_ = false;
    startChunk();
}

void CommTransmitter::startChunk() {
    if (discarding(*session_)) return chunkDone();
    if (!batchStarted_) {
        batchStarted_ = true;
        if (isHalfDuplex(session_->flowCtrl.load())) return after(kHalfDuplexLead, &CommTransmitter::raiseRts);
    }
    beginWrite();
}

void CommTransmitter::raiseRts() {
    session_->device->setModemLine(ModemLine::Rts, sendsHigh(session_->flowCtrl.load()));
    after(milliseconds(session_->halfWaitTim.load()), &CommTransmitter::beginWrite);
}

void CommTransmitter::beginWrite() {
    chunkDeadline_ = Clock::now() + milliseconds(session_->timeOutTrans.load());
    written_ = 0;
    writeSome();
}

void CommTransmitter::writeSome() {
    CommSession& s = *session_;
    while (written_ < chunk_.size() && !discarding(s)) {
        SerialDevice::IoResult result;
        {
            std::lock_guard lock(s.critical1);
            result = s.device->write(chunk_.data() + written_, chunk_.size() - written_);
        }
        if (result.kind == SerialDevice::IoResult::Kind::Done) {
            written_ += result.count;
            continue;
        }
        if (result.kind == SerialDevice::IoResult::Kind::Failed) {
            if (const std::int32_t bits = s.takeLineErrorBits()) s.sendNotice(CommNotice::Error, bits);
            break;
        }
        if (Clock::now() >= chunkDeadline_) break;  // the rest of the chunk is dropped
        return waitWritable();
    }
    chunkDone();
}

void CommTransmitter::waitWritable() {
    const std::uint64_t wait = ++waits_;
    waiting_ = true;
    deadline_.expires_at(chunkDeadline_);
    deadline_.async_wait([self = shared_from_this(), wait](const asio::error_code& error) {
        if (!error && self->waiting_ && self->waits_ == wait) self->writable_.cancel();
    });
    writable_.async_wait(asio::posix::stream_descriptor::wait_write, [self = shared_from_this()](const asio::error_code&) {
        self->waiting_ = false;
        self->deadline_.cancel();
        if (self->session_->stopping()) return self->finishLeft();
        self->writeSome();
    });
    // The loop hears of the device making room, not of room: room made between the write above
    // and this wait rang for nobody, so the wait ends at once for it.
    if (roomNow(session_->device->fd())) writable_.cancel();
}

void CommTransmitter::chunkDone() {
    holding_ = false;
    session_->finishChunk(chunk_.size());
    if (session_->stopping()) return finishLeft();
    if (session_->nextChunk(chunk_)) {
        holding_ = true;
        return startChunk();
    }
    endBatch();
}

void CommTransmitter::endBatch() {
    if (batchStarted_ && isHalfDuplex(session_->flowCtrl.load())) {
        return after(milliseconds(session_->halfWaitTim.load()), &CommTransmitter::lowerRts);
    }
    nextBatch();
}

void CommTransmitter::lowerRts() {
    session_->device->setModemLine(ModemLine::Rts, !sendsHigh(session_->flowCtrl.load()));
    nextBatch();
}

void CommTransmitter::finishLeft() {
    // The chunk under way and those behind it are finished unwritten, so the owner's counts and
    // a ClearTransBuf waiting for them come to rest.
    if (holding_) session_->finishChunk(chunk_.size());
    holding_ = false;
    while (session_->nextChunk(chunk_)) session_->finishChunk(chunk_.size());
}

}  // namespace tessaly
