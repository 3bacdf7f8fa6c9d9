// The transmit thread: takes chunks off the queue and writes them. A batch is everything it finds
// queued after one wake-up; in the half-duplex modes RTS frames the whole batch, not each chunk.
#include <poll.h>

#include <chrono>
#include <thread>

#include "links/comm_threads.h"
#include "links/comm_x.h"

namespace tessaly {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

bool isHalfDuplex(std::uint8_t flow) {
    return flow == static_cast<std::uint8_t>(TCommFlowCtrls::cfcHalfHigh) ||
           flow == static_cast<std::uint8_t>(TCommFlowCtrls::cfcHalfLow);
}

bool discarding(const CommSession& s) { return s.msgClearFlg.load() || s.stopping(); }

// An RS-485 transceiver needs RTS at its sending level a little before the first bit and until
// the last character has left the UART: one character time (HalfWaitTim) either side.
void halfDuplexBeforeBatch(CommSession& s) {
    const std::uint8_t flow = s.flowCtrl.load();
    if (!isHalfDuplex(flow)) return;
    std::this_thread::sleep_for(milliseconds(50));
    const bool high = flow == static_cast<std::uint8_t>(TCommFlowCtrls::cfcHalfHigh);
    s.device->setModemLine(ModemLine::Rts, high);
    std::this_thread::sleep_for(milliseconds(s.halfWaitTim.load()));
}

void halfDuplexAfterBatch(CommSession& s) {
    const std::uint8_t flow = s.flowCtrl.load();
    if (!isHalfDuplex(flow)) return;
    std::this_thread::sleep_for(milliseconds(s.halfWaitTim.load()));
    const bool high = flow == static_cast<std::uint8_t>(TCommFlowCtrls::cfcHalfHigh);
    s.device->setModemLine(ModemLine::Rts, !high);
}

// Writes one chunk, waiting for the device at most TimeOutTrans ms; the rest of a chunk that
// does not get out in that time is dropped. A purge (ClearTransBuf) or the close ends the wait.
void writeChunk(CommSession& s, const std::vector<std::uint8_t>& chunk) {
    const auto deadline = Clock::now() + milliseconds(s.timeOutTrans.load());
    std::size_t written = 0;
    while (written < chunk.size()) {
        if (discarding(s)) return;
        SerialDevice::IoResult result;
        {
            std::lock_guard lock(s.critical1);
            result = s.device->write(chunk.data() + written, chunk.size() - written);
        }
        if (result.kind == SerialDevice::IoResult::Kind::Done) {
            written += result.count;
            continue;
        }
        if (result.kind == SerialDevice::IoResult::Kind::Failed) {
            // Posted, not sent: ClearTransBuf may be holding the owner thread until this chunk
            // is finished.
            if (const std::int32_t bits = s.takeLineErrorBits()) s.postNotice(CommNotice::Error, bits);
            return;
        }
        const auto left = std::chrono::duration_cast<milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) return;
        pollfd fds[2] = {{s.device->fd(), POLLOUT, 0}, {s.writeAbort.fd(), POLLIN, 0}};
        ::poll(fds, 2, static_cast<int>(left.count()) + 1);
        if (fds[1].revents & POLLIN) s.writeAbort.drain();
    }
}

void transmitLoop(const std::shared_ptr<CommSession>& session) {
    CommSession& s = *session;
    std::vector<std::uint8_t> chunk;
    while (s.nextChunk(chunk, /*wait=*/true)) {
        bool batchStarted = false;
        do {
            if (!discarding(s)) {
                if (!batchStarted) {
                    batchStarted = true;
                    halfDuplexBeforeBatch(s);
                }
                writeChunk(s, chunk);
            }
            s.finishChunk(chunk.size());
        } while (s.nextChunk(chunk, /*wait=*/false));
        if (batchStarted) halfDuplexAfterBatch(s);
        if (s.stopping()) break;
    }
    // Chunks left behind by the close are finished unwritten.
    while (s.nextChunk(chunk, /*wait=*/false)) s.finishChunk(chunk.size());
}

}  // namespace

void TCommTransThread::start(std::shared_ptr<CommSession> session) {
    std::thread(transmitLoop, std::move(session)).detach();
}

}  // namespace tessaly
