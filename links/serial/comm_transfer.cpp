// TCustomCommX: moving bytes (owner side of the transmit queue, reading), the modem lines, and
// the notices the port's work on the I/O loop sends to the owner thread.
#include <poll.h>

#include <algorithm>
#include <chrono>
#include <new>
#include <thread>

#include "links/serial/comm_session.h"
#include "links/serial/comm_x.h"

namespace tessaly {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

}  // namespace

void TCustomCommX::processEvents() {
    if (env_.processEvents) env_.processEvents();
}

bool TCustomCommX::TransChar(std::uint8_t c) { return TransBlock(&c, 1); }

bool TCustomCommX::TransString(const std::string& s) {
    if (s.empty()) return true;
    return TransBlock(s.data(), static_cast<std::int32_t>(s.size()));
}

bool TCustomCommX::TransBlock(const void* Data, std::int32_t BufSize) {
    if (BufSize <= 0) return true;
    if (!Data) return false;
    const auto* next = static_cast<const std::uint8_t*>(Data);
    std::int32_t remaining = BufSize;
    while (remaining > 0) {
        // Looked up afresh each time: a handler run while waiting may close or reopen the port.
        const std::shared_ptr<CommSession> session = session_;
        if (!session) return false;
        if (session->transCnt() >= kMaxOutstandingChunks) {
            processEvents();
            session->waitForChunkSlot(kMaxOutstandingChunks, milliseconds(1));
            continue;
        }
        // A chunk size written as 0 was refused by the buffer set-up but stays stored.
        const std::int32_t length = std::min(remaining, std::max<std::int32_t>(FBufLenTrans, 1));
        try {
            session->queueChunk(std::vector<std::uint8_t>(next, next + length));
        } catch (const std::bad_alloc&) {
            // No memory for this chunk: its bytes are not sent, the rest still is.
        }
        next += length;
        remaining -= length;
    }
    return true;
}

std::int32_t TCustomCommX::ReceiveBlock(std::uint8_t* Buf, std::int32_t MaxSize) {
    const std::shared_ptr<CommSession> session = session_;
    if (!session || !Buf) return -1;
    const auto deadline = Clock::now() + milliseconds(FTimeOutReceive);
    std::int32_t got = 0;
    while (got < MaxSize) {
        const auto result = session->device->read(Buf + got, static_cast<std::size_t>(MaxSize - got));
        if (result.kind == SerialDevice::IoResult::Kind::Done) {
            got += static_cast<std::int32_t>(result.count);
            session->noteBytesTaken(static_cast<std::int64_t>(result.count));
            continue;
        }
        if (result.kind == SerialDevice::IoResult::Kind::Failed) {
            if (const std::int32_t bits = session->takeLineErrorBits()) {
                handleNotice(*session, CommNotice::Error, bits);
            }
            // Bytes already in Buf are the caller's; the failure shows on the next read.
            return got > 0 ? got : -1;
        }
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) break;
        pollfd fd{session->device->fd(), POLLIN, 0};
        ::poll(&fd, 1, static_cast<int>(std::min<std::int64_t>(left.count(), 1)));
        processEvents();
        if (session_ != session) return got > 0 ? got : -1;
    }
    return got;
}

std::int32_t TCustomCommX::ReceiveChar() {
    std::uint8_t c = 0;
    return ReceiveBlock(&c, 1) == 1 ? c : -1;
}

void TCustomCommX::ClearTransBuf() {
    const std::shared_ptr<CommSession> session = session_;
    if (!session) return;
    // Every queued chunk is finished unwritten and a write under way is cut short. No events are
    // processed here; the loop never waits on this thread, so the drain always ends.
    session->msgClearFlg = true;
    session->endTransmitWait();
    do {
        {
            std::lock_guard lock(session->critical1);
            session->device->purgeOutput();
        }
        session->waitForChunkSlot(1, milliseconds(1));
    } while (session->transBufLen() > 0);
    session->msgClearFlg = false;
}

void TCustomCommX::ClearReceiveBuf() {
    if (!session_) return;
    session_->noteBytesTaken(session_->device->inputQueueLength().value_or(0));
    session_->device->purgeInput();
}

std::int32_t TCustomCommX::GetTransLength() { return session_ ? session_->transBufLen() : 0; }

std::int32_t TCustomCommX::GetReceiveLength() {
    if (!session_) return 0;
    session_->takeLineErrorBits();  // the query resets the error flags without reporting them
    return session_->device->inputQueueLength().value_or(0);
}

void TCustomCommX::SetRtsSignal(bool Signal) {
    if (session_) session_->device->setModemLine(ModemLine::Rts, Signal);
}

void TCustomCommX::SetDtrSignal(bool Signal) {
    if (session_) session_->device->setModemLine(ModemLine::Dtr, Signal);
}

namespace {

bool modemBit(const std::shared_ptr<CommSession>& session, unsigned bit) {
    if (!session) return false;
    return (session->device->modemStatus().value_or(0) & bit) != 0;
}

}  // namespace

bool TCustomCommX::IsCtsSignal() { return modemBit(session_, kModemCts); }
bool TCustomCommX::IsDsrSignal() { return modemBit(session_, kModemDsr); }
bool TCustomCommX::IsRingSignal() { return modemBit(session_, kModemRing); }
bool TCustomCommX::IsRlsdSignal() { return modemBit(session_, kModemRlsd); }

void TCustomCommX::SendBreak() {
    if (!session_) return;
    session_->device->setBreak(true);
    std::this_thread::sleep_for(milliseconds(300));
    session_->device->setBreak(false);
}

void TCustomCommX::handleNotice(const CommSession& from, CommNotice notice, std::int32_t bits) {
    // A notice from a port that has since been closed (or closed and opened again) is stale.
    if (session_.get() != &from) return;
    switch (notice) {
        case CommNotice::Receive:
            if (FOnReceive) {
                if (const std::int32_t waiting = GetReceiveLength()) FOnReceive(*this, waiting);
            }
            break;
        case CommNotice::Break:
            if (FOnBreak) FOnBreak(*this);
            break;
        case CommNotice::Error:
            if (FOnError) FOnError(*this, bits);
            break;
    }
}

}  // namespace tessaly
