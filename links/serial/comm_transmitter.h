// The transmitter of an open serial port, on the links' I/O loop: takes the chunks TransBlock
// queued and writes them to the device without ever blocking the loop. A write the device cannot
// take waits for writability, at most TimeOutTrans from the chunk's start; the rest of a chunk
// that did not get out in that time is dropped. A batch is everything found queued after one
// wake-up; in the half-duplex modes RTS frames the whole batch, not each chunk, with timers.
//
// Only its own pending operations keep the transmitter (an idle one waits on a parked timer that
// a queued chunk ends); the session's stop() ends them and the chunks left are finished
// unwritten. Internal to links/.
#pragma once

#include <asio/posix/stream_descriptor.hpp>
#include <asio/steady_timer.hpp>

#include <chrono>
#include <cstdint>
#include <memory>
#include <vector>

#include "links/serial/comm_session.h"

namespace tessaly {

class CommTransmitter : public std::enable_shared_from_this<CommTransmitter> {
public:
    // Owner thread: makes the transmitter and starts it on the loop. Throws std::system_error
    // when the device cannot be waited for.
    static std::shared_ptr<CommTransmitter> start(const std::shared_ptr<CommSession>& session);

    explicit CommTransmitter(std::shared_ptr<CommSession> session);

    // Loop thread.
    void chunkQueued();
    void endWait();  // a purge: a write waiting for the device looks again at once
    void stop();

private:
    void idle();
    void nextBatch();
    void startChunk();
    void raiseRts();
    void beginWrite();
    void writeSome();
    void waitWritable();
    void chunkDone();
    void endBatch();
    void lowerRts();
    void finishLeft();
    // Goes on with `then` after `pause`, or finishes what is left after a stop.
    void after(std::chrono::milliseconds pause, void (CommTransmitter::*then)());

    std::shared_ptr<CommSession> session_;
    // A duplicate of the device's descriptor, as the receive watch has its own: each ends its
    // own waits.
    asio::posix::stream_descriptor writable_;
    asio::steady_timer wake_;      // parked while the queue is empty
    asio::steady_timer pause_;     // the half-duplex framing
    asio::steady_timer deadline_;  // ends a wait for writability at the chunk's time-out

    std::vector<std::uint8_t> chunk_;
    bool holding_ = false;  // chunk_ was taken off the queue and is not finished yet
    std::size_t written_ = 0;
    std::chrono::steady_clock::time_point chunkDeadline_;
    bool batchStarted_ = false;  // RTS was raised for this batch
    bool idle_ = false;
    bool waiting_ = false;     // for writability
    std::uint64_t waits_ = 0;  // tells the deadline of one wait from the next
};

}  // namespace tessaly
